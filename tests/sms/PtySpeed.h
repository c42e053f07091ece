// The line speed a terminal reports through termios2, which also shows the
// rates that have no termios constant.
#pragma once

namespace quor::test {

// -1 when the device does not answer.
long ReportedSpeed(int fd);

}  // namespace quor::test
