// The socket transport as start-up builds it: the COM classes clients may
// create (the remote data module), the connection rows the transport window
// subscribes to, and the port list the transport window opens.
#pragma once

#include <memory>

#include "platform/com/ClassRegistry.h"
#include "transport/QtConnectionObserver.h"
#include "transport/SocketPortList.h"
#include "transport/TransportContext.h"

namespace quor::host {

class SocketTransportHost {
 public:
  // Needs the Qt application: connection rows are delivered on its thread.
  SocketTransportHost();
  // Closes every port (ending its connections) before anything else goes.
  ~SocketTransportHost();
  SocketTransportHost(const SocketTransportHost&) = delete;
  SocketTransportHost& operator=(const SocketTransportHost&) = delete;

  transport::SocketPortList& Ports() { return *ports_; }
  transport::QtConnectionObserver& ConnectionRows() { return *rows_; }

 private:
  std::shared_ptr<com::ClassRegistry> classes_;
  std::shared_ptr<transport::QtConnectionObserver> rows_;
  std::shared_ptr<transport::TransportContext> context_;
  std::unique_ptr<transport::SocketPortList> ports_;
};

}  // namespace quor::host
