#include "transport/ObjectTable.h"

#include <algorithm>
#include <string>

#include "transport/TransportError.h"

namespace quor::transport {
namespace {

constexpr std::size_t kInitialSlots = 11;  // bounds 0..10
constexpr std::size_t kGrowth = 10;

}  // namespace

void ObjectTable::CheckRoom() const {
  if (count_ >= maxObjects_) {
    throw LimitExceeded("Too many objects for one connection (MaxObjects " +
                        std::to_string(maxObjects_) + ")");
  }
}

std::int32_t ObjectTable::RegisterObject(const com::Variant& object) {
  CheckRoom();
  if (slots_.empty()) slots_.resize(kInitialSlots);
  auto free = std::find_if(slots_.begin(), slots_.end(),
                           [](const std::optional<com::Variant>& slot) { return !slot; });
  std::size_t index = static_cast<std::size_t>(free - slots_.begin());
  if (free == slots_.end()) slots_.resize(index + kGrowth + 1);
  slots_[index] = object;
  ++count_;
  return static_cast<std::int32_t>(index);
}

com::DispatchPtr ObjectTable::ObjectAt(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= slots_.size() || !slots_[index] ||
      slots_[index]->Type() != com::VT_DISPATCH || !slots_[index]->GetDispatch()) {
    throw InterpreterError("Invalid object index: " + std::to_string(index));
  }
  return slots_[index]->GetDispatch();
}

void ObjectTable::DropObject(std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= slots_.size()) return;
  // Moved out first: the object's destructor may call back into the table.
  std::optional<com::Variant> released = std::move(slots_[index]);
  slots_[index].reset();
  if (released) --count_;
}

void ObjectTable::Clear() {
  std::vector<std::optional<com::Variant>> released = std::move(slots_);
  slots_.clear();
  count_ = 0;
}

std::int32_t ObjectTable::HighBound() const {
  return static_cast<std::int32_t>(slots_.size()) - 1;
}

std::size_t ObjectTable::ObjectCount() const {
  return count_;
}

}  // namespace quor::transport
