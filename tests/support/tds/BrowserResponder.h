// Answers SQL Server Browser (MS-SQLR) unicast instance queries on a UDP port, so a client that
// names "host\instance" learns the stand-in's TCP port.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace quor::test::tds {

class BrowserResponder {
 public:
  BrowserResponder(const std::string& host, std::uint16_t udpPort, std::string serverName,
                   std::string instanceName, std::string version, std::uint16_t tcpPort);
  ~BrowserResponder();
  BrowserResponder(const BrowserResponder&) = delete;
  BrowserResponder& operator=(const BrowserResponder&) = delete;

  std::uint16_t Port() const { return port_; }

 private:
  void Serve();

  int fd_ = -1;
  int wakeFd_ = -1;
  std::uint16_t port_ = 0;
  std::string serverName_;
  std::string instanceName_;
  std::string version_;
  std::uint16_t tcpPort_;
  std::thread thread_;
};

}  // namespace quor::test::tds
