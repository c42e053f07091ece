#include "console/EditSqlPasswordDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

// The notice is there to be read, not typed into: focus goes on to the
// old password at once.
class PasswordNotice : public QPlainTextEdit {
 public:
  PasswordNotice(QWidget* parent, QLineEdit* next) : QPlainTextEdit(parent), next_(next) {}

 protected:
  void focusInEvent(QFocusEvent* event) override {
    QPlainTextEdit::focusInEvent(event);
    next_->setFocus();
  }

 private:
  QLineEdit* next_;
};

QLineEdit* MaskedField(QWidget* parent, const char* name) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  field->setEchoMode(QLineEdit::Password);
  return field;
}

}  // namespace

TfrmEditSQLPassword::TfrmEditSQLPassword(std::string currentPassword, QWidget* parent)
    : QDialog(parent), current_(std::move(currentPassword)) {
  setObjectName("frmEditSQLPassword");
  setWindowTitle("修改SQL数据库密码");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  old_ = MaskedField(this, "edtOldPassword");
  new1_ = MaskedField(this, "edtNewPassword1");
  new2_ = MaskedField(this, "edtNewPassword2");
  form->addRow("原　密　码", old_);
  form->addRow("新　密　码", new1_);
  form->addRow("确认新密码", new2_);
  layout->addLayout(form);
  auto* notice = new PasswordNotice(this, old_);
  notice->setObjectName("memNotice");
  notice->setReadOnly(true);
  notice->setPlainText(
      "警告：\n　您现在修改的SQL数据库的管理员的密码，\n　该密码对系统十分重要，确定要修改吗？");
  notice->setMaximumHeight(72);
  layout->addWidget(notice);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* ok = new QPushButton("确定", this);
  ok->setObjectName("btnOK");
  ok->setDefault(true);
  auto* cancel = new QPushButton("取消", this);
  cancel->setObjectName("btnCancel");
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, [this] { Confirm(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  old_->setFocus();
}

std::string TfrmEditSQLPassword::NewPassword() const {
  return new1_->text().toStdString();
}

void TfrmEditSQLPassword::Confirm() {
  auto boxes = ui::ActiveMessageBoxes();
  if (old_->text().toStdString() != current_) {
    boxes->Show("原密码录入错误，请重新录入正确的密码！", "提示", ui::MessageIcon::Warning);
    return;
  }
  if (new1_->text() != new2_->text()) {
    boxes->Show("新密码和确认密码不相同，请录入正确的密码！", "提示", ui::MessageIcon::Warning);
    return;
  }
  if (new1_->text().isEmpty() &&
      boxes->Ask("你录入的新密码为空，如果网络版这样会不安全！你确认要清空当前数据库的登陆密码吗？",
                 "提示", ui::MessageButtons::OkCancel,
                 ui::MessageIcon::Warning) != ui::MessageAnswer::Ok) {
    return;
  }
  confirmed_ = true;
  accept();
}

}  // namespace quor::console
