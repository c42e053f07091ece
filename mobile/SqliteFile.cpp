#include "mobile/SqliteFile.h"

#include <strings.h>
#include <cstring>

namespace quor::mobile {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : db_(db) {
  const int code =
      sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (code != SQLITE_OK) {
    throw SqliteFailure("SQLite cannot prepare \"" + std::string(sql) +
                        "\": " + sqlite3_errmsg(db_));
  }
  if (stmt_ == nullptr) throw SqliteFailure("SQLite statement is empty");
}

SqliteStatement::~SqliteStatement() {
  if (stmt_ != nullptr) sqlite3_finalize(stmt_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : db_(other.db_), stmt_(other.stmt_) {
  other.stmt_ = nullptr;
}

void SqliteStatement::Check(int code, const char* what) const {
  if (code != SQLITE_OK) throw SqliteFailure(std::string(what) + ": " + sqlite3_errmsg(db_));
}

void SqliteStatement::BindNull(int index) {
  Check(sqlite3_bind_null(stmt_, index), "SQLite bind");
}

void SqliteStatement::BindInteger(int index, std::int64_t value) {
  Check(sqlite3_bind_int64(stmt_, index, value), "SQLite bind");
}

void SqliteStatement::BindDouble(int index, double value) {
  Check(sqlite3_bind_double(stmt_, index, value), "SQLite bind");
}

void SqliteStatement::BindText(int index, std::string_view value) {
  Check(
      sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8),
      "SQLite bind");
}

void SqliteStatement::BindBlob(int index, const void* data, std::size_t size) {
  Check(sqlite3_bind_blob64(stmt_, index, size == 0 ? "" : data, size, SQLITE_TRANSIENT),
        "SQLite bind");
}

bool SqliteStatement::Step() {
  const int code = sqlite3_step(stmt_);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  throw SqliteFailure(std::string("SQLite step of \"") + sqlite3_sql(stmt_) +
                      "\": " + sqlite3_errmsg(db_));
}

void SqliteStatement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

void SqliteStatement::Run() {
  while (Step()) {
  }
}

int SqliteStatement::ColumnCount() const {
  return sqlite3_column_count(stmt_);
}

std::string SqliteStatement::ColumnName(int index) const {
  const char* name = sqlite3_column_name(stmt_, index);
  return name == nullptr ? std::string() : std::string(name);
}

bool SqliteStatement::IsNull(int index) const {
  return sqlite3_column_type(stmt_, index) == SQLITE_NULL;
}

std::string SqliteStatement::Text(int index) const {
  const unsigned char* text = sqlite3_column_text(stmt_, index);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt_, index)));
}

std::optional<std::string> SqliteStatement::OptionalText(int index) const {
  if (IsNull(index)) return std::nullopt;
  return Text(index);
}

double SqliteStatement::Double(int index) const {
  return sqlite3_column_double(stmt_, index);
}

std::int64_t SqliteStatement::Integer(int index) const {
  return sqlite3_column_int64(stmt_, index);
}

int SqliteStatement::ColumnIndex(std::string_view name) const {
  const int count = ColumnCount();
  for (int i = 0; i < count; ++i) {
    const char* column = sqlite3_column_name(stmt_, i);
    if (column != nullptr && std::strlen(column) == name.size() &&
        strncasecmp(column, name.data(), name.size()) == 0) {
      return i;
    }
  }
  return -1;
}

SqliteFile::SqliteFile(const std::filesystem::path& file, Mode mode) {
  const int flags =
      mode == Mode::kCreate ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READWRITE;
  const int code = sqlite3_open_v2(file.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code != SQLITE_OK) {
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    if (db_ != nullptr) sqlite3_close(db_);
    db_ = nullptr;
    throw SqliteFailure("SQLite cannot open " + file.string() + ": " + message);
  }
  sqlite3_extended_result_codes(db_, 1);
}

SqliteFile::~SqliteFile() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

void SqliteFile::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error != nullptr ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw SqliteFailure("SQLite \"" + sql + "\": " + message);
  }
}

SqliteStatement SqliteFile::Prepare(std::string_view sql) {
  return SqliteStatement(db_, sql);
}

int SqliteFile::Changes() const {
  return sqlite3_changes(db_);
}

}  // namespace quor::mobile
