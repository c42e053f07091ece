#include "console/AutoShutDownForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimeEdit>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <exception>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "console/MainForm.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

constexpr int kTagIdle = 1;
constexpr int kTagArmed = 2;
constexpr int kShownIntervalMs = 1000;
constexpr int kHiddenIntervalMs = 10000;
constexpr int kPowerOffWindowSeconds = 30;
constexpr int kSecondsPerDay = 24 * 60 * 60;
constexpr int kPowerOffWaitMs = 15000;
constexpr const char* kTimeFormat = "hh:mm:ss";

QPointer<TfrmAutoShutDown> shutdownWindow;

void ShutdownLog(const std::string& line) {
  std::fprintf(stderr, "console: %s\n", line.c_str());
  std::fflush(stderr);
}

// "hh:mm:ss" exactly, as the window stores and reads its times.
QTime ParseTimeOfDay(const std::string& text) {
  return QTime::fromString(QString::fromStdString(text), kTimeFormat);
}

std::string TimeOfDayText(int seconds) {
  return QTime(0, 0).addSecs(seconds).toString(kTimeFormat).toStdString();
}

AutoShutDownEnvironment WithShutdownDefaults(AutoShutDownEnvironment env) {
  if (!env.now) env.now = [] { return QDateTime::currentDateTime(); };
  if (!env.powerOff) env.powerOff = PowerOffComputer;
  if (!env.runModal) {
    env.runModal = [](QWidget& window) {
      auto* dialog = qobject_cast<QDialog*>(&window);
      return dialog ? dialog->exec() : 0;
    };
  }
  return env;
}

bool StoreShutdownSetting(const char* key, const std::string& value) {
  try {
    WriteConfig(key, value);
    return true;
  } catch (const std::exception& error) {
    ui::ActiveMessageBoxes()->Show(std::string("设置没有保存: ") + error.what(), "错误",
                                   ui::MessageIcon::Error);
    return false;
  }
}

}  // namespace

std::string RemainingText(const QDate& date, const QTime& time, const QDateTime& now) {
  if (date != now.date()) {
    const double days =
        static_cast<double>(now.msecsTo(QDateTime(date, QTime(0, 0)))) / (kSecondsPerDay * 1000.0);
    // The default rounding mode rounds halves to even.
    return std::to_string(static_cast<long long>(std::nearbyint(days))) + " 天...";
  }
  const int target = QTime(0, 0).secsTo(time);
  // What the "现在时间" label shows: the precise time cut to whole seconds.
  const int shownNow = QTime(0, 0).secsTo(now.time());
  if (now.time() > time) {
    // Past the target today: the next one is tomorrow.
    return TimeOfDayText((kSecondsPerDay - (shownNow - target)) % kSecondsPerDay);
  }
  return TimeOfDayText(target - shownNow);
}

TfrmAutoShutDown::TfrmAutoShutDown(AutoShutDownEnvironment environment)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      env_(WithShutdownDefaults(std::move(environment))) {
  setObjectName("frmAutoShutDown");
  setWindowTitle("定时关电脑设置");
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel("关机日期：", this), 0, 0);
  datePicker_ = new QDateEdit(this);
  datePicker_->setObjectName("DatePicker");
  datePicker_->setDisplayFormat("yyyy-MM-dd");
  datePicker_->setCalendarPopup(true);
  datePicker_->setDate(env_.now().date());
  layout->addWidget(datePicker_, 0, 1);
  layout->addWidget(new QLabel("关机时间：", this), 1, 0);
  timePicker_ = new QTimeEdit(this);
  timePicker_->setObjectName("TimePicker");
  timePicker_->setDisplayFormat(kTimeFormat);
  const std::string stored = ReadConfig(configkey::kShutDownTime, "00:00:00");
  const QTime storedTime = ParseTimeOfDay(stored);
  timePicker_->setTime(storedTime.isValid() ? storedTime : QTime(0, 0));
  layout->addWidget(timePicker_, 1, 1);
  layout->addWidget(new QLabel("现在时间：", this), 2, 0);
  lblNtime_ = new QLabel("00:00:00", this);
  lblNtime_->setObjectName("lblNtime");
  layout->addWidget(lblNtime_, 2, 1);
  layout->addWidget(new QLabel("剩余时间：", this), 3, 0);
  lblVTime_ = new QLabel("00:00:00", this);
  lblVTime_->setObjectName("lblVTime");
  layout->addWidget(lblVTime_, 3, 1);
  btnStart_ = new QPushButton("启动", this);
  btnStart_->setObjectName("btnStart");
  btnStart_->setProperty("tag", kTagIdle);
  btnStart_->setAutoDefault(false);
  connect(btnStart_, &QPushButton::clicked, this, [this] { btnStartClick(); });
  layout->addWidget(btnStart_, 0, 2);
  bbExit_ = new QPushButton("退出", this);
  bbExit_->setObjectName("bbExit");
  bbExit_->setAutoDefault(false);
  connect(bbExit_, &QPushButton::clicked, this, [this] { close(); });
  layout->addWidget(bbExit_, 1, 2);
  cbxAutoStart_ = new QCheckBox("每天自动启动定时关机", this);
  cbxAutoStart_->setObjectName("cbxAutoStart");
  cbxAutoStart_->setChecked(IsTrue(ReadConfig(configkey::kAutoShutDown, "False")));
  layout->addWidget(cbxAutoStart_, 4, 0, 1, 3);

  powerTime_ = new QTimer(this);
  powerTime_->setObjectName("PowerTime");
  powerTime_->setInterval(kShownIntervalMs);
  connect(powerTime_, &QTimer::timeout, this, [this] { PowerTimeTimer(); });

  setFixedSize(283, 140);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

