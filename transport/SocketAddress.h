// TCP sockets as the transport needs them: listening on all local addresses
// (IPv4 and IPv6) or on one address, connecting to a server, and the text
// forms of the two ends of a connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/UniqueFd.h"

namespace quor::transport {

// An empty bindAddress listens on every local address: one dual-stack IPv6
// socket, or an IPv4 socket where the machine has no IPv6. Port 0 takes a free
// port (see LocalPort). Throws std::system_error carrying the system's text.
std::vector<UniqueFd> ListenOn(const std::string& bindAddress, std::uint16_t port, int backlog);

// Connects to host (a name or an address) within the timeout; std::system_error
// with the last attempt's reason otherwise.
UniqueFd ConnectTo(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout);

std::uint16_t LocalPort(int socket);
// "192.0.2.7" (IPv4-mapped IPv6 addresses shown as IPv4), "2001:db8::1"; empty
// when the socket has no peer.
std::string PeerAddress(int socket);

// Accepts one connection from a listening socket; the peer's address in the
// form above goes to peerAddress (taken from accept itself, so a client that
// has already reset still has one). An invalid descriptor with errno set when
// nothing was accepted.
UniqueFd AcceptFrom(int listener, std::string& peerAddress);

}  // namespace quor::transport
