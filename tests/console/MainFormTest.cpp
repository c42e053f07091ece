// The console window through its widgets and menu items: an online table with
// a fake clock, the configuration in a file of its own, systemd played by the
// fake systemctl, and a person's answers from a script.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QTableWidget>

#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FakeSystemCtl.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/MachineAddress.h"
#include "ServerPublic/OnlineSessionTable.h"
#include "ServerPublic/ServerGlobals.h"
#include "console/MainForm.h"
#include "console/SocketForm.h"
#include "platform/service/ServiceRegistration.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/support/files/TempFolder.h"
#include "tests/transport/TestBed.h"
#include "transport/QtConnectionObserver.h"
#include "transport/SocketPortList.h"

namespace quor::console {
namespace {

namespace fs = std::filesystem;
using testing::ProcessEventsUntil;
using ui::MessageAnswer;

constexpr const char* kTitle = "瓦拓商贸标准版服务器";

std::string ReadWholeFile(const fs::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// 10:20:30 today, local time, as the grid shows it.
std::chrono::system_clock::time_point LocalTimeOfDay(int hour, int minute, int second) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest()
      : table_([this] {
          return SessionInstant{steady_, wall_};
        }),
        wall_(LocalTimeOfDay(10, 20, 30)) {}

  void SetUp() override {
    SetPrivateEngineMode(false);
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    ResetConfigCacheForTests();
    ::setenv("QUOR_REGISTRY_FILE", (folder_.Path() / "registry.reg").c_str(), 1);
    StartupValues values;
    values.vocation = values.startupVocation = "BZ";
    values.productTitle = kTitle;
    values.serviceName = "NT_QuorServerBZ";
    values.configFileName = "QuorServerBZ.dat";
    values.programFolder = folder_.Path().string() + "/";
    values.programPath = values.programFolder + "QuorServerBZ";
    SetStartup(values);
    systemctl_.AnswerShow("not-found", "inactive", "0");
    unitFolder_ = systemctl_.Folder() / "units";
    fs::create_directory(unitFolder_);
  }

  void TearDown() override {
    form_.reset();
    socketForm_.reset();
    ports_.reset();
    ::unsetenv("QUOR_REGISTRY_FILE");
    SetConfigFilePath({});
    ResetConfigCacheForTests();
    SetPrivateEngineMode(false);
    SetUserLoginIdentic(false);
    SetUseMobileDataBase(false);
    SetUsePhoneToDataBase(false);
    SetUseClientAutoUpdate(false);
    SetUseClientAutoSynchro(true);
  }

  void WriteConfigFile(const std::string& lines) {
    std::ofstream(folder_.Path() / "QuorServerBZ.dat") << "[ServerConfig]\r\n" << lines;
    ResetConfigCacheForTests();
  }

  MainFormEnvironment Environment() {
    MainFormEnvironment env;
    env.sessions = &table_;
    env.socketForm = socketForm_.get();
    env.installService = [this] {
      service::InstallService({ServiceName(), ProductTitle(), "/opt/quor/QuorServerBZ"},
                              unitFolder_);
    };
    env.removeService = [this] { service::RemoveService(ServiceName(), unitFolder_); };
    env.inputText = [this](const std::string& caption, const std::string& prompt,
                           const std::string& shown) -> std::optional<std::string> {
      prompts_.push_back(caption + "|" + prompt + "|" + shown);
      if (inputs_.empty()) return std::nullopt;
      std::optional<std::string> answer = inputs_.front();
      inputs_.pop_front();
      return answer;
    };
    env.pickFolder = [this](const std::string& title, const std::string&) {
      prompts_.push_back(title);
      return pickedFolder_;
    };
    env.openFolder = [this](const std::string& folder) {
      opened_.push_back(folder);
      return fs::is_directory(folder);
    };
    env.startProgram = [this](const std::string& program, const std::vector<std::string>& args,
                              const std::string&) {
      std::string line = program;
      for (const std::string& arg : args) line += " " + arg;
      started_.push_back(line);
      return programStarts_;
    };
    env.runModal = [this](QWidget& window) {
      modal_.push_back(window.objectName().toStdString());
      return 0;
    };
    env.controlService = [this](const std::string& unit, bool start) {
      serviceCalls_.push_back((start ? "start " : "stop ") + unit);
      return true;
    };
    env.quit = [this] { ++quits_; };
    env.trayAvailable = [] { return false; };
    env.tools = tools_;
    return env;
  }

  TfrmMainForm& Form() {
    if (!form_) form_ = std::make_unique<TfrmMainForm>(Environment());
    return *form_;
  }
  QAction* Item(const char* name) {
    QAction* item = Form().findChild<QAction*>(name);
    EXPECT_NE(item, nullptr) << name;
    return item;
  }
  QLabel* Label(const char* name) {
    QLabel* label = Form().findChild<QLabel*>(name);
    EXPECT_NE(label, nullptr) << name;
    return label;
  }
  QTableWidget* Grid() { return Form().findChild<QTableWidget*>("OnlineUserGrid"); }
  std::string Cell(int row, int column) {
    QTableWidgetItem* item = Grid()->item(row, column);
    return item ? item->text().toStdString() : std::string();
  }

  // A socket window over a real port, for the exit question.
  void WithSocketWindow(transport::testing::TestBed& bed, int port) {
    bed.Store().WriteInteger(std::string(transport::kSocketServerKey) + "\\Settings", "Port", port);
    rows_ = std::make_shared<transport::QtConnectionObserver>(QCoreApplication::instance());
    auto context = bed.MakeContext();
    context->observer = rows_;
    ports_ = std::make_unique<transport::SocketPortList>(context, bed.Store());
    socketForm_ = std::make_unique<TSocketForm>(*ports_, *rows_);
    socketForm_->Initialise(false);
  }

  ::quor::testing::TempFolder folder_;
  service::testing::FakeSystemCtl systemctl_;
  fs::path unitFolder_;
  testing::ScriptedBoxes boxes_;
  OnlineSessionTable table_;
  std::chrono::steady_clock::time_point steady_ = std::chrono::steady_clock::now();
  std::chrono::system_clock::time_point wall_;
  std::deque<std::string> inputs_;
  std::vector<std::string> prompts_;
  std::optional<std::string> pickedFolder_;
  std::vector<std::string> opened_;
  std::vector<std::string> started_;
  bool programStarts_ = true;
  std::vector<std::string> modal_;
  std::vector<std::string> serviceCalls_;
  std::map<std::string, std::function<void()>> tools_;
  int quits_ = 0;
  std::shared_ptr<transport::QtConnectionObserver> rows_;
  std::unique_ptr<transport::SocketPortList> ports_;
  std::unique_ptr<TSocketForm> socketForm_;
  std::unique_ptr<TfrmMainForm> form_;
};

TEST_F(MainFormTest, CreationFillsTheTitleAddressVersionAndPanels) {
  WriteConfigFile("TIMEOUT=45\r\n");
  TfrmMainForm& form = Form();
  EXPECT_EQ(form.windowTitle().toStdString(), kTitle);
  EXPECT_EQ(Label("LabelTitle")->text().toStdString(), kTitle);
  EXPECT_EQ(Label("lblVersion")->text().toStdString(), "版本号：9.33");
  EXPECT_EQ(Label("LabelLocal")->text().toStdString(), MachineAddress());
  EXPECT_EQ(Label("edtMobileDB")->text().toStdString(), "______________");
  EXPECT_EQ(Label("lblBakcupPath")->text().toStdString(), BackupFolder("Backup"));
  EXPECT_EQ(Label("lblGridCount")->text().toStdString(), "0");
  EXPECT_EQ(CommandTimeoutSeconds(), 45);
  EXPECT_TRUE(form.findChild<QWidget*>("pnlMsde")->isHidden()) << "no private engine here";
  EXPECT_FALSE(form.isVisible()) << "the console starts hidden";
  EXPECT_GE(Grid()->rowCount(), 9);
  EXPECT_EQ(Grid()->columnCount(), 6);
  const char* headers[] = {"机器名", "机器IP", "用户名", "数据库", "登陆时间"};
  for (int column = 0; column < 5; ++column) {
    EXPECT_EQ(Grid()->horizontalHeaderItem(column + 1)->text().toStdString(), headers[column]);
  }
}

TEST_F(MainFormTest, SwitchesAreReadAtCreationAndWrittenWhenToggled) {
  struct Case {
    const char* item;
    const char* key;
    std::function<bool()> value;
    bool defaultOn;
  };
  const std::vector<Case> cases = {
      {"miUserLoginIdentic", "UserLoginIdentic", UserLoginIdentic, false},
      {"miUseMobileDataBase", "UseMobileDataBase", UseMobileDataBase, false},
      {"miUsePhoneToDataBase", "UsePhoneToDataBase", UsePhoneToDataBase, false},
      {"miUseClientAutoSynchro", "UseClientAutoSynchro", UseClientAutoSynchro, true},
  };
  for (const Case& c : cases) {
    form_.reset();
    WriteConfigFile("");
    EXPECT_EQ(Item(c.item)->isChecked(), c.defaultOn) << c.item << " default";
    form_.reset();
    WriteConfigFile(std::string(c.key) + "=" + (c.defaultOn ? "False" : "True") + "\r\n");
    EXPECT_EQ(Item(c.item)->isChecked(), !c.defaultOn) << c.item;
    EXPECT_EQ(c.value(), !c.defaultOn) << c.item;

    Item(c.item)->trigger();
    EXPECT_EQ(Item(c.item)->isChecked(), c.defaultOn) << c.item;
    EXPECT_EQ(c.value(), c.defaultOn) << c.item;
    ResetConfigCacheForTests();
    EXPECT_EQ(ReadConfig(c.key, ""), c.defaultOn ? "True" : "False") << c.item;
  }
}

TEST_F(MainFormTest, ClientAutoUpdateCannotBeTurnedOnWithoutWebPublishing) {
  Form();
  Item("miUseClientAutoUpdate")->trigger();
  EXPECT_FALSE(Item("miUseClientAutoUpdate")->isChecked());
  EXPECT_FALSE(UseClientAutoUpdate());
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "配置IIS服务器虚拟目录失败，不能使用自动升级功能！");
  ResetConfigCacheForTests();
  EXPECT_EQ(ReadConfig("UseClientAutoUpdate", ""), "False");
}

TEST_F(MainFormTest, TheGridFollowsDesktopAndPhoneLoginsRefusalsAndDisconnects) {
  Form();
  ASSERT_EQ(table_.RegisterSession("{A}", "Shop", "01", "PC-1", "10.0.0.5", "张三", false),
            OnlineSessionTable::kEntered);
  ASSERT_TRUE(ProcessEventsUntil([&] { return Label("lblGridCount")->text() == "1"; }));
  EXPECT_EQ(Cell(0, 1), "PC-1");
  EXPECT_EQ(Cell(0, 2), "10.0.0.5");
  EXPECT_EQ(Cell(0, 3), "张三");
  EXPECT_EQ(Cell(0, 4), "Shop");
  EXPECT_EQ(Cell(0, 5), "10:20:30");

  wall_ = LocalTimeOfDay(10, 21, 0);
  ASSERT_EQ(table_.RegisterSession("Android_13912345678", "Shop", "02", "phone-7", "10.0.0.7",
                                   "李四", false),
            OnlineSessionTable::kEntered);
  ASSERT_TRUE(ProcessEventsUntil([&] { return Label("lblGridCount")->text() == "2"; }));
  EXPECT_EQ(Cell(1, 1), "phone-7");
  EXPECT_EQ(Cell(1, 5), "10:21:00");

  // The one-login rule refuses 张三 on a second machine; the grid shows the
  // table as it stays.
  ASSERT_EQ(table_.RegisterSession("{B}", "Shop", "01", "PC-2", "10.0.0.6", "张三", true),
            OnlineSessionTable::kRefused);
  table_.RequestRefresh();
  ASSERT_TRUE(ProcessEventsUntil([&] { return Cell(0, 1) == "PC-1"; }));
  EXPECT_EQ(Label("lblGridCount")->text().toStdString(), "2");

  ASSERT_TRUE(table_.RemoveSession("{A}", "", ""));
  ASSERT_TRUE(ProcessEventsUntil([&] { return Label("lblGridCount")->text() == "1"; }));
  EXPECT_EQ(Cell(0, 1), "phone-7") << "rows close up";
  EXPECT_EQ(Cell(1, 1), "");
  ASSERT_TRUE(table_.RemoveSession("Android_13912345678", "phone-7", "10.0.0.7"));
  ASSERT_TRUE(ProcessEventsUntil([&] { return Label("lblGridCount")->text() == "0"; }));
  EXPECT_EQ(Grid()->rowCount(), 9) << "the grid keeps nine rows";
}

TEST_F(MainFormTest, EntriesInScatteredSlotsShowAsConsecutiveRows) {
  for (int slot = 0; slot <= 40; ++slot) {
    ASSERT_EQ(table_.RegisterSession("{S" + std::to_string(slot) + "}", "Shop", "01",
                                     "PC-" + std::to_string(slot), "10.0.1." + std::to_string(slot),
                                     "user" + std::to_string(slot), false),
              OnlineSessionTable::kEntered);
  }
  for (int slot = 0; slot <= 40; ++slot) {
    if (slot != 1 && slot != 7 && slot != 40) {
      ASSERT_TRUE(table_.RemoveSession("{S" + std::to_string(slot) + "}", "", ""));
    }
  }
  Form();
  EXPECT_EQ(Label("lblGridCount")->text().toStdString(), "3");
  EXPECT_EQ(Cell(0, 1), "PC-1");
  EXPECT_EQ(Cell(1, 1), "PC-7");
  EXPECT_EQ(Cell(2, 1), "PC-40");
  EXPECT_EQ(Cell(3, 1), "");
}

TEST_F(MainFormTest, ThePrivateEngineSwitchRemovesTheMenuAndTheMobileAndStatusPanels) {
  StartupValues values = Startup();
  values.msdeSwitch = true;
  SetStartup(values);
  TfrmMainForm& form = Form();
  values.msdeSwitch = false;
  SetStartup(values);
  form.show();
  EXPECT_FALSE(form.menuBar()->isVisible());
  EXPECT_FALSE(form.findChild<QWidget*>("pnlMobile")->isVisible());
  EXPECT_FALSE(form.findChild<QWidget*>("pnlBottom")->isVisible());
  EXPECT_TRUE(form.findChild<QWidget*>("OnlineUserGrid")->isVisible());
  form.hide();
}

TEST_F(MainFormTest, TheNotificationIconCarriesTheCaptionWhereTheDesktopOffersOne) {
  Form();
  EXPECT_FALSE(Form().HasTrayIcon()) << "no notification area here";
  form_.reset();
  MainFormEnvironment env = Environment();
  env.trayAvailable = [] { return true; };
  form_ = std::make_unique<TfrmMainForm>(env);
  ASSERT_TRUE(form_->HasTrayIcon());
  auto* icon = form_->findChild<QSystemTrayIcon*>("TrayIcon");
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->toolTip().toStdString(), kTitle);
}

