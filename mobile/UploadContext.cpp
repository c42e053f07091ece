#include "mobile/UploadContext.h"

#include <cerrno>
#include <cstdlib>

#include "platform/sql/RecordSet.h"
#include "platform/sql/Statement.h"

namespace quor::mobile {
namespace {

std::string FirstSelfId(sql::Statement& lookup) {
  sql::RecordSet& rows = lookup.Open();
  if (rows.Eof()) return {};
  return rows.FieldByName("SelfID").AsText();
}

}  // namespace

std::string LookUpSelfId(sql::Connection& connection, std::string_view table,
                         const std::string& code, const std::string& name) {
  std::string text = "SELECT SelfID FROM " + std::string(table) + " WHERE ";
  std::vector<std::string> values;
  if (!code.empty()) {
    text += "CodeName = ?";
    values.push_back(code);
  }
  if (!name.empty() || code.empty()) {
    if (!values.empty()) text += " AND ";
    text += "LongName = ?";
    values.push_back(name);
  }
  sql::Statement lookup(connection, "PhoneUploadLookup");
  lookup.SetParamCheck(false);
  lookup.SetText(text);
  for (std::string& value : values) {
    lookup.Params()
        .Add(sql::Parameter("", sql::ParamDirection::kInput))
        .SetValue(sql::Value::Text(std::move(value)));
  }
  return FirstSelfId(lookup);
}

std::string LookUpSelfIdByIndex(sql::Connection& connection, std::string_view table,
                                std::int64_t index) {
  sql::Statement lookup(connection, "PhoneUploadLookup");
  lookup.SetParamCheck(false);
  lookup.SetText("SELECT SelfID FROM " + std::string(table) + " WHERE [IndexID] = ?");
  lookup.Params()
      .Add(sql::Parameter("", sql::ParamDirection::kInput))
      .SetValue(sql::Value::Integer(index));
  return FirstSelfId(lookup);
}

std::optional<std::int64_t> WholeNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno == 0 && end != nullptr && *end == '\0') return value;
  // SQLite reads a REAL column's whole numbers back as "12.0".
  const double number = std::strtod(text.c_str(), &end);
  if (end != nullptr && *end == '\0' &&
      number == static_cast<double>(static_cast<long long>(number)) && number > -9.0e15 &&
      number < 9.0e15) {
    return static_cast<std::int64_t>(number);
  }
  return std::nullopt;
}

void BindPhoneId(SqliteStatement& statement, int index, const std::string& text) {
  if (const std::optional<std::int64_t> number = WholeNumber(text)) {
    statement.BindInteger(index, *number);
  } else {
    statement.BindText(index, text);
  }
}

}  // namespace quor::mobile
