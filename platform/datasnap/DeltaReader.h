// Reads the change log (delta) a client dataset sends with AS_ApplyUpdates:
// its field descriptors and every record with its status byte and values.
// The bytes come from the network, so every read is bounds-checked and
// anything off the layout is a PacketError, never a read past the end.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "PacketError.h"
#include "platform/sql/Value.h"

namespace quor::datasnap {

// Record status bits of a change log.
inline constexpr std::uint8_t kRecordOriginal = 1;
inline constexpr std::uint8_t kRecordDeleted = 2;
inline constexpr std::uint8_t kRecordInserted = 4;
inline constexpr std::uint8_t kRecordModified = 8;

struct DeltaField {
  std::string name;  // UTF-8
  std::uint16_t type = 0;
  std::uint16_t size = 0;
  std::uint16_t attributes = 0;
  std::string subtype;      // SUBTYPE of blobs ("Text", "WideText", "Binary", ...)
  std::uint16_t width = 0;  // WIDTH of strings; 0 when the field has none
};

// What a record says of one field: a value, NULL, or (in the record of a
// modification) that the field keeps the original record's value.
enum class DeltaCell : std::uint8_t { kValue, kNull, kNotChanged };

struct DeltaRecord {
  std::uint8_t status = 0;
  std::vector<DeltaCell> cells;    // one per field
  std::vector<sql::Value> values;  // one per field; null unless the cell is kValue
};

struct Delta {
  std::vector<DeltaField> fields;
  std::vector<DeltaRecord> records;
};

// Values arrive as the packet writer's forms: integers, booleans, doubles,
// date-times, texts (code page 936 and UTF-16 both become UTF-8) and bytes.
Delta ReadDelta(std::span<const std::uint8_t> packet);

// The status byte of every record, in packet order.
std::vector<std::uint8_t> ReadRecordStatuses(std::span<const std::uint8_t> packet);

// Records that ask for a change (deleted, inserted or modified); an original
// record only carries the old values of the modification that follows it.
bool IsChange(std::uint8_t status);

}  // namespace quor::datasnap
