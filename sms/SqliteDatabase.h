// A small RAII layer over one SQLite database file: statements with bound
// text and integer parameters, never pasted values, and rows read as texts.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace quor::sms {

class SqliteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using SqliteValue = std::variant<std::nullptr_t, std::int64_t, std::string>;
using SqliteRow = std::vector<std::optional<std::string>>;

class SqliteDatabase {
 public:
  // Creates the file (and its folder) when missing.
  explicit SqliteDatabase(const std::filesystem::path& file);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Runs statements without parameters (schema), one after another.
  void ExecScript(const std::string& sql);
  // Returns the rows changed.
  int Execute(const std::string& sql, const std::vector<SqliteValue>& params = {});
  std::vector<SqliteRow> Query(const std::string& sql, const std::vector<SqliteValue>& params = {});
  std::int64_t LastInsertId() const;

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace quor::sms
