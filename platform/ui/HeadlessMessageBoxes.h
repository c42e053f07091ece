// Message boxes where nobody can see a window (service mode, no display): each
// message is one line "caption: text" on standard error, which the journal keeps.
#pragma once

#include <cstdio>

#include "platform/ui/MessageBoxes.h"

namespace quor::ui {

class HeadlessMessageBoxes : public MessageBoxes {
 public:
  explicit HeadlessMessageBoxes(std::FILE* out = stderr) : out_(out) {}

  void Show(const std::string& text, const std::string& caption, MessageIcon icon) override;
  // Nobody can answer, so a question gets the declining answer.
  MessageAnswer Ask(const std::string& text, const std::string& caption, MessageButtons buttons,
                    MessageIcon icon) override;

 private:
  std::FILE* out_;
};

}  // namespace quor::ui
