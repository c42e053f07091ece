// The scheduled power-off through its window, with a fake clock: the
// countdown of every tick, arming and disarming, the window's life, the
// arming at the console's start, and the power-off request reaching logind
// or systemctl played by scripts (nothing real is on PATH meanwhile).
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>

#include <string>
#include <vector>

#include "ServerPublic/ConfigStore.h"
#include "console/AutoShutDownForm.h"
#include "tests/console/WebShutdownFixture.h"

namespace quor::console {
namespace {

const QDate kToday(2026, 12, 10);

class AutoShutDownTest : public testing::WebShutdownFixture {
 protected:
  void TearDown() override {
    DestroyShutdownWindow();
    WebShutdownFixture::TearDown();
  }

  AutoShutDownEnvironment Environment() {
    AutoShutDownEnvironment env;
    env.now = [this] { return now_; };
    env.powerOff = [this] {
      ++powerOffs_;
      return false;
    };
    env.runModal = [this](QWidget& window) {
      window.show();
      intervalWhileShown_ = ShutdownWindow()->PowerTime()->interval();
      if (person_) person_(*ShutdownWindow());
      ShutdownWindow()->close();
      return 0;
    };
    return env;
  }

  template <typename T>
  T* Child(const char* name) {
    T* child = ShutdownWindow() ? ShutdownWindow()->findChild<T*>(name) : nullptr;
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  std::string Text(const char* label) { return Child<QLabel>(label)->text().toStdString(); }

  QDateTime now_{kToday, QTime(8, 0, 0)};
  int powerOffs_ = 0;
  int intervalWhileShown_ = 0;
  std::function<void(TfrmAutoShutDown&)> person_;
};

TEST_F(AutoShutDownTest, EachTickShowsTheTimeLeftAndAsksForThePowerOffInTheLast30Seconds) {
  struct Case {
    QDate date;  // the date picker's
    QTime now;   // on kToday
    const char* shownNow;
    const char* left;
    bool powerOff;
  };
  // The target is 23:00:00.
  const Case cases[] = {
      {kToday, QTime(8, 0, 0), "08:00:00", "15:00:00", false},
      {kToday, QTime(22, 59, 30), "22:59:30", "00:00:30", false},
      {kToday, QTime(22, 59, 30, 999), "22:59:30", "00:00:30", false},
      {kToday, QTime(22, 59, 31), "22:59:31", "00:00:29", true},
      {kToday, QTime(23, 0, 0), "23:00:00", "00:00:00", true},
      // Past the target by a fraction of its second: 24 hours less nothing.
      {kToday, QTime(23, 0, 0, 400), "23:00:00", "00:00:00", true},
      {kToday, QTime(23, 0, 1), "23:00:01", "23:59:59", false},
      {kToday, QTime(23, 30, 0), "23:30:00", "23:30:00", false},
      // Another day: whole days to go, halves to even, and no power-off.
      {kToday.addDays(1), QTime(12, 0, 0), "12:00:00", "0 天...", false},
      {kToday.addDays(2), QTime(12, 0, 0), "12:00:00", "2 天...", false},
      {kToday.addDays(3), QTime(12, 0, 0), "12:00:00", "2 天...", false},
      {kToday.addDays(4), QTime(12, 0, 0), "12:00:00", "4 天...", false},
      {kToday.addDays(3), QTime(6, 0, 0), "06:00:00", "3 天...", false},
      {kToday.addDays(-1), QTime(12, 0, 0), "12:00:00", "-2 天...", false},
      {kToday.addDays(-1), QTime(23, 0, 0), "23:00:00", "-2 天...", false},
  };
  WriteConfigFile("ShutDownTime=23:00:00\r\n");
  ShowShutdownWindow(1, Environment());
  ASSERT_NE(ShutdownWindow(), nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.now.toString("hh:mm:ss.zzz").toStdString() + " " +
                 c.date.toString("yyyy-MM-dd").toStdString());
    Child<QDateEdit>("DatePicker")->setDate(c.date);
    now_ = QDateTime(kToday, c.now);
    const int before = powerOffs_;
    ShutdownWindow()->PowerTimeTimer();
    EXPECT_EQ(Text("lblNtime"), c.shownNow);
    EXPECT_EQ(Text("lblVTime"), c.left);
    EXPECT_EQ(powerOffs_ - before, c.powerOff ? 1 : 0);
  }
}

TEST_F(AutoShutDownTest, ArmedEveryTenSecondsTheRequestIsRepeatedUntilTheTime) {
  WriteConfigFile("ShutDownTime=23:00:00\r\n");
  ShowShutdownWindow(1, Environment());
  std::vector<std::string> left;
  for (int second = -45; second <= 5; second += 10) {
    now_ = QDateTime(kToday, QTime(23, 0, 0)).addSecs(second);
    ShutdownWindow()->PowerTimeTimer();
    left.push_back(Text("lblVTime"));
  }
  // A refused request leaves the countdown running: asked at -25, -15, -5 s.
  EXPECT_EQ(left, (std::vector<std::string>{"00:00:45", "00:00:35", "00:00:25", "00:00:15",
                                            "00:00:05", "23:59:55"}));
  EXPECT_EQ(powerOffs_, 3);
  EXPECT_TRUE(ShutdownWindow()->Armed());
}

TEST_F(AutoShutDownTest, ArmedAtStartTheWindowCountsHiddenEveryTenSeconds) {
  WriteConfigFile("ShutDownTime=21:15:00\r\nAutoShutDown=True\r\n");
  now_ = QDateTime(kToday, QTime(7, 30, 0));
  ShowShutdownWindow(1, Environment());
  TfrmAutoShutDown* window = ShutdownWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle().toStdString(), "定时关电脑设置");
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(window->Armed());
  EXPECT_EQ(Child<QPushButton>("btnStart")->text().toStdString(), "停止");
  EXPECT_TRUE(window->PowerTime()->isActive());
  EXPECT_EQ(window->PowerTime()->interval(), 10000);
  EXPECT_FALSE(Child<QDateEdit>("DatePicker")->isEnabled());
  EXPECT_FALSE(Child<QTimeEdit>("TimePicker")->isEnabled());
  EXPECT_EQ(Child<QDateEdit>("DatePicker")->date(), kToday);
  EXPECT_EQ(Child<QTimeEdit>("TimePicker")->time(), QTime(21, 15, 0));
  EXPECT_TRUE(Child<QCheckBox>("cbxAutoStart")->isChecked());
  EXPECT_EQ(window->size(), QSize(283, 140));

