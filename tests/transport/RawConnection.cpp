#include "tests/transport/RawConnection.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <stdexcept>

#include "transport/SocketAddress.h"

namespace quor::transport::testing {

RawConnection::RawConnection(std::uint16_t port)
    : fd_(ConnectTo("127.0.0.1", port, std::chrono::seconds(10))) {}

void RawConnection::Send(const Bytes& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t put = ::send(fd_.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (put < 0) {
      if (errno == EINTR) continue;
      return;  // the server may already have dropped us; the test looks at that
    }
    sent += static_cast<std::size_t>(put);
  }
}

bool RawConnection::ReadSome(Bytes& into, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  pollfd ready{fd_.Get(), POLLIN, 0};
  if (::poll(&ready, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) <= 0) {
    return true;
  }
  std::uint8_t buffer[4096];
  const ssize_t got = ::recv(fd_.Get(), buffer, sizeof buffer, 0);
  if (got <= 0) return false;
  into.insert(into.end(), buffer, buffer + got);
  return true;
}

std::optional<Bytes> RawConnection::ReadFrame(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (pending_.size() >= 8) {
      const std::size_t length = pending_[4] | (pending_[5] << 8) | (pending_[6] << 16) |
                                 (static_cast<std::size_t>(pending_[7]) << 24);
      if (pending_.size() >= 8 + length) {
        Bytes frame(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(8 + length));
        pending_.erase(pending_.begin(),
                       pending_.begin() + static_cast<std::ptrdiff_t>(8 + length));
        return frame;
      }
    }
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    if (!ReadSome(pending_, deadline)) return std::nullopt;
  }
}

bool RawConnection::WaitClosed(std::chrono::milliseconds timeout, Bytes* received) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Bytes data = pending_;
  pending_.clear();
  bool closed = false;
  while (std::chrono::steady_clock::now() <= deadline) {
    if (!ReadSome(data, deadline)) {
      closed = true;
      break;
    }
  }
  if (received) *received = std::move(data);
  return closed;
}

bool RawConnection::StillOpen() {
  std::uint8_t byte;
  const ssize_t got = ::recv(fd_.Get(), &byte, 1, MSG_DONTWAIT | MSG_PEEK);
  return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

void RawConnection::Abort() {
  const linger reset{1, 0};
  ::setsockopt(fd_.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  fd_.Reset();
}

}  // namespace quor::transport::testing
