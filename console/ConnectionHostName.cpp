#include "console/ConnectionHostName.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cstring>

namespace quor::console {

std::string LookUpHostName(const std::string& address) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;
  hints.ai_family = AF_UNSPEC;
  addrinfo* found = nullptr;
  if (::getaddrinfo(address.c_str(), nullptr, &hints, &found) != 0 || !found) return {};
  char host[NI_MAXHOST] = {};
  const int status =
      ::getnameinfo(found->ai_addr, found->ai_addrlen, host, sizeof host, nullptr, 0, NI_NAMEREQD);
  ::freeaddrinfo(found);
  return status == 0 ? std::string(host) : std::string();
}

}  // namespace quor::console