  // Arming again sets the same state on the same window.
  ShowShutdownWindow(1, Environment());
  EXPECT_EQ(ShutdownWindow(), window);
  EXPECT_TRUE(window->Armed());
}

TEST_F(AutoShutDownTest, TheMenuShowsTheWindowAndOnlyAnArmedOneOutlivesIt) {
  WriteConfigFile("ShutDownTime=22:00:00\r\n");
  // Closed idle: destroyed, and the check box stored.
  person_ = [](TfrmAutoShutDown& window) {
    window.findChild<QCheckBox*>("cbxAutoStart")->setChecked(true);
  };
  ShowShutdownWindow(0, Environment());
  EXPECT_EQ(intervalWhileShown_, 1000);
  EXPECT_EQ(ShutdownWindow(), nullptr);
  EXPECT_EQ(Stored("AutoShutDown"), "True");
  EXPECT_EQ(Stored("ShutDownTime"), "22:00:00");

  // Armed by the person: stays alive hidden, every ten seconds, time stored.
  person_ = [](TfrmAutoShutDown& window) {
    window.findChild<QTimeEdit*>("TimePicker")->setTime(QTime(23, 45, 10));
    window.findChild<QCheckBox*>("cbxAutoStart")->setChecked(false);
    window.findChild<QPushButton*>("btnStart")->click();
    EXPECT_EQ(window.PowerTime()->interval(), 1000);
    EXPECT_TRUE(window.PowerTime()->isActive());
  };
  ShowShutdownWindow(0, Environment());
  TfrmAutoShutDown* armed = ShutdownWindow();
  ASSERT_NE(armed, nullptr);
  EXPECT_TRUE(armed->Armed());
  EXPECT_FALSE(armed->isVisible());
  EXPECT_EQ(armed->PowerTime()->interval(), 10000);
  EXPECT_TRUE(armed->PowerTime()->isActive());
  EXPECT_EQ(Stored("ShutDownTime"), "23:45:10");
  EXPECT_EQ(Stored("AutoShutDown"), "False");

  // The menu again shows that same window; "停止" there and closing destroys it.
  person_ = [armed](TfrmAutoShutDown& window) {
    EXPECT_EQ(&window, armed);
    window.findChild<QPushButton*>("btnStart")->click();
    EXPECT_EQ(window.findChild<QPushButton*>("btnStart")->text().toStdString(), "启动");
    EXPECT_FALSE(window.PowerTime()->isActive());
    EXPECT_TRUE(window.findChild<QTimeEdit*>("TimePicker")->isEnabled());
  };
  ShowShutdownWindow(0, Environment());
  EXPECT_EQ(ShutdownWindow(), nullptr);
  // Disarming stores nothing.
  EXPECT_EQ(Stored("ShutDownTime"), "23:45:10");
}

TEST_F(AutoShutDownTest, AStoredTimeThatIsNoTimeArmsNothingAndSaysSo) {
  for (const char* stored : {"25:00:00", "abc", "7:30", "07:30:00 pm"}) {
    SCOPED_TRACE(stored);
    WriteConfigFile(std::string("ShutDownTime=") + stored + "\r\n");
    const std::size_t before = boxes_->Shown().size();
    ShowShutdownWindow(1, Environment());
    EXPECT_EQ(ShutdownWindow(), nullptr);
    ASSERT_EQ(boxes_->Shown().size(), before + 1);
    EXPECT_NE(boxes_->Shown().back().text.find(stored), std::string::npos);
    EXPECT_NE(boxes_->Shown().back().text.find("定时关机没有启动"), std::string::npos);
  }
}

TEST_F(AutoShutDownTest, TheConsoleArmsAtStartAndThePowerOffReachesLogind) {
  // logind refuses the first request; the next tick asks again.
  FakeProgram("busctl",
              "[ -f \"$0.asked\" ] && exit 0\n"
              ": > \"$0.asked\"\n"
              "echo 'Interactive authentication required.' >&2\nexit 1");
  OnlyFakeProgramsOnPath();
  WriteConfigFile("AutoShutDown=True\r\nShutDownTime=23:00:00\r\n");
  AutoShutDownEnvironment shutdown = Environment();
  shutdown.powerOff = {};  // the real request
  MainFormEnvironment environment;
  AddAutoShutDownTools(environment, shutdown);
  auto form = MakeMainForm(environment);
  EXPECT_TRUE(form->findChild<QAction*>("miAutoShutDown")->isEnabled());
  ASSERT_NE(ShutdownWindow(), nullptr);
  EXPECT_TRUE(ShutdownWindow()->Armed());

  now_ = QDateTime(kToday, QTime(22, 59, 40));
  ShutdownWindow()->PowerTimeTimer();
  now_ = QDateTime(kToday, QTime(22, 59, 50));
  ShutdownWindow()->PowerTimeTimer();
  const std::string request =
      "busctl call org.freedesktop.login1 /org/freedesktop/login1 "
      "org.freedesktop.login1.Manager PowerOff b false";
  EXPECT_EQ(ProgramCalls(), (std::vector<std::string>{request, request}));
}

TEST_F(AutoShutDownTest, ThePowerOffCanGoThroughSystemctl) {
  OnlyFakeProgramsOnPath();
  WriteConfigFile("PowerOffMethod=systemctl\r\n");
  EXPECT_TRUE(PowerOffComputer());
  EXPECT_EQ(systemctl_.Calls(), std::vector<std::string>{"poweroff"});
  systemctl_.SetScript("exit 1");
  EXPECT_FALSE(PowerOffComputer());
}

}  // namespace
}  // namespace quor::console
