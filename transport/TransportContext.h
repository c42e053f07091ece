// What every port and connection of one server shares: the classes clients
// may create, the observer of connections, the registered-objects-only switch,
// the frame limit, where to listen and how often idle connections are checked.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/com/ClassRegistry.h"
#include "transport/ConnectionObserver.h"
#include "transport/Protocol.h"

namespace quor::transport {

struct TransportContext {
  std::shared_ptr<const com::ClassRegistry> classes;
  // May be null: nobody watches the connections.
  std::shared_ptr<ConnectionObserver> observer;
  // Read when a connection thread is built; threads keep the value they saw.
  std::atomic<bool> registeredOnly{true};
  std::atomic<std::size_t> maxFrameSize{kDefaultMaxFrameSize};
  // Empty: every local address, IPv4 and IPv6.
  std::string bindAddress;
  // How often an idle connection looks at its timeout, and how long one unit
  // of a port's Timeout lasts: a minute each, shorter only in tests.
  std::chrono::milliseconds idleCheckInterval{std::chrono::minutes(1)};
  std::chrono::milliseconds timeoutUnit{std::chrono::minutes(1)};
};

}  // namespace quor::transport
