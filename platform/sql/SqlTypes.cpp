#include <sql.h>
#include <sqlext.h>

#include "platform/sql/Value.h"

namespace quor::sql {

std::optional<ValueKind> ValueKindOfSqlType(short sqlType) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return ValueKind::kText;
    case SQL_BIT:
      return ValueKind::kBoolean;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return ValueKind::kInteger;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ValueKind::kDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return ValueKind::kDecimal;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
      return ValueKind::kDateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return ValueKind::kBytes;
    default:
      return std::nullopt;
  }
}

}  // namespace quor::sql
