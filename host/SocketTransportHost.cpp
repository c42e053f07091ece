#include "host/SocketTransportHost.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>

#include "ServerPublic/ServerGlobals.h"
#include "platform/registry/Registry.h"
#include "platform/ui/MessageBoxes.h"
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

void SocketTransportHost::OpenPorts() {
  for (const std::string& failure : ports_->LoadAllSettings()) {
    ui::ActiveMessageBoxes()->Show(failure, ProductTitle(), ui::MessageIcon::Error);
  }
  for (const auto& port : ports_->Dispatchers()) {
    if (port->Active()) {
      std::fprintf(stderr, "socket transport: listening on port %u\n", port->ListeningPort());
    }
  }
}

}  // namespace quor::host
