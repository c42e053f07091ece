#include "console/SqlSettingDialog.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <exception>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/PasswordScrambler.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/SqlRoutines.h"
#include "console/EditSqlPasswordDialog.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

constexpr const char* kPrivateServer = "(LOCAL)\\VTSQLSERVER";

QString DialogText(const std::string& text) {
  return QString::fromStdString(text);
}

void Tell(const std::string& text, ui::MessageIcon icon) {
  ui::ActiveMessageBoxes()->Show(text, "提示", icon);
}

std::optional<std::string> AskNewPasswordInBox(const std::string& current) {
  TfrmEditSQLPassword dialog(current);
  dialog.exec();
  if (!dialog.Confirmed()) return std::nullopt;
  return dialog.NewPassword();
}

}  // namespace

TfrmSQLSetting::TfrmSQLSetting(SqlSettingEnvironment environment, QWidget* parent)
    : QDialog(parent), env_(std::move(environment)) {
  if (!env_.testLogin) env_.testLogin = TestSqlLogin;
  if (!env_.changePassword) env_.changePassword = ChangeSqlPassword;
  if (!env_.askNewPassword) env_.askNewPassword = AskNewPasswordInBox;
  setObjectName("frmSQLSetting");
  setWindowTitle(kSqlSettingCaption);

  auto* group = new QGroupBox(this);
  group->setObjectName("rgLoginMode");
  sqlLogin_ = new QRadioButton("SQL用户登录", group);
  sqlLogin_->setObjectName("rbSqlLogin");
  winLogin_ = new QRadioButton("Win用户登录", group);
  winLogin_->setObjectName("rbWinLogin");
  auto* buttons = new QButtonGroup(group);
  buttons->addButton(sqlLogin_, 0);
  buttons->addButton(winLogin_, 1);
  auto* columns = new QHBoxLayout(group);
  columns->addWidget(sqlLogin_);
  columns->addWidget(winLogin_);

  serverName_ = new QLineEdit(this);
  serverName_->setObjectName("edtServerName");
  userName_ = new QLineEdit(this);
  userName_->setObjectName("edtUserName");
  password_ = new QLineEdit(this);
  password_->setObjectName("edtPassword");
  password_->setEchoMode(QLineEdit::Password);
  password_->setStyleSheet("lineedit-password-character: 42");
  userLabel_ = new QLabel("用户名称", this);
  userLabel_->setObjectName("lblUserName");
  passwordLabel_ = new QLabel("密  码", this);
  passwordLabel_->setObjectName("lblPassword");
  auto* serverLabel = new QLabel("SQL服务器", this);
  serverLabel->setObjectName("lblServerName");

  auto* fields = new QFormLayout;
  fields->addRow(serverLabel, serverName_);
  fields->addRow(userLabel_, userName_);
  fields->addRow(passwordLabel_, password_);

  auto* ok = new QPushButton("确定", this);
  ok->setObjectName("btnOK");
  auto* change = new QPushButton("修改密码", this);
  change->setObjectName("btnChangePassword");
  auto* cancel = new QPushButton("取消", this);
  cancel->setObjectName("btnCancel");
  auto* row = new QHBoxLayout;
  row->addWidget(change);
  row->addStretch(1);
  row->addWidget(ok);
  row->addWidget(cancel);

  auto* outer = new QVBoxLayout(this);
  outer->addWidget(group);
  outer->addLayout(fields);
  outer->addLayout(row);

  const int mode = ReadConfigInt(configkey::kSqlUserMode, "0", 0) == 1 ? 1 : 0;
  SetLoginMode(mode);
  userName_->setText(DialogText(ReadConfig(configkey::kUserName, "sa")));
  password_->setText(DialogText(DecodePassword(ReadConfig(configkey::kPassword, ""))));
  serverName_->setText(DialogText(ReadConfig(configkey::kServerName, "(LOCAL)")));
  if (MsdeSwitch()) {
    serverName_->setText(kPrivateServer);
    serverName_->setEnabled(false);
    SetLoginMode(0);
    userName_->setText("sa");
    password_->clear();
  }
  connect(buttons, &QButtonGroup::idClicked, this, [this] { ApplyModeRule(); });
  connect(ok, &QPushButton::clicked, this, [this] { Confirm(); });
  connect(change, &QPushButton::clicked, this, [this] { ChangePassword(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int TfrmSQLSetting::LoginMode() const {
  return winLogin_->isChecked() ? 1 : 0;
}

void TfrmSQLSetting::SetLoginMode(int mode) {
  (mode == 1 ? winLogin_ : sqlLogin_)->setChecked(true);
  ApplyModeRule();
}

void TfrmSQLSetting::ApplyModeRule() {
  const bool sqlLogin = LoginMode() == 0;
  for (QWidget* widget : {static_cast<QWidget*>(userLabel_), static_cast<QWidget*>(passwordLabel_),
                          static_cast<QWidget*>(userName_), static_cast<QWidget*>(password_)}) {
    widget->setVisible(sqlLogin);
  }
}

bool TfrmSQLSetting::WriteSettings() {
  try {
    WriteConfig(configkey::kSqlUserMode, std::to_string(LoginMode()));
    WriteConfig(configkey::kServerName, serverName_->text().toStdString());
    WriteConfig(configkey::kUserName, userName_->text().toStdString());
    WriteConfig(configkey::kPassword, EncodePassword(password_->text().toStdString()));
    return true;
  } catch (const std::exception& error) {
    ui::ActiveMessageBoxes()->Show(std::string("连接参数没有保存: ") + error.what(), "错误",
                                   ui::MessageIcon::Error);
    return false;
  }
}

void TfrmSQLSetting::Confirm() {
  if (!env_.testLogin(LoginMode(), serverName_->text().toStdString(),
                      userName_->text().toStdString(), password_->text().toStdString())) {
    Tell("不能连接SQLServer服务器，请录入正确的服务器名称和登陆密码！", ui::MessageIcon::Warning);
    return;
  }
  if (!WriteSettings()) return;
  Tell("可以正确连接SQLServer服务器！", ui::MessageIcon::Warning);
  changed_ = true;
  accept();
}

void TfrmSQLSetting::ChangePassword() {
  const std::string server = serverName_->text().toStdString();
  const std::string user = userName_->text().toStdString();
  const std::string current = password_->text().toStdString();
  if (!env_.testLogin(LoginMode(), server, user, current)) {
    Tell("不能连接SQLServer服务器，请录入正确的服务器名称和登陆密码，必需连接正确了才能修改密码！",
         ui::MessageIcon::Warning);
    return;
  }
  const std::optional<std::string> wanted = env_.askNewPassword(current);
  if (!wanted) return;
  if (!env_.changePassword(server, user, current, *wanted)) {
    Tell("修改数据库管理员密码出错，请检查连接是否正确！", ui::MessageIcon::None);
    return;
  }
  password_->setText(DialogText(*wanted));
  Tell("修改数据库管理员密码成功！", ui::MessageIcon::None);
  // The server already has the new password; a file that cannot take it is
  // reported and the dialog stays open so the person can see what to fix.
  if (!WriteSettings()) return;
  changed_ = true;
  accept();
}

}  // namespace quor::console
