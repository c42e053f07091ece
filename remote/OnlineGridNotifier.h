// Asks the console to refresh its grid of online clients after a desktop login
// attempt or a disconnect. The online table tells its own subscribers only when
// its entries change; the operator must also see a refused login, which
// changes nothing, so the session methods ask here after every such call.
//
// Callbacks run on the calling module's thread: a subscriber hands the refresh
// to the UI thread (a queued call) and returns, never touching widgets,
// blocking or throwing. One call may ask twice (here and through the table);
// a refresh is idempotent.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <utility>

namespace quor {

class OnlineGridNotifier {
 public:
  OnlineGridNotifier() = default;
  OnlineGridNotifier(const OnlineGridNotifier&) = delete;
  OnlineGridNotifier& operator=(const OnlineGridNotifier&) = delete;

  class Subscription {
   public:
    Subscription() = default;
    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    ~Subscription();  // unsubscribes; no call runs once it has returned

   private:
    friend class OnlineGridNotifier;
    Subscription(OnlineGridNotifier* notifier, std::size_t id) : notifier_(notifier), id_(id) {}
    void Reset();
    OnlineGridNotifier* notifier_ = nullptr;
    std::size_t id_ = 0;
  };
  [[nodiscard]] Subscription Subscribe(std::function<void()> onRefresh);

  // Calls every subscriber on this thread.
  void RequestRefresh();

 private:
  void Unsubscribe(std::size_t id);

  // Held while subscribers run, so Unsubscribe waits for a call in progress.
  std::mutex mutex_;
  std::list<std::pair<std::size_t, std::function<void()>>> subscribers_;
  std::size_t nextId_ = 1;
};

// The process-wide notifier the session methods use.
OnlineGridNotifier& OnlineGridRefresh();

}  // namespace quor
