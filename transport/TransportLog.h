// What the socket transport tells the operator: one line on standard error,
// which the journal keeps when the server runs under systemd.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>

namespace quor::transport {

inline void LogTransport(const std::string& line) {
  std::fprintf(stderr, "socket transport: %s\n", line.c_str());
}

// Lines that a hostile or broken peer can cause by the thousand (a limit hit,
// accept failing for want of descriptors): at most one a second, the next
// one saying how many were held back meanwhile.
class RateLimitedLog {
 public:
  explicit RateLimitedLog(std::chrono::milliseconds interval = std::chrono::seconds(1))
      : interval_(interval) {}
  void Log(const std::string& line);
  // Lines written, for tests.
  std::size_t Written() const;

 private:
  const std::chrono::milliseconds interval_;
  mutable std::mutex mutex_;  // guards the members below
  std::chrono::steady_clock::time_point last_{};
  bool any_ = false;
  std::size_t held_ = 0;
  std::size_t written_ = 0;
};

// The lines of limits hit by peers (one shared flood guard).
void LogLimit(const std::string& line);
// The lines of connections dropped for what their peer sent or did (a flood
// guard of their own, so they never hide a limit's line).
void LogDropped(const std::string& line);

}  // namespace quor::transport