TEST_F(MainFormTest, ExitWithOpenConnectionsAsksAndCancelKeepsRunning) {
  transport::testing::TestBed bed;
  const int port = testing::FreeLowPort();
  WithSocketWindow(bed, port);
  Form();

  boxes_->QueueAnswer(MessageAnswer::Cancel);
  Item("miExit")->trigger();
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text,
            std::string("退出服务端后，客户端将不能正确连接。\r确定要退出") + kTitle + "吗？");
  EXPECT_EQ(boxes_->Shown()[0].caption, "提示");
  EXPECT_EQ(boxes_->Shown()[0].buttons, ui::MessageButtons::OkCancel);
  EXPECT_EQ(quits_, 0);

  testing::RawClient client(static_cast<std::uint16_t>(port));
  ASSERT_TRUE(ProcessEventsUntil([&] { return socketForm_->ConnectionCount() == 1; }));
  boxes_->QueueAnswer(MessageAnswer::Cancel);
  Form().TrayMenu()->findChild<QAction*>("miTrayExit")->trigger();
  EXPECT_EQ(boxes_->Shown().back().text,
            std::string("你当有还有客户端联机，强制退出会使客户端不能工作。\r确定要退出") + kTitle +
                "吗？");
  EXPECT_EQ(quits_, 0) << "Cancel keeps the server running";
  EXPECT_TRUE(ports_->Dispatchers()[0]->Active());

  boxes_->QueueAnswer(MessageAnswer::Ok);
  Item("miExit")->trigger();
  EXPECT_EQ(quits_, 1);
}

