// SAFEARRAY semantics for Variant arrays: an element type, one or more
// dimensions each with a low bound and an element count, and element access by
// an index vector that is always bounds-checked (DISP_E_BADINDEX, never
// undefined behaviour). Fixed-size elements are kept as raw little-endian
// storage, so a byte array (a data packet) is one compact byte vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "platform/com/Variant.h"

namespace quor::com {

struct ArrayBound {
  std::int32_t lowBound = 0;
  std::uint32_t count = 0;
  friend bool operator==(const ArrayBound&, const ArrayBound&) = default;
};

class SafeArray {
 public:
  // Bounds are given first dimension first, the order indices are written in.
  // Elements start zeroed: 0, "", VT_EMPTY, null objects. Throws HResultError:
  // DISP_E_BADVARTYPE for a type that cannot be an element (IsElementType),
  // E_INVALIDARG for no dimensions or a high bound beyond the 32-bit range,
  // E_OUTOFMEMORY when the element count overflows.
  SafeArray(VarType elementType, std::vector<ArrayBound> bounds);
  // One dimension.
  static SafeArray Vector(VarType elementType, std::uint32_t count, std::int32_t lowBound = 0);
  // Zero-based VT_UI1 elements, taking the bytes without copying them.
  static SafeArray FromBytes(std::vector<std::uint8_t> bytes);
  // Fixed-size elements from their raw storage (see RawData); E_INVALIDARG when
  // the type has no raw form or the size does not match the bounds.
  static SafeArray FromRawData(VarType elementType, std::vector<ArrayBound> bounds,
                               std::vector<std::uint8_t> raw);

  // Elements given in the order FirstIndex/NextIndex walk them, each
  // converted to the element type as Put does. Elements without a raw form are
  // taken over, so a reader can collect them as they arrive instead of
  // filling the array up front. E_INVALIDARG when the count does not match
  // the bounds.
  static SafeArray FromElements(VarType elementType, std::vector<ArrayBound> bounds,
                                std::vector<Variant> elements);

  VarType ElementType() const { return elementType_; }
  std::uint32_t Dimensions() const { return static_cast<std::uint32_t>(bounds_.size()); }
  const std::vector<ArrayBound>& Bounds() const { return bounds_; }
  // Dimensions are numbered from 0 here; DISP_E_BADINDEX for one that does not exist.
  std::int32_t LowBound(std::uint32_t dimension) const;
  std::int32_t HighBound(std::uint32_t dimension) const;  // low bound - 1 when empty
  std::size_t ElementCount() const { return elementCount_; }

  // One index per dimension. DISP_E_BADINDEX for a wrong number of indices or
  // one outside its bounds.
  Variant Get(std::span<const std::int32_t> indices) const;
  Variant Get(std::initializer_list<std::int32_t> indices) const;
  // Stores the value converted to the element type (ChangeType errors
  // propagate); arrays of VT_VARIANT store it as it is, references resolved.
  void Put(std::span<const std::int32_t> indices, const Variant& value);
  void Put(std::initializer_list<std::int32_t> indices, const Variant& value);

  // Walks every index vector in the order the wire writes elements one by one:
  // the last dimension varies fastest. Start from FirstIndex(); NextIndex
  // returns false after the last element (at once for an empty array).
  std::vector<std::int32_t> FirstIndex() const;
  bool NextIndex(std::vector<std::int32_t>& indices) const;

  // For fixed-size element types (RawElementSize > 0): the elements as stored
  // in a Windows SAFEARRAY, little-endian, column-major (the first dimension
  // varies fastest), which is the raw run the wire copies. Booleans are
  // 0 / 0xFFFF. Empty for other element types.
  bool HasRawData() const { return RawElementSize(elementType_) > 0; }
  std::span<const std::uint8_t> RawData() const { return raw_; }
  // The bytes of a VT_UI1 array; DISP_E_TYPEMISMATCH for other element types.
  const std::vector<std::uint8_t>& Bytes() const;

  friend bool operator==(const SafeArray& a, const SafeArray& b);

 private:
  std::size_t OffsetOf(std::span<const std::int32_t> indices) const;
  Variant ElementAt(std::size_t offset) const;
  void StoreAt(std::size_t offset, const Variant& value);

  VarType elementType_;
  std::vector<ArrayBound> bounds_;
  std::size_t elementCount_ = 0;
  std::vector<std::uint8_t> raw_;  // fixed-size element types
  std::vector<Variant> elements_;  // the others
};

}  // namespace quor::com
