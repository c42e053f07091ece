// The connection settings dialog through its widgets: logins tested against
// the SQL Server stand-in through the real driver, settings in a file of the
// test's own, answers of the person from a script.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/PasswordScrambler.h"
#include "ServerPublic/ServerGlobals.h"
#include "console/SqlSettingDialog.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::console {
namespace {

using test::Reply;
using test::RequestKind;
using test::SqlServerStandIn;

class SqlSettingDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    ResetConfigCacheForTests();
    server_.AddLogin("sa", "secret");
    StartupValues values = Startup();
    values.msdeSwitch = false;
    SetStartup(values);
  }
  void TearDown() override {
    SetConfigFilePath({});
    ResetConfigCacheForTests();
  }

  std::string Server() const { return "127.0.0.1," + std::to_string(server_.Port()); }

  void WriteConfigFile(const std::string& lines) {
    std::ofstream(folder_.Path() / "QuorServerBZ.dat") << "[ServerConfig]\r\n" << lines;
    ResetConfigCacheForTests();
  }
  std::string Stored(const char* key) {
    ResetConfigCacheForTests();
    return ReadConfig(key, "(none)");
  }

  template <typename T>
  static T* Child(TfrmSQLSetting& dialog, const char* name) {
    T* child = dialog.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  ::quor::testing::TempFolder folder_;
  SqlServerStandIn server_;
  console::testing::ScriptedBoxes boxes_;
};

TEST_F(SqlSettingDialogTest, OpensWithTheStoredSettingsAndItsTexts) {
  WriteConfigFile("SERVERNAME=db1\r\nUSERNAME=boss\r\nPASSWORD=" + EncodePassword("pw") + "\r\n");
  TfrmSQLSetting dialog;
  EXPECT_EQ(dialog.windowTitle().toStdString(), "SQL服务器设置");
  EXPECT_EQ(Child<QLineEdit>(dialog, "edtServerName")->text().toStdString(), "db1");
  EXPECT_EQ(Child<QLineEdit>(dialog, "edtUserName")->text().toStdString(), "boss");
  EXPECT_EQ(Child<QLineEdit>(dialog, "edtPassword")->text().toStdString(), "pw");
  EXPECT_EQ(Child<QLineEdit>(dialog, "edtPassword")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(dialog.LoginMode(), 0);
  EXPECT_EQ(Child<QRadioButton>(dialog, "rbSqlLogin")->text().toStdString(), "SQL用户登录");
  EXPECT_EQ(Child<QRadioButton>(dialog, "rbWinLogin")->text().toStdString(), "Win用户登录");
  EXPECT_EQ(Child<QLabel>(dialog, "lblUserName")->text().toStdString(), "用户名称");
  EXPECT_EQ(Child<QLabel>(dialog, "lblPassword")->text().toStdString(), "密  码");

  WriteConfigFile("");
  TfrmSQLSetting defaults;
  EXPECT_EQ(Child<QLineEdit>(defaults, "edtServerName")->text().toStdString(), "(LOCAL)");
  EXPECT_EQ(Child<QLineEdit>(defaults, "edtUserName")->text().toStdString(), "sa");
}

TEST_F(SqlSettingDialogTest, IntegratedSecurityHidesUserAndPasswordAndKeepsThem) {
  WriteConfigFile("USERNAME=boss\r\nPASSWORD=" + EncodePassword("pw") + "\r\n");
  std::vector<int> modesTried;
  SqlSettingEnvironment env;
  // Kerberos cannot be had on loopback; the mode is what the dialog decides.
  env.testLogin = [&](int mode, const std::string&, const std::string&, const std::string&) {
    modesTried.push_back(mode);
    return true;
  };
  TfrmSQLSetting dialog(env);
  dialog.show();
  auto* user = Child<QLineEdit>(dialog, "edtUserName");
  auto* password = Child<QLineEdit>(dialog, "edtPassword");
  ASSERT_TRUE(user->isVisible());
  Child<QRadioButton>(dialog, "rbWinLogin")->click();
  EXPECT_FALSE(user->isVisible());
  EXPECT_FALSE(password->isVisible());
  EXPECT_FALSE(Child<QLabel>(dialog, "lblUserName")->isVisible());
  EXPECT_FALSE(Child<QLabel>(dialog, "lblPassword")->isVisible());

  Child<QPushButton>(dialog, "btnOK")->click();
  EXPECT_EQ(modesTried, std::vector<int>{1});
  EXPECT_TRUE(dialog.Changed());
  EXPECT_EQ(Stored("SQLUSERMODE"), "1");
  EXPECT_EQ(Stored("USERNAME"), "boss");
  EXPECT_EQ(DecodePassword(Stored("PASSWORD")), "pw");

  // OK closed the dialog; the rule still holds for the next opening.
  Child<QRadioButton>(dialog, "rbSqlLogin")->click();
  EXPECT_TRUE(user->isVisibleTo(&dialog));
  EXPECT_TRUE(password->isVisibleTo(&dialog));
}

TEST_F(SqlSettingDialogTest, OkStoresTheSettingsOnlyWhenTheLoginWorks) {
  WriteConfigFile("SERVERNAME=old\r\n");
  TfrmSQLSetting dialog;
  Child<QLineEdit>(dialog, "edtServerName")->setText(QString::fromStdString(Server()));
  Child<QLineEdit>(dialog, "edtPassword")->setText("wrong");
  Child<QPushButton>(dialog, "btnOK")->click();
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "不能连接SQLServer服务器，请录入正确的服务器名称和登陆密码！");
  EXPECT_EQ(boxes_->Shown()[0].caption, "提示");
  EXPECT_EQ(boxes_->Shown()[0].icon, ui::MessageIcon::Warning);
  EXPECT_FALSE(dialog.Changed());
  EXPECT_EQ(Stored("SERVERNAME"), "old");

  Child<QLineEdit>(dialog, "edtPassword")->setText("secret");
  Child<QPushButton>(dialog, "btnOK")->click();
  ASSERT_EQ(boxes_->Shown().size(), 2u);
  EXPECT_EQ(boxes_->Shown()[1].text, "可以正确连接SQLServer服务器！");
  EXPECT_TRUE(dialog.Changed());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Stored("SERVERNAME"), Server());
  EXPECT_EQ(Stored("SQLUSERMODE"), "0");
  EXPECT_EQ(Stored("USERNAME"), "sa");
  EXPECT_NE(Stored("PASSWORD"), "secret") << "stored scrambled";
  EXPECT_EQ(DecodePassword(Stored("PASSWORD")), "secret");
}

