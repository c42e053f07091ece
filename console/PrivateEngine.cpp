#include "console/PrivateEngine.h"

#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ServerGlobals.h"
#include "console/ChildProcess.h"
#include "console/InstanceBrowser.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

namespace fs = std::filesystem;

// An engine that ends within this time of its start never came up: its
// start is reported as failed instead of as running.
constexpr std::chrono::milliseconds kEngineSettleTime{500};
constexpr const char* kEngineProbeName = ".quor-write-test";

void EngineLog(const std::string& line) {
  std::fprintf(stderr, "console: private engine: %s\n", line.c_str());
}

std::string SlashPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::vector<std::string> SplitBlanks(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream stream(text);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

// The folders a start creates, removed again when the start fails after all,
// so a failed start leaves the machine as it found it.
class CreatedFolders {
 public:
  void Make(const fs::path& folder) {
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path walk = folder; !walk.empty() && !fs::exists(walk, error);
         walk = walk.parent_path()) {
      missing.push_back(walk);
      if (walk == walk.parent_path()) break;
    }
    fs::create_directories(folder, error);
    if (error) {
      RemoveAll();
      throw std::runtime_error("cannot create " + folder.string() + ": " + error.message());
    }
    created_.insert(created_.end(), missing.rbegin(), missing.rend());
  }
  void Keep() { created_.clear(); }
  void RemoveAll() {
    std::error_code ignored;
    // Made top down, so removed bottom up.
    for (auto folder = created_.rbegin(); folder != created_.rend(); ++folder) {
      fs::remove(*folder, ignored);
    }
    created_.clear();
  }
  ~CreatedFolders() { RemoveAll(); }

 private:
  std::vector<fs::path> created_;
};

// A folder the engine cannot write is found here, with the system's reason,
// rather than in the engine's own log after it has failed.
void CheckWritable(const fs::path& folder) {
  const fs::path probe = folder / kEngineProbeName;
  std::ofstream file(probe);
  if (!file) {
    throw std::runtime_error("cannot write in " + folder.string() + ": " +
                             std::error_code(errno, std::generic_category()).message());
  }
  file.close();
  std::error_code ignored;
  fs::remove(probe, ignored);
}

}  // namespace

PrivateEngineSettings ReadPrivateEngineSettings() {
  PrivateEngineSettings settings;
  settings.command = SplitBlanks(
      ReadConfig(configkey::kPrivateEngineCommand, configkey::kPrivateEngineCommandDefault));
  settings.dataFolder =
      SlashPath(ReadConfig(configkey::kPrivateEnginePath, configkey::kPrivateEnginePathDefault));
  settings.tcpPort =
      ReadConfigInt(configkey::kPrivateEnginePort, "", configkey::kPrivateEnginePortFallback);
  if (settings.tcpPort < 1 || settings.tcpPort > 65535) {
    settings.tcpPort = configkey::kPrivateEnginePortFallback;
  }
  const int seconds = ReadConfigInt(configkey::kPrivateEngineStopSeconds, "",
                                    configkey::kPrivateEngineStopSecondsFallback);
  settings.stopWait = std::chrono::seconds(seconds < 1 ? 1 : seconds);
  settings.browserPort = ReadConfigInt(configkey::kPrivateEngineBrowserPort, "",
                                       configkey::kPrivateEngineBrowserPortFallback);
  if (settings.browserPort < 0 || settings.browserPort > 65535) {
    settings.browserPort = configkey::kPrivateEngineBrowserPortFallback;
  }
  return settings;
}

bool PrivateEngineInstalled() {
  const PrivateEngineSettings settings = ReadPrivateEngineSettings();
  if (settings.command.empty()) return false;
  std::error_code error;
  return fs::is_regular_file(settings.command[0], error) &&
         ::access(settings.command[0].c_str(), X_OK) == 0;
}

PrivateEngine::PrivateEngine() {
  setObjectName("PrivateEngine");
}

PrivateEngine::~PrivateEngine() {
  if (child_) {
    delete notifier_;
    child_->Stop(ReadPrivateEngineSettings().stopWait);
  }
}

int PrivateEngine::Pid() const {
  return child_ ? static_cast<int>(child_->Pid()) : -1;
}

