// The description of one column of a result set, with the raw type information
// that the data packet writer and the variant conversions need later.
#pragma once

#include <cstddef>
#include <string>

#include "Value.h"

namespace quor::sql {

struct Field {
  std::string name;
  short sqlType = 0;     // ODBC SQL type code (SQL_INTEGER, SQL_WVARCHAR, SQL_DECIMAL, ...)
  std::string typeName;  // SQL Server's own name: "int", "money", "nvarchar", "image", ...
  std::size_t size = 0;  // characters for text, bytes for binary, digits for numbers
  int precision = 0;
  int scale = 0;
  bool nullable = true;
  ValueKind kind = ValueKind::kText;  // the kind every non-null value of the column has
};

}  // namespace quor::sql
