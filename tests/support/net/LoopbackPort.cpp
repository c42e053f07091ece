#include "tests/support/net/LoopbackPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

namespace quor::testing {

std::uint16_t FreeLoopbackPort(int type) {
  const int fd = ::socket(AF_INET, type, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

}  // namespace quor::testing
