// The errors of the socket transport. A TransportError ends the connection it
// happened on; a RemoteError carries the text of an error reply from the peer.
#pragma once

#include <stdexcept>
#include <string>

namespace quor::transport {

// A frame or socket failure: the connection cannot go on.
class TransportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The peer closed the connection between two frames: the normal end of a
// connection, not worth a log line.
class ConnectionClosed : public TransportError {
 public:
  using TransportError::TransportError;
};

// A frame longer than the configured maximum; the connection is dropped
// without reading the payload.
class FrameTooLarge : public TransportError {
 public:
  using TransportError::TransportError;
};

// A frame that did not arrive in time, or a peer that read nothing for too
// long: the connection is dropped and the message names the limit.
class DeadlineExceeded : public TransportError {
 public:
  using TransportError::TransportError;
};

// An error reply (action 0x01) received from the peer, or an error block the
// peer sent as a request; the message is the peer's text.
class RemoteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Malformed or unsupported content inside a well-formed frame; answered to the
// peer as an error reply, the connection stays.
class InterpreterError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A peer asked for more than one of its limits allows (objects, references):
// answered like any InterpreterError, and logged so the operator sees which
// limit was hit.
class LimitExceeded : public InterpreterError {
 public:
  using InterpreterError::InterpreterError;
};

}  // namespace quor::transport
