#include "console/InstanceBrowser.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/text/AsciiText.h"

namespace quor::console {
namespace {

// Request kinds of the SQL Server resolution protocol.
constexpr unsigned char kBrowseBroadcast = 0x02;
constexpr unsigned char kBrowseUnicast = 0x03;
constexpr unsigned char kBrowseInstance = 0x04;
constexpr unsigned char kBrowseResponse = 0x05;
// The version the instance has always reported.
constexpr const char* kBrowserInstanceVersion = "10.50.6000.34";

std::string HostNameOfThisMachine() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  std::string host = name;
  return host.substr(0, host.find('.'));
}

}  // namespace

std::string InstanceBrowser::Answer(const std::string& request, const std::string& serverName,
                                    const std::string& instanceName, std::uint16_t tcpPort) {
  if (request.empty()) return {};
  const auto kind = static_cast<unsigned char>(request[0]);
  if (kind == kBrowseInstance) {
    std::string asked = request.substr(1);
    asked = asked.substr(0, asked.find('\0'));
    if (!text::EqualsIgnoringAsciiCase(asked, instanceName)) return {};
  } else if (kind != kBrowseBroadcast && kind != kBrowseUnicast) {
    return {};
  }
  const std::string data = "ServerName;" + serverName + ";InstanceName;" + instanceName +
                           ";IsClustered;No;Version;" + kBrowserInstanceVersion + ";tcp;" +
                           std::to_string(tcpPort) + ";;";
  std::string reply(1, static_cast<char>(kBrowseResponse));
  reply += static_cast<char>(data.size() & 0xFF);
  reply += static_cast<char>((data.size() >> 8) & 0xFF);
  return reply + data;
}

InstanceBrowser::InstanceBrowser(std::uint16_t udpPort, std::string instanceName,
                                 std::uint16_t tcpPort)
    : instanceName_(std::move(instanceName)),
      tcpPort_(tcpPort),
      serverName_(text::AsciiUpper(HostNameOfThisMachine())) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(udpPort);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd_);
    throw std::runtime_error("UDP port " + std::to_string(udpPort) + ": " + std::strerror(error));
  }
  socklen_t length = sizeof address;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  udpPort_ = ntohs(address.sin_port);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    const int error = errno;
    ::close(fd_);
    throw std::runtime_error(std::string("eventfd: ") + std::strerror(error));
  }
  thread_ = std::thread([this] { Serve(); });
}

InstanceBrowser::~InstanceBrowser() {
  const std::uint64_t one = 1;
  ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
  (void)ignored;
  if (thread_.joinable()) thread_.join();
  ::close(wakeFd_);
  ::close(fd_);
}

void InstanceBrowser::Serve() {
  for (;;) {
    pollfd entries[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(entries, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (entries[1].revents) return;
    if (!(entries[0].revents & POLLIN)) continue;
    char buffer[512];
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const ssize_t got =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &length);
    if (got <= 0) continue;
    const std::string reply = Answer(std::string(buffer, static_cast<std::size_t>(got)),
                                     serverName_, instanceName_, tcpPort_);
    if (!reply.empty()) {
      ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&peer), length);
    }
  }
}

}  // namespace quor::console
