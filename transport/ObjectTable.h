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
  static constexpr std::size_t kUnlimited = static_cast<std::size_t>(-1);
  // maxObjects: how many objects may be held at once.
  explicit ObjectTable(std::size_t maxObjects = kUnlimited) : maxObjects_(maxObjects) {}

  // The first empty slot from 0 upward; LimitExceeded when the table holds
  // maxObjects already.
  std::int32_t RegisterObject(const com::Variant& object);
  // LimitExceeded when no further object may be registered.
  void CheckRoom() const;
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
  std::size_t maxObjects_;
  std::size_t count_ = 0;
  std::vector<std::optional<com::Variant>> slots_;
};

}  // namespace quor::transport
