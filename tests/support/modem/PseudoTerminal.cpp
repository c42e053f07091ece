#include "tests/support/modem/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace quor::test {

PseudoTerminal::PseudoTerminal() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    throw std::runtime_error(std::string("no pseudo-terminal: ") + std::strerror(errno));
  }
  char name[128] = {};
  if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname failed");
  devicePath_ = name;
  keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (keeper_ < 0) throw std::runtime_error("cannot open " + devicePath_);
  termios settings{};
  ::tcgetattr(keeper_, &settings);
  ::cfmakeraw(&settings);
  ::tcsetattr(keeper_, TCSANOW, &settings);
}

PseudoTerminal::~PseudoTerminal() {
  CloseMaster();
  if (keeper_ >= 0) ::close(keeper_);
}

void PseudoTerminal::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace quor::test
