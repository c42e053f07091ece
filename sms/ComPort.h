// TComPort: the modem's serial port, opened exclusively in raw mode and used
// synchronously by one thread at a time. Reads and writes end at deadlines
// taken from the five time-out values, so a silent or vanished device never
// blocks the caller for longer than its time-out.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quor::sms {

enum class TBaudRate {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000,
};
enum class TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum class TParityBits { prNone, prOdd, prEven, prMark, prSpace };

struct TComParity {
  TParityBits Bits = TParityBits::prNone;
  bool Check = false;
  bool Replace = false;
  char ReplaceChar = '\0';
};

// Milliseconds. A read of n bytes may take ReadTotalMultiplier * n +
// ReadTotalConstant in all, and ReadInterval (when not 0) between two bytes;
// a total of 0 means no limit. Writes likewise with the write pair.
struct TComTimeouts {
  int ReadInterval = 0;
  int ReadTotalMultiplier = 2;
  int ReadTotalConstant = 20;
  int WriteTotalMultiplier = 0;
  int WriteTotalConstant = 0;
};

struct TComBuffer {
  int InputSize = 1024;
  int OutputSize = 1024;
};

// The bits-per-second figure of a rate; brCustom gives 0.
int BaudRateValue(TBaudRate rate);

inline constexpr int kComOpenFailed = 1;
inline constexpr int kComLineSettingsFailed = 7;
inline constexpr int kComTimeoutsFailed = 8;
inline constexpr int kComBufferFailed = 9;
// Raised when a read or write finds the device gone (errno EIO, ENXIO,
// ENODEV or a hang-up), as when a USB modem is unplugged.
inline constexpr int kComDeviceLost = 10;

// The code's text followed by " (win error code: N)" with the system's error
// number (errno), the form operators know from the console.
class EComPort : public std::runtime_error {
 public:
  EComPort(int code, int systemError);
  int Code() const { return code_; }
  int SystemError() const { return systemError_; }

 private:
  int code_;
  int systemError_;
};

const char* ComErrorText(int code);

class TComPort {
 public:
  TComPort();
  ~TComPort();
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  bool Connected() const { return fd_ >= 0; }
  void SetConnected(bool connected);

  // Opens the device named by Port() (see ResolveSerialDevice) for reading
  // and writing, exclusively, then applies buffer sizes, line settings and
  // time-outs in this order; a failure closes it again and is raised.
  void OpenPort();
  void ClosePort();
  // Waits until the bytes written have left, then discards unread input.
  // Output is never thrown away: the command just written must reach the
  // modem even when the purge follows it at once.
  void PurgePort();
  // True only when every byte was written before the write deadline; false for
  // an empty text. A lost device raises EComPort kComDeviceLost.
  bool WritePort(std::string_view text);
  // True only when exactly `count` bytes arrived before the read deadlines; on
  // false `text` is empty. A lost device raises EComPort kComDeviceLost.
  bool ReadPort(std::size_t count, std::string& text);

  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate rate);
  int CustomBaudRate() const { return customBaudRate_; }
  void SetCustomBaudRate(int rate);
  const std::string& Port() const { return port_; }
  // While connected the port is closed and the new one opened.
  void SetPort(std::string port);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits bits);
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits bits);
  const TComParity& Parity() const { return parity_; }
  void SetParity(const TComParity& parity);
  const TComTimeouts& Timeouts() const { return timeouts_; }
  void SetTimeouts(const TComTimeouts& timeouts);
  const TComBuffer& Buffer() const { return buffer_; }
  // An odd size is lowered by one.
  void SetBuffer(const TComBuffer& buffer);

  // The device path the port was opened on; empty when closed.
  const std::string& DevicePath() const { return devicePath_; }

 private:
  void ApplyBufferSizes();
  void ApplyLineSettings();
  void ApplyTimeouts();
  [[noreturn]] void RaiseLost(int systemError);

  int fd_ = -1;
  std::string devicePath_;
  TBaudRate baudRate_ = TBaudRate::br9600;
  int customBaudRate_ = 9600;
  std::string port_ = "COM1";
  TStopBits stopBits_ = TStopBits::sbOneStopBit;
  TDataBits dataBits_ = TDataBits::dbEight;
  TComParity parity_;
  TComTimeouts timeouts_;
  TComBuffer buffer_;
};

}  // namespace quor::sms
