// One phone's TCP connection as the tag protocol carries it: lines read up to
// LF (a CR before it dropped, bounded in length, UTF-8 checked), raw bodies of
// a given length, lines written with CR LF and files sent whole. Every read and
// every write waits at most the configured time, and a phone idle between
// commands at most its own, longer limit, so a silent or stalled phone ends its
// own connection instead of holding a thread for ever.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quor::mobile {

// The connection cannot go on: closed early, timed out, broken, or a line the
// protocol does not allow. It ends that connection only.
class PhoneChannelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PhoneChannel {
 public:
  // Longest line accepted, LF included; names and logins are far shorter.
  static constexpr std::size_t kMaxLineBytes = 8192;

  // Does not own `fd`. `ioTimeout` bounds every read and write inside a
  // command, `idleTimeout` the wait for the first byte of the next command.
  PhoneChannel(int fd, std::chrono::milliseconds ioTimeout, std::chrono::milliseconds idleTimeout);

  // The next command line; nothing when the phone closed the connection
  // between commands. Throws PhoneChannelError otherwise.
  std::optional<std::string> ReadCommand();
  // The next line of a command; the connection ending first is an error.
  std::string ReadLine();

  // Reads exactly `count` body bytes and writes them to `fd` (nothing is kept
  // when `fd` is negative). A failing write does not stop the reading, so the
  // connection stays in step; the result tells whether every byte was stored.
  // The connection ending or stalling first throws PhoneChannelError.
  bool ReceiveBody(std::uint64_t count, int fd);

  void WriteLine(std::string_view line);
  // The file's bytes from its current position to its end.
  void SendFile(int fd);
  // Ends the connection after a file: the phone reads the end of the file as
  // the end of the connection. Whatever the phone still sends is read and
  // dropped for a moment first, since closing with unread bytes would reset
  // the connection and could cost the phone the file's last bytes.
  void FinishSending();

 private:
  // Appends what arrives next; false when the phone closed the connection.
  bool Fill();
  void WriteAll(std::string_view bytes);

  int fd_;
  std::chrono::milliseconds ioTimeout_;
  std::chrono::milliseconds idleTimeout_;
  std::string buffer_;  // received and not yet consumed from offset_ on
  std::size_t offset_ = 0;
};

}  // namespace quor::mobile