TEST_F(MainFormTest, WithTheServiceRunningThereIsNoSocketWindowAndExitDoesNotAsk) {
  systemctl_.AnswerShow("loaded", "active", "4242");
  Form();
  EXPECT_EQ(Item("miService")->text().toStdString(), " 删除已注册服务");
  EXPECT_FALSE(Item("miSocketUsers")->isEnabled());
  Item("miExit")->trigger();
  EXPECT_EQ(quits_, 1);
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(MainFormTest, TheSocketWindowOpensModallyFromItsItemAndTheCountLabel) {
  transport::testing::TestBed bed;
  WithSocketWindow(bed, testing::FreeLowPort());
  Form();
  ASSERT_TRUE(Item("miSocketUsers")->isEnabled());
  Item("miSocketUsers")->trigger();
  EXPECT_EQ(modal_, std::vector<std::string>{"SocketForm"});
}

TEST_F(MainFormTest, TheConnectionTimeoutTakesOnlyWholeNumbersFromZeroOn) {
  struct Case {
    std::optional<std::string> typed;
    int expectedSeconds;
    std::string expectedKey;
  };
  WriteConfigFile("TIMEOUT=120\r\n");
  Form();
  const std::vector<Case> cases = {
      {"abc", 120, "120"},        {"-5", 120, "120"}, {"12s", 120, "120"},
      {std::nullopt, 120, "120"}, {"0", 0, "0"},      {"90", 90, "90"},
      {"99999999999", 90, "90"},
  };
  for (const Case& c : cases) {
    if (c.typed) inputs_.push_back(*c.typed);
    Item("miConnectTimeout")->trigger();
    EXPECT_EQ(CommandTimeoutSeconds(), c.expectedSeconds) << c.typed.value_or("(cancel)");
    ResetConfigCacheForTests();
    EXPECT_EQ(ReadConfig("TIMEOUT", ""), c.expectedKey) << c.typed.value_or("(cancel)");
  }
  EXPECT_EQ(prompts_.front(), "输入窗口|请输入SQLServer连接超时时限（秒）！|120");
}

TEST_F(MainFormTest, ServiceRegistrationReportsWhatSystemdAnswered) {
  Form();
  ASSERT_EQ(Item("miService")->text().toStdString(), " 注册自启动服务");

  systemctl_.SetScript(
      "[ \"$1\" = enable ] && { echo 'Failed to enable unit: Access denied' >&2; exit 1; }\n"
      "[ \"$1\" = show ] && { printf 'LoadState=not-found\\nActiveState=inactive\\nMainPID=0\\n'; "
      "}\n"
      "exit 0");
  Item("miService")->trigger();
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text.rfind("注册NT服务失败: ", 0), 0u) << boxes_->Shown()[0].text;
  EXPECT_NE(boxes_->Shown()[0].text.find("Access denied"), std::string::npos);
  EXPECT_EQ(Item("miService")->text().toStdString(), " 注册自启动服务");

  EXPECT_FALSE(fs::exists(unitFolder_ / "NT_QuorServerBZ.service.tmp"));
}

