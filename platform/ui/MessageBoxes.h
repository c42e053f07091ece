// The one way the server shows a message or asks a question: a Qt dialog on a
// desktop, a line on standard error without one, and a scripted stand-in in
// tests that records what was shown and answers from a queue.
#pragma once

#include <memory>
#include <string>

namespace quor::ui {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows a message with an OK button and returns when it is closed.
  virtual void Show(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
  // Asks a question; the answer is one of the buttons offered.
  virtual MessageAnswer Ask(const std::string& text, const std::string& caption,
                            MessageButtons buttons, MessageIcon icon) = 0;
};

// The process's message boxes; until SetMessageBoxes is called, the headless ones.
std::shared_ptr<MessageBoxes> ActiveMessageBoxes();
void SetMessageBoxes(std::shared_ptr<MessageBoxes> boxes);

// The answer that declines: Cancel when offered, else No, else OK.
MessageAnswer DecliningAnswer(MessageButtons buttons);

}  // namespace quor::ui
