#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include "sms/ComPort.h"
#include "sms/SerialDevices.h"
#include "tests/sms/PtySpeed.h"
#include "tests/support/modem/PseudoTerminal.h"

namespace quor::sms {
namespace {

TEST(ComPort, OpeningAMissingDeviceReportsTheSystemErrorNumber) {
  TComPort port;
  port.SetPort("/dev/quor-no-such-modem");
  try {
    port.OpenPort();
    FAIL() << "opened";
  } catch (const EComPort& error) {
    EXPECT_EQ(error.Code(), kComOpenFailed);
    EXPECT_STREQ(error.what(), "打开串行口失败. (win error code: 2)");
  }
  EXPECT_FALSE(port.Connected());
}

TEST(ComPort, ADeviceThatIsNoTerminalFailsTheLineSettingsAndStaysClosed) {
  TComPort port;
  port.SetPort("/dev/null");
  try {
    port.OpenPort();
    FAIL() << "opened";
  } catch (const EComPort& error) {
    EXPECT_EQ(error.Code(), kComLineSettingsFailed);
    EXPECT_EQ(std::string(error.what()).rfind("设置串行口参数失败. (win error code: ", 0), 0u);
  }
  EXPECT_FALSE(port.Connected());
}

TEST(ComPort, OddBufferSizesAreLoweredByOne) {
  TComPort port;
  port.SetBuffer({1025, 2047});
  EXPECT_EQ(port.Buffer().InputSize, 1024);
  EXPECT_EQ(port.Buffer().OutputSize, 2046);
}

TEST(ComPort, BufferAndTimeoutValuesTheDeviceCannotTakeAreRefusedWhileOpen) {
  quor::test::PseudoTerminal pty;
  TComPort port;
  port.SetPort(pty.DevicePath());
  port.OpenPort();
  try {
    port.SetBuffer({0, 1024});
    FAIL() << "accepted";
  } catch (const EComPort& error) {
    EXPECT_EQ(error.Code(), kComBufferFailed);
    EXPECT_STREQ(error.what(), "设置串行口缓冲区大小失败. (win error code: 22)");
  }
  try {
    port.SetTimeouts({-1, 2, 20, 0, 0});
    FAIL() << "accepted";
  } catch (const EComPort& error) {
    EXPECT_EQ(error.Code(), kComTimeoutsFailed);
  }
}

TEST(ComPort, ThePortListOffersComNamesAndDevicePaths) {
  for (const std::string& name : ListSerialPorts()) {
    const bool comName =
        name.rfind("COM", 0) == 0 && ResolveSerialDevice(name).rfind("/dev/ttyS", 0) == 0;
    EXPECT_TRUE(comName || name.rfind("/dev/", 0) == 0) << name;
  }
}

TEST(ComPort, ComNamesMapToTtySDevicesAndPathsStayAsWritten) {
  EXPECT_EQ(ResolveSerialDevice("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ResolveSerialDevice("com12"), "/dev/ttyS11");
  EXPECT_EQ(ResolveSerialDevice("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(ResolveSerialDevice("COM0"), "COM0");
}

TEST(ComPort, EveryRateIsAppliedIncludingThoseWithoutATermiosConstant) {
  quor::test::PseudoTerminal pty;
  TComPort port;
  port.SetPort(pty.DevicePath());
  port.OpenPort();
  for (int i = static_cast<int>(TBaudRate::br110); i <= static_cast<int>(TBaudRate::br256000);
       ++i) {
    const TBaudRate rate = static_cast<TBaudRate>(i);
    port.SetBaudRate(rate);
    EXPECT_EQ(quor::test::ReportedSpeed(pty.KeeperFd()), BaudRateValue(rate))
        << BaudRateValue(rate);
  }
  port.SetBaudRate(TBaudRate::brCustom);
  port.SetCustomBaudRate(250000);
  EXPECT_EQ(quor::test::ReportedSpeed(pty.KeeperFd()), 250000);
}

TEST(ComPort, LineSettingsReachTheDevice) {
  quor::test::PseudoTerminal pty;
  TComPort port;
  port.SetPort(pty.DevicePath());
  port.OpenPort();
  // A pseudo-terminal keeps eight data bits without parity whatever it is
  // told (those need a UART); the input flags and raw mode do reach it.
  port.SetParity({TParityBits::prEven, true, false, '\0'});
  port.SetStopBits(TStopBits::sbTwoStopBits);
  termios settings{};
  ASSERT_EQ(tcgetattr(pty.KeeperFd(), &settings), 0);
  EXPECT_TRUE(settings.c_iflag & INPCK);
  EXPECT_FALSE(settings.c_lflag & ECHO);
}

TEST(ComPort, ASecondOpenerOfTheSameDeviceIsRefused) {
  quor::test::PseudoTerminal pty;
  TComPort first;
  first.SetPort(pty.DevicePath());
  first.OpenPort();
  TComPort second;
  second.SetPort(pty.DevicePath());
  try {
    second.OpenPort();
    FAIL() << "opened twice";
  } catch (const EComPort& error) {
    EXPECT_EQ(error.Code(), kComOpenFailed);
  }
}

TEST(ComPort, ReadsEndAtTheirDeadlineAndWritesArriveWhole) {
  quor::test::PseudoTerminal pty;
  TComPort port;
  port.SetPort(pty.DevicePath());
  port.OpenPort();
  std::string text;
  EXPECT_FALSE(port.ReadPort(1, text));  // nothing there: back within the time-out
  EXPECT_TRUE(text.empty());
  ASSERT_EQ(write(pty.MasterFd(), "OK\r\n", 4), 4);
  EXPECT_TRUE(port.ReadPort(4, text));
  EXPECT_EQ(text, "OK\r\n");
  EXPECT_FALSE(port.WritePort(""));
  EXPECT_TRUE(port.WritePort("AT\r"));
  char buffer[8] = {};
  ASSERT_EQ(read(pty.MasterFd(), buffer, sizeof buffer), 3);
  EXPECT_EQ(std::string(buffer, 3), "AT\r");
}

TEST(ComPort, PurgeDiscardsInputButDeliversWhatWasWritten) {
  quor::test::PseudoTerminal pty;
  TComPort port;
  port.SetPort(pty.DevicePath());
  port.OpenPort();
  ASSERT_EQ(write(pty.MasterFd(), "stale", 5), 5);
  std::string probe;
  ASSERT_TRUE(port.WritePort("AT+CMGD=1\r"));
  port.PurgePort();
  EXPECT_FALSE(port.ReadPort(1, probe));
  char buffer[16] = {};
  ASSERT_EQ(read(pty.MasterFd(), buffer, sizeof buffer), 10);
  EXPECT_EQ(std::string(buffer, 10), "AT+CMGD=1\r");
}

TEST(ComPort, AnUnpluggedDeviceIsReportedAndClosesThePort) {
  quor::test::PseudoTerminal pty;
  TComPort port;
  port.SetPort(pty.DevicePath());
  port.OpenPort();
  pty.CloseMaster();
  std::string text;
  try {
    port.ReadPort(1, text);
    FAIL() << "no error";
  } catch (const EComPort& error) {
    EXPECT_EQ(error.Code(), kComDeviceLost);
  }
  EXPECT_FALSE(port.Connected());
}

}  // namespace
}  // namespace quor::sms
