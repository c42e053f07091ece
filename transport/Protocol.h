// The fixed numbers and texts of the data-block protocol that desktop clients
// speak on TCP 211: frame marks, action codes and the error texts peers show.
// Clients compare these values byte for byte, so none of them may change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quor::transport {

// Bits 8..15 of a frame's signature.
inline constexpr std::uint32_t sigCall = 0xDA00;
inline constexpr std::uint32_t sigResult = 0xDB00;
inline constexpr std::uint32_t kMarkMask = 0xFF00;
inline constexpr std::uint32_t kActionMask = 0x00FF;

// Bits 0..7 of a frame's signature.
inline constexpr std::uint8_t actError = 0x01;
inline constexpr std::uint8_t actInvoke = 0x02;
inline constexpr std::uint8_t actGetIds = 0x03;
inline constexpr std::uint8_t actCreateObject = 0x04;
inline constexpr std::uint8_t actFreeObject = 0x05;
inline constexpr std::uint8_t actListServers = 0x10;
inline constexpr std::uint8_t actListAppServers = 0x12;

// Signature word and length word.
inline constexpr std::size_t kHeaderSize = 8;

// Replies are recognised by all bits of sigResult; a call (0xDA00) lacks one.
constexpr bool IsReply(std::uint32_t signature) {
  return (signature & sigResult) == sigResult;
}
// Only bits 8..15 are the mark: peers that leave garbage in the upper half
// of the word are still understood.
constexpr bool HasValidMark(std::uint32_t signature) {
  const std::uint32_t mark = signature & kMarkMask;
  return mark == sigCall || mark == sigResult;
}

// The texts peers receive.
inline constexpr const char* kInvalidDataPacket = "Invalid data packet";
inline constexpr const char* kErrorReadingSocket = "Error reading from socket";
inline constexpr const char* kInvalidAction = "Invalid action received: %d";
inline constexpr const char* kUnsupportedVariantType = "Unsupported variant type: %s";
inline constexpr const char* kObjectNotAvailable = "Object not available: %s";

// One of the texts above with its placeholder (%d or %s) filled in.
std::string FormatProtocolText(const char* pattern, const std::string& value);

// The component category of application servers, listed by actListAppServers.
inline constexpr const char* kAppServerCategory = "{13E85B3C-9508-11D2-AB63-00C04FA35CFA}";

// The registration mark a class needs to be created through a socket while
// only registered objects are allowed.
inline constexpr const char* kSocketsCheckValue = "Sockets";

// Largest frame payload accepted from a peer unless "MaxFrameSize" says
// otherwise: a data packet of a large query fits, a corrupt length does not
// make the server allocate gigabytes.
inline constexpr std::size_t kDefaultMaxFrameSize = 64u * 1024u * 1024u;

}  // namespace quor::transport
