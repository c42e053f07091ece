#include "platform/com/Variant.h"

#include <charconv>
#include <ostream>
#include <sstream>
#include <utility>

#include "platform/com/IDispatchObject.h"
#include "platform/com/SafeArray.h"
#include "platform/com/VariantConvert.h"

namespace quor::com {
namespace {

[[noreturn]] void ThrowNotHeld(VarType held, VarType wanted) {
  throw HResultError(DISP_E_TYPEMISMATCH,
                     "variant holds " + VarTypeName(held) + ", not " + VarTypeName(wanted));
}

template <class Float>
std::string ShortReal(Float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// The value part of a scalar's debug text; empty for VT_EMPTY and VT_NULL.
std::string ValueText(const Variant& value) {
  switch (value.Type()) {
    case VT_EMPTY:
    case VT_NULL:
      return "";
    case VT_BSTR:
      return "\"" + value.GetString() + "\"";
    case VT_R4:
      return ShortReal(value.GetR4());
    case VT_R8:
      return ShortReal(value.GetR8());
    case VT_DATE:
      return ShortReal(value.GetDate());
    case VT_ERROR:
      return FormatHResult(value.GetError());
    case VT_DISPATCH:
      return value.GetDispatch() ? "object" : "null";
    case VT_UNKNOWN:
      return value.GetUnknown() ? "object" : "null";
    default:
      return value.ToString();  // integers, currency, bool
  }
}

// Arrays in debug text show at most this many elements.
constexpr std::size_t kDebugElements = 16;

}  // namespace

Variant::ArrayBox::ArrayBox(SafeArray array)
    : array_(std::make_unique<SafeArray>(std::move(array))) {}
Variant::ArrayBox::ArrayBox(const ArrayBox& other)
    : array_(std::make_unique<SafeArray>(*other.array_)) {}
Variant::ArrayBox::ArrayBox(ArrayBox&& other) noexcept = default;
Variant::ArrayBox& Variant::ArrayBox::operator=(const ArrayBox& other) {
  if (this != &other) array_ = std::make_unique<SafeArray>(*other.array_);
  return *this;
}
Variant::ArrayBox& Variant::ArrayBox::operator=(ArrayBox&& other) noexcept = default;
Variant::ArrayBox::~ArrayBox() = default;

Variant::Variant(std::int32_t value) : Variant(VT_I4, std::int64_t{value}) {}
Variant::Variant(double value) : Variant(VT_R8, value) {}
Variant::Variant(bool value) : Variant(VT_BOOL, std::int64_t{value ? -1 : 0}) {}
Variant::Variant(std::string value) : Variant(VT_BSTR, std::move(value)) {}
Variant::Variant(const char* value) : Variant(VT_BSTR, std::string(value)) {}

Variant Variant::Null() {
  return Variant(VT_NULL, std::monostate{});
}
Variant Variant::I1(std::int8_t value) {
  return Variant(VT_I1, std::int64_t{value});
}
Variant Variant::UI1(std::uint8_t value) {
  return Variant(VT_UI1, std::uint64_t{value});
}
Variant Variant::I2(std::int16_t value) {
  return Variant(VT_I2, std::int64_t{value});
}
Variant Variant::UI2(std::uint16_t value) {
  return Variant(VT_UI2, std::uint64_t{value});
}
Variant Variant::I4(std::int32_t value) {
  return Variant(VT_I4, std::int64_t{value});
}
Variant Variant::UI4(std::uint32_t value) {
  return Variant(VT_UI4, std::uint64_t{value});
}
Variant Variant::I8(std::int64_t value) {
  return Variant(VT_I8, value);
}
Variant Variant::UI8(std::uint64_t value) {
  return Variant(VT_UI8, value);
}
Variant Variant::Int(std::int32_t value) {
  return Variant(VT_INT, std::int64_t{value});
}
Variant Variant::UInt(std::uint32_t value) {
  return Variant(VT_UINT, std::uint64_t{value});
}
Variant Variant::R4(float value) {
  return Variant(VT_R4, value);
}
Variant Variant::R8(double value) {
  return Variant(VT_R8, value);
}
Variant Variant::Currency(std::int64_t scaled) {
  return Variant(VT_CY, scaled);
}
Variant Variant::Date(double oleDate) {
  return Variant(VT_DATE, oleDate);
}
Variant Variant::String(std::string value) {
  return Variant(VT_BSTR, std::move(value));
}
Variant Variant::Bool(bool value) {
  return Variant(value);
}
Variant Variant::Error(HResult scode) {
  return Variant(VT_ERROR, std::int64_t{scode});
}
Variant Variant::Missing() {
  return Error(DISP_E_PARAMNOTFOUND);
}
Variant Variant::Dispatch(DispatchPtr object) {
  return Variant(VT_DISPATCH, std::move(object));
}
Variant Variant::Unknown(UnknownPtr object) {
  return Variant(VT_UNKNOWN, std::move(object));
}

Variant Variant::Array(SafeArray array) {
  const VarType type = VT_ARRAY | array.ElementType();
  return Variant(type, ArrayBox(std::move(array)));
}

Variant Variant::Bytes(std::vector<std::uint8_t> bytes) {
  return Array(SafeArray::FromBytes(std::move(bytes)));
}

Variant Variant::ByRef(std::shared_ptr<Variant> slot, VarType targetType) {
  if (!slot) throw HResultError(E_POINTER, "by-reference variant without a slot");
  const VarType base = targetType & VT_TYPEMASK;
  const bool validTarget =
      (targetType & ~(VT_ARRAY | VT_TYPEMASK)) == 0 &&
      ((targetType & VT_ARRAY) ? IsElementType(base)
                               : targetType == VT_VARIANT ||
                                     (IsValueType(base) && base != VT_EMPTY && base != VT_NULL));
  if (!validTarget) {
    throw HResultError(DISP_E_BADVARTYPE,
                       "cannot refer to " + VarTypeName(targetType) + " by reference");
  }
  if (slot->IsByRef()) {
    throw HResultError(DISP_E_BADVARTYPE, "a reference cannot refer to another reference");
  }
  if (targetType != VT_VARIANT && slot->Type() != targetType) {
    throw HResultError(DISP_E_TYPEMISMATCH, "reference to " + VarTypeName(targetType) +
                                                " over a slot holding " +
                                                VarTypeName(slot->Type()));
  }
  return Variant(VT_BYREF | targetType, std::move(slot));
}

bool Variant::IsMissing() const {
  return type_ == VT_ERROR && std::get<std::int64_t>(value_) == DISP_E_PARAMNOTFOUND;
}

template <class T>
const T& Variant::Stored(VarType expected) const {
  if (type_ != expected) ThrowNotHeld(type_, expected);
  return std::get<T>(value_);
}

std::int8_t Variant::GetI1() const {
  return static_cast<std::int8_t>(Stored<std::int64_t>(VT_I1));
}
std::uint8_t Variant::GetUI1() const {
  return static_cast<std::uint8_t>(Stored<std::uint64_t>(VT_UI1));
}
std::int16_t Variant::GetI2() const {
  return static_cast<std::int16_t>(Stored<std::int64_t>(VT_I2));
}
std::uint16_t Variant::GetUI2() const {
  return static_cast<std::uint16_t>(Stored<std::uint64_t>(VT_UI2));
}
std::int32_t Variant::GetI4() const {
  return static_cast<std::int32_t>(Stored<std::int64_t>(VT_I4));
}
std::uint32_t Variant::GetUI4() const {
  return static_cast<std::uint32_t>(Stored<std::uint64_t>(VT_UI4));
}
std::int64_t Variant::GetI8() const {
  return Stored<std::int64_t>(VT_I8);
}
std::uint64_t Variant::GetUI8() const {
  return Stored<std::uint64_t>(VT_UI8);
}
std::int32_t Variant::GetInt() const {
  return static_cast<std::int32_t>(Stored<std::int64_t>(VT_INT));
}
std::uint32_t Variant::GetUInt() const {
  return static_cast<std::uint32_t>(Stored<std::uint64_t>(VT_UINT));
}
float Variant::GetR4() const {
  return Stored<float>(VT_R4);
}
double Variant::GetR8() const {
  return Stored<double>(VT_R8);
}
std::int64_t Variant::GetCurrency() const {
  return Stored<std::int64_t>(VT_CY);
}
double Variant::GetDate() const {
  return Stored<double>(VT_DATE);
}
const std::string& Variant::GetString() const {
  return Stored<std::string>(VT_BSTR);
}
bool Variant::GetBool() const {
  return Stored<std::int64_t>(VT_BOOL) != 0;
}
std::int16_t Variant::GetVariantBool() const {
  return GetBool() ? -1 : 0;
}
HResult Variant::GetError() const {
  return static_cast<HResult>(Stored<std::int64_t>(VT_ERROR));
}
const DispatchPtr& Variant::GetDispatch() const {
  return Stored<DispatchPtr>(VT_DISPATCH);
}
const UnknownPtr& Variant::GetUnknown() const {
  return Stored<UnknownPtr>(VT_UNKNOWN);
}

const SafeArray& Variant::GetArray() const {
  if (!IsArray()) ThrowNotHeld(type_, VT_ARRAY | VT_VARIANT);
  return std::get<ArrayBox>(value_).Get();
}

SafeArray& Variant::GetArray() {
  if (!IsArray()) ThrowNotHeld(type_, VT_ARRAY | VT_VARIANT);
  return std::get<ArrayBox>(value_).Get();
}

const Variant& Variant::Target() const {
  if (!IsByRef()) ThrowNotHeld(type_, VT_BYREF | VT_VARIANT);
  return *std::get<std::shared_ptr<Variant>>(value_);
}

void Variant::SetTarget(const Variant& value) const {
  if (!IsByRef()) ThrowNotHeld(type_, VT_BYREF | VT_VARIANT);
  Variant& slot = *std::get<std::shared_ptr<Variant>>(value_);
  // Convert first, so a failed write leaves the slot as it was.
  slot = ChangeType(value, TargetType());
}

const Variant& Variant::Deref() const {
  return IsByRef() ? Target() : *this;
}

std::int32_t Variant::ToI4() const {
  return ChangeType(*this, VT_I4).GetI4();
}
std::int64_t Variant::ToI8() const {
  return ChangeType(*this, VT_I8).GetI8();
}
double Variant::ToR8() const {
  return ChangeType(*this, VT_R8).GetR8();
}
bool Variant::ToBool() const {
  return ChangeType(*this, VT_BOOL).GetBool();
}
std::string Variant::ToString() const {
  return ChangeType(*this, VT_BSTR).GetString();
}
double Variant::ToDate() const {
  return ChangeType(*this, VT_DATE).GetDate();
}
std::int64_t Variant::ToCurrency() const {
  return ChangeType(*this, VT_CY).GetCurrency();
}

std::string Variant::DebugString() const {
  std::ostringstream out;
  out << VarTypeName(type_);
  if (IsByRef()) {
    out << " -> " << Target().DebugString();
  } else if (IsArray()) {
    const SafeArray& array = GetArray();
    for (const ArrayBound& bound : array.Bounds()) {
      out << " [" << bound.lowBound << ".." << std::int64_t{bound.lowBound} + bound.count - 1
          << "]";
    }
    out << " {";
    if (array.ElementCount() > 0) {
      std::size_t shown = 0;
      auto index = array.FirstIndex();
      do {
        if (shown == kDebugElements) {
          out << ", ...";
          break;
        }
        const Variant element = array.Get(index);
        out << (shown++ ? ", " : "")
            << (array.ElementType() == VT_VARIANT ? element.DebugString() : ValueText(element));
      } while (array.NextIndex(index));
    }
    out << "}";
  } else if (const std::string value = ValueText(*this); !value.empty()) {
    out << " " << value;
  }
  return out.str();
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type_ != b.type_) return false;
  if (a.IsByRef()) return a.Target() == b.Target();
  if (a.IsArray()) return a.GetArray() == b.GetArray();
  return std::visit(
      [&](const auto& left) {
        using T = std::decay_t<decltype(left)>;
        if constexpr (std::is_same_v<T, Variant::ArrayBox> ||
                      std::is_same_v<T, std::shared_ptr<Variant>>) {
          return false;  // handled above
        } else {
          return left == std::get<T>(b.value_);
        }
      },
      a.value_);
}

std::ostream& operator<<(std::ostream& out, const Variant& value) {
  return out << value.DebugString();
}

}  // namespace quor::com
