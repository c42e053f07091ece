// Parameter arrays as clients send them with AS_Execute and AS_GetRecords: a
// vector of entries, each (name, value, data type, direction).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"

namespace quor::datasnap::test {

// A one-dimensional variant array of `items` from `lowBound`.
inline com::Variant Vector(std::vector<com::Variant> items, std::int32_t lowBound = 0) {
  com::SafeArray array =
      com::SafeArray::Vector(com::VT_VARIANT, static_cast<std::uint32_t>(items.size()), lowBound);
  for (std::size_t i = 0; i < items.size(); ++i) {
    array.Put({lowBound + static_cast<std::int32_t>(i)}, items[i]);
  }
  return com::Variant::Array(std::move(array));
}

inline com::Variant Entry(const char* name, com::Variant value, std::int32_t dataType,
                          std::int32_t direction) {
  return Vector({com::Variant(name), std::move(value), com::Variant::I4(dataType),
                 com::Variant::I4(direction)});
}

}  // namespace quor::datasnap::test
