// Delivers connection rows to observers on the UI thread (Qt's main thread):
// a connection thread posts the notification and goes on at once, so a busy
// UI never holds up a client. The transport window subscribes here.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "transport/ConnectionObserver.h"

class QObject;

namespace quor::transport {

class QtConnectionObserver : public ConnectionObserver {
 public:
  // Notifications run on the thread of context (normally the application
  // object); they are dropped once context is destroyed. Throws
  // std::invalid_argument for a null context.
  explicit QtConnectionObserver(QObject* context);

  // The observer is held weakly: one that is gone is skipped.
  void Subscribe(const std::shared_ptr<ConnectionObserver>& uiObserver);
  void Unsubscribe(const std::shared_ptr<ConnectionObserver>& uiObserver);

  void AddConnectionRow(const ConnectionRow& row) override;
  void RemoveConnectionRow(const ConnectionRow& row) override;

 private:
  struct Subscribers {
    std::mutex mutex;  // guards observers
    std::vector<std::weak_ptr<ConnectionObserver>> observers;
  };

  void Deliver(const ConnectionRow& row, bool added);

  QObject* context_;
  std::shared_ptr<Subscribers> subscribers_;
};

}  // namespace quor::transport
