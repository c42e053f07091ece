// The seams of the socket transport: how a block leaves a connection
// (ISendDataBlock, answered by the connection thread or a client), how frames
// move over a socket (ITransport), and the optional hook that may rewrite
// every block on its way in and out (IDataIntercept, e.g. to compress).
#pragma once

#include <optional>

#include "platform/com/IDispatchObject.h"
#include "transport/DataBlock.h"

namespace quor::transport {

class ISendDataBlock {
 public:
  virtual ~ISendDataBlock() = default;
  // Sends the block; with waitForResult, blocks until the peer's reply and
  // returns it (requests the peer makes meanwhile are executed first), or
  // nothing when the connection ended before a reply came.
  virtual std::optional<TDataBlock> SendBlock(TDataBlock& block, bool waitForResult) = 0;
};

class ITransport {
 public:
  virtual ~ITransport() = default;
  // The descriptor that becomes readable when data arrives or the peer closes.
  virtual int WaitHandle() const = 0;
  virtual bool Connected() const = 0;
  // False disconnects; the peer sees the connection close.
  virtual void SetConnected(bool connected) = 0;
  // One whole frame. Without waitForInput, nothing when no data is waiting.
  virtual std::optional<TDataBlock> Receive(bool waitForInput) = 0;
  virtual void Send(TDataBlock& block) = 0;
};

// Created per transport from its class id through the class registry, so the
// object a creator returns implements IDataIntercept besides IDispatch.
class IDataIntercept {
 public:
  virtual ~IDataIntercept() = default;
  // Every received block, after it is read.
  virtual void DataIn(TDataBlock& block) = 0;
  // Every block before it is written; it may change the payload and its size.
  virtual void DataOut(TDataBlock& block) = 0;
};

}  // namespace quor::transport
