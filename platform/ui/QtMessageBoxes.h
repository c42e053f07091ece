// Message boxes as modal Qt dialogs. Qt widgets live on the UI thread only, so
// a call from any other thread is refused with std::logic_error.
#pragma once

#include "platform/ui/MessageBoxes.h"

namespace quor::ui {

class QtMessageBoxes : public MessageBoxes {
 public:
  void Show(const std::string& text, const std::string& caption, MessageIcon icon) override;
  MessageAnswer Ask(const std::string& text, const std::string& caption, MessageButtons buttons,
                    MessageIcon icon) override;
};

}  // namespace quor::ui
