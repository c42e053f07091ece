#include "platform/com/VariantConvert.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/com/IDispatchObject.h"
#include "platform/com/OleDate.h"
#include "platform/com/SafeArray.h"
#include "platform/text/AsciiText.h"

namespace quor::com {
namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;
constexpr std::int64_t kCurrencyScale = 10000;

// An exact integer wide enough for every source and target: int64 and uint64
// values alike. Anything wider overflows every target.
struct Integral {
  bool negative = false;
  std::uint64_t magnitude = 0;
};

Integral FromSigned(std::int64_t value) {
  return {value < 0,
          value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value)};
}

Integral FromUnsigned(std::uint64_t value) {
  return {false, value};
}

double RoundHalfEven(double value) {
  const double floor = std::floor(value);
  const double fraction = value - floor;
  if (fraction > 0.5) return floor + 1;
  if (fraction < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

std::optional<Integral> RoundReal(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double rounded = RoundHalfEven(value);
  if (std::fabs(rounded) >= kTwoTo64) return std::nullopt;
  return Integral{rounded < 0, static_cast<std::uint64_t>(std::fabs(rounded))};
}

Integral RoundCurrency(std::int64_t scaled) {
  const Integral value = FromSigned(scaled);
  std::uint64_t quotient = value.magnitude / kCurrencyScale;
  const std::uint64_t remainder = value.magnitude % kCurrencyScale;
  if (remainder > 5000 || (remainder == 5000 && quotient % 2 == 1)) ++quotient;
  return {value.negative, quotient};
}

std::optional<std::int64_t> ToSigned64(const Integral& value) {
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
  if (value.negative) {
    if (value.magnitude > kLimit) return std::nullopt;
    return value.magnitude == kLimit ? std::numeric_limits<std::int64_t>::min()
                                     : -static_cast<std::int64_t>(value.magnitude);
  }
  if (value.magnitude >= kLimit) return std::nullopt;
  return static_cast<std::int64_t>(value.magnitude);
}

// ---- numeric text --------------------------------------------------------

// digits × 10^exponent, digits without leading zeros ("" is zero).
struct DecimalText {
  bool negative = false;
  std::string digits;
  long exponent = 0;
};

std::optional<DecimalText> ParseDecimal(std::string_view text) {
  text = text::TrimSpaces(text);
  DecimalText decimal;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) decimal.negative = text[i++] == '-';
  std::size_t digitCount = 0;
  auto isDigit = [&](std::size_t at) {
    return at < text.size() && text[at] >= '0' && text[at] <= '9';
  };
  for (; isDigit(i); ++i, ++digitCount) decimal.digits += text[i];
  if (i < text.size() && text[i] == '.') {
    for (++i; isDigit(i); ++i, ++digitCount) {
      decimal.digits += text[i];
      --decimal.exponent;
    }
  }
  if (digitCount == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    if (!isDigit(i)) return std::nullopt;
    long exponent = 0;
    // Saturate: beyond this every value overflows or rounds to zero anyway.
    for (; isDigit(i); ++i) exponent = std::min(exponent * 10 + (text[i] - '0'), 100000L);
    decimal.exponent += negativeExponent ? -exponent : exponent;
  }
  if (i != text.size()) return std::nullopt;
  const std::size_t firstSignificant = decimal.digits.find_first_not_of('0');
  decimal.digits.erase(
      0, firstSignificant == std::string::npos ? decimal.digits.size() : firstSignificant);
  return decimal;
}

// round-half-even(value × 10^scale), exactly; nullopt when it exceeds 64 bits.
std::optional<Integral> ScaleDecimal(const DecimalText& decimal, long scale) {
  Integral result{decimal.negative, 0};
  if (decimal.digits.empty()) return result;
  const long exponent = decimal.exponent + scale;
  const long length = static_cast<long>(decimal.digits.size());
  const long integerLength = length + exponent;
  if (integerLength > 20) return std::nullopt;
  if (integerLength < 0) return result;
  auto append = [&](int digit) {
    if (result.magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    result.magnitude = result.magnitude * 10 + static_cast<std::uint64_t>(digit);
    return true;
  };
  for (long i = 0; i < integerLength; ++i) {
    if (!append(i < length ? decimal.digits[static_cast<std::size_t>(i)] - '0' : 0)) {
      return std::nullopt;
    }
  }
  if (integerLength < length) {
    const char first = decimal.digits[static_cast<std::size_t>(integerLength)];
    const bool moreAfter =
        decimal.digits.find_first_not_of('0', static_cast<std::size_t>(integerLength) + 1) !=
        std::string::npos;
    const bool roundUp = first > '5' || (first == '5' && (moreAfter || result.magnitude % 2 == 1));
    if (roundUp) {
      if (result.magnitude == std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
      ++result.magnitude;
    }
  }
  return result;
}

// S_OK, DISP_E_TYPEMISMATCH for text that is no number, DISP_E_OVERFLOW
// beyond the double range.
HResult ParseReal(std::string_view text, double& value) {
  const auto decimal = ParseDecimal(text);
  if (!decimal) return DISP_E_TYPEMISMATCH;
  std::string_view trimmed = text::TrimSpaces(text);
  if (trimmed.front() == '+') trimmed.remove_prefix(1);
  const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  if (error == std::errc::result_out_of_range) {
    if (static_cast<long>(decimal->digits.size()) + decimal->exponent > 0) return DISP_E_OVERFLOW;
    value = decimal->negative ? -0.0 : 0.0;
    return S_OK;
  }
  if (error != std::errc() || end != trimmed.data() + trimmed.size()) return DISP_E_TYPEMISMATCH;
  return S_OK;
}

// ---- formatting ------------------------------------------------------------

template <class Float>
std::string FormatReal(Float value, int significantDigits) {
  if (value == 0) return "0";  // also for -0, which clients never see as "-0"
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, significantDigits);
  std::string formatted(text, result.ptr);
  for (char& c : formatted) {
    if (c == 'e') c = 'E';
  }
  return formatted;
}

std::string FormatCurrency(std::int64_t scaled) {
  const Integral value = FromSigned(scaled);
  std::string text = value.negative ? "-" : "";
  text += std::to_string(value.magnitude / kCurrencyScale);
  std::uint64_t fraction = value.magnitude % kCurrencyScale;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction + kCurrencyScale).substr(1);
    digits.erase(digits.find_last_not_of('0') + 1);
    text += "." + digits;
  }
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// ---- numeric view of a source --------------------------------------------

// Every non-text scalar source seen as a number of one of three kinds.
struct Numeric {
  enum Kind { kInteger, kReal, kCurrency } kind = kInteger;
  Integral integer;
  double real = 0;
  std::int64_t currency = 0;
  bool fromBool = false;
};

HResult NumericOf(const Variant& source, Numeric& number) {
  switch (source.Type()) {
    case VT_EMPTY:
      number.integer = {};
      return S_OK;
    case VT_I1:
      number.integer = FromSigned(source.GetI1());
      return S_OK;
    case VT_I2:
      number.integer = FromSigned(source.GetI2());
      return S_OK;
    case VT_I4:
      number.integer = FromSigned(source.GetI4());
      return S_OK;
    case VT_INT:
      number.integer = FromSigned(source.GetInt());
      return S_OK;
    case VT_I8:
      number.integer = FromSigned(source.GetI8());
      return S_OK;
    case VT_UI1:
      number.integer = FromUnsigned(source.GetUI1());
      return S_OK;
    case VT_UI2:
      number.integer = FromUnsigned(source.GetUI2());
      return S_OK;
    case VT_UI4:
      number.integer = FromUnsigned(source.GetUI4());
      return S_OK;
    case VT_UINT:
      number.integer = FromUnsigned(source.GetUInt());
      return S_OK;
    case VT_UI8:
      number.integer = FromUnsigned(source.GetUI8());
      return S_OK;
    case VT_BOOL:
      number.integer = FromSigned(source.GetBool() ? -1 : 0);
      number.fromBool = true;
      return S_OK;
    case VT_R4:
      number.kind = Numeric::kReal;
      number.real = source.GetR4();
      return S_OK;
    case VT_R8:
      number.kind = Numeric::kReal;
      number.real = source.GetR8();
      return S_OK;
    case VT_DATE:
      number.kind = Numeric::kReal;
      number.real = source.GetDate();
      return S_OK;
    case VT_CY:
      number.kind = Numeric::kCurrency;
      number.currency = source.GetCurrency();
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

double RealOf(const Numeric& number) {
  switch (number.kind) {
    case Numeric::kInteger: {
      const double magnitude = static_cast<double>(number.integer.magnitude);
      return number.integer.negative ? -magnitude : magnitude;
    }
    case Numeric::kReal:
      return number.real;
    case Numeric::kCurrency:
      return static_cast<double>(number.currency) / kCurrencyScale;
  }
  return 0;
}

bool IsUnsignedTarget(VarType target) {
  return target == VT_UI1 || target == VT_UI2 || target == VT_UI4 || target == VT_UINT ||
         target == VT_UI8;
}

HResult FitInteger(const Integral& value, VarType target, Variant& out) {
  if (IsUnsignedTarget(target)) {
    if (value.negative && value.magnitude != 0) return DISP_E_OVERFLOW;
    const std::uint64_t v = value.magnitude;
    switch (target) {
      case VT_UI1:
        if (v > 0xFF) return DISP_E_OVERFLOW;
        out = Variant::UI1(static_cast<std::uint8_t>(v));
        return S_OK;
      case VT_UI2:
        if (v > 0xFFFF) return DISP_E_OVERFLOW;
        out = Variant::UI2(static_cast<std::uint16_t>(v));
        return S_OK;
      case VT_UI4:
      case VT_UINT:
        if (v > 0xFFFFFFFFu) return DISP_E_OVERFLOW;
        out = target == VT_UI4 ? Variant::UI4(static_cast<std::uint32_t>(v))
                               : Variant::UInt(static_cast<std::uint32_t>(v));
        return S_OK;
      default:
        out = Variant::UI8(v);
        return S_OK;
    }
  }
  const auto v = ToSigned64(value);
  if (!v) return DISP_E_OVERFLOW;
  switch (target) {
    case VT_I1:
      if (*v < -128 || *v > 127) return DISP_E_OVERFLOW;
      out = Variant::I1(static_cast<std::int8_t>(*v));
      return S_OK;
    case VT_I2:
      if (*v < -32768 || *v > 32767) return DISP_E_OVERFLOW;
      out = Variant::I2(static_cast<std::int16_t>(*v));
      return S_OK;
    case VT_I4:
    case VT_INT:
      if (*v < std::numeric_limits<std::int32_t>::min() ||
          *v > std::numeric_limits<std::int32_t>::max()) {
        return DISP_E_OVERFLOW;
      }
      out = target == VT_I4 ? Variant::I4(static_cast<std::int32_t>(*v))
                            : Variant::Int(static_cast<std::int32_t>(*v));
      return S_OK;
    default:
      out = Variant::I8(*v);
      return S_OK;
  }
}

// ---- conversions by target ---------------------------------------------------

HResult ToInteger(const Variant& source, VarType target, Variant& out) {
  if (source.Type() == VT_BSTR) {
    const auto decimal = ParseDecimal(source.GetString());
    if (!decimal) return DISP_E_TYPEMISMATCH;
    const auto value = ScaleDecimal(*decimal, 0);
    return value ? FitInteger(*value, target, out) : DISP_E_OVERFLOW;
  }
  Numeric number;
  if (const HResult hr = NumericOf(source, number); Failed(hr)) return hr;
  if (number.fromBool && IsUnsignedTarget(target)) {
    // VARIANT_TRUE is -1; unsigned targets take its bits, as Windows does.
    const std::uint64_t allBits = target == VT_UI1   ? 0xFFu
                                  : target == VT_UI2 ? 0xFFFFu
                                  : target == VT_UI8 ? ~std::uint64_t{0}
                                                     : 0xFFFFFFFFu;
    return FitInteger(Integral{false, number.integer.magnitude != 0 ? allBits : 0}, target, out);
  }
  switch (number.kind) {
    case Numeric::kInteger:
      return FitInteger(number.integer, target, out);
    case Numeric::kCurrency:
      return FitInteger(RoundCurrency(number.currency), target, out);
    case Numeric::kReal: {
      const auto rounded = RoundReal(number.real);
      return rounded ? FitInteger(*rounded, target, out) : DISP_E_OVERFLOW;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

HResult ToReal(const Variant& source, VarType target, Variant& out) {
  double value = 0;
  if (source.Type() == VT_BSTR) {
    if (const HResult hr = ParseReal(source.GetString(), value); Failed(hr)) return hr;
  } else {
    Numeric number;
    if (const HResult hr = NumericOf(source, number); Failed(hr)) return hr;
    value = RealOf(number);
  }
  if (target == VT_R8) {
    out = Variant::R8(value);
    return S_OK;
  }
  if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) {
    return DISP_E_OVERFLOW;
  }
  out = Variant::R4(static_cast<float>(value));
  return S_OK;
}

HResult ToCurrencyValue(const Variant& source, Variant& out) {
  std::optional<Integral> scaled;
  if (source.Type() == VT_BSTR) {
    const auto decimal = ParseDecimal(source.GetString());
    if (!decimal) return DISP_E_TYPEMISMATCH;
    scaled = ScaleDecimal(*decimal, 4);
  } else {
    Numeric number;
    if (const HResult hr = NumericOf(source, number); Failed(hr)) return hr;
    switch (number.kind) {
      case Numeric::kCurrency:
        scaled = FromSigned(number.currency);
        break;
      case Numeric::kInteger:
        if (number.integer.magnitude <=
            std::numeric_limits<std::uint64_t>::max() / kCurrencyScale) {
          scaled = Integral{number.integer.negative, number.integer.magnitude * kCurrencyScale};
        }
        break;
      case Numeric::kReal:
        scaled = RoundReal(number.real * kCurrencyScale);
        break;
    }
  }
  const auto value = scaled ? ToSigned64(*scaled) : std::nullopt;
  if (!value) return DISP_E_OVERFLOW;
  out = Variant::Currency(*value);
  return S_OK;
}

HResult ToDateValue(const Variant& source, Variant& out) {
  double value = 0;
  if (source.Type() == VT_BSTR) {
    const auto parsed = ParseOleDate(source.GetString());
    if (!parsed) return DISP_E_TYPEMISMATCH;
    value = *parsed;
  } else {
    Numeric number;
    if (const HResult hr = NumericOf(source, number); Failed(hr)) return hr;
    value = RealOf(number);
  }
  if (!IsOleDateInRange(value)) return DISP_E_OVERFLOW;
  out = Variant::Date(value);
  return S_OK;
}

HResult ToBoolean(const Variant& source, Variant& out) {
  if (source.Type() == VT_BSTR) {
    const std::string_view text = text::TrimSpaces(source.GetString());
    if (EqualsIgnoringCase(text, "True")) {
      out = Variant::Bool(true);
      return S_OK;
    }
    if (EqualsIgnoringCase(text, "False")) {
      out = Variant::Bool(false);
      return S_OK;
    }
    const auto decimal = ParseDecimal(text);
    if (!decimal) return DISP_E_TYPEMISMATCH;
    out = Variant::Bool(!decimal->digits.empty());
    return S_OK;
  }
  Numeric number;
  if (const HResult hr = NumericOf(source, number); Failed(hr)) return hr;
  switch (number.kind) {
    case Numeric::kInteger:
      out = Variant::Bool(number.integer.magnitude != 0);
      break;
    case Numeric::kCurrency:
      out = Variant::Bool(number.currency != 0);
      break;
    case Numeric::kReal:
      out = Variant::Bool(number.real != 0);
      break;
  }
  return S_OK;
}

HResult ToText(const Variant& source, Variant& out) {
  std::string text;
  switch (source.Type()) {
    case VT_EMPTY:
      break;
    case VT_BOOL:
      text = source.GetBool() ? "True" : "False";
      break;
    case VT_R4:
      text = FormatReal(source.GetR4(), 7);
      break;
    case VT_R8:
      text = FormatReal(source.GetR8(), 15);
      break;
    case VT_CY:
      text = FormatCurrency(source.GetCurrency());
      break;
    case VT_DATE: {
      auto formatted = FormatOleDate(source.GetDate());
      if (!formatted) return DISP_E_OVERFLOW;
      text = std::move(*formatted);
      break;
    }
    default: {
      Numeric number;
      if (const HResult hr = NumericOf(source, number); Failed(hr)) return hr;
      text = number.integer.negative ? "-" : "";
      text += std::to_string(number.integer.magnitude);
      break;
    }
  }
  out = Variant::String(std::move(text));
  return S_OK;
}

HResult Convert(const Variant& input, VarType target, Variant& out, int depth);

HResult ToArray(const Variant& source, VarType target, Variant& out) {
  if (!source.IsArray()) return DISP_E_TYPEMISMATCH;
  const SafeArray& from = source.GetArray();
  const VarType elementType = target & VT_TYPEMASK;
  if (from.ElementType() == elementType) {
    out = source;
    return S_OK;
  }
  SafeArray to(elementType, from.Bounds());
  if (from.ElementCount() > 0) {
    auto index = from.FirstIndex();
    do {
      Variant element;
      if (const HResult hr = Convert(from.Get(index), elementType, element, 0); Failed(hr)) {
        return hr;
      }
      to.Put(index, element);
    } while (from.NextIndex(index));
  }
  out = Variant::Array(std::move(to));
  return S_OK;
}

// The default member of an object, the way Automation reads an object as a value.
HResult DefaultValue(const Variant& source, Variant& value) {
  DispatchPtr object = source.Type() == VT_DISPATCH
                           ? source.GetDispatch()
                           : std::dynamic_pointer_cast<IDispatchObject>(source.GetUnknown());
  if (!object) return DISP_E_TYPEMISMATCH;
  const HResult hr =
      object->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, DispParams{}, &value, nullptr, nullptr);
  return Succeeded(hr) ? S_OK : DISP_E_TYPEMISMATCH;
}

HResult CheckTarget(VarType target) {
  if (target & VT_BYREF) return DISP_E_BADVARTYPE;
  if (target & VT_ARRAY) {
    return (target & ~(VT_ARRAY | VT_TYPEMASK)) == 0 && IsElementType(target & VT_TYPEMASK)
               ? S_OK
               : DISP_E_BADVARTYPE;
  }
  return target == VT_VARIANT || IsValueType(target) ? S_OK : DISP_E_BADVARTYPE;
}

HResult Convert(const Variant& input, VarType target, Variant& out, int depth) {
  if (const HResult hr = CheckTarget(target); Failed(hr)) return hr;
  const Variant& source = input.Deref();
  if (source.IsByRef()) return DISP_E_TYPEMISMATCH;
  if (target == VT_VARIANT || source.Type() == target) {
    out = source;
    return S_OK;
  }
  if (target & VT_ARRAY) return ToArray(source, target, out);
  if (source.IsArray() || source.IsNull()) return DISP_E_TYPEMISMATCH;

  const bool sourceIsObject = source.Type() == VT_DISPATCH || source.Type() == VT_UNKNOWN;
  if (target == VT_DISPATCH || target == VT_UNKNOWN) {
    if (source.IsEmpty()) {
      out = target == VT_DISPATCH ? Variant::Dispatch(nullptr) : Variant::Unknown(nullptr);
      return S_OK;
    }
    if (!sourceIsObject) return DISP_E_TYPEMISMATCH;
    if (target == VT_UNKNOWN) {
      out = Variant::Unknown(source.GetDispatch());
      return S_OK;
    }
    const UnknownPtr& object = source.GetUnknown();
    DispatchPtr dispatch = std::dynamic_pointer_cast<IDispatchObject>(object);
    if (object && !dispatch) return E_NOINTERFACE;
    out = Variant::Dispatch(std::move(dispatch));
    return S_OK;
  }
  if (sourceIsObject) {
    if (depth > 0) return DISP_E_TYPEMISMATCH;  // a default value that is itself an object
    Variant value;
    if (const HResult hr = DefaultValue(source, value); Failed(hr)) return hr;
    return Convert(value, target, out, depth + 1);
  }

  switch (target) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_ERROR:
      return DISP_E_TYPEMISMATCH;
    case VT_BSTR:
      return ToText(source, out);
    case VT_BOOL:
      return ToBoolean(source, out);
    case VT_R4:
    case VT_R8:
      return ToReal(source, target, out);
    case VT_CY:
      return ToCurrencyValue(source, out);
    case VT_DATE:
      return ToDateValue(source, out);
    default:
      return ToInteger(source, target, out);
  }
}

std::string FailureText(HResult hr, const Variant& source, VarType target) {
  const std::string what = VarTypeName(source.Type()) + " to " + VarTypeName(target);
  switch (hr) {
    case DISP_E_OVERFLOW:
      return "Overflow converting " + what;
    case DISP_E_BADVARTYPE:
      return "Invalid variant type converting " + what;
    case E_NOINTERFACE:
      return "Interface not supported converting " + what;
    default:
      return "Could not convert variant of type " + what;
  }
}

}  // namespace

HResult TryChangeType(const Variant& source, VarType target, Variant& result) {
  Variant converted;
  const HResult hr = Convert(source, target, converted, 0);
  if (Succeeded(hr)) result = std::move(converted);
  return hr;
}

Variant ChangeType(const Variant& source, VarType target) {
  Variant converted;
  const HResult hr = Convert(source, target, converted, 0);
  if (Failed(hr)) throw HResultError(hr, FailureText(hr, source.Deref(), target));
  return converted;
}

}  // namespace quor::com
