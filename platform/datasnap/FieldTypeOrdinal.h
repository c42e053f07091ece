// The field type ordinals of the provider runtime, as parameter arrays carry
// them in element 2 ([name, value, data type, direction]). Clients send these
// numbers back unchanged, so they are fixed.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/sql/Parameter.h"

namespace quor::datasnap {

enum class FieldTypeOrdinal : std::int32_t {
  kUnknown = 0,
  kString = 1,
  kSmallint = 2,
  kInteger = 3,
  kWord = 4,
  kBoolean = 5,
  kFloat = 6,
  kCurrency = 7,
  kBcd = 8,
  kDate = 9,
  kTime = 10,
  kDateTime = 11,
  kBytes = 12,
  kVarBytes = 13,
  kAutoInc = 14,
  kBlob = 15,
  kMemo = 16,
  kGraphic = 17,
  kFmtMemo = 18,
  kParadoxOle = 19,
  kDBaseOle = 20,
  kTypedBinary = 21,
  kCursor = 22,
  kFixedChar = 23,
  kWideString = 24,
  kLargeint = 25,
  kAdt = 26,
  kArray = 27,
  kReference = 28,
  kDataSet = 29,
  kOraBlob = 30,
  kOraClob = 31,
  kVariant = 32,
  kInterface = 33,
  kIDispatch = 34,
  kGuid = 35,
  kTimeStamp = 36,
  kFmtBcd = 37,
};

inline constexpr std::int32_t kLastFieldTypeOrdinal = 37;

// The ordinal a parameter is reported with: from its declared SQL type as the
// ADO provider mapped it (varchar string, nvarchar wide string, decimal and
// money BCD, ...), or from its value when the server declared none.
FieldTypeOrdinal FieldTypeOfParameter(const sql::Parameter& parameter);

// The SQL type (and SQL Server's name for it) a parameter takes when a client
// sets its data type to `ordinal`, chosen so that FieldTypeOfParameter reports
// the same ordinal again; nullopt for ordinals without a SQL type of their own
// (unknown, currency, cursors, objects, ...), which keep the declared type.
struct SqlTypeChoice {
  short sqlType;
  const char* typeName;
};
std::optional<SqlTypeChoice> SqlTypeOfFieldType(FieldTypeOrdinal ordinal);

}  // namespace quor::datasnap
