#include "tests/console/ConsoleTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <stdexcept>

namespace quor::console::testing {
namespace {

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

bool CanListenOn(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = LoopbackAddress(port);
  const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return free;
}

}  // namespace

bool ProcessEventsUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

std::uint16_t FreeLowPort() {
  // Spread over the range by process, so parallel test runs rarely meet; a
  // port and its successor are both free, since adding a port proposes it.
  static std::uint16_t next = static_cast<std::uint16_t>(20000 + (::getpid() % 1000) * 10);
  for (int tries = 0; tries < 5000; ++tries) {
    const std::uint16_t port = next;
    next = static_cast<std::uint16_t>(next >= 32000 ? 20000 : next + 3);
    if (CanListenOn(port) && CanListenOn(static_cast<std::uint16_t>(port + 1))) return port;
  }
  throw std::runtime_error("no free port below 32768");
}

RawClient::RawClient(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in address = LoopbackAddress(port);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
}

RawClient::~RawClient() {
  ::close(fd_);
}

bool RawClient::ClosedByServer(std::chrono::milliseconds wait) const {
  pollfd entry{fd_, POLLIN, 0};
  if (::poll(&entry, 1, static_cast<int>(wait.count())) <= 0) return false;
  char byte = 0;
  return ::recv(fd_, &byte, 1, MSG_PEEK) <= 0;
}

PortHolder::PortHolder(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in address = LoopbackAddress(port);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd_, 4) != 0) {
    throw std::runtime_error("cannot hold port " + std::to_string(port));
  }
}

PortHolder::~PortHolder() {
  ::close(fd_);
}

ScriptedBoxes::ScriptedBoxes() : boxes_(std::make_shared<ui::ScriptedMessageBoxes>()) {
  ui::SetMessageBoxes(boxes_);
}

ScriptedBoxes::~ScriptedBoxes() {
  ui::SetMessageBoxes(nullptr);
}

}  // namespace quor::console::testing
