#include "transport/SocketTransport.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "transport/TransportError.h"

namespace quor::transport {
namespace {

using Clock = std::chrono::steady_clock;

std::string SystemText(int error) {
  return std::generic_category().message(error);
}

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// The first allocation for a payload, and the least it grows by.
constexpr std::size_t kReceiveStep = 64 * 1024;

}  // namespace

int PollMilliseconds(Deadline deadline) {
  if (deadline == kNoDeadline) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
}

std::string DeadlineText(short events, std::chrono::milliseconds frameTimeout,
                         std::chrono::milliseconds writeTimeout) {
  const auto seconds = [](std::chrono::milliseconds limit) {
    const std::chrono::duration<double> asSeconds = limit;
    char text[32];
    std::snprintf(text, sizeof text, "%g s", asSeconds.count());
    return std::string(text);
  };
  if (events & POLLOUT) {
    return "the peer read nothing for WriteTimeout (" + seconds(writeTimeout) + ")";
  }
  return "a frame did not arrive whole within FrameTimeout (" + seconds(frameTimeout) + ")";
}

TSocketTransport::TSocketTransport(int socket, TransportOptions options, SocketWaiter* waiter)
    : socket_(socket), options_(std::move(options)), waiter_(waiter) {}

void TSocketTransport::SetConnected(bool connected) {
  if (!connected && connected_.exchange(false)) ::shutdown(socket_, SHUT_RDWR);
}

std::optional<TDataBlock> TSocketTransport::Receive(bool waitForInput) {
  if (!connected_) throw ConnectionClosed(kErrorReadingSocket);
  if (waitForInput) {
    Wait(POLLIN, kNoDeadline);
  } else {
    pollfd ready{socket_, POLLIN, 0};
    int polled;
    do {
      polled = ::poll(&ready, 1, 0);
    } while (polled < 0 && errno == EINTR);
    if (polled < 0) {
      const int error = errno;
      SetConnected(false);
      throw TransportError(SystemText(error));
    }
    if (polled == 0) return std::nullopt;
  }
  try {
    return ReceiveFrame();
  } catch (const FrameTooLarge&) {
    throw;
  } catch (...) {
    SetConnected(false);
    throw;
  }
}

std::optional<TDataBlock> TSocketTransport::ReceiveFrame() {
  // The frame begins with its first byte, so a trickled header counts too.
  const Deadline deadline = Clock::now() + options_.frameTimeout;
  std::uint8_t header[TDataBlock::ReservedBytes()];
  ReadExact(header, 4, true, deadline);
  const std::uint32_t signature = LittleEndian32(header);
  if (!HasValidMark(signature)) throw TransportError(kInvalidDataPacket);
  ReadExact(header + 4, 4, false, deadline);
  const auto length = static_cast<std::int32_t>(LittleEndian32(header + 4));
  if (length < 0) throw TransportError(kInvalidDataPacket);
  const auto announced = static_cast<std::size_t>(length);
  if (announced > options_.maxFrameSize) {
    throw FrameTooLarge("Data block of " + std::to_string(length) + " bytes exceeds the limit of " +
                        std::to_string(options_.maxFrameSize) + " bytes");
  }
  TDataBlock block;
  block.SetSignature(signature);
  // The buffer doubles at most as the bytes come, so a header announcing the
  // maximum costs what was sent, not what was promised: capacity stays below
  // twice the bytes received plus one step.
  std::size_t received = 0;
  try {
    while (received < announced) {
      const std::size_t step = std::min(announced - received, std::max(kReceiveStep, received));
      block.SetPayloadSize(received + step);
      receiving_ = block.Capacity();
      ReadExact(block.PayloadData() + received, step, false, deadline);
      received += step;
    }
  } catch (...) {
    receiving_ = 0;
    throw;
  }
  receiving_ = 0;
  if (IDataIntercept* interceptor = Interceptor()) interceptor->DataIn(block);
  return block;
}

void TSocketTransport::ReadExact(std::uint8_t* into, std::size_t count, bool atFrameStart,
                                 Deadline deadline) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::recv(socket_, into + done, count - done, MSG_DONTWAIT);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
      atFrameStart = false;
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      Wait(POLLIN, deadline);
      continue;
    }
    // End of stream or a reset: between frames that is how connections end.
    const bool closed = got == 0 || errno == ECONNRESET;
    if (closed && atFrameStart) throw ConnectionClosed(kErrorReadingSocket);
    if (closed) throw TransportError(kErrorReadingSocket);
    throw TransportError(SystemText(errno));
  }
}

void TSocketTransport::Send(TDataBlock& block) {
  if (!connected_) throw TransportError(kErrorReadingSocket);
  if (IDataIntercept* interceptor = Interceptor()) interceptor->DataOut(block);
  if (block.PayloadSize() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw TransportError("data block too large to send");
  }
  const std::span<const std::uint8_t> frame = block.RawMemory();
  std::size_t sent = 0;
  try {
    while (sent < frame.size()) {
      const ssize_t put =
          ::send(socket_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (put >= 0) {
        sent += static_cast<std::size_t>(put);
      } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        // The deadline starts afresh with every bit of progress: a slow
        // link may take long for a large packet, a peer that reads nothing
        // may not.
        Wait(POLLOUT, Clock::now() + options_.writeTimeout);
      } else if (errno != EINTR) {
        throw TransportError(SystemText(errno));
      }
    }
  } catch (...) {
    SetConnected(false);
    throw;
  }
}

void TSocketTransport::Wait(short events, Deadline deadline) {
  if (waiter_) {
    waiter_->WaitReady(socket_, events, deadline);
    return;
  }
  pollfd ready{socket_, events, 0};
  for (;;) {
    const int timeoutMs = PollMilliseconds(deadline);
    const int polled = ::poll(&ready, 1, timeoutMs);
    if (polled > 0) return;
    if (polled < 0 && errno != EINTR) throw TransportError(SystemText(errno));
    if (Clock::now() >= deadline)
      throw DeadlineExceeded(DeadlineText(events, options_.frameTimeout, options_.writeTimeout));
  }
}

IDataIntercept* TSocketTransport::Interceptor() {
  if (interceptorTried_) return interceptor_;
  interceptorTried_ = true;
  if (options_.interceptGuid.empty()) return nullptr;
  try {
    if (!options_.classes) throw std::runtime_error("no class registry");
    interceptorObject_ = options_.classes->Create(options_.interceptGuid);
    interceptor_ = dynamic_cast<IDataIntercept*>(interceptorObject_.get());
    if (!interceptor_) throw std::runtime_error("the class is no data interceptor");
  } catch (const std::exception& error) {
    // The connection runs without one, as clients configured for it expect.
    std::fprintf(stderr, "socket transport: interceptor %s not used: %s\n",
                 options_.interceptGuid.c_str(), error.what());
    interceptorObject_.reset();
    interceptor_ = nullptr;
  }
  return interceptor_;
}

}  // namespace quor::transport
