#include "FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Registry.h"

namespace quor::registry {

FileLock::FileLock(const std::filesystem::path& lockFile)
    : fd_(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
  if (fd_ < 0) {
    throw RegistryError("cannot open lock file " + lockFile.string() + ": " + std::strerror(errno));
  }
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    ::close(fd_);
    throw RegistryError("cannot lock " + lockFile.string() + ": " + std::strerror(error));
  }
}

// Closing the descriptor releases the lock.
FileLock::~FileLock() {
  ::close(fd_);
}

}  // namespace quor::registry
