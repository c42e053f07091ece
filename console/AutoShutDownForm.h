// "定时关电脑设置": the scheduled power-off. One window at most; once armed it
// stays alive hidden while the console runs and counts down, and when less
// than 30 seconds remain it asks systemd-logind to power the machine off,
// which stops the services cleanly. Everything runs on the UI thread.
#pragma once

#include <QDateTime>
#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QCloseEvent;
class QDateEdit;
class QLabel;
class QPushButton;
class QTimeEdit;
class QTimer;

namespace quor::console {

struct MainFormEnvironment;

// What the window reaches outside itself; empty members take the real things.
struct AutoShutDownEnvironment {
  std::function<QDateTime()> now;         // local date and time
  std::function<bool()> powerOff;         // PowerOffComputer
  std::function<int(QWidget&)> runModal;  // shows the window modally
};

class TfrmAutoShutDown : public QDialog {
 public:
  explicit TfrmAutoShutDown(AutoShutDownEnvironment environment);

  // Arms (tag 1 -> 2) or disarms (2 -> 1), as btnStart does.
  void btnStartClick();
  // One countdown tick of PowerTime.
  void PowerTimeTimer();
  bool Armed() const;
  QTimer* PowerTime() const { return powerTime_; }
  // Puts the window into the armed state of a silent start.
  void ArmSilently();
  // What the environment runs as the modal loop.
  int RunModal();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void SetArmed(bool armed);

  AutoShutDownEnvironment env_;
  QDateEdit* datePicker_ = nullptr;
  QTimeEdit* timePicker_ = nullptr;
  QLabel* lblNtime_ = nullptr;
  QLabel* lblVTime_ = nullptr;
  QPushButton* btnStart_ = nullptr;
  QPushButton* bbExit_ = nullptr;
  QCheckBox* cbxAutoStart_ = nullptr;
  QTimer* powerTime_ = nullptr;
};

// The one entry point: mode 0 from the menu (the window shown modally), mode 1
// at start-up (armed without being shown). A window left unarmed afterwards is
// destroyed. At start-up a ShutDownTime that is no time "hh:mm:ss" arms
// nothing and is reported.
void ShowShutdownWindow(int mode, const AutoShutDownEnvironment& environment = {});
// The window that exists now, or null.
TfrmAutoShutDown* ShutdownWindow();
// Destroys the window (the program's end; tests).
void DestroyShutdownWindow();

// Asks the system to power off: systemd-logind's PowerOff over D-Bus (busctl),
// or "systemctl poweroff" when PowerOffMethod is "systemctl"; true when the
// request was accepted. Each request is logged.
bool PowerOffComputer();

// The remaining-time text a tick shows for the chosen date and time at `now`:
// "hh:mm:ss", or the whole days to go (halves to even) + " 天..." on another day.
std::string RemainingText(const QDate& date, const QTime& time, const QDateTime& now);

// Puts "miAutoShutDown" (the menu item) and "armAutoShutDown" (the console's
// start) into the console's tools.
void AddAutoShutDownTools(MainFormEnvironment& environment,
                          const AutoShutDownEnvironment& shutdown = {});

}  // namespace quor::console
