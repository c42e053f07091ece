#include "platform/com/Guid.h"

#include <cstdio>

#include "platform/com/HResult.h"

namespace quor::com {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[position], advancing position.
std::optional<std::uint32_t> ReadHex(std::string_view text, std::size_t& position, int digits) {
  std::uint32_t value = 0;
  for (int i = 0; i < digits; ++i, ++position) {
    const int digit = HexDigit(text[position]);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return value;
}

}  // namespace

std::optional<Guid> Guid::TryParse(std::string_view text) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return std::nullopt;
  Guid guid;
  std::size_t position = 1;
  const auto data1 = ReadHex(text, position, 8);
  ++position;
  const auto data2 = ReadHex(text, position, 4);
  ++position;
  const auto data3 = ReadHex(text, position, 4);
  ++position;
  if (!data1 || !data2 || !data3) return std::nullopt;
  guid.data1 = *data1;
  guid.data2 = static_cast<std::uint16_t>(*data2);
  guid.data3 = static_cast<std::uint16_t>(*data3);
  for (std::size_t i = 0; i < guid.data4.size(); ++i) {
    if (i == 2) ++position;  // the dash between the clock sequence and the node
    const auto byte = ReadHex(text, position, 2);
    if (!byte) return std::nullopt;
    guid.data4[i] = static_cast<std::uint8_t>(*byte);
  }
  return guid;
}

Guid Guid::Parse(std::string_view text) {
  if (auto guid = TryParse(text)) return *guid;
  throw HResultError(E_INVALIDARG, "malformed GUID \"" + std::string(text) + "\"");
}

Guid Guid::FromBytes(std::span<const std::uint8_t, 16> bytes) {
  Guid guid;
  guid.data1 = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
               static_cast<std::uint32_t>(bytes[2]) << 16 |
               static_cast<std::uint32_t>(bytes[3]) << 24;
  guid.data2 = static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8);
  guid.data3 = static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8);
  for (std::size_t i = 0; i < 8; ++i) guid.data4[i] = bytes[8 + i];
  return guid;
}

std::string Guid::ToString() const {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(data1), static_cast<unsigned>(data2),
                static_cast<unsigned>(data3), data4[0], data4[1], data4[2], data4[3], data4[4],
                data4[5], data4[6], data4[7]);
  return text;
}

std::array<std::uint8_t, 16> Guid::ToBytes() const {
  std::array<std::uint8_t, 16> bytes{};
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) bytes[4 + i] = static_cast<std::uint8_t>(data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) bytes[6 + i] = static_cast<std::uint8_t>(data3 >> (8 * i));
  for (std::size_t i = 0; i < 8; ++i) bytes[8 + i] = data4[i];
  return bytes;
}

std::size_t GuidHash::operator()(const Guid& guid) const noexcept {
  // FNV-1a over the wire bytes: cheap, and class ids are few.
  std::uint64_t hash = 14695981039346656037ull;
  for (std::uint8_t byte : guid.ToBytes()) {
    hash ^= byte;
    hash *= 1099511628211ull;
  }
  return static_cast<std::size_t>(hash);
}

}  // namespace quor::com
