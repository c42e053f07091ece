// The phone editions' settings dialog against the SQL Server stand-in: its
// list, the keys each "确定" writes, the hooks that reach the synchroniser and
// the phone back end, and the main window's label afterwards.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FakeSystemCtl.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/PasswordScrambler.h"
#include "ServerPublic/ServerGlobals.h"
#include "console/ConsoleDataBases.h"
#include "console/EngineTools.h"
#include "console/MainForm.h"
#include "console/SelectMobileDbDialog.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::console {
namespace {

using test::Reply;
using test::SqlType;

Reply ServerDataBases() {
  Reply reply;
  reply.resultSets.push_back({{{"name", SqlType::NVarChar, 128},
                               {"dbid", SqlType::SmallInt},
                               {"sid", SqlType::VarBinary, 85}},
                              {{"master", 1, test::Bytes{1}},
                               {"TEMPDB", 2, test::Bytes{1}},
                               {"Shop01", 7, test::Bytes{1}},
                               {"Northwind", 8, test::Bytes{1}},
                               {"Shop02", 9, test::Bytes{1}}}});
  return reply;
}

class SelectMobileDbDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    ::setenv("QUOR_REGISTRY_FILE", (folder_.Path() / "registry.reg").c_str(), 1);
    WriteConfigFile(
        "MobilePort=9999\r\nStartMobileAPP=False\r\nAppSynchroInterval=30\r\n"
        "StartAutoSynchro=True\r\nAutoBillTransfer=False\r\nMobileDataBase=Shop02\r\n");
    server_.AddLogin("sa", "secret");
    server_.OnStatement(kDataBaseListQuery, ServerDataBases());
    systemctl_.AnswerShow("not-found", "inactive", "0");
  }
  void TearDown() override {
    ::unsetenv("QUOR_REGISTRY_FILE");
    SetConfigFilePath({});
    ResetConfigCacheForTests();
  }

  void WriteConfigFile(const std::string& lines, const std::string& password = "secret") {
    std::ofstream(folder_.Path() / "QuorServerBZ.dat")
        << "[ServerConfig]\r\nSERVERNAME=127.0.0.1," << server_.Port()
        << "\r\nUSERNAME=sa\r\nPASSWORD=" << EncodePassword(password) << "\r\n"
        << lines;
    ResetConfigCacheForTests();
  }
  static std::string Stored(const char* key) {
    ResetConfigCacheForTests();
    return ReadConfig(key, "(none)");
  }
  SelectMobileDbHooks Hooks() {
    SelectMobileDbHooks hooks;
    hooks.applySynchroFlags = [this](bool server, bool post) { flags_.emplace_back(server, post); };
    hooks.runManualSynchro = [this] {
      ++synchroRuns_;
      return std::vector<std::string>{"账套Shop01同步完成", "账套Shop02同步完成"};
    };
    return hooks;
  }
  template <typename T>
  static T* Child(QWidget& dialog, const char* name) {
    T* child = dialog.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  ::quor::testing::TempFolder folder_;
  test::SqlServerStandIn server_;
  service::testing::FakeSystemCtl systemctl_;
  testing::ScriptedBoxes boxes_;
  std::vector<std::pair<bool, bool>> flags_;
  int synchroRuns_ = 0;
};

