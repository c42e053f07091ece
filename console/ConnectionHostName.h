// The name of the machine a client connects from, as the transport window's
// "连接计算机" column shows it: a reverse lookup of its address.
#pragma once

#include <string>

namespace quor::console {

// The host name of a numeric IPv4 or IPv6 address; empty when none is known.
std::string LookUpHostName(const std::string& address);

}  // namespace quor::console
