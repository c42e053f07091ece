#include "remote/OnlineGridNotifier.h"

#include <exception>
#include <iostream>

namespace quor {

OnlineGridNotifier::Subscription OnlineGridNotifier::Subscribe(std::function<void()> onRefresh) {
  std::lock_guard guard(mutex_);
  const std::size_t id = nextId_++;
  subscribers_.emplace_back(id, std::move(onRefresh));
  return Subscription(this, id);
}

void OnlineGridNotifier::RequestRefresh() {
  std::lock_guard guard(mutex_);
  for (const auto& [id, onRefresh] : subscribers_) {
    // A client's call must not fail because the console could not be told;
    // the failure is logged and the other subscribers still hear of it.
    try {
      onRefresh();
    } catch (const std::exception& error) {
      std::cerr << "OnlineGridNotifier: subscriber " << id << " failed: " << error.what() << '\n';
    }
  }
}

void OnlineGridNotifier::Unsubscribe(std::size_t id) {
  std::lock_guard guard(mutex_);
  subscribers_.remove_if([id](const auto& subscriber) { return subscriber.first == id; });
}

OnlineGridNotifier::Subscription::Subscription(Subscription&& other) noexcept
    : notifier_(std::exchange(other.notifier_, nullptr)), id_(other.id_) {}

OnlineGridNotifier::Subscription& OnlineGridNotifier::Subscription::operator=(
    Subscription&& other) noexcept {
  if (this != &other) {
    Reset();
    notifier_ = std::exchange(other.notifier_, nullptr);
    id_ = other.id_;
  }
  return *this;
}

OnlineGridNotifier::Subscription::~Subscription() {
  Reset();
}

void OnlineGridNotifier::Subscription::Reset() {
  if (notifier_ != nullptr) std::exchange(notifier_, nullptr)->Unsubscribe(id_);
}

OnlineGridNotifier& OnlineGridRefresh() {
  // Never destroyed: module threads may still call it while statics are torn down.
  static OnlineGridNotifier* const notifier = new OnlineGridNotifier();
  return *notifier;
}

}  // namespace quor
