#include "platform/ui/HeadlessMessageBoxes.h"

namespace quor::ui {

void HeadlessMessageBoxes::Show(const std::string& text, const std::string& caption, MessageIcon) {
  std::fprintf(out_, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(out_);
}

MessageAnswer HeadlessMessageBoxes::Ask(const std::string& text, const std::string& caption,
                                        MessageButtons buttons, MessageIcon icon) {
  Show(text, caption, icon);
  return DecliningAnswer(buttons);
}

}  // namespace quor::ui
