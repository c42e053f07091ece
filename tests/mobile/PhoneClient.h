// A scripted phone for the tests: a real TCP connection to the phone back end,
// from a chosen loopback address (all of 127.0.0.0/8 reaches this machine, so
// a test can stand for phones at different addresses), writing tag lines and
// raw bytes and reading what the server answers. Every wait is bounded.
#pragma once

#include "tests/support/net/LoopbackPort.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quor::mobile::testing {

inline constexpr std::chrono::seconds kPhoneWait{20};

class PhoneClient {
 public:
  PhoneClient(std::uint16_t port, const std::string& localAddress = "127.0.0.1");
  ~PhoneClient();
  PhoneClient(const PhoneClient&) = delete;
  PhoneClient& operator=(const PhoneClient&) = delete;

  void Send(std::string_view bytes);
  void SendLine(std::string_view line);  // the line and CR LF
  // An upload body: the count line and the bytes.
  void SendBody(std::string_view bytes);
  // Ends the phone's side of the connection; the server still may answer.
  void CloseWrite();

  // The next line without its CR LF; nothing when the server closed the
  // connection first. A line not complete at the deadline fails the test.
  std::optional<std::string> ReadLine();
  // Everything until the server closes the connection.
  std::string ReadToEnd();
  // True when the server closed the connection with nothing more sent.
  bool ClosedByServer();

  // "<ConnectOK>" with a login id and user name; the server's answer line.
  std::string Login(const std::string& loginId, const std::string& userName);

 private:
  // Reads more into pending_; false when the server closed the connection.
  bool Receive();

  int fd_ = -1;
  std::string pending_;
};

using ::quor::testing::FreeLoopbackPort;

}  // namespace quor::mobile::testing
