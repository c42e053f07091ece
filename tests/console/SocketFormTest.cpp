// The socket transport window through its widgets, over real ports on
// loopback with plain client connections, and message boxes answered from a
// script.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "console/ConnectionHostName.h"
#include "console/SocketForm.h"
#include "console/SocketService.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/transport/TestBed.h"
#include "transport/PortSettings.h"
#include "transport/QtConnectionObserver.h"
#include "transport/SocketPortList.h"

namespace quor::console {
namespace {

using namespace std::chrono_literals;
using testing::FreeLowPort;
using testing::ProcessEventsUntil;
using testing::RawClient;
using ui::MessageAnswer;

constexpr const char* kForceQuestion = "当有连接时不能改变此项设置. 是否强制断开连接?";
constexpr const char* kDisconnectQuestion = "强制断开会导致客户端应用程序出现异常. 是否继续?";

void TypeInto(QLineEdit* field, const std::string& text) {
  field->selectAll();
  if (text.empty()) {
    QTest::keyClick(field, Qt::Key_Backspace);
  } else {
    QTest::keyClicks(field, QString::fromStdString(text));
  }
}

class SocketFormTest : public ::testing::Test {
 protected:
  SocketFormTest()
      : rows_(std::make_shared<transport::QtConnectionObserver>(QCoreApplication::instance())) {}

  // Writes the store's port sections: one port in "Settings", several as
  // sections of their own.
  void ConfigurePorts(const std::vector<int>& ports) {
    const std::string root = transport::kSocketServerKey;
    if (ports.size() == 1) {
      bed_.Store().WriteInteger(root + "\\Settings", "Port", ports[0]);
      return;
    }
    for (int port : ports) {
      transport::PortSettings settings;
      settings.port = port;
      transport::SavePortSettings(settings, bed_.Store());
    }
  }

  TSocketForm& Form() {
    if (!form_) {
      auto context = bed_.MakeContext();
      context->observer = rows_;
      context_ = context;
      ports_ = std::make_unique<transport::SocketPortList>(context, bed_.Store());
      form_ = std::make_unique<TSocketForm>(*ports_, *rows_);
      form_->Initialise(false);
    }
    return *form_;
  }

