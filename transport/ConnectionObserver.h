// What the transport window learns about connections: a row when a connection
// starts and its removal when it ends. Rows are value snapshots, so an
// observer may handle them later, on another thread, after the connection has
// gone.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace quor::transport {

struct ConnectionRow {
  std::uint64_t connectionId = 0;  // unique per accepted connection in this process
  std::uint64_t threadId = 0;      // the connection thread serving it; threads are reused
  std::uint16_t localPort = 0;     // the port the client connected to
  std::string remoteAddress;
  std::chrono::system_clock::time_point lastActivity;  // when the connection was taken up
};

class ConnectionObserver {
 public:
  virtual ~ConnectionObserver() = default;
  // Called on the connection's own thread, which waits for the call to
  // return: an implementation must not block (the Qt one posts to the UI
  // thread and returns).
  virtual void AddConnectionRow(const ConnectionRow& row) = 0;
  virtual void RemoveConnectionRow(const ConnectionRow& row) = 0;
};

}  // namespace quor::transport
