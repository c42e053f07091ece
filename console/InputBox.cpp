#include "console/InputBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quor::console {

Tinput_box::Tinput_box(int kind, const std::string& caption, const std::string& prompt,
                       const std::string& text, QWidget* parent)
    : QDialog(parent) {
  setObjectName("input_box");
  setWindowTitle(QString::fromStdString(caption));
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(QString::fromStdString(prompt), this);
  label->setObjectName("Label1");
  layout->addWidget(label);
  edit_ = new QLineEdit(this);
  edit_->setObjectName("Edit1");
  edit_->setMaxLength(kInputBoxMaxLength);
  edit_->setText(QString::fromStdString(text));
  layout->addWidget(edit_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* ok = new QPushButton("确认", this);
  ok->setObjectName("btnOK");
  ok->setDefault(true);
  auto* cancel = new QPushButton("取消", this);
  cancel->setObjectName("btnCancel");
  cancel->setVisible(kind == 2);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, [this] { Confirm(); });
  connect(edit_, &QLineEdit::returnPressed, this, [this] { Confirm(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  edit_->setFocus();
}

std::string Tinput_box::Text() const {
  return edit_->text().toStdString();
}

void Tinput_box::Confirm() {
  result_ = 1;
  done(QDialog::Accepted);
}

void Tinput_box::reject() {
  result_ = 0;
  QDialog::reject();
}

int InputBox(int kind, const std::string& caption, const std::string& prompt, std::string& text,
             const std::function<int(QWidget&)>& runModal) {
  Tinput_box box(kind, caption, prompt, text);
  if (runModal) {
    runModal(box);
  } else {
    box.exec();
  }
  text = box.Text();
  return box.Result();
}

}  // namespace quor::console
