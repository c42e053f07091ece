#include "UpdateResolver.h"

#include <stdexcept>
#include <utility>
#include <vector>

#include "DataPacketWriter.h"
#include "PacketField.h"
#include "PacketFormat.h"
#include "platform/sql/SqlError.h"
#include "platform/sql/Statement.h"
#include "platform/sql/Transaction.h"
#include "platform/text/AsciiText.h"

namespace quor::datasnap {
namespace {

constexpr std::uint16_t kTypeMask = 0x3F;
constexpr std::size_t kErrorMessageWidth = 1024;

std::string QuoteName(const std::string& name) {
  std::string quoted = "[";
  for (const char c : name) {
    quoted += c;
    if (c == ']') quoted += ']';
  }
  return quoted + "]";
}

bool IsBlob(ValueForm form) {
  return form == ValueForm::kAnsiBlob || form == ValueForm::kUnicodeBlob ||
         form == ValueForm::kBinaryBlob;
}

// A delta field as a column the packet writer describes with the same type.
sql::Field ColumnOf(const DeltaField& field) {
  sql::Field column;
  column.name = field.name;
  column.nullable = true;
  const bool isSigned = (field.type & kTypeMask) == packet::kSignedInteger;
  switch (field.type & kTypeMask) {
    case packet::kSignedInteger:
    case packet::kUnsignedInteger:
      column.kind = sql::ValueKind::kInteger;
      column.typeName = field.size == 8   ? "bigint"
                        : field.size == 4 ? "int"
                        : field.size == 2 ? (isSigned ? "smallint" : "int")
                                          : (isSigned ? "smallint" : "tinyint");
      break;
    case packet::kBoolean:
      column.kind = sql::ValueKind::kBoolean;
      column.typeName = "bit";
      break;
    case packet::kFloat:
      column.kind = sql::ValueKind::kDouble;
      column.typeName = "float";
      break;
    case packet::kDate:
      column.kind = sql::ValueKind::kDateTime;
      column.typeName = "date";
      break;
    case packet::kTime:
      column.kind = sql::ValueKind::kDateTime;
      column.typeName = "time";
      break;
    case packet::kTimestamp:
      column.kind = sql::ValueKind::kDateTime;
      column.typeName = "datetime";
      break;
    case packet::kAnsiString:
      column.typeName = "varchar";
      column.size = field.width != 0 ? field.width : 255;
      break;
    case packet::kUnicodeString:
      column.typeName = "nvarchar";
      column.size = field.width != 0 ? field.width : 255;
      break;
    default:
      if (field.subtype == "Text" || field.subtype == "Memo") {
        column.typeName = "text";
      } else if (field.subtype == "WideText") {
        column.typeName = "ntext";
      } else {
        column.kind = sql::ValueKind::kBytes;
        column.typeName = field.subtype == "Graphics" ? "image" : "varbinary";
      }
      break;
  }
  return column;
}

sql::Field ErrorColumn(const char* name, const char* typeName, sql::ValueKind kind,
                       std::size_t size) {
  sql::Field column;
  column.name = name;
  column.typeName = typeName;
  column.kind = kind;
  column.size = size;
  column.nullable = false;
  return column;
}

class ErrorPacket {
 public:
  explicit ErrorPacket(const Delta& delta) : width_(delta.fields.size()) {
    std::vector<sql::Field> columns;
    for (const DeltaField& field : delta.fields) columns.push_back(ColumnOf(field));
    columns.push_back(ErrorColumn("ERROR_RECORDNO", "int", sql::ValueKind::kInteger, 10));
    columns.push_back(
        ErrorColumn("ERROR_MESSAGE", "nvarchar", sql::ValueKind::kText, kErrorMessageWidth));
    columns.push_back(ErrorColumn("ERROR_CODE", "int", sql::ValueKind::kInteger, 10));
    writer_.emplace(columns);
  }

  void Add(std::size_t recordIndex, std::vector<sql::Value> values, const std::string& message,
           int code) {
    values.resize(width_);
    values.push_back(sql::Value::Integer(static_cast<std::int64_t>(recordIndex) + 1));
    values.push_back(sql::Value::Text(message));
    values.push_back(sql::Value::Integer(code));
    try {
      writer_->AddRow(values);
    } catch (const PacketError&) {
      // A value the client's own field cannot hold back: the error still goes out.
      for (std::size_t i = 0; i < width_; ++i) values[i] = sql::Value();
      writer_->AddRow(values);
    }
  }

  com::Variant Finish() {
    if (writer_->RecordCount() == 0) return com::Variant::Null();
    return com::Variant::Bytes(writer_->Finish());
  }

