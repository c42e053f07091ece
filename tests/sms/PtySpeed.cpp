#include "tests/sms/PtySpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace quor::test {

long ReportedSpeed(int fd) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return -1;
  return static_cast<long>(settings.c_ospeed);
}

}  // namespace quor::test
