// "修改SQL数据库密码": asks for the SQL administrator's old password and the
// new one twice. It changes nothing itself; the connection settings dialog
// runs the change when the result is confirmed.
#pragma once

#include <QDialog>

#include <string>

class QLineEdit;

namespace quor::console {

class TfrmEditSQLPassword : public QDialog {
 public:
  explicit TfrmEditSQLPassword(std::string currentPassword, QWidget* parent = nullptr);

  // "确定": checks the fields, asks before an empty password, and closes
  // confirmed; any refusal keeps the dialog open.
  void Confirm();
  bool Confirmed() const { return confirmed_; }
  std::string NewPassword() const;

 private:
  std::string current_;
  bool confirmed_ = false;
  QLineEdit* old_ = nullptr;
  QLineEdit* new1_ = nullptr;
  QLineEdit* new2_ = nullptr;
};

}  // namespace quor::console
