// An independent reader of binary data packets, written from the packet
// layout alone so that the writer's tests compare against a second reading of
// the format rather than against the writer's own helpers. Every read is
// bounds-checked; anything that does not follow the layout throws.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace quor::datasnap::test {

class MalformedPacket : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PacketProperty {
  std::string name;
  std::uint16_t size = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 1;          // element count of an array property
  std::vector<std::uint8_t> value;  // the data, without a length or count prefix
};

struct PacketFieldInfo {
  std::string name;  // decoded from code page 936 to UTF-8
  std::uint16_t size = 0;
  std::uint16_t type = 0;  // with its flags
  std::uint16_t attributes = 0;
  std::vector<PacketProperty> properties;

  const PacketProperty* FindProperty(const std::string& propertyName) const;
  // The property's value read as a little-endian unsigned number or as text.
  std::optional<std::uint64_t> NumberProperty(const std::string& propertyName) const;
  std::optional<std::string> TextProperty(const std::string& propertyName) const;
};

struct Date {
  int year = 0;
  int month = 0;
  int day = 0;
  auto operator<=>(const Date&) const = default;
};

struct TimeOfDay {
  std::int32_t milliseconds = 0;
  auto operator<=>(const TimeOfDay&) const = default;
};

struct Timestamp {
  Date date;
  std::int32_t milliseconds = 0;  // of the day
  auto operator<=>(const Timestamp&) const = default;
};

struct Null {
  auto operator<=>(const Null&) const = default;
};
struct NotChanged {
  auto operator<=>(const NotChanged&) const = default;
};

using Bytes = std::vector<std::uint8_t>;
// Signed integers as int64, unsigned ones as uint64, strings and text blobs
// decoded to UTF-8, other blobs as their bytes.
using Cell = std::variant<Null, NotChanged, std::int64_t, std::uint64_t, bool, double, Date,
                          TimeOfDay, Timestamp, std::string, Bytes>;

struct PacketRecord {
  std::uint8_t status = 0;
  std::vector<Cell> cells;
};

struct DataPacket {
  std::uint16_t fieldCount = 0;
  std::int32_t recordCount = 0;
  std::uint16_t headerSize = 0;
  std::vector<PacketFieldInfo> fields;
  std::vector<PacketProperty> packetProperties;
  std::vector<PacketRecord> records;
};

DataPacket ReadDataPacket(std::span<const std::uint8_t> bytes);

// For test messages: "NULL", "42", "2024-01-02", "'text'", "6 bytes", ...
std::string CellText(const Cell& cell);
// CellText of one column in every record; empty when no field has that name.
std::vector<std::string> ColumnTexts(const DataPacket& packet, const std::string& fieldName);

}  // namespace quor::datasnap::test