TEST_F(MainFormTest, ServiceRegistrationAndRemovalSucceedThroughSystemd) {
  Form();
  systemctl_.SetScript(
      "[ \"$1\" = show ] && { if [ -e \"" + (unitFolder_ / "NT_QuorServerBZ.service").string() +
      "\" ]; then printf 'LoadState=loaded\\nActiveState=inactive\\nMainPID=0\\n'; else printf "
      "'LoadState=not-found\\nActiveState=inactive\\nMainPID=0\\n'; fi; }\nexit 0");
  Item("miService")->trigger();
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "已成功注册NT服务，系统启动时会自动运行网络服务器。");
  EXPECT_TRUE(fs::exists(unitFolder_ / "NT_QuorServerBZ.service"));
  EXPECT_EQ(Item("miService")->text().toStdString(), " 删除已注册服务");

  Item("miService")->trigger();
  ASSERT_EQ(boxes_->Shown().size(), 2u);
  EXPECT_EQ(boxes_->Shown()[1].text, "已成功删除已注册的NT服务，必需重新启动计算机才能生效。");
  EXPECT_FALSE(fs::exists(unitFolder_ / "NT_QuorServerBZ.service"));
  EXPECT_EQ(Item("miService")->text().toStdString(), " 注册自启动服务");
}

