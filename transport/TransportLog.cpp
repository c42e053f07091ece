#include "transport/TransportLog.h"

namespace quor::transport {

void RateLimitedLog::Log(const std::string& line) {
  std::size_t held = 0;
  {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (any_ && now - last_ < interval_) {
      ++held_;
      return;
    }
    any_ = true;
    last_ = now;
    held = held_;
    held_ = 0;
    ++written_;
  }
  if (held == 0) {
    LogTransport(line);
  } else {
    LogTransport(line + " (" + std::to_string(held) + " more since the last such line)");
  }
}

std::size_t RateLimitedLog::Written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

void LogLimit(const std::string& line) {
  static RateLimitedLog log;
  log.Log(line);
}

void LogDropped(const std::string& line) {
  static RateLimitedLog log;
  log.Log(line);
}

}  // namespace quor::transport