TEST_F(SqlSettingDialogTest, ASettingsFileThatCannotBeWrittenIsReportedAndNothingChanges) {
  // A folder in the file's place cannot be written, root or not.
  std::filesystem::create_directory(folder_.Path() / "QuorServerBZ.dat");
  ResetConfigCacheForTests();
  TfrmSQLSetting dialog;
  Child<QLineEdit>(dialog, "edtServerName")->setText(QString::fromStdString(Server()));
  Child<QLineEdit>(dialog, "edtPassword")->setText("secret");
  Child<QPushButton>(dialog, "btnOK")->click();
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text.rfind("连接参数没有保存: ", 0), 0u) << boxes_->Shown()[0].text;
  EXPECT_FALSE(dialog.Changed());
}

TEST_F(SqlSettingDialogTest, ChangePasswordRunsOnTheServerThenStoresTheNewPassword) {
  server_.OnStatementMatching(std::regex("EXEC sp_password .*"), Reply{});
  SqlSettingEnvironment env;
  std::vector<std::string> askedWith;
  env.askNewPassword = [&](const std::string& current) -> std::optional<std::string> {
    askedWith.push_back(current);
    return std::string("n3w'pw");
  };
  TfrmSQLSetting dialog(env);
  Child<QLineEdit>(dialog, "edtServerName")->setText(QString::fromStdString(Server()));

  Child<QLineEdit>(dialog, "edtPassword")->setText("wrong");
  Child<QPushButton>(dialog, "btnChangePassword")->click();
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(
      boxes_->Shown()[0].text,
      "不能连接SQLServer服务器，请录入正确的服务器名称和登陆密码，必需连接正确了才能修改密码！");
  EXPECT_TRUE(askedWith.empty());

  Child<QLineEdit>(dialog, "edtPassword")->setText("secret");
  Child<QPushButton>(dialog, "btnChangePassword")->click();
  EXPECT_EQ(askedWith, std::vector<std::string>{"secret"});
  ASSERT_EQ(boxes_->Shown().size(), 2u);
  EXPECT_EQ(boxes_->Shown()[1].text, "修改数据库管理员密码成功！");
  std::vector<std::string> batches;
  for (const auto& request : server_.Requests()) {
    if (request.kind == RequestKind::Batch) batches.push_back(request.text);
  }
  EXPECT_NE(std::find(batches.begin(), batches.end(), "EXEC sp_password 'secret','n3w''pw','sa'"),
            batches.end());
  EXPECT_EQ(Child<QLineEdit>(dialog, "edtPassword")->text().toStdString(), "n3w'pw");
  EXPECT_EQ(DecodePassword(Stored("PASSWORD")), "n3w'pw");
  EXPECT_TRUE(dialog.Changed());
}

TEST_F(SqlSettingDialogTest, AFailedPasswordChangeIsReportedAndStoresNothing) {
  Reply refusal;
  refusal.error = test::ServerError{15151, 1, 16, "Cannot alter the login 'sa'"};
  server_.OnStatementMatching(std::regex("EXEC sp_password .*"), refusal);
  SqlSettingEnvironment env;
  env.askNewPassword = [](const std::string&) { return std::optional<std::string>("other"); };
  TfrmSQLSetting dialog(env);
  Child<QLineEdit>(dialog, "edtServerName")->setText(QString::fromStdString(Server()));
  Child<QLineEdit>(dialog, "edtPassword")->setText("secret");
  Child<QPushButton>(dialog, "btnChangePassword")->click();
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "修改数据库管理员密码出错，请检查连接是否正确！");
  EXPECT_EQ(Stored("PASSWORD"), "(none)");
  EXPECT_EQ(Child<QLineEdit>(dialog, "edtPassword")->text().toStdString(), "secret");
  EXPECT_FALSE(dialog.Changed());
}

TEST_F(SqlSettingDialogTest, ThePrivateEngineSwitchFixesServerAndLogin) {
  StartupValues values = Startup();
  values.msdeSwitch = true;
  SetStartup(values);
  WriteConfigFile("SERVERNAME=db1\r\nUSERNAME=boss\r\nSQLUSERMODE=1\r\n");
  TfrmSQLSetting dialog;
  values.msdeSwitch = false;
  SetStartup(values);
  EXPECT_EQ(Child<QLineEdit>(dialog, "edtServerName")->text().toStdString(),
            "(LOCAL)\\VTSQLSERVER");
  EXPECT_FALSE(Child<QLineEdit>(dialog, "edtServerName")->isEnabled());
  EXPECT_EQ(dialog.LoginMode(), 0);
  EXPECT_EQ(Child<QLineEdit>(dialog, "edtUserName")->text().toStdString(), "sa");
  EXPECT_EQ(Child<QLineEdit>(dialog, "edtPassword")->text().toStdString(), "");
}

}  // namespace
}  // namespace quor::console
