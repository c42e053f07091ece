// What the socket transport tells the operator: one line on standard error,
// which the journal keeps when the server runs under systemd.
#pragma once

#include <cstdio>
#include <string>

namespace quor::transport {

inline void LogTransport(const std::string& line) {
  std::fprintf(stderr, "socket transport: %s\n", line.c_str());
}

}  // namespace quor::transport
