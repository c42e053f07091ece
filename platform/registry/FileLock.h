// An exclusive advisory lock (flock) on a side file, held for the life of the
// object. Processes that share the registry file take it around each
// read-change-write so no one's change is lost.
#pragma once

#include <filesystem>

namespace quor::registry {

class FileLock {
 public:
  // Creates the lock file when missing and blocks until the lock is ours.
  // Throws RegistryError naming the lock file when it cannot be opened.
  explicit FileLock(const std::filesystem::path& lockFile);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

}  // namespace quor::registry