  template <typename T>
  T* Child(const char* name) {
    T* child = Form().findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  QAction* Action(const char* name) { return Child<QAction>(name); }
  QLineEdit* Field(const char* name) { return Child<QLineEdit>(name); }
  QTreeWidget* Connections() { return Child<QTreeWidget>("ConnectionList"); }

  bool WaitForRows(int count) {
    return ProcessEventsUntil([&] { return Form().ConnectionCount() == count; });
  }

  transport::TSocketDispatcher& Port(std::size_t index) { return *ports_->Dispatchers()[index]; }

  void TearDown() override {
    form_.reset();
    ports_.reset();
  }

  testing::ScriptedBoxes boxes_;
  transport::testing::TestBed bed_;
  std::shared_ptr<transport::QtConnectionObserver> rows_;
  std::shared_ptr<transport::TransportContext> context_;
  std::unique_ptr<transport::SocketPortList> ports_;
  std::unique_ptr<TSocketForm> form_;
};

TEST_F(SocketFormTest, OpensTheConfiguredPortsAndSelectsTheFirst) {
  const int first = FreeLowPort();
  const int second = FreeLowPort();
  ConfigurePorts({first, second});
  TSocketForm& form = Form();
  EXPECT_EQ(form.windowTitle().toStdString(), "Socket 连接服务程序");
  auto* list = Child<QListWidget>("PortList");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text().toInt(), first);
  EXPECT_EQ(list->item(1)->text().toInt(), second);
  EXPECT_EQ(form.SelectedPort(), 0);
  EXPECT_EQ(Field("PortNo")->text().toInt(), first);
  EXPECT_TRUE(Field("PortNo")->isEnabled());
  EXPECT_FALSE(Action("ApplyAction")->isEnabled()) << "nothing changed yet";
  EXPECT_TRUE(Port(0).Active());
  EXPECT_TRUE(Port(1).Active());
  EXPECT_EQ(Child<QLabel>("StatusLine")->text().toStdString(), "当前连接数： 0 ");
}

TEST_F(SocketFormTest, TheServiceStartOpensThePortsOnTheWindowsThreadOnceEventsRun) {
  const int port = FreeLowPort();
  ConfigurePorts({port});
  auto context = bed_.MakeContext();
  context->observer = rows_;
  ports_ = std::make_unique<transport::SocketPortList>(context, bed_.Store());
  form_ = std::make_unique<TSocketForm>(*ports_, *rows_);
  TSocketService service("NT_QuorServerBZ", "瓦拓", *form_);
  EXPECT_FALSE(TSocketService::kAllowPause);

  service.Start();
  EXPECT_TRUE(service.Started());
  EXPECT_FALSE(form_->Initialised()) << "handed to the window's thread, not run in the call";
  EXPECT_TRUE(ports_->Dispatchers().empty());
  ASSERT_TRUE(ProcessEventsUntil([&] { return form_->Initialised(); }));
  EXPECT_TRUE(form_->FromService());
  ASSERT_EQ(ports_->Dispatchers().size(), 1u);
  EXPECT_TRUE(Port(0).Active());
  RawClient client(static_cast<std::uint16_t>(port));
  EXPECT_TRUE(WaitForRows(1));
}

TEST_F(SocketFormTest, TheOnlyPortCannotBeRemoved) {
  const int only = FreeLowPort();
  ConfigurePorts({only});
  Form();
  EXPECT_FALSE(Action("RemovePortAction")->isEnabled());
  Form().RemovePort();
  ASSERT_EQ(ports_->Dispatchers().size(), 1u) << "the command itself refuses as well";
  EXPECT_TRUE(Port(0).Active());

  // With a second port, removing the selected one closes it and selects the other.
  Action("AddPortAction")->trigger();
  Action("ApplyAction")->trigger();
  ASSERT_EQ(ports_->Dispatchers().size(), 2u);
  EXPECT_TRUE(Action("RemovePortAction")->isEnabled());
  Action("RemovePortAction")->trigger();
  ASSERT_EQ(ports_->Dispatchers().size(), 1u);
  EXPECT_EQ(Port(0).Settings().port, only);
  EXPECT_EQ(Child<QListWidget>("PortList")->count(), 1);
  EXPECT_FALSE(Action("RemovePortAction")->isEnabled());
  EXPECT_EQ(boxes_->Shown().size(), 0u) << boxes_->Shown().front().text;
}

TEST_F(SocketFormTest, AddingProposesTheShownPortPlusOneThatListensOnlyOnceApplied) {
  const int shown = FreeLowPort();
  ConfigurePorts({shown});
  Form();
  Action("AddPortAction")->trigger();

  ASSERT_EQ(ports_->Dispatchers().size(), 2u);
  EXPECT_EQ(Child<QListWidget>("PortList")->item(1)->text().toInt(), shown + 1);
  EXPECT_EQ(Field("PortNo")->text().toInt(), shown + 1);
  EXPECT_EQ(Form().SelectedPort(), 1);
  EXPECT_EQ(Child<QTabWidget>("Pages")->currentIndex(), 1) << "the properties page";
  EXPECT_TRUE(Action("ApplyAction")->isEnabled()) << "the port field counts as changed";
  EXPECT_FALSE(Port(1).Active()) << "not listening before Apply";
  EXPECT_EQ(Port(1).Settings().threadCacheSize, 10);
  EXPECT_EQ(Port(1).Settings().timeout, 0);

  Action("ApplyAction")->trigger();
  EXPECT_TRUE(Port(1).Active());
  EXPECT_EQ(Port(1).ListeningPort(), shown + 1);
  RawClient client(static_cast<std::uint16_t>(shown + 1));
  EXPECT_TRUE(WaitForRows(1));
}

TEST_F(SocketFormTest, ChangingAPropertyWithOpenConnectionsAsksAndNoKeepsBoth) {
  const int port = FreeLowPort();
  ConfigurePorts({port});
  Form();
  RawClient first(static_cast<std::uint16_t>(port));
  RawClient second(static_cast<std::uint16_t>(port));
  ASSERT_TRUE(WaitForRows(2));

  const std::string guid = "{6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405165}";
  TypeInto(Field("InterceptGUID"), guid);
  ASSERT_TRUE(Action("ApplyAction")->isEnabled());
  boxes_->QueueAnswer(MessageAnswer::No);
  Action("ApplyAction")->trigger();

  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, kForceQuestion);
  EXPECT_EQ(boxes_->Shown()[0].buttons, ui::MessageButtons::YesNo);
  EXPECT_EQ(Port(0).Settings().interceptGuid, "") << "the old setting stays in force";
  EXPECT_EQ(Port(0).ConnectionCount(), 2u);
  EXPECT_FALSE(first.ClosedByServer(50ms));
  EXPECT_FALSE(second.ClosedByServer(0ms));
  EXPECT_EQ(Form().ConnectionCount(), 2);

