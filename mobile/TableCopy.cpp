#include "mobile/TableCopy.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/sql/RecordSet.h"
#include "platform/sql/Statement.h"

namespace quor::mobile {
namespace {

std::string PhoneText(const std::string& text) {
  if (text.find('"') == std::string::npos) return text;
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '"') {
      out += "\xE2\x80\x9D";  // ”
    } else {
      out += c;
    }
  }
  return out;
}

std::string QuotedName(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

bool FitsInteger(double value) {
  return std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 9.0e15;
}

void BindNumber(SqliteStatement& insert, int index, double value) {
  if (FitsInteger(value)) {
    insert.BindInteger(index, static_cast<std::int64_t>(value));
  } else {
    insert.BindDouble(index, value);
  }
}

// Exact decimals ("12.0000", "-3.25") keep whole values exact as integers.
void BindDecimal(SqliteStatement& insert, int index, const std::string& text) {
  const std::size_t point = text.find('.');
  const bool whole =
      point == std::string::npos || text.find_first_not_of('0', point + 1) == std::string::npos;
  const std::string integral = point == std::string::npos ? text : text.substr(0, point);
  if (whole && integral.size() <= 18) {
    insert.BindInteger(index, std::strtoll(integral.c_str(), nullptr, 10));
  } else {
    insert.BindDouble(index, std::strtod(text.c_str(), nullptr));
  }
}

void BindValue(SqliteStatement& insert, int index, const sql::Value& value) {
  switch (value.Kind()) {
    case sql::ValueKind::kNull:
      insert.BindNull(index);
      break;
    case sql::ValueKind::kBoolean:
      insert.BindInteger(index, value.AsBoolean() ? 1 : 0);
      break;
    case sql::ValueKind::kInteger:
      insert.BindInteger(index, value.AsInteger());
      break;
    case sql::ValueKind::kDouble:
      BindNumber(insert, index, value.AsDouble());
      break;
    case sql::ValueKind::kDecimal:
      BindDecimal(insert, index, value.DecimalText());
      break;
    case sql::ValueKind::kDateTime:
      insert.BindText(index, value.AsText());
      break;
    case sql::ValueKind::kText:
      insert.BindText(index, PhoneText(value.AsText()));
      break;
    case sql::ValueKind::kBytes: {
      const std::vector<std::uint8_t> bytes = value.AsBytes();
      insert.BindBlob(index, bytes.data(), bytes.size());
      break;
    }
  }
}

}  // namespace

std::size_t CopyQueryIntoTable(sql::Connection& connection, SqliteFile& file,
                               std::string_view table, const std::string& query) {
  sql::Statement select(connection, "PhoneDownload");
  select.SetParamCheck(false);
  select.SetText(query);
  // The rows of a big account set take longer than ADO's 30 seconds to stream.
  select.SetCommandTimeout(0);
  sql::RecordSet& rows = select.Open(kCopyBlockRows);

  std::string columns;
  std::string markers;
  for (const sql::Field& field : rows.Fields()) {
    if (!columns.empty()) {
      columns += ",";
      markers += ",";
    }
    columns += QuotedName(field.name);
    markers += "?";
  }
  SqliteStatement insert = file.Prepare("INSERT INTO " + std::string(table) + " (" + columns +
                                        ") VALUES (" + markers + ")");
  const std::size_t width = rows.Fields().size();
  std::size_t copied = 0;
  do {
    for (const sql::Row& row : rows.Rows()) {
      for (std::size_t i = 0; i < width && i < row.size(); ++i) {
        BindValue(insert, static_cast<int>(i + 1), row[i]);
      }
      insert.Run();
      insert.Reset();
      ++copied;
    }
  } while (rows.ReadNextBlock() > 0);
  select.Close();
  return copied;
}

}  // namespace quor::mobile
