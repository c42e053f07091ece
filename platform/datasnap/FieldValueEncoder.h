// Turns one non-null SQL value into the record bytes of its packet field:
// numbers in their width, dates as day numbers, texts in code page 936 or
// UTF-16LE cut to the declared width, blobs with their 4-byte length.
#pragma once

#include <cstdint>
#include <vector>

#include "PacketField.h"
#include "platform/sql/Value.h"

namespace quor::datasnap {

// Throws PacketError (or sql::ConversionError for a value of the wrong kind)
// without a trace of the field's name; the caller adds it.
void AppendFieldValue(const PacketField& field, const sql::Value& value,
                      std::vector<std::uint8_t>& out);

}  // namespace quor::datasnap
