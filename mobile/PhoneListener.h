// The listening socket of the phone back end on every local address: one
// IPv6 socket that takes IPv4 peers as well, or IPv4 alone on a machine
// without IPv6. Accept waits for the next phone until another thread stops it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mobile/ScopedFd.h"

namespace quor::mobile {

struct AcceptedPhone {
  ScopedFd socket;
  std::string clientAddress;  // dotted IPv4 for IPv4 peers
};

class PhoneListener {
 public:
  // Throws std::system_error when the port cannot be opened (in use, no rights).
  explicit PhoneListener(std::uint16_t port);
  PhoneListener(const PhoneListener&) = delete;
  PhoneListener& operator=(const PhoneListener&) = delete;

  // The next connection; nothing once Stop was called.
  std::optional<AcceptedPhone> Accept();
  // Wakes Accept for good; safe from any thread.
  void Stop();

 private:
  ScopedFd listen_;
  ScopedFd wake_;
};

// The text form of a peer address: dotted IPv4 for IPv4 and IPv4-mapped IPv6
// peers, the usual IPv6 text otherwise.
std::string PeerAddressText(const void* address, unsigned length);

}  // namespace quor::mobile