  // Yes ends both connections and reopens the port with the new setting.
  boxes_->QueueAnswer(MessageAnswer::Yes);
  Action("ApplyAction")->trigger();
  EXPECT_EQ(Port(0).Settings().interceptGuid, guid);
  EXPECT_TRUE(Port(0).Active());
  EXPECT_TRUE(first.ClosedByServer(5s));
  EXPECT_TRUE(second.ClosedByServer(5s));
  EXPECT_TRUE(WaitForRows(0));
  EXPECT_FALSE(Action("ApplyAction")->isEnabled());
}

TEST_F(SocketFormTest, BadFieldsAreReportedAndChangeNothing) {
  struct Case {
    const char* field;
    std::string text;
    std::string message;
  };
  const int port = FreeLowPort();
  ConfigurePorts({port});
  Form();
  const transport::PortSettings before = Port(0).Settings();
  const std::vector<Case> cases = {
      {"PortNo", "abc", "'abc' is not a valid integer value"},
      {"PortNo", "", "'' is not a valid integer value"},
      {"PortNo", "70000", "70000 不在 1 到 32767 的范围内"},
      {"PortNo", "0", "0 不在 1 到 32767 的范围内"},
      {"ThreadSize", "12x", "'12x' is not a valid integer value"},
      {"ThreadSize", "1001", "1001 不在 0 到 1000 的范围内"},
      {"Timeout", "-30", "-30 不在 0 到 32767 的范围内"},
  };
  for (const Case& c : cases) {
    TypeInto(Field(c.field), c.text);
    const std::size_t shownBefore = boxes_->Shown().size();
    Action("ApplyAction")->trigger();
    ASSERT_EQ(boxes_->Shown().size(), shownBefore + 1) << c.field << " " << c.text;
    EXPECT_EQ(boxes_->Shown().back().text, c.message) << c.field;
    EXPECT_EQ(Port(0).Settings(), before) << c.field << " " << c.text;
    EXPECT_TRUE(Port(0).Active()) << c.field << " " << c.text;
    TypeInto(Field(c.field), c.field == std::string("PortNo") ? std::to_string(port)
                             : c.field == std::string("ThreadSize")
                                 ? std::to_string(before.threadCacheSize)
                                 : std::to_string(before.timeout));
  }
}

TEST_F(SocketFormTest, APortTakenByAnotherProgramIsReportedAndTheOldPortServesOn) {
  const int port = FreeLowPort();
  const int taken = FreeLowPort();
  ConfigurePorts({port});
  Form();
  testing::PortHolder otherProgram(static_cast<std::uint16_t>(taken));
  TypeInto(Field("PortNo"), std::to_string(taken));
  Action("ApplyAction")->trigger();

  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text.rfind(
                "没有正确配置网络或打开端口（" + std::to_string(taken) + " ）出错: ", 0),
            0u)
      << boxes_->Shown()[0].text;
  EXPECT_EQ(Port(0).Settings().port, port);
  EXPECT_TRUE(Port(0).Active());
  EXPECT_EQ(Port(0).ListeningPort(), port);
  EXPECT_EQ(Child<QListWidget>("PortList")->item(0)->text().toInt(), port);
  RawClient client(static_cast<std::uint16_t>(port));
  EXPECT_TRUE(WaitForRows(1));
}

TEST_F(SocketFormTest, ShowHostSwitchesTheHostColumnOfEveryRow) {
  const int port = FreeLowPort();
  ConfigurePorts({port});
  Form();
  RawClient first(static_cast<std::uint16_t>(port));
  RawClient second(static_cast<std::uint16_t>(port));
  ASSERT_TRUE(WaitForRows(2));
  QTreeWidget* list = Connections();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(list->topLevelItem(i)->text(0).toInt(), port);
    EXPECT_EQ(list->topLevelItem(i)->text(1).toStdString(), "127.0.0.1");
    EXPECT_EQ(list->topLevelItem(i)->text(2).toStdString(), "(不能查看)") << "ShowHost is off";
  }
  const std::string looked = LookUpHostName("127.0.0.1");
  const std::string expected = looked.empty() ? "(未知)" : looked;

  Action("ShowHostAction")->trigger();
  EXPECT_TRUE(ports_->ShowHost());
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(list->topLevelItem(i)->text(2).toStdString(), expected);
  }
  RawClient third(static_cast<std::uint16_t>(port));
  ASSERT_TRUE(WaitForRows(3));
  EXPECT_EQ(list->topLevelItem(2)->text(2).toStdString(), expected) << "new rows look it up";

  Action("ShowHostAction")->trigger();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list->topLevelItem(i)->text(2).toStdString(), "(不能查看)");
  }
}

