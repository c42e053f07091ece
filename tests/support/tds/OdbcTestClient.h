// Raw unixODBC access for the stand-in's own tests: RAII handles over the real FreeTDS driver,
// wide calls, and readable diagnostics. Test-only; the production layer lives in platform/sql.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <vector>

namespace quor::test {

// UTF-8 <-> SQLWCHAR strings.
std::u16string Wide(const std::string& utf8);
std::string Narrow(const std::u16string& wide);

// "[SQLSTATE] native: message" of every diagnostic record of a handle, one per line.
std::string Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

class OdbcStatement {
 public:
  explicit OdbcStatement(SQLHDBC dbc);
  ~OdbcStatement();
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;

  SQLHSTMT Handle() const { return stmt_; }
  SQLRETURN ExecDirect(const std::string& text);
  // Every row of the current result set as UTF-8 texts; NULL reads as "<null>".
  std::vector<std::vector<std::string>> FetchAllText();
  std::vector<std::string> ColumnNames();
  bool MoreResults();  // SQLMoreResults succeeded
  std::string Diag() const { return Diagnostics(SQL_HANDLE_STMT, stmt_); }
  void Reset();  // close the cursor and unbind parameters

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

class OdbcConnection {
 public:
  OdbcConnection();
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Connects; on failure returns the diagnostics instead.
  std::optional<std::string> Connect(const std::string& connectionString);
  SQLHDBC Handle() const { return dbc_; }
  std::string CurrentCatalog();

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

}  // namespace quor::test
