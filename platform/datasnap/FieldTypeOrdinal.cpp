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

std::optional<SqlTypeChoice> SqlTypeOfFieldType(FieldTypeOrdinal ordinal) {
  switch (ordinal) {
    case FieldTypeOrdinal::kFixedChar:
      return SqlTypeChoice{SQL_CHAR, "char"};
    case FieldTypeOrdinal::kString:
      return SqlTypeChoice{SQL_VARCHAR, "varchar"};
    case FieldTypeOrdinal::kWideString:
      return SqlTypeChoice{SQL_WVARCHAR, "nvarchar"};
    case FieldTypeOrdinal::kMemo:
    case FieldTypeOrdinal::kFmtMemo:
      return SqlTypeChoice{SQL_LONGVARCHAR, "text"};
    case FieldTypeOrdinal::kWord:
      return SqlTypeChoice{SQL_TINYINT, "tinyint"};
    case FieldTypeOrdinal::kSmallint:
      return SqlTypeChoice{SQL_SMALLINT, "smallint"};
    case FieldTypeOrdinal::kInteger:
    case FieldTypeOrdinal::kAutoInc:
      return SqlTypeChoice{SQL_INTEGER, "int"};
    case FieldTypeOrdinal::kLargeint:
      return SqlTypeChoice{SQL_BIGINT, "bigint"};
    case FieldTypeOrdinal::kBoolean:
      return SqlTypeChoice{SQL_BIT, "bit"};
    case FieldTypeOrdinal::kFloat:
      return SqlTypeChoice{SQL_DOUBLE, "float"};
    case FieldTypeOrdinal::kBcd:
    case FieldTypeOrdinal::kFmtBcd:
      return SqlTypeChoice{SQL_DECIMAL, "decimal"};
    case FieldTypeOrdinal::kDate:
      return SqlTypeChoice{SQL_TYPE_DATE, "date"};
    case FieldTypeOrdinal::kTime:
      return SqlTypeChoice{SQL_TYPE_TIME, "time"};
    case FieldTypeOrdinal::kDateTime:
    case FieldTypeOrdinal::kTimeStamp:
      return SqlTypeChoice{SQL_TYPE_TIMESTAMP, "datetime"};
    case FieldTypeOrdinal::kBytes:
      return SqlTypeChoice{SQL_BINARY, "binary"};
    case FieldTypeOrdinal::kVarBytes:
      return SqlTypeChoice{SQL_VARBINARY, "varbinary"};
    case FieldTypeOrdinal::kBlob:
    case FieldTypeOrdinal::kGraphic:
    case FieldTypeOrdinal::kTypedBinary:
      return SqlTypeChoice{SQL_LONGVARBINARY, "image"};
    case FieldTypeOrdinal::kGuid:
      return SqlTypeChoice{SQL_GUID, "uniqueidentifier"};
    default:
      return std::nullopt;
  }
}

}  // namespace quor::datasnap