bool PrivateEngine::Start() {
  // A second start while one runs would orphan the first engine.
  if (child_) {
    Notify();
    return true;
  }
  const PrivateEngineSettings settings = ReadPrivateEngineSettings();
  CreatedFolders created;
  try {
    if (settings.command.empty()) throw std::runtime_error("PrivateEngineCommand is empty");
    const fs::path program = settings.command[0];
    std::error_code error;
    if (!fs::is_regular_file(program, error)) {
      throw std::runtime_error("no engine program at " + program.string());
    }
    if (settings.dataFolder.empty()) throw std::runtime_error("PrivateEnginePath is empty");
    const fs::path folder = settings.dataFolder;
    created.Make(folder);
    created.Make(folder / "log");
    CheckWritable(folder);
    CheckWritable(folder / "log");

    ChildCommand command;
    command.argv = settings.command;
    command.workingFolder = folder.string();
    // The engine's own settings for where its files go and which port it
    // listens on; an operator's value in the console's environment wins.
    command.environment = {
        {"MSSQL_TCP_PORT", std::to_string(settings.tcpPort)},
        {"MSSQL_DATA_DIR", (folder / "data").string()},
        {"MSSQL_LOG_DIR", (folder / "data").string()},
        {"MSSQL_BACKUP_DIR", (folder / "Backup").string()},
        {"MSSQL_DUMP_DIR", (folder / "log").string()},
        {"MSSQL_LCID", "2052"},
        {"MSSQL_COLLATION", "Chinese_PRC_CI_AS"},
    };
    std::unique_ptr<ChildProcess> child = ChildProcess::Start(command);
    if (child->WaitFor(kEngineSettleTime)) {
      throw std::runtime_error("the engine ended at once (" +
                               DescribeWaitStatus(child->WaitStatus().value_or(0)) +
                               "); its log may say why");
    }
    created.Keep();
    child_ = std::move(child);
  } catch (const std::exception& error) {
    EngineLog(std::string("start failed: ") + error.what());
    ui::ActiveMessageBoxes()->Show(std::string(kEngineStartFailed) + "\r\n" + error.what(), "提示",
                                   ui::MessageIcon::None);
    Notify();
    return false;
  }
  EngineLog("started, pid " + std::to_string(child_->Pid()) + ", port " +
            std::to_string(settings.tcpPort));
  if (settings.browserPort != 0) {
    // Without the answer a connection naming the instance cannot find the
    // engine; the engine itself runs either way, reachable by its port.
    try {
      browser_ = std::make_unique<InstanceBrowser>(static_cast<std::uint16_t>(settings.browserPort),
                                                   "VTSQLSERVER",
                                                   static_cast<std::uint16_t>(settings.tcpPort));
    } catch (const std::exception& error) {
      EngineLog(std::string("instance queries not answered: ") + error.what());
    }
  }
  SetPrivateEngineMode(true);
  Watch();
  Notify();
  return true;
}

void PrivateEngine::Watch() {
  if (child_->PidFd() >= 0) {
    notifier_ = new QSocketNotifier(child_->PidFd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { OnEnded(); });
    return;
  }
  poller_ = new QTimer(this);
  connect(poller_, &QTimer::timeout, this, [this] {
    if (child_ && !child_->Running()) OnEnded();
  });
  poller_->start(500);
}

void PrivateEngine::OnEnded() {
  if (!child_ || !child_->WaitFor(std::chrono::milliseconds(0))) return;
  const std::string how = DescribeWaitStatus(child_->WaitStatus().value_or(0));
  Forget();
  EngineLog("ended by itself, " + how);
  // The engine is gone: new connections go back to the configured server,
  // and the start button can bring it up again.
  SetPrivateEngineMode(false);
  Notify();
  ui::ActiveMessageBoxes()->Show(kEngineEnded, "提示", ui::MessageIcon::Warning);
}

void PrivateEngine::Stop() {
  if (child_) {
    delete notifier_;
    notifier_ = nullptr;
    const bool clean = child_->Stop(ReadPrivateEngineSettings().stopWait);
    EngineLog(clean ? "stopped" : "did not shut down in time and was killed");
    Forget();
  }
  SetPrivateEngineMode(false);
  Notify();
}

void PrivateEngine::Forget() {
  delete notifier_;
  notifier_ = nullptr;
  delete poller_;
  poller_ = nullptr;
  browser_.reset();
  child_.reset();
}

void PrivateEngine::Notify() {
  if (listener_) listener_();
}

}  // namespace quor::console