TEST_F(MainFormTest, TheCloseBoxHidesAndRestoreIsOfferedOnlyWhileHidden) {
  TfrmMainForm& form = Form();
  form.show();
  QMenu* tray = form.TrayMenu();
  QAction* restore = tray->findChild<QAction*>("miRestore");
  emit tray->aboutToShow();
  EXPECT_FALSE(restore->isVisible());
  form.close();
  EXPECT_TRUE(form.isHidden());
  EXPECT_EQ(quits_, 0) << "closing is not exiting";
  emit tray->aboutToShow();
  EXPECT_TRUE(restore->isVisible());
  restore->trigger();
  EXPECT_TRUE(form.isVisible());
  form.close();
  form.TrayDoubleClicked();
  EXPECT_TRUE(form.isVisible());
}

TEST_F(MainFormTest, HiddenItemsStayHiddenAndAbsentToolsAreDisabled) {
  tools_["miRepairDataBase"] = [this] { serviceCalls_.push_back("repair"); };
  Form();
  for (const char* hidden :
       {"miSmsPort", "miSmsFunctions", "miCloseServer", "sepBackupDir", "sepClientAutoSynchro"}) {
    EXPECT_FALSE(Item(hidden)->isVisible()) << hidden;
  }
  for (const char* shown : {"miSqlSetting", "miConnectTimeout", "miService", "miBackupDir",
                            "miNetInfo", "miQueryAnalyzer", "miWebRestart", "miExit"}) {
    EXPECT_TRUE(Item(shown)->isVisible()) << shown;
    EXPECT_TRUE(Item(shown)->isEnabled()) << shown;
  }
  for (const char* absent :
       {"miHiddenDataBase", "miAutoShutDown", "miEngineLog", "miWebFiles", "miSmsCommands"}) {
    EXPECT_FALSE(Item(absent)->isEnabled()) << absent;
  }
  ASSERT_TRUE(Item("miRepairDataBase")->isEnabled());
  Item("miRepairDataBase")->trigger();
  EXPECT_EQ(serviceCalls_, std::vector<std::string>{"repair"});
  QStringList menus;
  for (QAction* action : Form().menuBar()->actions()) menus << action->text();
  EXPECT_EQ(menus.join("|").toStdString(),
            "设置(&S)|查看(&C)|限制(&L)|WEB版(&W)|SQL工具(&T)|退出(&X)");
}

