#include "transport/QtConnectionObserver.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <stdexcept>

namespace quor::transport {

QtConnectionObserver::QtConnectionObserver(QObject* context)
    : context_(context), subscribers_(std::make_shared<Subscribers>()) {
  if (!context_) throw std::invalid_argument("QtConnectionObserver needs a context object");
}

void QtConnectionObserver::Subscribe(const std::shared_ptr<ConnectionObserver>& uiObserver) {
  std::lock_guard lock(subscribers_->mutex);
  subscribers_->observers.push_back(uiObserver);
}

void QtConnectionObserver::Unsubscribe(const std::shared_ptr<ConnectionObserver>& uiObserver) {
  std::lock_guard lock(subscribers_->mutex);
  auto& list = subscribers_->observers;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const std::weak_ptr<ConnectionObserver>& held) {
                              const auto alive = held.lock();
                              return !alive || alive == uiObserver;
                            }),
             list.end());
}

void QtConnectionObserver::AddConnectionRow(const ConnectionRow& row) {
  Deliver(row, true);
}

void QtConnectionObserver::RemoveConnectionRow(const ConnectionRow& row) {
  Deliver(row, false);
}

void QtConnectionObserver::Deliver(const ConnectionRow& row, bool added) {
  // Queued events to one receiver keep their order, so a row is never removed
  // before it was added.
  QMetaObject::invokeMethod(
      context_,
      [subscribers = subscribers_, row, added] {
        std::vector<std::shared_ptr<ConnectionObserver>> targets;
        {
          std::lock_guard lock(subscribers->mutex);
          for (const auto& held : subscribers->observers) {
            if (auto observer = held.lock()) targets.push_back(std::move(observer));
          }
        }
        for (const auto& observer : targets) {
          if (added) {
            observer->AddConnectionRow(row);
          } else {
            observer->RemoveConnectionRow(row);
          }
        }
      },
      Qt::QueuedConnection);
}

}  // namespace quor::transport
