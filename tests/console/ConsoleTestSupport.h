// What the console tests share: waiting for Qt events until a condition
// holds, ports the console's port field can name (1..32767), plain client
// connections, and a listening socket that stands for another program.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/ui/ScriptedMessageBoxes.h"

namespace quor::console::testing {

// Handles Qt events (row notifications, queued refreshes) until the
// condition holds; false when the deadline passes first.
bool ProcessEventsUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A port below 32768 that nothing listens on at the moment of asking.
std::uint16_t FreeLowPort();

// A TCP connection to 127.0.0.1:port, closed when the object goes.
class RawClient {
 public:
  explicit RawClient(std::uint16_t port);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;
  // True once the server closed the connection.
  bool ClosedByServer(std::chrono::milliseconds wait) const;

 private:
  int fd_ = -1;
};

// Listens on the port as another program would.
class PortHolder {
 public:
  explicit PortHolder(std::uint16_t port);
  ~PortHolder();
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;

 private:
  int fd_ = -1;
};

// Installs scripted message boxes for the life of the object.
class ScriptedBoxes {
 public:
  ScriptedBoxes();
  ~ScriptedBoxes();
  ui::ScriptedMessageBoxes& operator*() { return *boxes_; }
  ui::ScriptedMessageBoxes* operator->() { return boxes_.get(); }

 private:
  std::shared_ptr<ui::ScriptedMessageBoxes> boxes_;
};

}  // namespace quor::console::testing