TEST_F(MainFormTest, CreationGoesOnWhenTheMachineSettingsCannotBeWritten) {
  fs::create_directory(folder_.Path() / "registry.reg");
  WriteConfigFile("UserLoginIdentic=True\r\nTIMEOUT=33\r\n");
  Form();
  EXPECT_TRUE(Item("miUserLoginIdentic")->isChecked()) << "the later steps ran";
  EXPECT_EQ(CommandTimeoutSeconds(), 33);
  EXPECT_EQ(Label("edtMobileDB")->text().toStdString(), "______________");
}

TEST_F(MainFormTest, ExitLeavesTheEngineStartSettingAloneWhereNoEngineIsInstalled) {
  WriteConfigFile("TIMEOUT=60\r\n");
  Form();
  form_.reset();
  ResetConfigCacheForTests();
  EXPECT_EQ(ReadConfig("AutoStartMiniSQL", "(none)"), "(none)");
}

TEST_F(MainFormTest, CreationWritesTheSqlServerMachineSettingsToTheRegistryFile) {
  Form();
  const std::string text = ReadWholeFile(folder_.Path() / "registry.reg");
  EXPECT_NE(text.find("\"LoginMode\"=dword:00000000"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Start\"=dword:00000002"), std::string::npos) << text;
}

TEST_F(MainFormTest, WebServicesStopInOrderAndStartInReverse) {
  WriteConfigFile("WebServiceUnits=nginx, php-fpm\r\n");
  Form();
  Item("miWebRestart")->trigger();
  EXPECT_EQ(serviceCalls_, (std::vector<std::string>{"stop nginx", "stop php-fpm", "start php-fpm",
                                                     "start nginx"}));
  EXPECT_EQ(boxes_->Shown().back().text, "重启WWW服务成功！");
  serviceCalls_.clear();
  Item("miWebStop")->trigger();
  EXPECT_EQ(serviceCalls_, (std::vector<std::string>{"stop nginx", "stop php-fpm"}));
  EXPECT_EQ(boxes_->Shown().back().text, "停止WWW服务成功！");
}

