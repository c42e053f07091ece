#include "sms/CustomBaudRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace quor::sms {

int ApplyCustomBaudRate(int fd, int bitsPerSecond) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
  settings.c_cflag &= ~CBAUD;
  settings.c_cflag |= BOTHER;
  settings.c_cflag &= ~(CBAUD << IBSHIFT);
  settings.c_cflag |= BOTHER << IBSHIFT;
  settings.c_ispeed = static_cast<speed_t>(bitsPerSecond);
  settings.c_ospeed = static_cast<speed_t>(bitsPerSecond);
  if (ioctl(fd, TCSETS2, &settings) != 0) return errno;
  return 0;
}

}  // namespace quor::sms