 private:
  std::size_t width_;
  std::optional<DataPacketWriter> writer_;
};

// The values a record stands for: those of the unchanged record it follows,
// with the modification's changes applied over them.
std::vector<sql::Value> MergedValues(const DeltaRecord* original, const DeltaRecord& record) {
  std::vector<sql::Value> values(record.values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (record.cells[i] == DeltaCell::kNotChanged) {
      if (original != nullptr) values[i] = original->values[i];
    } else {
      values[i] = record.values[i];
    }
  }
  return values;
}

bool LimitReached(std::int32_t errorCount, std::int32_t maxErrors) {
  return maxErrors >= 0 && errorCount > maxErrors;
}

struct Column {
  const sql::Field* field;
  std::string quoted;
  bool blob;
  bool readOnly;
};

sql::Parameter ParameterFor(const sql::Field& field, sql::Value value) {
  sql::Parameter parameter("", sql::ParamDirection::kInput, field.sqlType, field.typeName,
                           field.size, field.precision, field.scale);
  parameter.SetValue(std::move(value));
  return parameter;
}

struct Command {
  std::string text;
  std::vector<sql::Parameter> params;
  bool needsRow = true;  // a statement that touches no row is the record's error
};

// "WHERE [a] = ? AND [b] IS NULL" from the original values; false when no field
// can identify the row (every one is a blob).
bool AppendWhere(Command& command, const std::vector<Column>& columns,
                 const DeltaRecord& original) {
  std::string where;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].blob || original.cells[i] == DeltaCell::kNotChanged) continue;
    where += where.empty() ? " WHERE " : " AND ";
    if (original.cells[i] == DeltaCell::kNull) {
      where += columns[i].quoted + " IS NULL";
    } else {
      where += columns[i].quoted + " = ?";
      command.params.push_back(ParameterFor(*columns[i].field, original.values[i]));
    }
  }
  command.text += where;
  return !where.empty();
}

std::optional<Command> InsertCommand(const std::string& table, const std::vector<Column>& columns,
                                     const DeltaRecord& record) {
  Command command;
  std::string names;
  std::string markers;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].readOnly || record.cells[i] != DeltaCell::kValue) continue;
    if (!names.empty()) {
      names += ", ";
      markers += ", ";
    }
    names += columns[i].quoted;
    markers += "?";
    command.params.push_back(ParameterFor(*columns[i].field, record.values[i]));
  }
  command.text = names.empty()
                     ? "INSERT INTO " + table + " DEFAULT VALUES"
                     : "INSERT INTO " + table + " (" + names + ") VALUES (" + markers + ")";
  return command;
}

std::optional<Command> UpdateCommand(const std::string& table, const std::vector<Column>& columns,
                                     const DeltaRecord& original, const DeltaRecord& record) {
  Command command;
  std::string sets;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].readOnly || record.cells[i] == DeltaCell::kNotChanged) continue;
    sets += sets.empty() ? "" : ", ";
    if (record.cells[i] == DeltaCell::kNull) {
      sets += columns[i].quoted + " = NULL";
    } else {
      sets += columns[i].quoted + " = ?";
      command.params.push_back(ParameterFor(*columns[i].field, record.values[i]));
    }
  }
  if (sets.empty()) return std::nullopt;  // nothing changed
  command.text = "UPDATE " + table + " SET " + sets;
  if (!AppendWhere(command, columns, original)) {
    throw std::runtime_error("the record has no field its row could be found by");
  }
  return command;
}

Command DeleteCommand(const std::string& table, const std::vector<Column>& columns,
                      const DeltaRecord& original) {
  Command command;
  command.text = "DELETE FROM " + table;
  if (!AppendWhere(command, columns, original)) {
    throw std::runtime_error("the record has no field its row could be found by");
  }
  return command;
}

long long Run(sql::Connection& connection, const Command& command, int commandTimeout) {
  sql::Statement statement(connection, "ApplyUpdates");
  statement.SetCommandTimeout(commandTimeout);
  statement.SetParamCheck(false);
  statement.SetLines({command.text});
  for (const sql::Parameter& parameter : command.params) statement.Params().Add(parameter);
  return statement.Execute();
}

}  // namespace

void CheckDeltaFields(const Delta& delta, std::span<const sql::Field> fields,
                      const std::string& provider) {
  if (delta.fields.size() != fields.size()) {
    throw std::runtime_error("the changes sent to provider " + provider + " have " +
                             std::to_string(delta.fields.size()) + " fields, its rows " +
                             std::to_string(fields.size()));
  }
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const PacketField described = DescribePacketField(fields[i]);
    if (!text::EqualsIgnoringAsciiCase(delta.fields[i].name, fields[i].name) ||
        (delta.fields[i].type & kTypeMask) != (described.type & kTypeMask)) {
      throw std::runtime_error(
          "field " + std::to_string(i + 1) + " of the changes sent to provider " + provider +
          " (\"" + delta.fields[i].name + "\") is not its field \"" + fields[i].name + "\"");
    }
  }
}

