#include "sms/ComPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>

#include "sms/CustomBaudRate.h"
#include "sms/SerialDevices.h"

namespace quor::sms {
namespace {

using Clock = std::chrono::steady_clock;

struct StandardRate {
  int value;
  speed_t code;
};

// Rates with a termios constant; the others go through termios2.
std::optional<speed_t> StandardSpeed(int value) {
  static constexpr StandardRate kRates[] = {
      {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
      {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
      {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
  };
  for (const StandardRate& rate : kRates) {
    if (rate.value == value) return rate.code;
  }
  return std::nullopt;
}

bool IsLostDeviceError(int error) {
  return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

// Milliseconds left until `deadline`, at least 0; -1 (poll's "no limit") when
// there is none.
int MillisecondsLeft(const std::optional<Clock::time_point>& deadline) {
  if (!deadline) return -1;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

std::optional<Clock::time_point> TotalDeadline(Clock::time_point start, int multiplier,
                                               int constant, std::size_t count) {
  const long long total = static_cast<long long>(multiplier) * static_cast<long long>(count) +
                          static_cast<long long>(constant);
  if (total <= 0) return std::nullopt;
  return start + std::chrono::milliseconds(total);
}

}  // namespace

int BaudRateValue(TBaudRate rate) {
  static constexpr int kValues[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  return kValues[static_cast<int>(rate)];
}

const char* ComErrorText(int code) {
  switch (code) {
    case kComOpenFailed:
      return "打开串行口失败.";
    case kComLineSettingsFailed:
      return "设置串行口参数失败.";
    case kComTimeoutsFailed:
      return "设置串行口超时参数失败.";
    case kComBufferFailed:
      return "设置串行口缓冲区大小失败.";
    case kComDeviceLost:
      return "串行口设备已断开.";
    default:
      return "串行口错误.";
  }
}

EComPort::EComPort(int code, int systemError)
    : std::runtime_error(std::string(ComErrorText(code)) +
                         " (win error code: " + std::to_string(systemError) + ")"),
      code_(code),
      systemError_(systemError) {}

TComPort::TComPort() = default;

TComPort::~TComPort() {
  ClosePort();
}

void TComPort::SetConnected(bool connected) {
  if (connected) {
    OpenPort();
  } else {
    ClosePort();
  }
}

void TComPort::OpenPort() {
  if (Connected()) return;
  const std::string path = ResolveSerialDevice(port_);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw EComPort(kComOpenFailed, errno);
  // Not shared: a second opener (another copy of the server, a terminal
  // program) is refused, as the device is opened without sharing elsewhere.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    throw EComPort(kComOpenFailed, error);
  }
  if (::isatty(fd)) ::ioctl(fd, TIOCEXCL);
  fd_ = fd;
  devicePath_ = path;
  try {
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeouts();
  } catch (...) {
    ClosePort();
    throw;
  }
}

void TComPort::ClosePort() {
  if (!Connected()) return;
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  devicePath_.clear();
}

void TComPort::PurgePort() {
  if (!Connected()) return;
  ::tcdrain(fd_);
  ::tcflush(fd_, TCIFLUSH);
}

void TComPort::RaiseLost(int systemError) {
  ClosePort();
  throw EComPort(kComDeviceLost, systemError);
}

bool TComPort::WritePort(std::string_view text) {
  if (text.empty() || !Connected()) return false;
  const auto deadline = TotalDeadline(Clock::now(), timeouts_.WriteTotalMultiplier,
                                      timeouts_.WriteTotalConstant, text.size());
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + written, text.size() - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      if (IsLostDeviceError(errno)) RaiseLost(errno);
      return false;
    }
    pollfd waitFor{fd_, POLLOUT, 0};
    const int ready = ::poll(&waitFor, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    if (ready == 0) return false;
    if (waitFor.revents & (POLLHUP | POLLERR | POLLNVAL)) RaiseLost(EIO);
  }
  return true;
}

bool TComPort::ReadPort(std::size_t count, std::string& text) {
  text.clear();
  if (!Connected()) return false;
  if (count == 0) return true;
  const Clock::time_point start = Clock::now();
  const auto total =
      TotalDeadline(start, timeouts_.ReadTotalMultiplier, timeouts_.ReadTotalConstant, count);
  std::string received;
  std::optional<Clock::time_point> intervalDeadline;
  while (received.size() < count) {
    char buffer[256];
    const std::size_t want = std::min(sizeof buffer, count - received.size());
    const ssize_t n = ::read(fd_, buffer, want);
    if (n > 0) {
      received.append(buffer, static_cast<std::size_t>(n));
      if (timeouts_.ReadInterval > 0) {
        intervalDeadline = Clock::now() + std::chrono::milliseconds(timeouts_.ReadInterval);
      }
      continue;
    }
    if (n == 0) RaiseLost(EIO);
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      if (IsLostDeviceError(errno)) RaiseLost(errno);
      return false;
    }
    std::optional<Clock::time_point> deadline = total;
    if (intervalDeadline && (!deadline || *intervalDeadline < *deadline)) {
      deadline = intervalDeadline;
    }
    pollfd waitFor{fd_, POLLIN, 0};
    const int ready = ::poll(&waitFor, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    if ((waitFor.revents & POLLIN) == 0 && (waitFor.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      RaiseLost(EIO);
    }
  }
  text = std::move(received);
  return true;
}

void TComPort::ApplyBufferSizes() {
  if (!Connected()) return;
  // The kernel's tty buffers have fixed sizes; what remains of the request is
  // its check, so a nonsensical size is refused as before.
  if (buffer_.InputSize <= 0 || buffer_.OutputSize <= 0) {
    throw EComPort(kComBufferFailed, EINVAL);
  }
}

void TComPort::ApplyLineSettings() {
  if (!Connected()) return;
  termios settings{};
  if (::tcgetattr(fd_, &settings) != 0) throw EComPort(kComLineSettingsFailed, errno);
  ::cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_iflag &= ~(IXON | IXOFF | IXANY);
  // VMIN 1 makes a read without data fail with EAGAIN, so a read of 0 bytes
  // can only mean a hung-up device.
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;

  settings.c_cflag &= ~CSIZE;
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  settings.c_cflag |= kSizes[static_cast<int>(dataBits_)];

  settings.c_cflag &= ~(PARENB | PARODD | CMSPAR);
  switch (parity_.Bits) {
    case TParityBits::prNone:
      break;
    case TParityBits::prOdd:
      settings.c_cflag |= PARENB | PARODD;
      break;
    case TParityBits::prEven:
      settings.c_cflag |= PARENB;
      break;
    case TParityBits::prMark:
      settings.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case TParityBits::prSpace:
      settings.c_cflag |= PARENB | CMSPAR;
      break;
  }
  settings.c_iflag &= ~(INPCK | IGNPAR | PARMRK);
  if (parity_.Check) {
    // Without Replace a byte with a parity error is dropped; with it the
    // byte arrives as NUL, the kernel's only stand-in character.
    settings.c_iflag |= INPCK;
    if (!parity_.Replace) settings.c_iflag |= IGNPAR;
  }

  // Linux has no 1.5 stop bits setting; a UART with five data bits sends 1.5
  // for CSTOPB, as the line standard defines.
  if (stopBits_ == TStopBits::sbOneStopBit) {
    settings.c_cflag &= ~CSTOPB;
  } else {
    settings.c_cflag |= CSTOPB;
  }

  const int rate = baudRate_ == TBaudRate::brCustom ? customBaudRate_ : BaudRateValue(baudRate_);
  if (rate <= 0) throw EComPort(kComLineSettingsFailed, EINVAL);
  const std::optional<speed_t> standard = StandardSpeed(rate);
  if (standard) {
    ::cfsetispeed(&settings, *standard);
    ::cfsetospeed(&settings, *standard);
  }
  if (::tcsetattr(fd_, TCSANOW, &settings) != 0) throw EComPort(kComLineSettingsFailed, errno);
  if (!standard) {
    const int error = ApplyCustomBaudRate(fd_, rate);
    if (error != 0) throw EComPort(kComLineSettingsFailed, error);
  }
}

void TComPort::ApplyTimeouts() {
  if (!Connected()) return;
  const TComTimeouts& t = timeouts_;
  if (t.ReadInterval < 0 || t.ReadTotalMultiplier < 0 || t.ReadTotalConstant < 0 ||
      t.WriteTotalMultiplier < 0 || t.WriteTotalConstant < 0) {
    throw EComPort(kComTimeoutsFailed, EINVAL);
  }
}

void TComPort::SetBaudRate(TBaudRate rate) {
  baudRate_ = rate;
  ApplyLineSettings();
}

void TComPort::SetCustomBaudRate(int rate) {
  customBaudRate_ = rate;
  ApplyLineSettings();
}

void TComPort::SetPort(std::string port) {
  port_ = std::move(port);
  if (Connected()) {
    ClosePort();
    OpenPort();
  }
}

void TComPort::SetStopBits(TStopBits bits) {
  stopBits_ = bits;
  ApplyLineSettings();
}

void TComPort::SetDataBits(TDataBits bits) {
  dataBits_ = bits;
  ApplyLineSettings();
}

void TComPort::SetParity(const TComParity& parity) {
  parity_ = parity;
  ApplyLineSettings();
}

void TComPort::SetTimeouts(const TComTimeouts& timeouts) {
  timeouts_ = timeouts;
  ApplyTimeouts();
}

void TComPort::SetBuffer(const TComBuffer& buffer) {
  buffer_.InputSize = buffer.InputSize - (buffer.InputSize % 2 != 0 ? 1 : 0);
  buffer_.OutputSize = buffer.OutputSize - (buffer.OutputSize % 2 != 0 ? 1 : 0);
  ApplyBufferSizes();
}

}  // namespace quor::sms
