#include "transport/SocketAddress.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace quor::transport {
namespace {

[[noreturn]] void ThrowSystem(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

UniqueFd OpenSocket(int family) {
  UniqueFd fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) ThrowSystem(errno, "socket");
  return fd;
}

void BindAndListen(int fd, const sockaddr* address, socklen_t length, int backlog) {
  const int on = 1;
  // A restarted server must not wait for the old connections' TIME_WAIT.
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd, address, length) != 0) ThrowSystem(errno, "bind");
  if (::listen(fd, backlog) != 0) ThrowSystem(errno, "listen");
}

UniqueFd ListenAnyIPv4(std::uint16_t port, int backlog) {
  UniqueFd fd = OpenSocket(AF_INET);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  BindAndListen(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address, backlog);
  return fd;
}

std::vector<UniqueFd> ListenAny(std::uint16_t port, int backlog) {
  std::vector<UniqueFd> sockets;
  UniqueFd fd(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) {
    if (errno != EAFNOSUPPORT) ThrowSystem(errno, "socket");
    sockets.push_back(ListenAnyIPv4(port, backlog));
    return sockets;
  }
  const int off = 0;
  ::setsockopt(fd.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_port = htons(port);
  address.sin6_addr = in6addr_any;
  try {
    BindAndListen(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address, backlog);
  } catch (const std::system_error& error) {
    // IPv6 switched off in the kernel: IPv4 alone still serves every client.
    if (error.code().value() != EADDRNOTAVAIL) throw;
    sockets.push_back(ListenAnyIPv4(port, backlog));
    return sockets;
  }
  sockets.push_back(std::move(fd));
  return sockets;
}

struct AddressList {
  addrinfo* head = nullptr;
  ~AddressList() {
    if (head) ::freeaddrinfo(head);
  }
};

void Resolve(const std::string& host, std::uint16_t port, int flags, AddressList& list) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  const std::string service = std::to_string(port);
  const int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list.head);
  if (status != 0) {
    throw std::system_error(EINVAL, std::generic_category(), host + ": " + ::gai_strerror(status));
  }
}

void ConnectWithin(int fd, const addrinfo& address, std::chrono::milliseconds timeout) {
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) ThrowSystem(errno, "connect");
    pollfd ready{fd, POLLOUT, 0};
    int polled;
    do {
      polled = ::poll(&ready, 1, static_cast<int>(timeout.count()));
    } while (polled < 0 && errno == EINTR);
    if (polled < 0) ThrowSystem(errno, "poll");
    if (polled == 0) ThrowSystem(ETIMEDOUT, "connect");
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) ThrowSystem(error, "connect");
  }
  ::fcntl(fd, F_SETFL, flags);
}

}  // namespace

std::vector<UniqueFd> ListenOn(const std::string& bindAddress, std::uint16_t port, int backlog) {
  if (bindAddress.empty()) return ListenAny(port, backlog);
  AddressList list;
  Resolve(bindAddress, port, AI_PASSIVE, list);
  UniqueFd fd = OpenSocket(list.head->ai_family);
  BindAndListen(fd.Get(), list.head->ai_addr, list.head->ai_addrlen, backlog);
  std::vector<UniqueFd> sockets;
  sockets.push_back(std::move(fd));
  return sockets;
}

UniqueFd ConnectTo(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout) {
  AddressList list;
  Resolve(host, port, 0, list);
  std::system_error last(ECONNREFUSED, std::generic_category(), "connect");
  for (const addrinfo* address = list.head; address; address = address->ai_next) {
    try {
      UniqueFd fd = OpenSocket(address->ai_family);
      ConnectWithin(fd.Get(), *address, timeout);
      const int on = 1;
      // Requests and replies are single frames; waiting to fill a segment only adds latency.
      ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      return fd;
    } catch (const std::system_error& error) {
      last = error;
    }
  }
  throw last;
}

std::uint16_t LocalPort(int socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  }
  return 0;
}

namespace {

std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
      ::inet_ntop(AF_INET, v6.sin6_addr.s6_addr + 12, text, sizeof text);
    } else {
      ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    }
  }
  return text;
}

}  // namespace

std::string PeerAddress(int socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
  return AddressText(address);
}

UniqueFd AcceptFrom(int listener, std::string& peerAddress) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  UniqueFd socket(
      ::accept4(listener, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC));
  if (socket) peerAddress = AddressText(address);
  return socket;
}

}  // namespace quor::transport
