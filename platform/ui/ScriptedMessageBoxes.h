// Message boxes for tests: every message and question is recorded, and
// questions are answered from a queue that the test fills. A question with an
// empty queue, or whose queued answer is not among the buttons offered, throws,
// so a test never passes on an answer it did not give.
#pragma once

#include <deque>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "platform/ui/MessageBoxes.h"

namespace quor::ui {

struct ShownMessage {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::None;
  bool question = false;
  MessageButtons buttons = MessageButtons::Ok;
};

class ScriptedMessageBoxes : public MessageBoxes {
 public:
  void QueueAnswer(MessageAnswer answer);

  void Show(const std::string& text, const std::string& caption, MessageIcon icon) override;
  MessageAnswer Ask(const std::string& text, const std::string& caption, MessageButtons buttons,
                    MessageIcon icon) override;

  std::vector<ShownMessage> Shown() const;
  std::size_t PendingAnswers() const;

 private:
  mutable std::mutex mutex_;
  std::vector<ShownMessage> shown_;
  std::deque<MessageAnswer> answers_;
};

}  // namespace quor::ui
