// A small RAII layer over one SQLite file for the phone files: statements are
// prepared once and stepped row by row, so a download of any size is written
// without holding its rows, and values from phones are always bound, never
// pasted into statement text.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quor::mobile {

class SqliteFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, std::string_view sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement& operator=(SqliteStatement&&) = delete;

  // Parameters count from 1, as SQLite numbers them.
  void BindNull(int index);
  void BindInteger(int index, std::int64_t value);
  void BindDouble(int index, double value);
  void BindText(int index, std::string_view value);
  void BindBlob(int index, const void* data, std::size_t size);

  // True while a row is there; SqliteFailure for an error.
  bool Step();
  // Makes the statement ready for the next Step with new bindings.
  void Reset();
  // Steps to the end (statements without rows).
  void Run();

  int ColumnCount() const;
  std::string ColumnName(int index) const;
  bool IsNull(int index) const;
  // NULL reads as the empty text.
  std::string Text(int index) const;
  std::optional<std::string> OptionalText(int index) const;
  double Double(int index) const;
  std::int64_t Integer(int index) const;
  // Index of the result column named `name` (letter case ignored), -1 when absent.
  int ColumnIndex(std::string_view name) const;

 private:
  void Check(int code, const char* what) const;
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

class SqliteFile {
 public:
  enum class Mode { kCreate, kReadWrite };
  // kCreate makes a new file (the folder must exist); kReadWrite opens an
  // existing one and fails when there is none.
  SqliteFile(const std::filesystem::path& file, Mode mode);
  ~SqliteFile();
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  // Statements without parameters, one after another.
  void Exec(const std::string& sql);
  SqliteStatement Prepare(std::string_view sql);
  sqlite3* Handle() const { return db_; }
  // Rows changed by the last statement.
  int Changes() const;

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace quor::mobile
