#include "platform/com/SafeArray.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/com/VariantConvert.h"

namespace quor::com {
namespace {

static_assert(std::endian::native == std::endian::little,
              "raw array storage is the wire's little-endian layout");

// SAFEARRAY counts dimensions in an unsigned short.
constexpr std::size_t kMaxDimensions = 0xFFFF;

template <class T>
T Load(const std::uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <class T>
void Store(std::uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

Variant EmptyElement(VarType elementType) {
  switch (elementType) {
    case VT_BSTR:
      return Variant::String("");
    case VT_DISPATCH:
      return Variant::Dispatch(nullptr);
    case VT_UNKNOWN:
      return Variant::Unknown(nullptr);
    default:
      return Variant();
  }
}

}  // namespace

SafeArray::SafeArray(VarType elementType, std::vector<ArrayBound> bounds)
    : elementType_(elementType), bounds_(std::move(bounds)) {
  if (!IsElementType(elementType_)) {
    throw HResultError(DISP_E_BADVARTYPE,
                       VarTypeName(elementType_) + " cannot be an array element type");
  }
  if (bounds_.empty() || bounds_.size() > kMaxDimensions) {
    throw HResultError(E_INVALIDARG, "an array needs between 1 and 65535 dimensions");
  }
  const std::size_t storageSize = HasRawData() ? RawElementSize(elementType_) : sizeof(Variant);
  std::size_t count = 1;
  for (const ArrayBound& bound : bounds_) {
    const std::int64_t high = std::int64_t{bound.lowBound} + bound.count - 1;
    if (high > std::numeric_limits<std::int32_t>::max()) {
      throw HResultError(E_INVALIDARG, "array bound beyond the 32-bit index range");
    }
    if (bound.count != 0 &&
        count > std::numeric_limits<std::size_t>::max() / storageSize / bound.count) {
      throw HResultError(E_OUTOFMEMORY, "array too large");
    }
    count *= bound.count;
  }
  elementCount_ = count;
  if (HasRawData()) {
    raw_.assign(elementCount_ * storageSize, 0);
  } else {
    elements_.assign(elementCount_, EmptyElement(elementType_));
  }
}

SafeArray SafeArray::Vector(VarType elementType, std::uint32_t count, std::int32_t lowBound) {
  return SafeArray(elementType, {ArrayBound{lowBound, count}});
}

SafeArray SafeArray::FromBytes(std::vector<std::uint8_t> bytes) {
  if (bytes.size() > std::numeric_limits<std::int32_t>::max()) {
    throw HResultError(E_INVALIDARG, "byte array beyond the 32-bit index range");
  }
  SafeArray array(VT_UI1, {ArrayBound{0, 0}});
  array.bounds_[0].count = static_cast<std::uint32_t>(bytes.size());
  array.elementCount_ = bytes.size();
  array.raw_ = std::move(bytes);
  return array;
}

SafeArray SafeArray::FromRawData(VarType elementType, std::vector<ArrayBound> bounds,
                                 std::vector<std::uint8_t> raw) {
  if (RawElementSize(elementType) == 0) {
    throw HResultError(E_INVALIDARG, VarTypeName(elementType) + " elements have no raw form");
  }
  std::vector<ArrayBound> shape = bounds;
  for (ArrayBound& bound : shape) bound.count = 0;  // allocate nothing yet
  SafeArray array(elementType, std::move(shape));
  array.bounds_ = std::move(bounds);
  // A dimension of no elements empties the whole array, whatever the others
  // hold, so the product is checked against the data only when none is empty.
  const bool empty = std::any_of(array.bounds_.begin(), array.bounds_.end(),
                                 [](const ArrayBound& bound) { return bound.count == 0; });
  std::size_t count = empty ? 0 : 1;
  for (const ArrayBound& bound : array.bounds_) {
    const std::int64_t high = std::int64_t{bound.lowBound} + bound.count - 1;
    if (high > std::numeric_limits<std::int32_t>::max()) {
      throw HResultError(E_INVALIDARG, "array bound beyond the 32-bit index range");
    }
    if (!empty && count > raw.size() / bound.count) {
      throw HResultError(E_INVALIDARG, "raw array data does not match its bounds");
    }
    count *= bound.count;
  }
  if (count * RawElementSize(elementType) != raw.size()) {
    throw HResultError(E_INVALIDARG, "raw array data does not match its bounds");
  }
  if (elementType == VT_BOOL) {
    // A peer may send any non-zero value for true; keep the canonical 0xFFFF.
    for (std::size_t i = 0; i < raw.size(); i += 2) {
      if (raw[i] != 0 || raw[i + 1] != 0) raw[i] = raw[i + 1] = 0xFF;
    }
  }
  array.elementCount_ = count;
  array.raw_ = std::move(raw);
  return array;
}

SafeArray SafeArray::FromElements(VarType elementType, std::vector<ArrayBound> bounds,
                                  std::vector<Variant> elements) {
  std::vector<ArrayBound> shape = bounds;
  for (ArrayBound& bound : shape) bound.count = 0;  // allocate nothing yet
  SafeArray array(elementType, std::move(shape));
  array.bounds_ = std::move(bounds);
  // The product is capped while it is multiplied out, so it cannot overflow.
  const std::size_t cap = elements.size() + 1;
  std::size_t count = 1;
  bool empty = false;
  for (const ArrayBound& bound : array.bounds_) {
    const std::int64_t high = std::int64_t{bound.lowBound} + bound.count - 1;
    if (high > std::numeric_limits<std::int32_t>::max()) {
      throw HResultError(E_INVALIDARG, "array bound beyond the 32-bit index range");
    }
    if (bound.count == 0) empty = true;
    count = std::min(cap, count * std::min<std::size_t>(cap, bound.count));
  }
  if (empty) count = 0;
  if (count != elements.size()) {
    throw HResultError(E_INVALIDARG, "array elements do not match their bounds");
  }
  array.elementCount_ = count;
  if (array.HasRawData()) {
    array.raw_.assign(count * RawElementSize(elementType), 0);
    std::vector<std::int32_t> index = array.FirstIndex();
    for (const Variant& element : elements) {
      array.StoreAt(array.OffsetOf(index), element);
      array.NextIndex(index);
    }
    return array;
  }
  for (Variant& element : elements) {
    if (element.IsByRef()) element = Variant(element.Deref());
    if (elementType != VT_VARIANT && element.Type() != elementType) {
      element = ChangeType(element, elementType);
    }
  }
  if (array.bounds_.size() == 1) {
    // One dimension: the walking order is the storage order.
    array.elements_ = std::move(elements);
    return array;
  }
  array.elements_.assign(count, Variant());
  std::vector<std::int32_t> index = array.FirstIndex();
  for (Variant& element : elements) {
    array.elements_[array.OffsetOf(index)] = std::move(element);
    array.NextIndex(index);
  }
  return array;
}

std::int32_t SafeArray::LowBound(std::uint32_t dimension) const {
  if (dimension >= bounds_.size()) throw HResultError(DISP_E_BADINDEX, "no such array dimension");
  return bounds_[dimension].lowBound;
}

std::int32_t SafeArray::HighBound(std::uint32_t dimension) const {
  if (dimension >= bounds_.size()) throw HResultError(DISP_E_BADINDEX, "no such array dimension");
  return static_cast<std::int32_t>(std::int64_t{bounds_[dimension].lowBound} +
                                   bounds_[dimension].count - 1);
}

std::size_t SafeArray::OffsetOf(std::span<const std::int32_t> indices) const {
  if (indices.size() != bounds_.size()) {
    throw HResultError(DISP_E_BADINDEX, "array index has " + std::to_string(indices.size()) +
                                            " dimensions, the array " +
                                            std::to_string(bounds_.size()));
  }
  std::size_t offset = 0;
  std::size_t stride = 1;
  for (std::size_t d = 0; d < bounds_.size(); ++d) {
    const std::int64_t position = std::int64_t{indices[d]} - bounds_[d].lowBound;
    if (position < 0 || position >= std::int64_t{bounds_[d].count}) {
      throw HResultError(DISP_E_BADINDEX, "array index " + std::to_string(indices[d]) +
                                              " outside the bounds of dimension " +
                                              std::to_string(d));
    }
    offset += static_cast<std::size_t>(position) * stride;
    stride *= bounds_[d].count;
  }
  return offset;
}

Variant SafeArray::Get(std::span<const std::int32_t> indices) const {
  return ElementAt(OffsetOf(indices));
}

Variant SafeArray::Get(std::initializer_list<std::int32_t> indices) const {
  return Get(std::span<const std::int32_t>(indices.begin(), indices.size()));
}

void SafeArray::Put(std::span<const std::int32_t> indices, const Variant& value) {
  StoreAt(OffsetOf(indices), value);
}

void SafeArray::Put(std::initializer_list<std::int32_t> indices, const Variant& value) {
  Put(std::span<const std::int32_t>(indices.begin(), indices.size()), value);
}

std::vector<std::int32_t> SafeArray::FirstIndex() const {
  std::vector<std::int32_t> indices;
  indices.reserve(bounds_.size());
  for (const ArrayBound& bound : bounds_) indices.push_back(bound.lowBound);
  return indices;
}

bool SafeArray::NextIndex(std::vector<std::int32_t>& indices) const {
  if (elementCount_ == 0 || indices.size() != bounds_.size()) return false;
  for (std::size_t d = bounds_.size(); d-- > 0;) {
    if (indices[d] < HighBound(static_cast<std::uint32_t>(d))) {
      ++indices[d];
      return true;
    }
    indices[d] = bounds_[d].lowBound;
  }
  return false;
}

const std::vector<std::uint8_t>& SafeArray::Bytes() const {
  if (elementType_ != VT_UI1) {
    throw HResultError(DISP_E_TYPEMISMATCH, "not a byte array: " + VarTypeName(elementType_));
  }
  return raw_;
}

Variant SafeArray::ElementAt(std::size_t offset) const {
  if (!HasRawData()) return elements_[offset];
  const std::uint8_t* at = raw_.data() + offset * RawElementSize(elementType_);
  switch (elementType_) {
    case VT_I1:
      return Variant::I1(Load<std::int8_t>(at));
    case VT_UI1:
      return Variant::UI1(*at);
    case VT_I2:
      return Variant::I2(Load<std::int16_t>(at));
    case VT_UI2:
      return Variant::UI2(Load<std::uint16_t>(at));
    case VT_I4:
      return Variant::I4(Load<std::int32_t>(at));
    case VT_UI4:
      return Variant::UI4(Load<std::uint32_t>(at));
    case VT_INT:
      return Variant::Int(Load<std::int32_t>(at));
    case VT_UINT:
      return Variant::UInt(Load<std::uint32_t>(at));
    case VT_I8:
      return Variant::I8(Load<std::int64_t>(at));
    case VT_UI8:
      return Variant::UI8(Load<std::uint64_t>(at));
    case VT_R4:
      return Variant::R4(Load<float>(at));
    case VT_R8:
      return Variant::R8(Load<double>(at));
    case VT_CY:
      return Variant::Currency(Load<std::int64_t>(at));
    case VT_DATE:
      return Variant::Date(Load<double>(at));
    case VT_ERROR:
      return Variant::Error(Load<std::int32_t>(at));
    case VT_BOOL:
      return Variant::Bool(Load<std::int16_t>(at) != 0);
    default:
      throw HResultError(DISP_E_BADVARTYPE, VarTypeName(elementType_));
  }
}

void SafeArray::StoreAt(std::size_t offset, const Variant& value) {
  if (elementType_ == VT_VARIANT) {
    elements_[offset] = value.Deref();
    return;
  }
  Variant converted = ChangeType(value, elementType_);
  if (!HasRawData()) {
    elements_[offset] = std::move(converted);
    return;
  }
  std::uint8_t* at = raw_.data() + offset * RawElementSize(elementType_);
  switch (elementType_) {
    case VT_I1:
      Store(at, converted.GetI1());
      break;
    case VT_UI1:
      Store(at, converted.GetUI1());
      break;
    case VT_I2:
      Store(at, converted.GetI2());
      break;
    case VT_UI2:
      Store(at, converted.GetUI2());
      break;
    case VT_I4:
      Store(at, converted.GetI4());
      break;
    case VT_UI4:
      Store(at, converted.GetUI4());
      break;
    case VT_INT:
      Store(at, converted.GetInt());
      break;
    case VT_UINT:
      Store(at, converted.GetUInt());
      break;
    case VT_I8:
      Store(at, converted.GetI8());
      break;
    case VT_UI8:
      Store(at, converted.GetUI8());
      break;
    case VT_R4:
      Store(at, converted.GetR4());
      break;
    case VT_R8:
      Store(at, converted.GetR8());
      break;
    case VT_CY:
      Store(at, converted.GetCurrency());
      break;
    case VT_DATE:
      Store(at, converted.GetDate());
      break;
    case VT_ERROR:
      Store(at, converted.GetError());
      break;
    case VT_BOOL:
      Store(at, converted.GetVariantBool());
      break;
    default:
      throw HResultError(DISP_E_BADVARTYPE, VarTypeName(elementType_));
  }
}

bool operator==(const SafeArray& a, const SafeArray& b) {
  return a.elementType_ == b.elementType_ && a.bounds_ == b.bounds_ && a.raw_ == b.raw_ &&
         a.elements_ == b.elements_;
}

}  // namespace quor::com
