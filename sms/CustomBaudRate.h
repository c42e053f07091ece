// Rates that have no termios constant (14400, 56000, 128000, 256000, any
// custom figure) go through the kernel's termios2 interface with BOTHER. It
// lives in a file of its own because <asm/termbits.h> and <termios.h> clash.
#pragma once

namespace quor::sms {

// 0 on success, else the errno of the refusal.
int ApplyCustomBaudRate(int fd, int bitsPerSecond);

}  // namespace quor::sms
