// A GUID: class ids and interface ids. The text form is the registry's
// "{C1C424E1-600A-461D-8759-8D739C78CBDC}"; the wire carries the 16-byte
// Windows memory layout (Data1, Data2, Data3 little-endian, then Data4).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quor::com {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  // Braces are required (the transport tells a class id from a ProgID by them);
  // hex digits in either case. Nothing else is accepted, not even spaces.
  static std::optional<Guid> TryParse(std::string_view text);
  // As TryParse, throwing HResultError(E_INVALIDARG) naming the text.
  static Guid Parse(std::string_view text);
  static Guid FromBytes(std::span<const std::uint8_t, 16> bytes);

  // Upper-case hex in braces, as Windows writes it.
  std::string ToString() const;
  std::array<std::uint8_t, 16> ToBytes() const;
  bool IsNull() const { return *this == Guid{}; }

  friend bool operator==(const Guid&, const Guid&) = default;
  friend auto operator<=>(const Guid&, const Guid&) = default;
};

struct GuidHash {
  std::size_t operator()(const Guid& guid) const noexcept;
};

}  // namespace quor::com
