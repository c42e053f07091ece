#include "tests/mobile/PhoneClient.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace quor::mobile::testing {
namespace {

sockaddr_in LoopbackAddress(const std::string& text, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, text.c_str(), &address.sin_addr) != 1) {
    throw std::invalid_argument("not an IPv4 address: " + text);
  }
  return address;
}

}  // namespace

PhoneClient::PhoneClient(std::uint16_t port, const std::string& localAddress) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
  const sockaddr_in local = LoopbackAddress(localAddress, 0);
  const sockaddr_in server = LoopbackAddress("127.0.0.1", port);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(fd_, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
    const std::string reason = std::strerror(errno);
    ::close(fd_);
    throw std::runtime_error("phone cannot connect to port " + std::to_string(port) + ": " +
                             reason);
  }
}

PhoneClient::~PhoneClient() {
  ::close(fd_);
}

void PhoneClient::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    // The server may have closed on purpose; what it answered is read later.
    if (sent <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

void PhoneClient::SendLine(std::string_view line) {
  Send(std::string(line) + "\r\n");
}

void PhoneClient::SendBody(std::string_view bytes) {
  SendLine(std::to_string(bytes.size()));
  Send(bytes);
}

void PhoneClient::CloseWrite() {
  ::shutdown(fd_, SHUT_WR);
}

bool PhoneClient::Receive() {
  pollfd wait{fd_, POLLIN, 0};
  const int ready =
      ::poll(&wait, 1, static_cast<int>(std::chrono::milliseconds(kPhoneWait).count()));
  if (ready <= 0) {
    ADD_FAILURE() << "the server sent nothing within " << kPhoneWait.count() << " s";
    return false;
  }
  char chunk[65536];
  const ssize_t received = ::recv(fd_, chunk, sizeof chunk, 0);
  if (received <= 0) return false;
  pending_.append(chunk, static_cast<std::size_t>(received));
  return true;
}

std::optional<std::string> PhoneClient::ReadLine() {
  for (;;) {
    const std::size_t lf = pending_.find('\n');
    if (lf != std::string::npos) {
      std::string line = pending_.substr(0, lf);
      pending_.erase(0, lf + 1);
      EXPECT_TRUE(!line.empty() && line.back() == '\r') << "line without CR: " << line;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (!Receive()) {
      EXPECT_TRUE(pending_.empty()) << "connection ended inside a line: " << pending_;
      return std::nullopt;
    }
  }
}

std::string PhoneClient::ReadToEnd() {
  while (Receive()) {
  }
  return std::exchange(pending_, std::string());
}

bool PhoneClient::ClosedByServer() {
  return ReadToEnd().empty();
}

std::string PhoneClient::Login(const std::string& loginId, const std::string& userName) {
  SendLine("<ConnectOK>");
  SendLine(loginId);
  SendLine(userName);
  SendLine("1.0");
  return ReadLine().value_or("(closed)");
}

}  // namespace quor::mobile::testing
