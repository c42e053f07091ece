// The fixed numbers of the binary data packet that client datasets load: the
// header constants, the field type codes and flags, the field attributes and
// the per-field status bits of a record. Shared by the writer and its users.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quor::datasnap::packet {

inline constexpr std::array<std::uint8_t, 4> kSignature = {0x96, 0x19, 0xE0, 0xBD};
inline constexpr std::int32_t kHeaderWord1 = 1;
inline constexpr std::int32_t kHeaderWord2 = 18;
inline constexpr std::int32_t kHeaderWord3 = 3;
// Offsets of the header values the writer fills in once it knows them.
inline constexpr std::size_t kRecordCountOffset = 14;
inline constexpr std::size_t kHeaderSizeOffset = 22;
inline constexpr std::size_t kHeaderFixedBytes = 24;

// Dates and times travel as day numbers and milliseconds: day numbers count
// 0001-01-01 as day 1, so 1970-01-01 (the epoch of sys_days) is day 719163.
inline constexpr std::int64_t kMillisPerDay = 86'400'000;
inline constexpr std::int64_t kUnixEpochDayNumber = 719'163;

// Field types (low six bits of the type word).
inline constexpr std::uint16_t kSignedInteger = 1;
inline constexpr std::uint16_t kUnsignedInteger = 2;
inline constexpr std::uint16_t kBoolean = 3;
inline constexpr std::uint16_t kFloat = 4;
inline constexpr std::uint16_t kDate = 6;
inline constexpr std::uint16_t kTime = 7;
inline constexpr std::uint16_t kTimestamp = 8;
inline constexpr std::uint16_t kAnsiString = 9;
inline constexpr std::uint16_t kUnicodeString = 10;
inline constexpr std::uint16_t kBytes = 11;
// Flags on the type word.
inline constexpr std::uint16_t kVarying = 0x40;
inline constexpr std::uint16_t kArray = 0x80;

// Field attributes.
inline constexpr std::uint16_t kHidden = 1;
inline constexpr std::uint16_t kReadOnly = 2;
inline constexpr std::uint16_t kRequired = 4;
inline constexpr std::uint16_t kLink = 8;

// Two bits per field in a record.
inline constexpr std::uint8_t kFieldNull = 1;
inline constexpr std::uint8_t kFieldNotChanged = 2;

inline constexpr std::uint8_t kRecordUnmodified = 0;

}  // namespace quor::datasnap::packet
