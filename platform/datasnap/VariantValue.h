// The one place where values cross between the COM side (variants from and to
// clients) and the SQL side (parameter and field values). Every parameter
// assignment, packed parameter array and output read goes through here.
#pragma once

#include "FieldTypeOrdinal.h"
#include "platform/com/Variant.h"
#include "platform/sql/Value.h"

namespace quor::datasnap {

// Empty, null and a missing optional argument become NULL; integers, floats,
// booleans, dates and strings keep their kind; currency becomes an exact
// decimal; a one-dimensional byte array becomes bytes. References are followed.
// Other arrays and objects have no SQL form: sql::ConversionError.
sql::Value ToSqlValue(const com::Variant& value);

// NULL stays null; integers become VT_I4 (VT_I8 beyond its range); doubles and
// decimals VT_R8 (decimal support is off, as on the server's datasets);
// date-times VT_DATE; texts VT_BSTR; bytes a zero-based byte array.
com::Variant ToVariant(const sql::Value& value);

// The value converted for a parameter whose data type a client set to
// `dataType` (VT_... conversions by the variant rules): strings and memos to
// text, integer kinds to integers, floats and currency to doubles, dates and
// times to date-times, byte kinds to bytes. NULL and empty stay NULL; unknown
// and other kinds keep the value as it is. Throws com::HResultError or
// sql::ConversionError when the value does not convert.
sql::Value ToSqlValueAs(const com::Variant& value, FieldTypeOrdinal dataType);

}  // namespace quor::datasnap
