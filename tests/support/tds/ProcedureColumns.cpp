#include "tests/support/tds/ProcedureColumns.h"

namespace quor::test::tds {
namespace {

// ODBC SQL data type codes and SQL Server's own type codes (SS_DATA_TYPE).
struct TypeFacts {
  int dataType;       // ODBC 3
  int dataTypeOdbc2;  // where ODBC 2 differs
  Value precision;
  Value length;
  Value scale;
  Value radix;
  int sqlDataType;
  Value datetimeSub;
  Value octetLength;
  int ssDataType;
};

TypeFacts Facts(const ParamDecl& p) {
  int size = p.size;
  bool max = size <= 0;
  int precision = p.precision > 0 ? p.precision : 18;
  switch (p.type) {
    case SqlType::Int:
      return {4, 4, 10, 4, 0, 10, 4, nullptr, nullptr, 38};
    case SqlType::SmallInt:
      return {5, 5, 5, 2, 0, 10, 5, nullptr, nullptr, 38};
    case SqlType::TinyInt:
      return {-6, -6, 3, 1, 0, 10, -6, nullptr, nullptr, 38};
    case SqlType::BigInt:
      return {-5, -5, 19, 8, 0, 10, -5, nullptr, nullptr, 38};
    case SqlType::Bit:
      return {-7, -7, 1, 1, nullptr, nullptr, -7, nullptr, nullptr, 50};
    case SqlType::Float:
      return {6, 6, 53, 8, nullptr, 2, 6, nullptr, nullptr, 109};
    case SqlType::Real:
      return {7, 7, 24, 4, nullptr, 2, 7, nullptr, nullptr, 109};
    case SqlType::Decimal:
      return {3, 3, precision, precision + 2, p.scale, 10, 3, nullptr, nullptr, 106};
    case SqlType::Numeric:
      return {2, 2, precision, precision + 2, p.scale, 10, 2, nullptr, nullptr, 108};
    case SqlType::Money:
      return {3, 3, 19, 21, 4, 10, 3, nullptr, nullptr, 110};
    case SqlType::DateTime:
      return {93, 11, 23, 16, 3, nullptr, 9, 3, nullptr, 111};
    case SqlType::Char:
      return {1, 1, size, size, nullptr, nullptr, 1, nullptr, size, 47};
    case SqlType::VarChar:
      return {12,      12, max ? 0 : size, max ? 0 : size, nullptr,
              nullptr, 12, nullptr,        max ? 0 : size, 39};
    case SqlType::NChar:
      return {-8, -8, size, size * 2, nullptr, nullptr, -8, nullptr, size * 2, 39};
    case SqlType::NVarChar:
      return {-9,      -9, max ? 0 : size, max ? 0 : size * 2, nullptr,
              nullptr, -9, nullptr,        max ? 0 : size * 2, 39};
    case SqlType::Text:
      return {-1, -1, 2147483647, 2147483647, nullptr, nullptr, -1, nullptr, 2147483647, 35};
    case SqlType::NText:
      return {-10, -10, 1073741823, 2147483646, nullptr, nullptr, -10, nullptr, 2147483646, 35};
    case SqlType::VarBinary:
      return {-3,      -3, max ? 0 : size, max ? 0 : size, nullptr,
              nullptr, -3, nullptr,        max ? 0 : size, 37};
    case SqlType::Image:
      return {-4, -4, 2147483647, 2147483647, nullptr, nullptr, -4, nullptr, 2147483647, 34};
  }
  return {};
}

std::vector<Column> Layout() {
  auto text = [](const char* name, int size) { return Column{name, SqlType::NVarChar, size}; };
  auto small = [](const char* name) { return Column{name, SqlType::SmallInt}; };
  auto integer = [](const char* name) { return Column{name, SqlType::Int}; };
  return {
      text("PROCEDURE_QUALIFIER", 128),
      text("PROCEDURE_OWNER", 128),
      text("PROCEDURE_NAME", 134),
      text("COLUMN_NAME", 128),
      small("COLUMN_TYPE"),
      small("DATA_TYPE"),
      text("TYPE_NAME", 128),
      integer("PRECISION"),
      integer("LENGTH"),
      small("SCALE"),
      small("RADIX"),
      small("NULLABLE"),
      Column{"REMARKS", SqlType::VarChar, 254},
      text("COLUMN_DEF", 4000),
      small("SQL_DATA_TYPE"),
      small("SQL_DATETIME_SUB"),
      integer("CHAR_OCTET_LENGTH"),
      integer("ORDINAL_POSITION"),
      Column{"IS_NULLABLE", SqlType::VarChar, 254},
      Column{"SS_DATA_TYPE", SqlType::TinyInt},
  };
}

std::string TextArg(const std::map<std::string, Value>& args, const char* name) {
  auto it = args.find(name);
  if (it == args.end() || it->second.IsNull()) return {};
  if (it->second.GetKind() == Value::Kind::Text) return it->second.AsText();
  return it->second.ToString();
}

}  // namespace

Reply ProcedureColumnsReply(const ScriptBook& book, const std::string& database,
                            const std::map<std::string, Value>& args) {
  std::string qualifier = TextArg(args, "procedure_qualifier");
  if (!qualifier.empty() && Lower(qualifier) != Lower(database)) {
    throw ServerErrorException(
        {15250, 1, 16,
         "The database name component of the object qualifier must be the name of "
         "the current database."});
  }
  std::string namePattern = TextArg(args, "procedure_name");
  std::string ownerPattern = TextArg(args, "procedure_owner");
  std::string columnPattern = TextArg(args, "column_name");
  bool odbc2 = TextArg(args, "odbcver") == "2";
  if (namePattern.empty()) namePattern = "%";

  Reply reply;
  ResultSet rs;
  rs.columns = Layout();
  if (!ownerPattern.empty() && !LikeMatch("dbo", ownerPattern)) {
    reply.resultSets.push_back(std::move(rs));
    return reply;
  }
  for (const ProcedureDecl& decl : book.ProceduresLike(namePattern, database)) {
    std::string procName = decl.name;
    if (auto semi = procName.rfind(';'); semi != std::string::npos) procName.resize(semi);
    procName += ";1";
    ParamDecl returnValue;
    returnValue.name = "@RETURN_VALUE";
    std::vector<const ParamDecl*> params{&returnValue};
    for (const ParamDecl& p : decl.params) params.push_back(&p);
    for (std::size_t i = 0; i < params.size(); ++i) {
      const ParamDecl& p = *params[i];
      if (!columnPattern.empty() && !LikeMatch(p.name, columnPattern)) continue;
      TypeFacts f = Facts(p);
      bool isReturn = i == 0;
      int columnType = isReturn ? 5 : p.direction == ParamDirection::InputOutput ? 2 : 1;
      rs.rows.push_back({
          database,
          "dbo",
          procName,
          p.name,
          columnType,
          odbc2 ? f.dataTypeOdbc2 : f.dataType,
          std::string(SqlTypeName(p.type)),
          f.precision,
          f.length,
          f.scale,
          f.radix,
          isReturn ? 0 : 1,
          nullptr,
          nullptr,  // SQL Server does not report the defaults of T-SQL procedure parameters
          f.sqlDataType,
          f.datetimeSub,
          f.octetLength,
          static_cast<int>(i),
          isReturn ? "NO" : "YES",
          isReturn ? 56 : f.ssDataType,
      });
    }
  }
  reply.resultSets.push_back(std::move(rs));
  return reply;
}

}  // namespace quor::test::tds
