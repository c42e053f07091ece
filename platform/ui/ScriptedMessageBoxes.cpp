#include "platform/ui/ScriptedMessageBoxes.h"

namespace quor::ui {
namespace {

bool Offers(MessageButtons buttons, MessageAnswer answer) {
  switch (buttons) {
    case MessageButtons::Ok:
      return answer == MessageAnswer::Ok;
    case MessageButtons::OkCancel:
      return answer == MessageAnswer::Ok || answer == MessageAnswer::Cancel;
    case MessageButtons::YesNo:
      return answer == MessageAnswer::Yes || answer == MessageAnswer::No;
    case MessageButtons::YesNoCancel:
      return answer != MessageAnswer::Ok;
  }
  return false;
}

}  // namespace

void ScriptedMessageBoxes::QueueAnswer(MessageAnswer answer) {
  std::lock_guard guard(mutex_);
  answers_.push_back(answer);
}

void ScriptedMessageBoxes::Show(const std::string& text, const std::string& caption,
                                MessageIcon icon) {
  std::lock_guard guard(mutex_);
  shown_.push_back({text, caption, icon, false, MessageButtons::Ok});
}

MessageAnswer ScriptedMessageBoxes::Ask(const std::string& text, const std::string& caption,
                                        MessageButtons buttons, MessageIcon icon) {
  std::lock_guard guard(mutex_);
  shown_.push_back({text, caption, icon, true, buttons});
  if (answers_.empty()) throw std::logic_error("unexpected question: " + text);
  MessageAnswer answer = answers_.front();
  answers_.pop_front();
  if (!Offers(buttons, answer)) throw std::logic_error("queued answer not offered: " + text);
  return answer;
}

std::vector<ShownMessage> ScriptedMessageBoxes::Shown() const {
  std::lock_guard guard(mutex_);
  return shown_;
}

std::size_t ScriptedMessageBoxes::PendingAnswers() const {
  std::lock_guard guard(mutex_);
  return answers_.size();
}

}  // namespace quor::ui
