#include "sync/SyncLog.h"

#include <iostream>
#include <mutex>

namespace quor::sync {

namespace {

std::mutex& SyncLogMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void(const std::string&)>& SyncLogSink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

}  // namespace

void SyncLog(const std::string& line) {
  std::lock_guard lock(SyncLogMutex());
  if (SyncLogSink())
    SyncLogSink()(line);
  else
    std::cerr << "sync: " << line << std::endl;
}

void SetSyncLogSink(std::function<void(const std::string&)> sink) {
  std::lock_guard lock(SyncLogMutex());
  SyncLogSink() = std::move(sink);
}

}  // namespace quor::sync
