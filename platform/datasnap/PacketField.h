// How one result column appears in a data packet: its type word, size,
// attributes and properties, and the form its values are written in. Derived
// from the column's SQL Server type; BCD is off, so exact numbers go as floats.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sql/Field.h"

namespace quor::datasnap {

// The encoding of one column's values in a record.
enum class ValueForm {
  kUnsigned8,      // tinyint
  kInteger16,      // smallint
  kInteger32,      // int
  kInteger64,      // bigint
  kBoolean,        // bit: two bytes, 0xFFFF for true
  kFloat,          // float, real, decimal, numeric, money, smallmoney
  kDate,           // int32 day number
  kTime,           // int32 milliseconds of the day
  kTimestamp,      // float64 day number * 86400000 + milliseconds of the day
  kAnsiString,     // code page 936 bytes, length-prefixed, at most `width` bytes
  kUnicodeString,  // UTF-16LE, length prefix in bytes, at most `width` code units
  kGuidString,     // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as an ANSI string
  kAnsiBlob,       // text and long varchar: code page 936 bytes, 4-byte length
  kUnicodeBlob,    // ntext, long nvarchar, xml: UTF-16LE, 4-byte length
  kBinaryBlob,     // image, binary, varbinary, rowversion: raw bytes, 4-byte length
};

struct PacketField {
  std::string name;  // UTF-8; written in code page 936
  ValueForm form = ValueForm::kInteger32;
  std::uint16_t type = 0;        // type code with its flags, as written
  std::uint16_t size = 0;        // data size, or the width of the length prefix when varying
  std::uint16_t attributes = 0;  // packet::kReadOnly, packet::kRequired
  std::uint16_t width = 0;       // WIDTH property of strings; 0 when the field has none
  std::string subtype;           // SUBTYPE property of blobs; empty when the field has none
};

// Maps a column by its SQL Server type name ("int", "nvarchar", "int identity",
// ...); a name this table does not know falls back on the column's value kind.
PacketField DescribePacketField(const sql::Field& field);

}  // namespace quor::datasnap
