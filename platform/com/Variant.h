// The OLE Automation VARIANT: the value type of every remote call argument and
// result. It holds one value of the VarType it names, an array (SafeArray), or
// a reference to a variant slot that a callee writes (out and in-out
// arguments). Strings are UTF-8 inside; the wire converts.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/com/HResult.h"
#include "platform/com/VarType.h"

namespace quor::com {

class IUnknownObject;
class IDispatchObject;
class SafeArray;

// Objects are shared: a connection's object table, a proxy and a variant may
// all hold the same one, and it lives until the last of them lets go.
using UnknownPtr = std::shared_ptr<IUnknownObject>;
using DispatchPtr = std::shared_ptr<IDispatchObject>;

class Variant {
 public:
  Variant() = default;  // VT_EMPTY
  // Implicit for the types business code passes most: VT_I4, VT_R8, VT_BOOL, VT_BSTR.
  Variant(std::int32_t value);
  Variant(double value);
  Variant(bool value);
  Variant(std::string value);
  Variant(const char* value);

  static Variant Null();
  static Variant I1(std::int8_t value);
  static Variant UI1(std::uint8_t value);
  static Variant I2(std::int16_t value);
  static Variant UI2(std::uint16_t value);
  static Variant I4(std::int32_t value);
  static Variant UI4(std::uint32_t value);
  static Variant I8(std::int64_t value);
  static Variant UI8(std::uint64_t value);
  static Variant Int(std::int32_t value);
  static Variant UInt(std::uint32_t value);
  static Variant R4(float value);
  static Variant R8(double value);
  // Currency in ten-thousandths: Currency(15000) is 1.5.
  static Variant Currency(std::int64_t scaled);
  static Variant Date(double oleDate);
  static Variant String(std::string value);
  static Variant Bool(bool value);
  static Variant Error(HResult scode);
  // What a caller passes for an omitted optional argument.
  static Variant Missing();
  static Variant Dispatch(DispatchPtr object);
  static Variant Unknown(UnknownPtr object);
  static Variant Array(SafeArray array);
  // A zero-based VT_ARRAY|VT_UI1, the form data packets travel in.
  static Variant Bytes(std::vector<std::uint8_t> bytes);
  // VT_BYREF|targetType referring to slot. With a targetType other than
  // VT_VARIANT the slot must hold that type and keeps holding it (SetTarget
  // converts). Throws HResultError: E_POINTER for no slot, DISP_E_BADVARTYPE
  // for a target type that cannot be referred to, DISP_E_TYPEMISMATCH when the
  // slot holds another type. Copies of the variant refer to the same slot.
  static Variant ByRef(std::shared_ptr<Variant> slot, VarType targetType = VT_VARIANT);

  Variant(const Variant&) = default;
  Variant(Variant&&) noexcept = default;
  Variant& operator=(const Variant&) = default;
  Variant& operator=(Variant&&) noexcept = default;
  ~Variant() = default;

  VarType Type() const { return type_; }
  VarType BaseType() const { return type_ & VT_TYPEMASK; }
  bool IsEmpty() const { return type_ == VT_EMPTY; }
  bool IsNull() const { return type_ == VT_NULL; }
  bool IsArray() const { return (type_ & VT_ARRAY) != 0 && !IsByRef(); }
  bool IsByRef() const { return (type_ & VT_BYREF) != 0; }
  bool IsMissing() const;

  // Exact accessors: the variant must hold that very type (not by reference),
  // otherwise HResultError(DISP_E_TYPEMISMATCH). Conversions are To... below.
  std::int8_t GetI1() const;
  std::uint8_t GetUI1() const;
  std::int16_t GetI2() const;
  std::uint16_t GetUI2() const;
  std::int32_t GetI4() const;
  std::uint32_t GetUI4() const;
  std::int64_t GetI8() const;
  std::uint64_t GetUI8() const;
  std::int32_t GetInt() const;
  std::uint32_t GetUInt() const;
  float GetR4() const;
  double GetR8() const;
  std::int64_t GetCurrency() const;  // scaled by 10000
  double GetDate() const;
  const std::string& GetString() const;
  bool GetBool() const;
  std::int16_t GetVariantBool() const;  // -1 or 0, as the wire carries it
  HResult GetError() const;
  const DispatchPtr& GetDispatch() const;
  const UnknownPtr& GetUnknown() const;
  const SafeArray& GetArray() const;
  SafeArray& GetArray();

  // By reference: the referred value, and writing it (converted to the
  // reference's target type unless that is VT_VARIANT). HResultError
  // DISP_E_TYPEMISMATCH when this is not a reference or the value does not convert.
  // SetTarget is const as writing through a const pointer is: the reference
  // itself does not change.
  const Variant& Target() const;
  void SetTarget(const Variant& value) const;
  VarType TargetType() const { return type_ & ~VT_BYREF; }
  // The referred value for a reference, otherwise this variant itself.
  const Variant& Deref() const;

  // Conversions by the rules of ChangeType (VariantConvert.h); they throw
  // HResultError with the conversion's HRESULT.
  std::int32_t ToI4() const;
  std::int64_t ToI8() const;
  double ToR8() const;
  bool ToBool() const;
  std::string ToString() const;
  double ToDate() const;
  std::int64_t ToCurrency() const;

  // "VT_I4 5", "VT_BSTR \"abc\"", "VT_ARRAY|VT_UI1 [0..2] {1, 2, 3}",
  // "VT_BYREF|VT_I4 -> VT_I4 5": for logs and test failures.
  std::string DebugString() const;

  // Same type and same value; arrays element by element, references by the
  // values they refer to, objects by identity.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  // Arrays are values: copying a variant copies its array, as VariantCopy does.
  class ArrayBox {
   public:
    explicit ArrayBox(SafeArray array);
    ArrayBox(const ArrayBox& other);
    ArrayBox(ArrayBox&& other) noexcept;
    ArrayBox& operator=(const ArrayBox& other);
    ArrayBox& operator=(ArrayBox&& other) noexcept;
    ~ArrayBox();
    const SafeArray& Get() const { return *array_; }
    SafeArray& Get() { return *array_; }

   private:
    std::unique_ptr<SafeArray> array_;
  };

  using Storage =
      std::variant<std::monostate, std::int64_t, std::uint64_t, float, double, std::string,
                   UnknownPtr, DispatchPtr, ArrayBox, std::shared_ptr<Variant>>;

  Variant(VarType type, Storage value) : type_(type), value_(std::move(value)) {}
  template <class T>
  const T& Stored(VarType expected) const;

  VarType type_ = VT_EMPTY;
  Storage value_;
};

std::ostream& operator<<(std::ostream& out, const Variant& value);

}  // namespace quor::com
