#include "ResultReader.h"

#include <cstring>

namespace quor::sql::detail {
namespace {

constexpr std::size_t kChunkBytes = 16 * 1024;

}  // namespace

ResultReader::ResultReader(std::unique_ptr<Command> command, bool hasResults)
    : command_(std::move(command)), state_(hasResults ? State::kPositioned : State::kDone) {}

bool ResultReader::NextResultSet() {
  if (state_ == State::kDone) return false;
  if (state_ == State::kInResultSet) {
    const SQLRETURN rc = SQLMoreResults(command_->Handle());
    if (rc == SQL_NO_DATA) {
      state_ = State::kDone;
      return false;
    }
    command_->Check(rc, "SQLMoreResults");
  }
  for (;;) {
    SQLSMALLINT columns = 0;
    command_->Check(SQLNumResultCols(command_->Handle(), &columns), "SQLNumResultCols");
    if (columns > 0) {
      Describe(columns);
      state_ = State::kInResultSet;
      exhausted_ = false;
      return true;
    }
    SQLLEN count = -1;
    if (Succeeded(SQLRowCount(command_->Handle(), &count)) && count >= 0) {
      rowsAffected_ = (rowsAffected_ < 0 ? 0 : rowsAffected_) + count;
    }
    const SQLRETURN rc = SQLMoreResults(command_->Handle());
    if (rc == SQL_NO_DATA) {
      state_ = State::kDone;
      fields_.clear();
      return false;
    }
    command_->Check(rc, "SQLMoreResults");
  }
}

void ResultReader::Describe(SQLSMALLINT columnCount) {
  fields_.clear();
  fields_.reserve(static_cast<std::size_t>(columnCount));
  const SQLHSTMT stmt = command_->Handle();
  for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(columnCount); ++column) {
    SQLWCHAR name[512] = {};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT dataType = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
    command_->Check(
        SQLDescribeColW(stmt, column, name, 512, &nameLength, &dataType, &size, &digits, &nullable),
        "SQLDescribeCol");
    Field field;
    field.name = FromWide(name, std::min<std::size_t>(static_cast<std::size_t>(nameLength), 511));
    field.sqlType = dataType;
    field.size = size;
    field.scale = digits;
    field.nullable = nullable != SQL_NO_NULLS;
    // Types without a kind of their own (times, GUIDs, ...) are read as text.
    field.kind = ValueKindOfSqlType(dataType).value_or(ValueKind::kText);

    SQLWCHAR typeName[128] = {};
    SQLSMALLINT typeNameBytes = 0;
    if (Succeeded(SQLColAttributeW(stmt, column, SQL_DESC_TYPE_NAME, typeName, sizeof typeName,
                                   &typeNameBytes, nullptr))) {
      field.typeName = FromWide(
          typeName,
          std::min<std::size_t>(static_cast<std::size_t>(typeNameBytes) / sizeof(SQLWCHAR), 127));
    }
    SQLLEN number = 0;
    if (Succeeded(
            SQLColAttributeW(stmt, column, SQL_DESC_PRECISION, nullptr, 0, nullptr, &number))) {
      field.precision = static_cast<int>(number);
    }
    if (Succeeded(SQLColAttributeW(stmt, column, SQL_DESC_SCALE, nullptr, 0, nullptr, &number))) {
      field.scale = static_cast<int>(number);
    }
    fields_.push_back(std::move(field));
  }
}

std::size_t ResultReader::ReadRows(std::size_t maxRows, std::vector<Row>& rows) {
  if (state_ != State::kInResultSet || exhausted_) return 0;
  const SQLHSTMT stmt = command_->Handle();
  std::size_t read = 0;
  while (maxRows == 0 || read < maxRows) {
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) {
      exhausted_ = true;
      break;
    }
    command_->Check(rc, "SQLFetch");
    Row row;
    row.reserve(fields_.size());
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      row.push_back(ReadColumn(static_cast<SQLUSMALLINT>(i + 1), fields_[i]));
    }
    rows.push_back(std::move(row));
    ++read;
  }
  return read;
}

