#include "host/SocketTransportHost.h"

#include <QCoreApplication>

#include "platform/registry/Registry.h"
#include "remote/uDataModuleSvr.h"

namespace quor::host {

SocketTransportHost::SocketTransportHost()
    : classes_(std::make_shared<com::ClassRegistry>(registry::Registry())),
      rows_(std::make_shared<transport::QtConnectionObserver>(QCoreApplication::instance())),
      context_(std::make_shared<transport::TransportContext>()) {
  RegisterDataModuleServer(*classes_);
  context_->classes = classes_;
  context_->observer = rows_;
  ports_ = std::make_unique<transport::SocketPortList>(context_, registry::Registry());
}

SocketTransportHost::~SocketTransportHost() {
  ports_->CloseAll();
}

}  // namespace quor::host
