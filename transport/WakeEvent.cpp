#include "transport/WakeEvent.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace quor::transport {

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!fd_) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void WakeEvent::Set() {
  const std::uint64_t one = 1;
  // Only an overflowing counter fails, and then the event is set already.
  while (::write(fd_.Get(), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

bool WakeEvent::Consume() {
  std::uint64_t count = 0;
  for (;;) {
    if (::read(fd_.Get(), &count, sizeof count) == sizeof count) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace quor::transport
