#include "FieldTypeOrdinal.h"

#include <sql.h>
#include <sqlext.h>

namespace quor::datasnap {
namespace {

FieldTypeOrdinal FromValueKind(sql::ValueKind kind) {
  switch (kind) {
    case sql::ValueKind::kBoolean:
      return FieldTypeOrdinal::kBoolean;
    case sql::ValueKind::kInteger:
      return FieldTypeOrdinal::kInteger;
    case sql::ValueKind::kDouble:
      return FieldTypeOrdinal::kFloat;
    case sql::ValueKind::kDecimal:
      return FieldTypeOrdinal::kBcd;
    case sql::ValueKind::kDateTime:
      return FieldTypeOrdinal::kDateTime;
    case sql::ValueKind::kText:
      return FieldTypeOrdinal::kString;
    case sql::ValueKind::kBytes:
      return FieldTypeOrdinal::kBlob;
    case sql::ValueKind::kNull:
      break;
  }
  return FieldTypeOrdinal::kUnknown;
}

}  // namespace

FieldTypeOrdinal FieldTypeOfParameter(const sql::Parameter& parameter) {
  switch (parameter.SqlType()) {
    case SQL_CHAR:
      return FieldTypeOrdinal::kFixedChar;
    case SQL_VARCHAR:
      return FieldTypeOrdinal::kString;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      return FieldTypeOrdinal::kWideString;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      return FieldTypeOrdinal::kMemo;
    case SQL_TINYINT:
      return FieldTypeOrdinal::kWord;
    case SQL_SMALLINT:
      return FieldTypeOrdinal::kSmallint;
    case SQL_INTEGER:
      return FieldTypeOrdinal::kInteger;
    case SQL_BIGINT:
      return FieldTypeOrdinal::kLargeint;
    case SQL_BIT:
      return FieldTypeOrdinal::kBoolean;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return FieldTypeOrdinal::kFloat;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return FieldTypeOrdinal::kBcd;
    case SQL_TYPE_DATE:
      return FieldTypeOrdinal::kDate;
    case SQL_TYPE_TIME:
      return FieldTypeOrdinal::kTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return FieldTypeOrdinal::kDateTime;
    case SQL_BINARY:
      return FieldTypeOrdinal::kBytes;
    case SQL_VARBINARY:
      return FieldTypeOrdinal::kVarBytes;
    case SQL_LONGVARBINARY:
      return FieldTypeOrdinal::kBlob;
    case SQL_GUID:
      return FieldTypeOrdinal::kGuid;
    case 0:
      return FromValueKind(parameter.GetValue().Kind());
    default:
      return FieldTypeOrdinal::kUnknown;
  }
}

}  // namespace quor::datasnap
