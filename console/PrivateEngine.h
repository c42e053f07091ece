// The private SQL Server engine: SQL Server on Linux run as a child of the
// console, with a data folder of its own, on machines where no SQL Server
// service is installed. Starting it turns PrivateEngineMode on, which makes
// every new connection name the private instance; stopping it turns the mode
// off. The console notices when the engine ends by itself.
#pragma once

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace quor::console {

class ChildProcess;
class InstanceBrowser;

// The engine as the settings describe it.
struct PrivateEngineSettings {
  std::vector<std::string> command;       // PrivateEngineCommand split at blanks
  std::string dataFolder;                 // PrivateEnginePath, backslashes turned into slashes
  int tcpPort = 0;                        // PrivateEnginePort
  std::chrono::milliseconds stopWait{0};  // PrivateEngineStopSeconds
  int browserPort = 0;                    // PrivateEngineBrowserPort; 0: none
};
PrivateEngineSettings ReadPrivateEngineSettings();

// The engine's program exists as an executable file: the console then shows
// its start and stop buttons.
bool PrivateEngineInstalled();

class PrivateEngine : public QObject {
 public:
  PrivateEngine();
  ~PrivateEngine() override;  // stops an engine still running

  // The start button: checks the program and the data folder, starts the
  // engine and turns PrivateEngineMode on. Anything in the way is shown as
  // "启动MSDE失败，请重试或重新安装MSDE！" with the reason, and nothing changes.
  bool Start();
  // The stop button: asks the engine to shut down, waits at most the stop
  // time, then kills it; PrivateEngineMode goes off either way.
  void Stop();
  bool Running() const { return child_ != nullptr; }
  // Process id of the running engine; -1 when none.
  int Pid() const;

  // Told whenever the engine starts, stops or ends by itself, so the window
  // can set its buttons from PrivateEngineMode.
  void SetStateListener(std::function<void()> listener) { listener_ = std::move(listener); }

 private:
  void Watch();
  void OnEnded();
  void Notify();

  void Forget();

  std::unique_ptr<ChildProcess> child_;
  std::unique_ptr<InstanceBrowser> browser_;
  QSocketNotifier* notifier_ = nullptr;
  QTimer* poller_ = nullptr;
  std::function<void()> listener_;
};

inline constexpr const char* kEngineStartFailed = "启动MSDE失败，请重试或重新安装MSDE！";
inline constexpr const char* kEngineEnded = "SQL Server 进程结束";

}  // namespace quor::console
