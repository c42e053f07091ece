#include "platform/ui/MessageBoxes.h"

#include <mutex>

#include "platform/ui/HeadlessMessageBoxes.h"

namespace quor::ui {
namespace {

std::mutex& Lock() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<MessageBoxes>& Active() {
  static std::shared_ptr<MessageBoxes> boxes = std::make_shared<HeadlessMessageBoxes>();
  return boxes;
}

}  // namespace

std::shared_ptr<MessageBoxes> ActiveMessageBoxes() {
  std::lock_guard guard(Lock());
  return Active();
}

void SetMessageBoxes(std::shared_ptr<MessageBoxes> boxes) {
  std::lock_guard guard(Lock());
  Active() = boxes ? std::move(boxes) : std::make_shared<HeadlessMessageBoxes>();
}

MessageAnswer DecliningAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok:
      return MessageAnswer::Ok;
    case MessageButtons::YesNo:
      return MessageAnswer::No;
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
      return MessageAnswer::Cancel;
  }
  return MessageAnswer::Cancel;
}

}  // namespace quor::ui
