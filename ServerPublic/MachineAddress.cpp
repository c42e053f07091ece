#include "MachineAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <limits>
#include <memory>
#include <sstream>

#include "ConfigKeys.h"
#include "ConfigStore.h"
#include "platform/registry/WholeFile.h"
#include "platform/text/AsciiText.h"

namespace quor {
namespace {

std::optional<unsigned long> HexField(const std::string& field) {
  unsigned long value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, 16);
  if (error != std::errc() || end != field.data() + field.size() || field.empty()) {
    return std::nullopt;
  }
  return value;
}

std::optional<long> DecimalField(const std::string& field) {
  long value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || end != field.data() + field.size() || field.empty()) {
    return std::nullopt;
  }
  return value;
}

std::string AddressText(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return {};
  return text;
}

std::vector<InterfaceAddress> LocalInterfaceAddresses() {
  std::vector<InterfaceAddress> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0) continue;
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    found.push_back({entry->ifa_name, AddressText(ipv4->sin_addr)});
  }
  return found;
}

// In the order the resolver lists them.
std::vector<std::string> HostNameAddresses() {
  std::vector<std::string> found;
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return found;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &list) != 0) return found;
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(list, &freeaddrinfo);
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    found.push_back(AddressText(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr));
  }
  return found;
}

}  // namespace

std::optional<std::string> DefaultRouteInterface(std::string_view routeTable) {
  // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ..., the
  // numbers of the addresses and flags in hexadecimal; the first line names them.
  std::istringstream lines{std::string(routeTable)};
  std::string line;
  std::getline(lines, line);
  std::optional<std::string> best;
  long bestMetric = std::numeric_limits<long>::max();
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway, flags, refCount, use, metric, mask;
    if (!(fields >> name >> destination >> gateway >> flags >> refCount >> use >> metric >> mask)) {
      continue;
    }
    const auto destinationValue = HexField(destination);
    const auto maskValue = HexField(mask);
    const auto flagsValue = HexField(flags);
    const auto metricValue = DecimalField(metric);
    if (!destinationValue || !maskValue || !flagsValue || !metricValue) continue;
    if (*destinationValue != 0 || *maskValue != 0 || (*flagsValue & RTF_UP) == 0) continue;
    if (*metricValue < bestMetric) {
      best = name;
      bestMetric = *metricValue;
    }
  }
  return best;
}

bool IsLoopbackAddress(std::string_view address) {
  in_addr parsed{};
  if (inet_pton(AF_INET, std::string(address).c_str(), &parsed) != 1) return false;
  return (ntohl(parsed.s_addr) >> 24) == 127;
}

std::string ChooseMachineAddress(const std::optional<std::string>& routeInterface,
                                 const std::vector<InterfaceAddress>& interfaces,
                                 const std::vector<std::string>& hostNameAddresses) {
  if (routeInterface) {
    for (const InterfaceAddress& entry : interfaces) {
      if (entry.interfaceName == *routeInterface && !IsLoopbackAddress(entry.address)) {
        return entry.address;
      }
    }
  }
  for (const InterfaceAddress& entry : interfaces) {
    if (!entry.address.empty() && !IsLoopbackAddress(entry.address)) return entry.address;
  }
  // Clients have always been told the last address the lookup gives.
  for (auto it = hostNameAddresses.rbegin(); it != hostNameAddresses.rend(); ++it) {
    if (!it->empty() && !IsLoopbackAddress(*it)) return *it;
  }
  return {};
}

std::string MachineAddress() {
  const std::string configured(
      text::TrimBlanks(ReadConfig(configkey::kServerAddress, std::string())));
  if (!configured.empty()) return configured;
  std::string routeTable;
  std::optional<std::string> routeInterface;
  if (registry::ReadWholeFile("/proc/net/route", routeTable) == 0) {
    routeInterface = DefaultRouteInterface(routeTable);
  }
  return ChooseMachineAddress(routeInterface, LocalInterfaceAddresses(), HostNameAddresses());
}

}  // namespace quor
