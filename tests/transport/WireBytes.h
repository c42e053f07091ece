// Byte vectors for frames and values written the way the wire is described:
// little-endian words, UTF-16LE text, and a hex form for failure messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "transport/DataBlock.h"

namespace quor::transport::testing {

using Bytes = std::vector<std::uint8_t>;

class Wire {
 public:
  Wire& U8(std::uint8_t value) {
    bytes_.push_back(value);
    return *this;
  }
  Wire& U16(std::uint16_t value) {
    return U8(static_cast<std::uint8_t>(value)).U8(static_cast<std::uint8_t>(value >> 8));
  }
  Wire& U32(std::uint32_t value) {
    return U16(static_cast<std::uint16_t>(value)).U16(static_cast<std::uint16_t>(value >> 16));
  }
  Wire& U64(std::uint64_t value) {
    return U32(static_cast<std::uint32_t>(value)).U32(static_cast<std::uint32_t>(value >> 32));
  }
  Wire& Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // A tagged 32-bit integer (type word 3).
  Wire& Int(std::int32_t value) { return U32(3).U32(static_cast<std::uint32_t>(value)); }
  Wire& Bool(bool value) { return U32(11).U16(value ? 0xFFFF : 0); }
  // A tagged string (type word 8) from UTF-16 code units.
  Wire& Str(const std::u16string& text, std::uint32_t typeWord = 8) {
    U32(typeWord).U32(static_cast<std::uint32_t>(text.size()));
    for (const char16_t unit : text) U16(static_cast<std::uint16_t>(unit));
    return *this;
  }
  const Bytes& Get() const { return bytes_; }
  operator Bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A whole frame: signature, payload length, payload.
inline Bytes Frame(std::uint32_t signature, const Bytes& payload) {
  Wire wire;
  wire.U32(signature).U32(static_cast<std::uint32_t>(payload.size())).Raw(payload);
  return wire;
}

inline TDataBlock BlockOf(std::uint32_t signature, const Bytes& payload) {
  TDataBlock block;
  block.LoadFrame(Frame(signature, payload), true);
  return block;
}

inline Bytes BytesOf(const TDataBlock& block) {
  return Bytes(block.RawMemory().begin(), block.RawMemory().end());
}

inline Bytes PayloadOf(const TDataBlock& block) {
  return Bytes(block.Payload().begin(), block.Payload().end());
}

inline std::string Hex(const Bytes& bytes) {
  std::string text;
  char digits[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    if (i > 0) text += (i % 4 == 0) ? " | " : " ";
    text += digits;
  }
  return text;
}

}  // namespace quor::transport::testing
