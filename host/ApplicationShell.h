// The Qt application the server runs in. The UI thread is Qt's main thread.
// Where nobody can see a window (service mode, no display) the offscreen
// platform stands in and messages go to standard error.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

class QApplication;

namespace quor::host {

class TerminationSignals;

class ApplicationShell {
 public:
  // headless: use the offscreen platform unless QT_QPA_PLATFORM says otherwise.
  // iconFile: the application icon, when the program has one.
  ApplicationShell(int& argc, char** argv, bool headless,
                   const std::optional<std::filesystem::path>& iconFile);
  ~ApplicationShell();
  ApplicationShell(const ApplicationShell&) = delete;
  ApplicationShell& operator=(const ApplicationShell&) = delete;

  // Runs the event loop until SIGTERM or SIGINT; returns the exit status. A
  // signal that came during start-up ends the loop as soon as it runs.
  int Run();
  // The signal that ended the loop, 0 when none did.
  int ReceivedSignal() const;

 private:
  std::unique_ptr<QApplication> app_;
  std::unique_ptr<TerminationSignals> signals_;
};

// True when a window system is reachable ($DISPLAY or $WAYLAND_DISPLAY set).
bool HasDisplay();

}  // namespace quor::host