void CheckDeltaRecords(const Delta& delta, std::int32_t maxErrors, const std::string& provider) {
  if (maxErrors < -1) {
    throw std::runtime_error("MaxErrors is " + std::to_string(maxErrors) +
                             "; it must be -1 (no limit) or a number of errors from 0");
  }
  for (std::size_t r = 0; r < delta.records.size(); ++r) {
    const std::uint8_t status = delta.records[r].status;
    const bool valid = status == kRecordOriginal || status == kRecordInserted ||
                       status == kRecordDeleted || status == kRecordModified;
    const bool paired =
        status != kRecordModified || (r > 0 && delta.records[r - 1].status == kRecordOriginal);
    if (!valid || !paired) {
      throw std::runtime_error("record " + std::to_string(r + 1) +
                               " of the changes sent to provider " + provider + " has status " +
                               std::to_string(status) + " out of order");
    }
  }
}

bool HasChanges(const Delta& delta) {
  for (const DeltaRecord& record : delta.records) {
    if (IsChange(record.status)) return true;
  }
  return false;
}

com::Variant RefuseChanges(const Delta& delta, std::int32_t maxErrors, std::int32_t& errorCount,
                           const std::string& message) {
  errorCount = 0;
  ErrorPacket errors(delta);
  const DeltaRecord* original = nullptr;
  for (std::size_t r = 0; r < delta.records.size(); ++r) {
    const DeltaRecord& record = delta.records[r];
    if (!IsChange(record.status)) {
      original = &record;
      continue;
    }
    errors.Add(r, MergedValues(record.status == kRecordModified ? original : nullptr, record),
               message, 0);
    ++errorCount;
    if (LimitReached(errorCount, maxErrors)) break;
  }
  return errors.Finish();
}

std::optional<std::string> LookUpTable(sql::Connection& connection, const std::string& name,
                                       int commandTimeout) {
  sql::Statement lookup(connection, "ApplyUpdates");
  lookup.SetCommandTimeout(commandTimeout);
  lookup.SetParamCheck(false);
  lookup.SetLines(
      {"SELECT OBJECT_SCHEMA_NAME(OBJECT_ID(?)) AS SchemaName, "
       "OBJECT_NAME(OBJECT_ID(?)) AS TableName"});
  for (int i = 0; i < 2; ++i) {
    sql::Parameter parameter("", sql::ParamDirection::kInput);
    parameter.SetValue(sql::Value::Text(name));
    lookup.Params().Add(std::move(parameter));
  }
  sql::RecordSet& records = lookup.Open();
  if (records.Eof()) return std::nullopt;
  const sql::Value schema = records.FieldByName("SchemaName");
  const sql::Value table = records.FieldByName("TableName");
  lookup.Close();
  if (schema.IsNull() || table.IsNull()) return std::nullopt;
  return QuoteName(schema.AsText()) + "." + QuoteName(table.AsText());
}

com::Variant ApplyChanges(sql::Connection& connection, const std::string& quotedTable,
                          std::span<const sql::Field> fields, const Delta& delta,
                          std::int32_t maxErrors, std::int32_t& errorCount, int commandTimeout) {
  errorCount = 0;
  std::vector<Column> columns;
  for (const sql::Field& field : fields) {
    const PacketField described = DescribePacketField(field);
    columns.push_back({&field, QuoteName(field.name), IsBlob(described.form),
                       (described.attributes & packet::kReadOnly) != 0});
  }
  ErrorPacket errors(delta);
  sql::Transaction transaction(connection);
  const DeltaRecord* original = nullptr;
  for (std::size_t r = 0; r < delta.records.size(); ++r) {
    const DeltaRecord& record = delta.records[r];
    if (!IsChange(record.status)) {
      original = &record;
      continue;
    }
    const DeltaRecord* before = record.status == kRecordModified ? original : nullptr;
    std::string message;
    int code = 0;
    try {
      std::optional<Command> command;
      if (record.status == kRecordInserted) {
        command = InsertCommand(quotedTable, columns, record);
      } else if (record.status == kRecordDeleted) {
        command = DeleteCommand(quotedTable, columns, record);
      } else {
        command = UpdateCommand(quotedTable, columns, *before, record);
      }
      if (command && Run(connection, *command, commandTimeout) == 0) message = kRecordChangedText;
    } catch (const sql::SqlError& error) {
      if (error.IsConnectionLost()) throw;
      message = error.what();
      code = error.NativeError();
    } catch (const std::exception& error) {
      message = error.what();
    }
    if (message.empty()) continue;
    errors.Add(r, MergedValues(before, record), message, code);
    ++errorCount;
    if (LimitReached(errorCount, maxErrors)) break;
  }
  if (LimitReached(errorCount, maxErrors)) {
    transaction.Rollback();
  } else {
    transaction.Commit();
  }
  return errors.Finish();
}

}  // namespace quor::datasnap