TEST_F(MainFormTest, TheQueryToolStartsTheConfiguredCommand) {
  Form();
  Item("miQueryAnalyzer")->trigger();
  EXPECT_EQ(started_, std::vector<std::string>{"sqlcmd -E -S localhost"});
  EXPECT_TRUE(boxes_->Shown().empty());

  form_.reset();
  WriteConfigFile("SQLQueryTool=/opt/mssql-tools/bin/sqlcmd\r\n");
  programStarts_ = false;
  Item("miQueryAnalyzer")->trigger();
  EXPECT_EQ(started_.back(), "/opt/mssql-tools/bin/sqlcmd -E -S localhost");
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "启动SQL查询分析器失败，您可以从开始菜单中手工启动！");
}

TEST_F(MainFormTest, TheBackupFolderIsChosenStoredAndOpened) {
  const fs::path chosen = folder_.Path() / "备份";
  pickedFolder_ = chosen.string();
  Form();
  Item("miBackupDir")->trigger();
  EXPECT_EQ(prompts_.back(), "选择[备份文件]保存路径");
  EXPECT_EQ(Label("lblBakcupPath")->text().toStdString(), chosen.string());
  ResetConfigCacheForTests();
  EXPECT_EQ(ReadConfig("DataBackupPath", ""), chosen.string());

  Form().OpenBackupFolder();
  EXPECT_TRUE(fs::is_directory(chosen)) << "made when missing";
  EXPECT_EQ(opened_, std::vector<std::string>{chosen.string()});
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(MainFormTest, NetworkInformationNamesTheMachineAddressAndWorkgroup) {
  EXPECT_EQ(NetworkInfoText("srv", "10.0.0.2", "OFFICE"),
            "本机计算机的机器名：srv\n本机计算机的IP地址：10.0.0.2\n本机计算机的工作组：OFFICE");
  Form();
  Item("miNetInfo")->trigger();
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].caption, "本机网络信息");
  EXPECT_EQ(boxes_->Shown()[0].icon, ui::MessageIcon::Information);
  EXPECT_NE(boxes_->Shown()[0].text.find("本机计算机的IP地址：" + MachineAddress()),
            std::string::npos);
}

}  // namespace
}  // namespace quor::console
