#include "mobile/PhoneChannel.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/text/Utf8.h"

namespace quor::mobile {
namespace {

constexpr std::size_t kReceiveChunk = 64 * 1024;
constexpr std::chrono::milliseconds kDrainTimeout{5000};

void SetSocketTimeout(int fd, int option, std::chrono::milliseconds timeout) {
  const auto milliseconds = std::max<long long>(timeout.count(), 1);
  timeval value{};
  value.tv_sec = static_cast<time_t>(milliseconds / 1000);
  value.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
  ::setsockopt(fd, SOL_SOCKET, option, &value, sizeof value);
}

[[noreturn]] void ThrowIoError(const char* what, int error) {
  if (error == EAGAIN || error == EWOULDBLOCK) {
    throw PhoneChannelError(std::string(what) + ": the phone stayed silent too long");
  }
  throw PhoneChannelError(std::string(what) + ": " + std::strerror(error));
}

bool IsWellFormedUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = text::Utf8SequenceLength(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

}  // namespace

PhoneChannel::PhoneChannel(int fd, std::chrono::milliseconds ioTimeout,
                           std::chrono::milliseconds idleTimeout)
    : fd_(fd), ioTimeout_(ioTimeout), idleTimeout_(idleTimeout) {
  SetSocketTimeout(fd_, SO_RCVTIMEO, ioTimeout_);
  SetSocketTimeout(fd_, SO_SNDTIMEO, ioTimeout_);
  // Every write is a whole line or a whole chunk of a file, and the phone
  // waits for each answer: holding back the last small segment would only
  // delay it.
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool PhoneChannel::Fill() {
  if (offset_ > 0 && offset_ >= buffer_.size() / 2) {
    buffer_.erase(0, offset_);
    offset_ = 0;
  }
  const std::size_t old = buffer_.size();
  buffer_.resize(old + kReceiveChunk);
  ssize_t received;
  do {
    received = ::recv(fd_, buffer_.data() + old, kReceiveChunk, 0);
  } while (received < 0 && errno == EINTR);
  const int error = errno;
  buffer_.resize(old + static_cast<std::size_t>(std::max<ssize_t>(received, 0)));
  if (received < 0) ThrowIoError("reading from the phone", error);
  return received > 0;
}

std::optional<std::string> PhoneChannel::ReadCommand() {
  if (offset_ == buffer_.size()) {
    // A phone may stay connected for a while between commands (its user is
    // choosing what to do next); once it has begun one, it must keep going.
    SetSocketTimeout(fd_, SO_RCVTIMEO, idleTimeout_);
    const bool more = Fill();
    SetSocketTimeout(fd_, SO_RCVTIMEO, ioTimeout_);
    if (!more) return std::nullopt;
  }
  return ReadLine();
}

std::string PhoneChannel::ReadLine() {
  std::size_t scanned = offset_;
  for (;;) {
    const std::size_t lf = buffer_.find('\n', scanned);
    if (lf != std::string::npos) {
      if (lf - offset_ + 1 > kMaxLineBytes) throw PhoneChannelError("line too long");
      std::string line = buffer_.substr(offset_, lf - offset_);
      offset_ = lf + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!IsWellFormedUtf8(line)) throw PhoneChannelError("line is not UTF-8 text");
      return line;
    }
    if (buffer_.size() - offset_ >= kMaxLineBytes) throw PhoneChannelError("line too long");
    scanned = buffer_.size();
    const std::size_t before = offset_;
    if (!Fill()) throw PhoneChannelError("connection closed inside a line");
    scanned -= before - offset_;  // Fill may have moved the unread bytes to the front
  }
}

bool PhoneChannel::ReceiveBody(std::uint64_t count, int fd) {
  bool stored = true;
  const auto store = [&](const char* bytes, std::size_t length) {
    while (stored && length > 0) {
      const ssize_t written = ::write(fd, bytes, length);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        stored = false;
        break;
      }
      bytes += written;
      length -= static_cast<std::size_t>(written);
    }
  };
  if (fd < 0) stored = false;
  // First what already arrived with the count line, then straight from the socket.
  const std::size_t buffered =
      static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer_.size() - offset_));
  store(buffer_.data() + offset_, buffered);
  offset_ += buffered;
  count -= buffered;
  std::vector<char> chunk(kReceiveChunk);
  while (count > 0) {
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, chunk.size()));
    const ssize_t received = ::recv(fd_, chunk.data(), wanted, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received < 0) ThrowIoError("reading a file body", errno);
    if (received == 0) throw PhoneChannelError("connection closed inside a file body");
    store(chunk.data(), static_cast<std::size_t>(received));
    count -= static_cast<std::uint64_t>(received);
  }
  return stored && fd >= 0;
}

void PhoneChannel::WriteAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) ThrowIoError("writing to the phone", errno);
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

void PhoneChannel::WriteLine(std::string_view line) {
  std::string text(line);
  text += "\r\n";
  WriteAll(text);
}

void PhoneChannel::FinishSending() {
  ::shutdown(fd_, SHUT_WR);
  SetSocketTimeout(fd_, SO_RCVTIMEO, std::min(ioTimeout_, kDrainTimeout));
  char chunk[4096];
  for (ssize_t got; (got = ::recv(fd_, chunk, sizeof chunk, 0)) != 0;) {
    if (got < 0 && errno != EINTR) break;
  }
}

// Read and send rather than sendfile(2): a phone gone meanwhile must end in an
// error here (MSG_NOSIGNAL), never in SIGPIPE for the whole server.
void PhoneChannel::SendFile(int fd) {
  std::vector<char> chunk(kReceiveChunk);
  for (;;) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ThrowIoError("reading the file to send", errno);
    if (got == 0) return;
    WriteAll(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
  }
}

}  // namespace quor::mobile
