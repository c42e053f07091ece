#include "tests/support/tds/BrowserResponder.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "tests/support/tds/ScriptBook.h"

namespace quor::test::tds {
namespace {

constexpr std::uint8_t kClientUnicastInstance = 0x04;
constexpr std::uint8_t kClientBroadcastEx = 0x02;
constexpr std::uint8_t kClientUnicastEx = 0x03;
constexpr std::uint8_t kServerResponse = 0x05;

}  // namespace

BrowserResponder::BrowserResponder(const std::string& host, std::uint16_t udpPort,
                                   std::string serverName, std::string instanceName,
                                   std::string version, std::uint16_t tcpPort)
    : serverName_(std::move(serverName)),
      instanceName_(std::move(instanceName)),
      version_(std::move(version)),
      tcpPort_(tcpPort) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error(std::string("browser socket: ") + std::strerror(errno));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(udpPort);
  if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
    ::close(fd_);
    throw std::runtime_error("browser: bad host " + host);
  }
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int err = errno;
    ::close(fd_);
    throw std::runtime_error("browser: cannot bind UDP port " + std::to_string(udpPort) + ": " +
                             std::strerror(err));
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    ::close(fd_);
    throw std::runtime_error(std::string("browser eventfd: ") + std::strerror(errno));
  }
  thread_ = std::thread([this] { Serve(); });
}

BrowserResponder::~BrowserResponder() {
  std::uint64_t one = 1;
  if (::write(wakeFd_, &one, sizeof one) < 0) std::cerr << "browser: cannot wake its thread\n";
  thread_.join();
  ::close(wakeFd_);
  ::close(fd_);
}

void BrowserResponder::Serve() {
  std::vector<std::uint8_t> buffer(2048);
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from),
                           &fromLen);
    if (n <= 0) continue;
    std::uint8_t kind = buffer[0];
    bool answer = kind == kClientBroadcastEx || kind == kClientUnicastEx;
    if (kind == kClientUnicastInstance) {
      std::string asked(reinterpret_cast<const char*>(buffer.data() + 1),
                        static_cast<std::size_t>(n - 1));
      asked = asked.substr(0, asked.find('\0'));
      answer = Lower(asked) == Lower(instanceName_);
    }
    if (!answer) continue;  // the real browser stays silent for unknown instances
    std::string data = "ServerName;" + serverName_ + ";InstanceName;" + instanceName_ +
                       ";IsClustered;No;Version;" + version_ + ";tcp;" + std::to_string(tcpPort_) +
                       ";;";
    std::vector<std::uint8_t> reply{kServerResponse, static_cast<std::uint8_t>(data.size()),
                                    static_cast<std::uint8_t>(data.size() >> 8)};
    reply.insert(reply.end(), data.begin(), data.end());
    ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
  }
}

}  // namespace quor::test::tds
