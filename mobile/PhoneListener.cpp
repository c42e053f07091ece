#include "mobile/PhoneListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace quor::mobile {
namespace {

constexpr int kListenBacklog = 64;

[[noreturn]] void ThrowListenError(const std::string& what, std::uint16_t port) {
  throw std::system_error(errno, std::generic_category(), what + " port " + std::to_string(port));
}

ScopedFd BindAnyAddress(std::uint16_t port) {
  const int one = 1;
  const int zero = 0;
  ScopedFd socket6(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (socket6.Valid()) {
    ::setsockopt(socket6.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(socket6.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_any;
    address.sin6_port = htons(port);
    if (::bind(socket6.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      return socket6;
    }
    // A port in use or forbidden stays so for IPv4; a machine whose IPv6 is
    // switched off still takes the IPv4 socket below.
    if (errno != EADDRNOTAVAIL && errno != EAFNOSUPPORT) ThrowListenError("cannot bind", port);
  } else if (errno != EAFNOSUPPORT) {
    ThrowListenError("cannot open a socket for", port);
  }
  ScopedFd socket4(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket4.Valid()) ThrowListenError("cannot open a socket for", port);
  ::setsockopt(socket4.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (::bind(socket4.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ThrowListenError("cannot bind", port);
  }
  return socket4;
}

}  // namespace

std::string PeerAddressText(const void* address, unsigned length) {
  char text[INET6_ADDRSTRLEN] = {};
  const auto* generic = static_cast<const sockaddr*>(address);
  if (generic->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
    const auto* v4 = static_cast<const sockaddr_in*>(address);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    return text;
  }
  if (generic->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
    const auto* v6 = static_cast<const sockaddr_in6*>(address);
    if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
      ::inet_ntop(AF_INET, v6->sin6_addr.s6_addr + 12, text, sizeof text);
    } else {
      ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    }
    return text;
  }
  return "";
}

PhoneListener::PhoneListener(std::uint16_t port)
    : listen_(BindAnyAddress(port)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (::listen(listen_.Get(), kListenBacklog) != 0) ThrowListenError("cannot listen on", port);
  if (!wake_.Valid()) ThrowListenError("cannot make a wake-up event for", port);
}

std::optional<AcceptedPhone> PhoneListener::Accept() {
  for (;;) {
    pollfd fds[2] = {{listen_.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (fds[1].revents != 0) return std::nullopt;
    if ((fds[0].revents & POLLIN) == 0) continue;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    ScopedFd socket(
        ::accept4(listen_.Get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
    // A connection reset before it was taken, or descriptors running out for a
    // moment, costs that connection only.
    if (!socket.Valid()) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        ::poll(nullptr, 0, 100);
      }
      continue;
    }
    return AcceptedPhone{std::move(socket), PeerAddressText(&peer, length)};
  }
}

void PhoneListener::Stop() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
}

}  // namespace quor::mobile