TEST_F(SelectMobileDbDialogTest, OpensWithAnEmptyEntryTheAccountSetsAndTheStoredSettings) {
  TfrmSelectMobileDB dialog(Hooks());
  EXPECT_EQ(dialog.windowTitle().toStdString(), "选择使用账套");
  EXPECT_EQ(dialog.DataBases(), (std::vector<std::string>{"", "Shop01", "Shop02"}));
  EXPECT_EQ(Child<QComboBox>(dialog, "cbDataBaseList")->currentIndex(), -1);
  EXPECT_EQ(Child<QLineEdit>(dialog, "edtServerPort")->text().toStdString(), "9999");
  EXPECT_TRUE(Child<QLineEdit>(dialog, "edtServerPort")->isReadOnly());
  EXPECT_FALSE(Child<QCheckBox>(dialog, "cbxStartMobileAPP")->isChecked());
  EXPECT_EQ(Child<QComboBox>(dialog, "edtAppInterval")->currentText().toStdString(), "30");
  EXPECT_TRUE(Child<QCheckBox>(dialog, "cbxStartAutoSynchro")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(dialog, "cbxAutoBillTransfer")->isChecked());

  dialog.SelectDataBase("Shop01");
  EXPECT_EQ(Child<QComboBox>(dialog, "cbDataBaseList")->currentText().toStdString(), "Shop01");
  dialog.SelectDataBase("shop01");
  EXPECT_EQ(Child<QComboBox>(dialog, "cbDataBaseList")->currentIndex(), -1) << "exact match only";

  WriteConfigFile("");
  TfrmSelectMobileDB defaults;
  EXPECT_EQ(Child<QLineEdit>(defaults, "edtServerPort")->text().toStdString(), "212");
  EXPECT_EQ(Child<QComboBox>(defaults, "edtAppInterval")->currentText().toStdString(), "10");
  EXPECT_FALSE(Child<QCheckBox>(defaults, "cbxStartAutoSynchro")->isChecked());
  EXPECT_TRUE(Child<QCheckBox>(defaults, "cbxAutoBillTransfer")->isChecked());
  EXPECT_FALSE(Child<QPushButton>(defaults, "Button4")->isEnabled()) << "no synchroniser";
}

TEST_F(SelectMobileDbDialogTest, TheMobileEditionsOkStoresTheChoiceAndAlwaysPort212) {
  struct Case {
    const char* name;
    int index;  // -1: nothing selected
    bool start;
    const char* stored;
  };
  const Case cases[] = {{"an account set", 1, true, "Shop01"},
                        {"the empty entry", 0, false, ""},
                        {"nothing selected", -1, false, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TfrmSelectMobileDB dialog(Hooks());
    dialog.show();
    Child<QComboBox>(dialog, "cbDataBaseList")->setCurrentIndex(c.index);
    Child<QCheckBox>(dialog, "cbxStartMobileAPP")->setChecked(c.start);
    Child<QPushButton>(dialog, "bbYes")->click();
    EXPECT_TRUE(dialog.Chosen());
    EXPECT_EQ(dialog.ChosenDataBase(), c.stored);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Stored("MobileDataBase"), c.stored);
    EXPECT_EQ(Stored("MobilePort"), "212");
    EXPECT_EQ(Stored("StartMobileAPP"), c.start ? "True" : "False");
    EXPECT_EQ(Stored("AppSynchroInterval"), "30") << "the other group is left alone";
    EXPECT_TRUE(flags_.empty());
  }
}

TEST_F(SelectMobileDbDialogTest, ThePhoneEditionsOkStoresTheIntervalAsTypedAndSetsTheFlags) {
  TfrmSelectMobileDB dialog(Hooks());
  dialog.show();
  Child<QComboBox>(dialog, "edtAppInterval")->setCurrentText("45");
  Child<QCheckBox>(dialog, "cbxStartAutoSynchro")->setChecked(true);
  Child<QCheckBox>(dialog, "cbxAutoBillTransfer")->setChecked(false);
  Child<QPushButton>(dialog, "bbYes2")->click();
  EXPECT_FALSE(dialog.Chosen());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(Stored("AppSynchroInterval"), "45");
  EXPECT_EQ(Stored("StartAutoSynchro"), "True");
  EXPECT_EQ(Stored("AutoBillTransfer"), "False");
  EXPECT_EQ(flags_, (std::vector<std::pair<bool, bool>>{{true, false}}));
  EXPECT_EQ(Stored("MobileDataBase"), "Shop02") << "the other group is left alone";
}

