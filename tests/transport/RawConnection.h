// A client socket that sends whatever bytes a test gives it, reads whole
// frames back, and can vanish abruptly: the stand-in for broken or hostile
// clients.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "tests/transport/WireBytes.h"
#include "transport/UniqueFd.h"

namespace quor::transport::testing {

class RawConnection {
 public:
  explicit RawConnection(std::uint16_t port);

  void Send(const Bytes& bytes);
  // One whole frame, or nothing when the connection ended or the time ran out.
  std::optional<Bytes> ReadFrame(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // True when the server closed the connection within the time; bytes that
  // arrived first are returned through received.
  bool WaitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(10),
                  Bytes* received = nullptr);
  // Still open: nothing to read and no end of stream right now.
  bool StillOpen();
  // Ends with a reset instead of an orderly close.
  void Abort();
  void Close() { fd_.Reset(); }

 private:
  // Bytes read before the deadline; false at the end of stream.
  bool ReadSome(Bytes& into, std::chrono::steady_clock::time_point deadline);

  UniqueFd fd_;
  Bytes pending_;
};

}  // namespace quor::transport::testing
