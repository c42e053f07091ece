#include "mobile/ScopedFd.h"

#include <unistd.h>

namespace quor::mobile {

void ScopedFd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

}  // namespace quor::mobile
