// Answers the SQL Server instance queries (UDP, port 1434 by default) for the
// private engine while it runs: SQL Server on Linux has no browser service of
// its own, and every connection in private engine mode names the instance
// "VTSQLSERVER" rather than a port. Clients on other machines ask the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace quor::console {

class InstanceBrowser {
 public:
  // Binds the UDP port on every IPv4 address (0: an ephemeral one, for tests);
  // throws std::runtime_error with the system's reason when it cannot.
  InstanceBrowser(std::uint16_t udpPort, std::string instanceName, std::uint16_t tcpPort);
  ~InstanceBrowser();  // stops answering and joins its thread
  InstanceBrowser(const InstanceBrowser&) = delete;
  InstanceBrowser& operator=(const InstanceBrowser&) = delete;

  std::uint16_t UdpPort() const { return udpPort_; }

  // The answer to one request datagram; empty when it gets none (another
  // instance's name, an unknown request).
  static std::string Answer(const std::string& request, const std::string& serverName,
                            const std::string& instanceName, std::uint16_t tcpPort);

 private:
  void Serve();

  int fd_ = -1;
  int wakeFd_ = -1;
  std::uint16_t udpPort_ = 0;
  std::string instanceName_;
  std::uint16_t tcpPort_ = 0;
  std::string serverName_;
  std::thread thread_;
};

}  // namespace quor::console