Value ResultReader::ReadColumn(SQLUSMALLINT column, const Field& field) {
  const SQLHSTMT stmt = command_->Handle();
  SQLLEN indicator = 0;
  switch (field.kind) {
    case ValueKind::kBoolean: {
      unsigned char bit = 0;
      command_->Check(SQLGetData(stmt, column, SQL_C_BIT, &bit, sizeof bit, &indicator),
                      "SQLGetData");
      return indicator == SQL_NULL_DATA ? Value() : Value::Boolean(bit != 0);
    }
    case ValueKind::kInteger: {
      std::int64_t integer = 0;
      command_->Check(SQLGetData(stmt, column, SQL_C_SBIGINT, &integer, sizeof integer, &indicator),
                      "SQLGetData");
      return indicator == SQL_NULL_DATA ? Value() : Value::Integer(integer);
    }
    case ValueKind::kDouble: {
      double number = 0;
      command_->Check(SQLGetData(stmt, column, SQL_C_DOUBLE, &number, sizeof number, &indicator),
                      "SQLGetData");
      return indicator == SQL_NULL_DATA ? Value() : Value::Double(number);
    }
    case ValueKind::kDecimal: {
      char text[128] = {};
      command_->Check(SQLGetData(stmt, column, SQL_C_CHAR, text, sizeof text, &indicator),
                      "SQLGetData");
      if (indicator == SQL_NULL_DATA) return Value();
      return Value::Decimal(std::string(
          text, std::min<std::size_t>(static_cast<std::size_t>(indicator), sizeof text - 1)));
    }
    case ValueKind::kDateTime: {
      SQL_TIMESTAMP_STRUCT stamp{};
      command_->Check(
          SQLGetData(stmt, column, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &indicator),
          "SQLGetData");
      if (indicator == SQL_NULL_DATA) return Value();
      DateTime dt;
      dt.year = stamp.year;
      dt.month = stamp.month;
      dt.day = stamp.day;
      dt.hour = stamp.hour;
      dt.minute = stamp.minute;
      dt.second = stamp.second;
      dt.nanosecond = static_cast<int>(stamp.fraction);
      return Value::FromDateTime(dt);
    }
    case ValueKind::kBytes:
      return ReadLong(column, /*wide=*/false);
    default:
      return ReadLong(column, /*wide=*/true);
  }
}

// Text and binary values of any length, read in chunks; a chunk of text ends
// with a terminating zero the driver adds.
Value ResultReader::ReadLong(SQLUSMALLINT column, bool wide) {
  const SQLHSTMT stmt = command_->Handle();
  chunk_.resize(kChunkBytes);
  const SQLLEN terminator = wide ? static_cast<SQLLEN>(sizeof(SQLWCHAR)) : 0;
  const SQLLEN room = static_cast<SQLLEN>(kChunkBytes) - terminator;
  std::vector<unsigned char> data;
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt, column, wide ? SQL_C_WCHAR : SQL_C_BINARY, chunk_.data(),
                                    static_cast<SQLLEN>(kChunkBytes), &indicator);
    if (rc == SQL_NO_DATA) break;
    command_->Check(rc, "SQLGetData");
    if (indicator == SQL_NULL_DATA) return Value();
    const SQLLEN got = (indicator == SQL_NO_TOTAL || indicator > room) ? room : indicator;
    data.insert(data.end(), chunk_.begin(), chunk_.begin() + got);
    if (rc == SQL_SUCCESS || got < room) break;
  }
  if (!wide) return Value::Bytes(std::vector<std::uint8_t>(data.begin(), data.end()));
  std::vector<SQLWCHAR> text(data.size() / sizeof(SQLWCHAR));
  if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(SQLWCHAR));
  return Value::Text(FromWide(text.data(), text.size()));
}

void ResultReader::Finish() {
  if (state_ == State::kDone) return;
  if (state_ == State::kPositioned) {
    rowsAffected_ = command_->Drain(true);
    state_ = State::kDone;
    return;
  }
  const SQLRETURN rc = SQLMoreResults(command_->Handle());
  state_ = State::kDone;
  if (rc == SQL_NO_DATA) return;
  command_->Check(rc, "SQLMoreResults");
  const long long more = command_->Drain(true);
  if (more >= 0) rowsAffected_ = (rowsAffected_ < 0 ? 0 : rowsAffected_) + more;
}

}  // namespace quor::sql::detail
