// This machine's IPv4 address as clients are told it, to reach SQL Server on
// it directly. A host-name lookup is no good for that: Debian maps the host
// name to 127.0.1.1, which every client would take for itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quor {

// One IPv4 address of a local network interface.
struct InterfaceAddress {
  std::string interfaceName;
  std::string address;  // dotted decimal
};

// The interface of the IPv4 default route in the text of /proc/net/route (the
// one with the lowest metric when there are several); nothing without one.
std::optional<std::string> DefaultRouteInterface(std::string_view routeTable);

// The choice among what the machine offers, never a loopback address
// (127.0.0.0/8): the default route's interface address, else the first other
// interface address, else the last address of the host-name lookup, else "".
std::string ChooseMachineAddress(const std::optional<std::string>& routeInterface,
                                 const std::vector<InterfaceAddress>& interfaces,
                                 const std::vector<std::string>& hostNameAddresses);

bool IsLoopbackAddress(std::string_view address);

// "ServerAddress" from the settings when set, else ChooseMachineAddress over
// this machine's routes, interfaces and host name.
std::string MachineAddress();

}  // namespace quor
