// Frames over a connected TCP socket: reads one whole data block (header, then
// exactly the payload the header announces, up to a configured maximum and
// within a deadline) and writes each block with one send. An optional interceptor, created from its
// class id on first use, sees every block on its way in and out.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/com/ClassRegistry.h"
#include "transport/Protocol.h"
#include "transport/TransportInterfaces.h"

namespace quor::transport {

using Deadline = std::chrono::steady_clock::time_point;
inline constexpr Deadline kNoDeadline = Deadline::max();

// How a transport waits for its socket. The connection thread's waiter also
// notices that the thread is told to end; that ends the wait with a
// TransportError.
class SocketWaiter {
 public:
  virtual ~SocketWaiter() = default;
  // Returns once the socket is ready for events (POLLIN or POLLOUT);
  // DeadlineExceeded once the deadline has passed without that.
  virtual void WaitReady(int socket, short events, Deadline deadline) = 0;
};

struct TransportOptions {
  std::size_t maxFrameSize = kDefaultMaxFrameSize;
  // Class id of the interceptor; empty for none.
  std::string interceptGuid;
  // Where the interceptor class is found.
  std::shared_ptr<const com::ClassRegistry> classes;
  // Once a frame has begun, all of it must arrive within this time; a peer
  // that trickles bytes cannot hold the connection's thread forever.
  std::chrono::milliseconds frameTimeout{std::chrono::seconds(60)};
  // How long a send may make no progress because the peer reads nothing.
  std::chrono::milliseconds writeTimeout{std::chrono::seconds(60)};
};

// Milliseconds for poll until the deadline (-1 without one, 0 once passed).
int PollMilliseconds(Deadline deadline);
// Which limit a passed deadline is: WriteTimeout for sends, FrameTimeout for
// frames being received.
std::string DeadlineText(short events, std::chrono::milliseconds frameTimeout,
                         std::chrono::milliseconds writeTimeout);

class TSocketTransport : public ITransport {
 public:
  // The socket is borrowed: its owner closes it once the transport is gone.
  // Without a waiter, waits block until the socket is ready.
  TSocketTransport(int socket, TransportOptions options, SocketWaiter* waiter = nullptr);

  int WaitHandle() const override { return socket_; }
  bool Connected() const override { return connected_; }
  void SetConnected(bool connected) override;
  // TransportError "Invalid data packet" for a bad mark or a negative length,
  // FrameTooLarge above the maximum, ConnectionClosed when the peer closed
  // between frames, TransportError "Error reading from socket" when it closed
  // inside one. Every failure but FrameTooLarge leaves the transport
  // disconnected; after that one the caller may still answer before it
  // disconnects.
  // A frame that does not arrive whole within the frame timeout raises
  // DeadlineExceeded; so does a send that the peer does not read for the
  // write timeout. The payload's buffer grows as its bytes arrive, never to
  // the announced length up front.
  std::optional<TDataBlock> Receive(bool waitForInput) override;
  void Send(TDataBlock& block) override;

  // Bytes held for the frame being received (0 between frames), for the
  // operator and for tests: it follows what arrived, not what was announced.
  std::size_t ReceiveBufferCapacity() const { return receiving_; }

 private:
  std::optional<TDataBlock> ReceiveFrame();
  // ConnectionClosed for an end of stream before the first byte of a frame.
  void ReadExact(std::uint8_t* into, std::size_t count, bool atFrameStart, Deadline deadline);
  void Wait(short events, Deadline deadline);
  IDataIntercept* Interceptor();

  int socket_;
  TransportOptions options_;
  SocketWaiter* waiter_;
  std::atomic<bool> connected_{true};
  std::atomic<std::size_t> receiving_{0};
  bool interceptorTried_ = false;
  std::shared_ptr<com::IDispatchObject> interceptorObject_;
  IDataIntercept* interceptor_ = nullptr;
};

}  // namespace quor::transport
