// OLE Automation VARTYPE numbers (the low 16 bits of a variant's type word on
// the wire) and the small facts about them that variants, arrays and the wire
// share: names for messages, valid types, and element sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quor::com {

using VarType = std::uint16_t;

// Windows names, as the wire and the clients know them.
inline constexpr VarType VT_EMPTY = 0;
inline constexpr VarType VT_NULL = 1;
inline constexpr VarType VT_I2 = 2;
inline constexpr VarType VT_I4 = 3;
inline constexpr VarType VT_R4 = 4;
inline constexpr VarType VT_R8 = 5;
inline constexpr VarType VT_CY = 6;    // int64 scaled by 10000
inline constexpr VarType VT_DATE = 7;  // double, days since 1899-12-30
inline constexpr VarType VT_BSTR = 8;  // UTF-8 inside; the wire converts
inline constexpr VarType VT_DISPATCH = 9;
inline constexpr VarType VT_ERROR = 10;    // an SCODE
inline constexpr VarType VT_BOOL = 11;     // VARIANT_BOOL: -1 true, 0 false
inline constexpr VarType VT_VARIANT = 12;  // only as array element or by-reference target
inline constexpr VarType VT_UNKNOWN = 13;
inline constexpr VarType VT_DECIMAL = 14;  // not supported: the wire carries no body for it
inline constexpr VarType VT_I1 = 16;
inline constexpr VarType VT_UI1 = 17;
inline constexpr VarType VT_UI2 = 18;
inline constexpr VarType VT_UI4 = 19;
inline constexpr VarType VT_I8 = 20;
inline constexpr VarType VT_UI8 = 21;
inline constexpr VarType VT_INT = 22;
inline constexpr VarType VT_UINT = 23;
inline constexpr VarType VT_ARRAY = 0x2000;
inline constexpr VarType VT_BYREF = 0x4000;
inline constexpr VarType VT_TYPEMASK = 0x0FFF;

// A base type (no flags) that a Variant can hold: all of the above except
// VT_VARIANT and VT_DECIMAL.
bool IsValueType(VarType base);
// A base type that may be an array's element type: the value types other than
// VT_EMPTY and VT_NULL, plus VT_VARIANT.
bool IsElementType(VarType base);
// Bytes per element for element types stored as raw little-endian values
// (integers, floats, currency, date, error, bool); 0 for the others (strings,
// variants, object references), which are stored one Variant per element.
std::size_t RawElementSize(VarType base);

// "VT_I4", "VT_ARRAY|VT_UI1", "VT_BYREF|VT_VARIANT"; unknown bases as "VT_0x18".
std::string VarTypeName(VarType type);

}  // namespace quor::com