TEST_F(SocketFormTest, DisconnectClosesEachSelectedRowOnItsOwnPort) {
  const int first = FreeLowPort();
  const int second = FreeLowPort();
  ConfigurePorts({first, second});
  Form();
  RawClient onFirst(static_cast<std::uint16_t>(first));
  RawClient onSecond(static_cast<std::uint16_t>(second));
  ASSERT_TRUE(WaitForRows(2));
  EXPECT_FALSE(Action("DisconnectAction")->isEnabled()) << "no row selected";

  // The first port is selected in the port list; the row chosen is the second's.
  ASSERT_EQ(Form().SelectedPort(), 0);
  QTreeWidget* list = Connections();
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    list->topLevelItem(i)->setSelected(list->topLevelItem(i)->text(0).toInt() == second);
  }
  ASSERT_TRUE(Action("DisconnectAction")->isEnabled());

  boxes_->QueueAnswer(MessageAnswer::No);
  Action("DisconnectAction")->trigger();
  EXPECT_EQ(boxes_->Shown().back().text, kDisconnectQuestion);
  EXPECT_FALSE(onSecond.ClosedByServer(50ms)) << "No keeps the connection";

  boxes_->QueueAnswer(MessageAnswer::Yes);
  Action("DisconnectAction")->trigger();
  EXPECT_TRUE(onSecond.ClosedByServer(5s));
  ASSERT_TRUE(WaitForRows(1));
  EXPECT_EQ(list->topLevelItem(0)->text(0).toInt(), first);
  EXPECT_FALSE(onFirst.ClosedByServer(0ms));
}

TEST_F(SocketFormTest, RegisteredOnlyTakesEffectForNewConnectionsAndSaysSo) {
  ConfigurePorts({FreeLowPort()});
  Form();
  ASSERT_TRUE(Action("RegisteredAction")->isChecked()) << "the default";
  Action("RegisteredAction")->trigger();
  EXPECT_FALSE(ports_->RegisteredOnly());
  EXPECT_FALSE(context_->registeredOnly.load());
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "改变此项设置要重新启动本程序才能生效。");
}

TEST_F(SocketFormTest, ExitAppliesPendingChangesAndSavesEveryPortAndSwitch) {
  const int port = FreeLowPort();
  ConfigurePorts({port});
  Form();
  Action("AddPortAction")->trigger();
  Action("ShowHostAction")->trigger();
  Form().show();
  EXPECT_EQ(Child<QTabWidget>("Pages")->currentIndex(), 0) << "showing opens the users page";
  Child<QTabWidget>("Pages")->setCurrentIndex(1);
  Action("ExitAction")->trigger();

  EXPECT_EQ(Form().result(), QDialog::Accepted);
  EXPECT_FALSE(Form().isVisible());
  EXPECT_TRUE(Port(1).Active()) << "the pending port was applied";
  const std::vector<transport::PortSettings> saved = transport::LoadAllPortSettings(bed_.Store());
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].port, port);
  EXPECT_EQ(saved[1].port, port + 1);
  EXPECT_TRUE(transport::LoadSocketSwitches(bed_.Store()).showHost);
}

TEST_F(SocketFormTest, AStoreThatCannotBeWrittenIsReportedAndThePortsServeOn) {
  const int port = FreeLowPort();
  ConfigurePorts({port});
  Form();
  // A folder where the file was: no one, root included, can write it.
  const std::filesystem::path file = bed_.Store().Path();
  std::filesystem::remove(file);
  std::filesystem::create_directory(file);
  EXPECT_FALSE(Form().SaveAllSettings());
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text.rfind("端口设置没有保存: ", 0), 0u) << boxes_->Shown()[0].text;
  EXPECT_TRUE(Port(0).Active());
  RawClient client(static_cast<std::uint16_t>(port));
  EXPECT_TRUE(WaitForRows(1));
}

TEST_F(SocketFormTest, ColumnHeadersSortTheRowsAsText) {
  const int first = FreeLowPort();
  const int second = FreeLowPort();
  ConfigurePorts({second > first ? second : first, second > first ? first : second});
  Form();
  RawClient high(static_cast<std::uint16_t>(std::max(first, second)));
  ASSERT_TRUE(WaitForRows(1));
  RawClient low(static_cast<std::uint16_t>(std::min(first, second)));
  ASSERT_TRUE(WaitForRows(2));
  QTreeWidget* list = Connections();
  list->sortByColumn(0, Qt::AscendingOrder);
  EXPECT_EQ(list->topLevelItem(0)->text(0).toInt(), std::min(first, second));
  list->sortByColumn(0, Qt::DescendingOrder);
  EXPECT_EQ(list->topLevelItem(0)->text(0).toInt(), std::max(first, second));
}

}  // namespace
}  // namespace quor::console
