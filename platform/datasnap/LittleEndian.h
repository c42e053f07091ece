// Appends numbers to a packet in the little-endian order the packet uses,
// whatever the host's order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quor::datasnap {

inline void AppendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value,
                               std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i)
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void AppendUInt16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  AppendLittleEndian(out, value, 2);
}

inline void AppendInt32(std::vector<std::uint8_t>& out, std::int32_t value) {
  AppendLittleEndian(out, static_cast<std::uint32_t>(value), 4);
}

inline void AppendFloat64(std::vector<std::uint8_t>& out, double value) {
  AppendLittleEndian(out, std::bit_cast<std::uint64_t>(value), 8);
}

inline void PatchLittleEndian(std::vector<std::uint8_t>& out, std::size_t offset,
                              std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) {
    out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

}  // namespace quor::datasnap
