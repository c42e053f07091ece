#include "console/SocketService.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <cstdio>
#include <utility>

#include "console/SocketForm.h"

namespace quor::console {

TSocketService::TSocketService(std::string name, std::string displayName, TSocketForm& form)
    : name_(std::move(name)), displayName_(std::move(displayName)), form_(form) {}

void TSocketService::Start() {
  started_ = true;
  QPointer<TSocketForm> form(&form_);
  QMetaObject::invokeMethod(
      &form_,
      [form] {
        if (form && !form->Initialised()) form->Initialise(/*fromService=*/true);
      },
      Qt::QueuedConnection);
  std::fprintf(stderr, "%s: service started\n", name_.c_str());
}

void TSocketService::Stop() {
  if (!started_) return;
  started_ = false;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  std::fprintf(stderr, "%s: service stopping\n", name_.c_str());
}

}  // namespace quor::console
