// The one place where variants change type, by the VariantChangeType rules
// the clients rely on (English-locale Windows). Every conversion in the server
// (arguments of remote calls, array elements, by-reference write-back, the
// Variant::To... helpers) comes here, so the rules cannot drift apart.
//
// Rules, by target:
// - integers (I1 UI1 I2 UI2 I4 UI4 I8 UI8 INT UINT): empty -> 0; bool -> -1 / 0
//   (true is all bits set for unsigned targets); floats, dates, currency and
//   numeric strings round half to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2);
//   out of range -> DISP_E_OVERFLOW.
// - R4 / R8: empty -> 0; bool -> -1 / 0; currency / 10000; dates as their
//   number; numeric strings; an R8 beyond the R4 range -> DISP_E_OVERFLOW.
// - CY: the value times 10000, rounded half to even; out of range -> DISP_E_OVERFLOW.
// - DATE: numbers as OLE dates (outside 0100-01-01..9999-12-31 -> DISP_E_OVERFLOW);
//   strings as ParseOleDate reads them.
// - BOOL: empty -> false; numbers -> non-zero; strings "True" / "False" in any
//   letter case, or numeric strings.
// - BSTR: empty -> ""; integers in decimal; R8 with up to 15 significant digits
//   and R4 with up to 7 (so 0.1 + 0.2 is "0.3", as the clients show it), an
//   exponent written "1E+20"; currency with up to four decimals ("1.5");
//   bool -> "True" / "False" (the English names clients show and send back);
//   dates as FormatOleDate.
// - Numeric strings: optional spaces around, optional sign, digits with an
//   optional decimal point, optional exponent; nothing else (no thousands
//   separators, no currency signs, no hex). Anything else -> DISP_E_TYPEMISMATCH.
// - From null: DISP_E_TYPEMISMATCH for every target but VT_NULL and VT_VARIANT.
// - From an object: its default member (DISPID_VALUE, property get) is
//   converted; a null object or one without a default value -> DISP_E_TYPEMISMATCH.
// - DISPATCH / UNKNOWN: from an object of that kind (E_NOINTERFACE when an
//   unknown object is not a dispatch object), empty -> a null object.
// - ERROR: only from ERROR. EMPTY: only from EMPTY. NULL: only from NULL.
// - VT_VARIANT: the value unchanged (references resolved); the argument type
//   "any" of a dispatch table.
// - Arrays: from an array, element by element with the same bounds; arrays
//   convert to nothing else and nothing else converts to an array.
// - The source may be a reference: its target is converted. A reference type,
//   VT_DECIMAL or an unknown VarType as target -> DISP_E_BADVARTYPE.
#pragma once

#include "platform/com/HResult.h"
#include "platform/com/VarType.h"
#include "platform/com/Variant.h"

namespace quor::com {

// Throws HResultError with DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW,
// DISP_E_BADVARTYPE or E_NOINTERFACE and a message naming both types.
Variant ChangeType(const Variant& source, VarType target);

// The same without exceptions for the common failures: S_OK with the value in
// result, or the failure's HRESULT with result left untouched.
HResult TryChangeType(const Variant& source, VarType target, Variant& result);

}  // namespace quor::com
