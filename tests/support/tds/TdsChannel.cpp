#include "tests/support/tds/TdsChannel.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tests/support/tds/TdsBytes.h"

namespace quor::test::tds {
namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint8_t kStatusEndOfMessage = 0x01;
constexpr std::uint16_t kSpid = 55;
// Bounds the memory one request may claim; the largest test requests are a few megabytes.
constexpr std::size_t kMaxMessage = 256u << 20;

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

TdsChannel::TdsChannel(int fd) : fd_(fd) {}

TdsChannel::~TdsChannel() {
  Close();
}

void TdsChannel::Close() {
  std::lock_guard<std::mutex> lock(closeMutex_);
  int fd = fd_.exchange(-1);
  if (fd >= 0) {
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
  }
}

void TdsChannel::Shutdown() {
  std::lock_guard<std::mutex> lock(closeMutex_);
  int fd = fd_.load();
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

bool TdsChannel::ReadExact(std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    int fd = fd_.load();
    if (fd < 0) throw TdsProtocolError("connection closed");
    ssize_t n = ::recv(fd, data + done, size - done, 0);
    if (n == 0) {
      if (done == 0) return false;
      throw TdsProtocolError("connection closed inside a packet");
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      throw TdsProtocolError(Errno("recv"));
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<TdsMessage> TdsChannel::Read() {
  TdsMessage message;
  bool first = true;
  for (;;) {
    std::uint8_t header[kHeaderSize];
    if (!ReadExact(header, kHeaderSize)) {
      if (first) return std::nullopt;
      throw TdsProtocolError("connection closed inside a message");
    }
    std::size_t length = (static_cast<std::size_t>(header[2]) << 8) | header[3];
    if (length < kHeaderSize) throw TdsProtocolError("packet shorter than its header");
    if (first) {
      message.type = header[0];
    } else if (header[0] != message.type) {
      // A cancel may interrupt a request that is still arriving; the request is then void.
      if (header[0] == kPacketAttention) return TdsMessage{kPacketAttention, {}};
      throw TdsProtocolError("packet type changes inside a message");
    }
    first = false;
    std::size_t body = length - kHeaderSize;
    if (message.payload.size() + body > kMaxMessage) throw TdsProtocolError("message too large");
    std::size_t at = message.payload.size();
    message.payload.resize(at + body);
    if (body > 0 && !ReadExact(message.payload.data() + at, body)) {
      throw TdsProtocolError("connection closed inside a packet");
    }
    if (header[1] & kStatusEndOfMessage) return message;
  }
}

void TdsChannel::Send(std::uint8_t type, const std::vector<std::uint8_t>& payload) {
  std::size_t room = packetSize_ > kHeaderSize + 1 ? packetSize_ - kHeaderSize : 512;
  std::size_t at = 0;
  std::uint8_t packetId = 1;
  std::vector<std::uint8_t> packet;
  do {
    std::size_t chunk = std::min(room, payload.size() - at);
    bool last = at + chunk == payload.size();
    std::size_t length = kHeaderSize + chunk;
    packet.assign({type, static_cast<std::uint8_t>(last ? kStatusEndOfMessage : 0),
                   static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
                   static_cast<std::uint8_t>(kSpid >> 8), static_cast<std::uint8_t>(kSpid),
                   packetId++, 0});
    packet.insert(packet.end(), payload.begin() + static_cast<std::ptrdiff_t>(at),
                  payload.begin() + static_cast<std::ptrdiff_t>(at + chunk));
    std::size_t sent = 0;
    while (sent < packet.size()) {
      int fd = fd_.load();
      if (fd < 0) throw TdsProtocolError("connection closed");
      ssize_t n = ::send(fd, packet.data() + sent, packet.size() - sent, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw TdsProtocolError(Errno("send"));
      }
      sent += static_cast<std::size_t>(n);
    }
    at += chunk;
  } while (at < payload.size());
}

bool TdsChannel::WaitForAttention(std::chrono::milliseconds wait) {
  auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    int fd = fd_.load();
    if (fd < 0) throw TdsProtocolError("connection closed");
    pollfd p{fd, POLLIN, 0};
    int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw TdsProtocolError(Errno("poll"));
    }
    if (n == 0) return false;
    std::optional<TdsMessage> m = Read();
    if (!m) throw TdsProtocolError("client closed the connection while waiting");
    if (m->type == kPacketAttention) return true;
    throw TdsProtocolError("request arrived before the previous one was answered");
  }
}

}  // namespace quor::test::tds
