#include "sms/SqliteDatabase.h"

#include <memory>
#include <system_error>

namespace quor::sms {
namespace {

struct StatementCloser {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementCloser>;

StatementHandle Prepare(sqlite3* db, const std::string& sql,
                        const std::vector<SqliteValue>& params) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) !=
      SQLITE_OK) {
    throw SqliteError(sqlite3_errmsg(db));
  }
  StatementHandle statement(raw);
  for (std::size_t i = 0; i < params.size(); ++i) {
    const int slot = static_cast<int>(i) + 1;
    int rc = SQLITE_OK;
    if (const auto* number = std::get_if<std::int64_t>(&params[i])) {
      rc = sqlite3_bind_int64(raw, slot, *number);
    } else if (const auto* text = std::get_if<std::string>(&params[i])) {
      rc = sqlite3_bind_text(raw, slot, text->data(), static_cast<int>(text->size()),
                             SQLITE_TRANSIENT);
    } else {
      rc = sqlite3_bind_null(raw, slot);
    }
    if (rc != SQLITE_OK) throw SqliteError(sqlite3_errmsg(db));
  }
  return statement;
}

}  // namespace

SqliteDatabase::SqliteDatabase(const std::filesystem::path& file) {
  std::error_code error;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
  if (sqlite3_open_v2(file.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw SqliteError("cannot open " + file.string() + ": " + message);
  }
  sqlite3_busy_timeout(db_, 5000);
}

SqliteDatabase::~SqliteDatabase() {
  sqlite3_close(db_);
}

void SqliteDatabase::ExecScript(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message ? message : "error";
    sqlite3_free(message);
    throw SqliteError(text);
  }
}

int SqliteDatabase::Execute(const std::string& sql, const std::vector<SqliteValue>& params) {
  StatementHandle statement = Prepare(db_, sql, params);
  const int rc = sqlite3_step(statement.get());
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) throw SqliteError(sqlite3_errmsg(db_));
  return sqlite3_changes(db_);
}

std::vector<SqliteRow> SqliteDatabase::Query(const std::string& sql,
                                             const std::vector<SqliteValue>& params) {
  StatementHandle statement = Prepare(db_, sql, params);
  std::vector<SqliteRow> rows;
  while (true) {
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throw SqliteError(sqlite3_errmsg(db_));
    SqliteRow row;
    const int columns = sqlite3_column_count(statement.get());
    for (int c = 0; c < columns; ++c) {
      const unsigned char* text = sqlite3_column_text(statement.get(), c);
      if (text) {
        row.emplace_back(
            std::string(reinterpret_cast<const char*>(text),
                        static_cast<std::size_t>(sqlite3_column_bytes(statement.get(), c))));
      } else {
        row.emplace_back(std::nullopt);
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::int64_t SqliteDatabase::LastInsertId() const {
  return sqlite3_last_insert_rowid(db_);
}

}  // namespace quor::sms
