// Frames over a connected TCP socket: reads one whole data block (header, then
// exactly the payload the header announces, up to a configured maximum) and
// writes each block with one send. An optional interceptor, created from its
// class id on first use, sees every block on its way in and out.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/com/ClassRegistry.h"
#include "transport/Protocol.h"
#include "transport/TransportInterfaces.h"

namespace quor::transport {

// How a transport waits for its socket. The connection thread's waiter also
// notices that the thread is told to end and that the peer has been idle too
// long; both end the wait with a TransportError.
class SocketWaiter {
 public:
  virtual ~SocketWaiter() = default;
  // Returns once the socket is ready for events (POLLIN or POLLOUT).
  virtual void WaitReady(int socket, short events) = 0;
};

struct TransportOptions {
  std::size_t maxFrameSize = kDefaultMaxFrameSize;
  // Class id of the interceptor; empty for none.
  std::string interceptGuid;
  // Where the interceptor class is found.
  std::shared_ptr<const com::ClassRegistry> classes;
};

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
  std::optional<TDataBlock> Receive(bool waitForInput) override;
  void Send(TDataBlock& block) override;

 private:
  std::optional<TDataBlock> ReceiveFrame();
  // ConnectionClosed for an end of stream before the first byte of a frame.
  void ReadExact(std::uint8_t* into, std::size_t count, bool atFrameStart);
  void Wait(short events);
  IDataIntercept* Interceptor();

  int socket_;
  TransportOptions options_;
  SocketWaiter* waiter_;
  std::atomic<bool> connected_{true};
  bool interceptorTried_ = false;
  std::shared_ptr<com::IDispatchObject> interceptorObject_;
  IDataIntercept* interceptor_ = nullptr;
};

}  // namespace quor::transport
