#include "Command.h"

#include "../Connection.h"

namespace quor::sql::detail {

Command::Command(Connection& connection, int timeoutSeconds) : connection_(&connection) {
  connection.EnsureOpen();
  stmt_ = std::make_unique<OdbcHandle>(SQL_HANDLE_STMT, connection.dbc_->Get());
  connection.Attach(this);
  if (timeoutSeconds > 0) {
    Check(SQLSetStmtAttrW(stmt_->Get(), SQL_ATTR_QUERY_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)), 0),
          "SQLSetStmtAttr(QUERY_TIMEOUT)");
  }
}

Command::~Command() {
  if (connection_ != nullptr) connection_->Detach(this);
}

SQLHSTMT Command::Handle() const {
  if (!stmt_) throw SqlError("The connection was closed while the statement was in use");
  return stmt_->Get();
}

bool Command::ExecuteDirect(std::string_view text, bool scanEscapes) {
  Check(SQLSetStmtAttrW(Handle(), SQL_ATTR_NOSCAN,
                        reinterpret_cast<SQLPOINTER>(
                            static_cast<SQLULEN>(scanEscapes ? SQL_NOSCAN_OFF : SQL_NOSCAN_ON)),
                        0),
        "SQLSetStmtAttr(NOSCAN)");
  std::vector<SQLWCHAR> wide = ToWide(text);
  const SQLRETURN rc = SQLExecDirectW(Handle(), wide.data(), SQL_NTS);
  if (rc == SQL_NO_DATA) return false;
  Check(rc, "SQLExecDirect");
  return true;
}

long long Command::Drain(bool hasResults) {
  long long affected = -1;
  if (!hasResults) {
    // A searched UPDATE or DELETE that touched no row ends with SQL_NO_DATA.
    SQLLEN count = -1;
    if (Succeeded(SQLRowCount(Handle(), &count)) && count >= 0) affected = count;
    return affected;
  }
  for (;;) {
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(Handle(), &columns), "SQLNumResultCols");
    if (columns == 0) {
      SQLLEN count = -1;
      if (Succeeded(SQLRowCount(Handle(), &count)) && count >= 0) {
        affected = (affected < 0 ? 0 : affected) + count;
      }
    }
    const SQLRETURN rc = SQLMoreResults(Handle());
    if (rc == SQL_NO_DATA) return affected;
    Check(rc, "SQLMoreResults");
  }
}

void Command::Check(SQLRETURN rc, const char* what) {
  if (!Succeeded(rc)) Fail(what);
}

void Command::Fail(const char* what) {
  std::vector<Diagnostic> records = ReadDiagnostics(SQL_HANDLE_STMT, Handle());
  SqlError error = records.empty()
                       ? SqlError(std::string(what) + " failed without a diagnostic record")
                       : SqlError(std::move(records));
  if (connection_ != nullptr) connection_->NoteFailure(error);
  throw error;
}

void Command::Release() {
  // Freed while the connection is still there; the owner may outlive it.
  stmt_.reset();
  connection_ = nullptr;
}

}  // namespace quor::sql::detail
