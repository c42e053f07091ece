#include "platform/ui/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <stdexcept>

namespace quor::ui {
namespace {

void RequireUiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!qobject_cast<QApplication*>(app) || QThread::currentThread() != app->thread()) {
    throw std::logic_error("message boxes are shown on the UI thread only");
  }
}

QMessageBox::Icon ToQt(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::None:
      return QMessageBox::NoIcon;
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Error:
      return QMessageBox::Critical;
    case MessageIcon::Question:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQt(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok:
      return QMessageBox::Ok;
    case MessageButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

int Run(const std::string& text, const std::string& caption, MessageIcon icon,
        MessageButtons buttons) {
  RequireUiThread();
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  ToQt(buttons));
  return box.exec();
}

}  // namespace

void QtMessageBoxes::Show(const std::string& text, const std::string& caption, MessageIcon icon) {
  Run(text, caption, icon, MessageButtons::Ok);
}

// Closing the box with Escape or its close button gives the declining answer.
MessageAnswer QtMessageBoxes::Ask(const std::string& text, const std::string& caption,
                                  MessageButtons buttons, MessageIcon icon) {
  switch (Run(text, caption, icon, buttons)) {
    case QMessageBox::Ok:
      return MessageAnswer::Ok;
    case QMessageBox::Yes:
      return MessageAnswer::Yes;
    case QMessageBox::No:
      return MessageAnswer::No;
    case QMessageBox::Cancel:
      return MessageAnswer::Cancel;
    default:
      return DecliningAnswer(buttons);
  }
}

}  // namespace quor::ui
