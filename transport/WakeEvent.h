// An auto-reset event a thread can wait on together with its socket (an
// eventfd): Set from any thread wakes the waiter, and the wait consumes it.
#pragma once

#include "transport/UniqueFd.h"

namespace quor::transport {

class WakeEvent {
 public:
  // Throws std::system_error when the kernel refuses an eventfd.
  WakeEvent();

  // The descriptor to poll for POLLIN.
  int Handle() const { return fd_.Get(); }
  void Set();
  // Clears a pending Set; true when there was one.
  bool Consume();

 private:
  UniqueFd fd_;
};

}  // namespace quor::transport
