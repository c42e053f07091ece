// The objects one side of a connection has lent to the other: the index of a
// slot is the object reference on the wire. Slots start as 0..10, grow to the
// first free index + 10 when full, and freed slots are taken again first, so
// a long-lived client that creates and frees modules keeps small indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/com/IDispatchObject.h"
#include "platform/com/Variant.h"

namespace quor::transport {

class ObjectTable {
 public:
  // The first empty slot from 0 upward.
  std::int32_t RegisterObject(const com::Variant& object);
  // InterpreterError for an index outside the table, an empty slot, or a slot
  // that holds no dispatch object.
  com::DispatchPtr ObjectAt(std::int32_t index) const;
  // Empties the slot (releasing the object); an index that was never handed
  // out, or a negative one, is ignored.
  void DropObject(std::int32_t index);

  // -1 while the table does not exist yet.
  std::int32_t HighBound() const;
  std::size_t ObjectCount() const;
  // Releases every object, e.g. when the connection ends.
  void Clear();

 private:
  std::vector<std::optional<com::Variant>> slots_;
};

}  // namespace quor::transport
