#include "transport/UniqueFd.h"

#include <unistd.h>

namespace quor::transport {

void UniqueFd::Reset(int fd) {
  // close() is not retried on EINTR: on Linux the descriptor is gone either way.
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

}  // namespace quor::transport