TEST_F(SelectMobileDbDialogTest, AnIntervalThatIsNoWholeNumberOfMinutesIsRefused) {
  for (const char* typed : {"0", "-5", "abc", "", "4.5", "10 "}) {
    SCOPED_TRACE(typed);
    testing::ScriptedBoxes boxes;
    TfrmSelectMobileDB dialog(Hooks());
    dialog.show();
    Child<QComboBox>(dialog, "edtAppInterval")->setCurrentText(typed);
    Child<QCheckBox>(dialog, "cbxStartAutoSynchro")->setChecked(false);
    Child<QPushButton>(dialog, "bbYes2")->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(boxes->Shown().size(), 1u);
    EXPECT_EQ(Stored("AppSynchroInterval"), "30");
    EXPECT_EQ(Stored("StartAutoSynchro"), "True");
    EXPECT_TRUE(flags_.empty());
  }
}

TEST_F(SelectMobileDbDialogTest, TheSynchronisationTestRunsOnceAndShowsWhatItSaid) {
  TfrmSelectMobileDB dialog(Hooks());
  dialog.show();
  Child<QPushButton>(dialog, "Button4")->click();
  EXPECT_EQ(synchroRuns_, 1);
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "账套Shop01同步完成\r\n账套Shop02同步完成");
}

TEST_F(SelectMobileDbDialogTest, AnUnreachableServerLeavesTheListEmptyAndTheSettingsUsable) {
  WriteConfigFile("MobilePort=212\r\n", "wrong");
  TfrmSelectMobileDB dialog(Hooks());
  dialog.show();
  EXPECT_TRUE(dialog.DataBases().empty());
  EXPECT_TRUE(boxes_->Shown().empty()) << "listing errors are not shown";
  Child<QComboBox>(dialog, "edtAppInterval")->setCurrentText("60");
  Child<QPushButton>(dialog, "bbYes2")->click();
  EXPECT_EQ(Stored("AppSynchroInterval"), "60");
}

// The window's select button through the tools: the choice reaches the
// phone back end, its refusal is shown, and the label follows the setting.
TEST_F(SelectMobileDbDialogTest, TheWindowsSelectButtonPointsThePhoneServerAtTheChoice) {
  std::vector<std::string> pointedAt;
  bool accept = true;
  int choose = 1;
  EngineToolsHooks hooks;
  hooks.synchro = Hooks();
  hooks.useMobileDataBase = [&](const std::string& name) {
    pointedAt.push_back(name);
    return accept;
  };
  hooks.runModal = [&](QWidget& window) {
    auto& dialog = static_cast<TfrmSelectMobileDB&>(window);
    EXPECT_EQ(dialog.findChild<QComboBox*>("cbDataBaseList")->currentText().toStdString(),
              Stored("MobileDataBase"))
        << "opens on the current choice";
    dialog.findChild<QComboBox*>("cbDataBaseList")->setCurrentIndex(choose);
    dialog.findChild<QPushButton*>("bbYes")->click();
    return 1;
  };
  EngineTools tools(hooks);
  MainFormEnvironment env;
  env.trayAvailable = [] { return false; };
  tools.AddTo(env);
  TfrmMainForm form(env);
  auto* label = form.findChild<QLabel*>("edtMobileDB");
  EXPECT_EQ(label->text().toStdString(), "Shop02");

  form.findChild<QToolButton*>("sbSelMobileDB")->click();
  EXPECT_EQ(pointedAt, std::vector<std::string>{"Shop01"});
  EXPECT_EQ(label->text().toStdString(), "Shop01");
  EXPECT_TRUE(boxes_->Shown().empty());

  accept = false;
  choose = 2;
  form.findChild<QToolButton*>("sbSelMobileDB")->click();
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, kMobileDataBaseConnectFailed);

  choose = 0;
  form.findChild<QToolButton*>("sbSelMobileDB")->click();
  EXPECT_EQ(pointedAt.size(), 2u) << "an empty choice points the phone server nowhere";
  EXPECT_EQ(label->text().toStdString(), "______________");
}

}  // namespace
}  // namespace quor::console