bool TfrmAutoShutDown::Armed() const {
  return btnStart_->property("tag").toInt() == kTagArmed;
}

void TfrmAutoShutDown::SetArmed(bool armed) {
  btnStart_->setProperty("tag", armed ? kTagArmed : kTagIdle);
  btnStart_->setText(armed ? "停止" : "启动");
  datePicker_->setEnabled(!armed);
  timePicker_->setEnabled(!armed);
  if (armed) {
    powerTime_->start();
  } else {
    powerTime_->stop();
  }
}

void TfrmAutoShutDown::btnStartClick() {
  if (Armed()) {
    SetArmed(false);
    return;
  }
  SetArmed(true);
  StoreShutdownSetting(configkey::kShutDownTime,
                       timePicker_->time().toString(kTimeFormat).toStdString());
}

void TfrmAutoShutDown::ArmSilently() {
  powerTime_->setInterval(kHiddenIntervalMs);
  SetArmed(true);
}

int TfrmAutoShutDown::RunModal() {
  powerTime_->setInterval(kShownIntervalMs);
  const int result = env_.runModal(*this);
  powerTime_->setInterval(kHiddenIntervalMs);
  return result;
}

void TfrmAutoShutDown::PowerTimeTimer() {
  const QDateTime now = env_.now();
  lblNtime_->setText(now.time().toString(kTimeFormat));
  const std::string remaining = RemainingText(datePicker_->date(), timePicker_->time(), now);
  lblVTime_->setText(QString::fromStdString(remaining));
  const QTime left = ParseTimeOfDay(remaining);
  // Another day shows days, which are no time: nothing to do today.
  if (left.isValid() && QTime(0, 0).secsTo(left) < kPowerOffWindowSeconds) {
    // A refused request leaves the countdown running; the next tick asks again.
    env_.powerOff();
  }
}

void TfrmAutoShutDown::closeEvent(QCloseEvent* event) {
  StoreShutdownSetting(configkey::kAutoShutDown, ConfigBool(cbxAutoStart_->isChecked()));
  QDialog::closeEvent(event);
}

void ShowShutdownWindow(int mode, const AutoShutDownEnvironment& environment) {
  if (mode == 1) {
    const std::string stored = ReadConfig(configkey::kShutDownTime, "00:00:00");
    if (!ParseTimeOfDay(stored).isValid()) {
      // A power-off at a time nobody chose is worse than none.
      ui::ActiveMessageBoxes()->Show(
          "关机时间 \"" + stored + "\" 不是 hh:mm:ss 格式的时间，定时关机没有启动。", "提示",
          ui::MessageIcon::Warning);
      if (!shutdownWindow || !shutdownWindow->Armed()) DestroyShutdownWindow();
      return;
    }
  }
  if (!shutdownWindow) {
    shutdownWindow = new TfrmAutoShutDown(environment);
    static bool cleanupConnected = false;
    if (!cleanupConnected && QCoreApplication::instance()) {
      QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                       [] { DestroyShutdownWindow(); });
      cleanupConnected = true;
    }
  }
  if (mode == 1) {
    shutdownWindow->ArmSilently();
  } else {
    shutdownWindow->RunModal();
  }
  if (shutdownWindow && !shutdownWindow->Armed()) DestroyShutdownWindow();
}

TfrmAutoShutDown* ShutdownWindow() {
  return shutdownWindow.data();
}

void DestroyShutdownWindow() {
  delete shutdownWindow.data();
  shutdownWindow = nullptr;
}

bool PowerOffComputer() {
  const std::string method =
      ReadConfig(configkey::kPowerOffMethod, configkey::kPowerOffMethodDefault);
  QString program;
  QStringList arguments;
  if (method == "systemctl") {
    program = "systemctl";
    arguments << "poweroff";
  } else {
    // Not interactive: a server has nobody to answer a password prompt.
    program = "busctl";
    arguments << "call"
              << "org.freedesktop.login1"
              << "/org/freedesktop/login1"
              << "org.freedesktop.login1.Manager"
              << "PowerOff"
              << "b"
              << "false";
  }
  QProcess process;
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(program, arguments);
  bool accepted = false;
  std::string problem;
  if (!process.waitForStarted(kPowerOffWaitMs)) {
    problem = program.toStdString() + " cannot be run";
  } else if (!process.waitForFinished(kPowerOffWaitMs)) {
    process.kill();
    process.waitForFinished(1000);
    problem = program.toStdString() + " did not finish";
  } else {
    accepted = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!accepted) problem = process.readAllStandardError().trimmed().toStdString();
  }
  ShutdownLog("scheduled power-off requested through " + program.toStdString() +
              (accepted ? ": accepted" : ": refused (" + problem + ")"));
  return accepted;
}

void AddAutoShutDownTools(MainFormEnvironment& environment,
                          const AutoShutDownEnvironment& shutdown) {
  environment.tools["miAutoShutDown"] = [shutdown] { ShowShutdownWindow(0, shutdown); };
  environment.tools["armAutoShutDown"] = [shutdown] { ShowShutdownWindow(1, shutdown); };
}

}  // namespace quor::console
