// The connection settings dialog "SQL服务器设置": the SQL Server and the login
// every new connection of the server uses. OK stores them only once a test
// login with them succeeds; "修改密码" changes the login's password on the
// server first. Connections already open keep what they were opened with.
#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quor::console {

struct SqlSettingEnvironment {
  // TestSqlLogin(mode, server, user, password) by default.
  std::function<bool(int, const std::string&, const std::string&, const std::string&)> testLogin;
  // ChangeSqlPassword(server, user, old, new) by default.
  std::function<bool(const std::string&, const std::string&, const std::string&,
                     const std::string&)>
      changePassword;
  // The new-password dialog "修改SQL数据库密码" given the current password;
  // nothing when cancelled.
  std::function<std::optional<std::string>(const std::string&)> askNewPassword;
};

class TfrmSQLSetting : public QDialog {
 public:
  explicit TfrmSQLSetting(SqlSettingEnvironment environment = {}, QWidget* parent = nullptr);

  // "确定", "修改密码" and "取消" as the buttons run them.
  void Confirm();
  void ChangePassword();
  // The login mode as the radio group's index: 0 SQL login, 1 integrated.
  int LoginMode() const;
  void SetLoginMode(int mode);
  // True once the settings were written.
  bool Changed() const { return changed_; }

 private:
  void ApplyModeRule();
  bool WriteSettings();

  SqlSettingEnvironment env_;
  bool changed_ = false;
  QRadioButton* sqlLogin_ = nullptr;
  QRadioButton* winLogin_ = nullptr;
  QLabel* userLabel_ = nullptr;
  QLabel* passwordLabel_ = nullptr;
  QLineEdit* userName_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* serverName_ = nullptr;
};

inline constexpr const char* kSqlSettingCaption = "SQL服务器设置";

}  // namespace quor::console
