// Ports for tests and benchmarks that start servers on loopback.
#pragma once

#include <sys/socket.h>

#include <cstdint>

namespace quor::testing {

// A port on 127.0.0.1 that was free a moment ago, for sockets of `type`
// (SOCK_STREAM or SOCK_DGRAM).
std::uint16_t FreeLoopbackPort(int type = SOCK_STREAM);

}  // namespace quor::testing
