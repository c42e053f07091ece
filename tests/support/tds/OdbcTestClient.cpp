#include "tests/support/tds/OdbcTestClient.h"

#include <cstring>
#include <stdexcept>

#include "tests/support/tds/TextCodec.h"

namespace quor::test {

std::u16string Wide(const std::string& utf8) {
  std::string bytes = tds::Utf8ToUtf16le(utf8);
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(out.data(), bytes.data(), bytes.size());
  return out;
}

std::string Narrow(const std::u16string& wide) {
  return tds::Utf16leToUtf8(
      std::string_view(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
}

std::string Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::string out;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLWCHAR state[6] = {};
    SQLWCHAR message[2048] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(
            SQLGetDiagRecW(handleType, handle, i, state, &native, message, 2048, &length)))
      break;
    if (!out.empty()) out += "\n";
    out += "[" + Narrow(reinterpret_cast<char16_t*>(state)) + "] " + std::to_string(native) + ": " +
           Narrow(reinterpret_cast<char16_t*>(message));
  }
  return out;
}

OdbcStatement::OdbcStatement(SQLHDBC dbc) {
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_))) {
    throw std::runtime_error("cannot allocate a statement: " + Diagnostics(SQL_HANDLE_DBC, dbc));
  }
}

OdbcStatement::~OdbcStatement() {
  SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

SQLRETURN OdbcStatement::ExecDirect(const std::string& text) {
  std::u16string wide = Wide(text);
  return SQLExecDirectW(stmt_, reinterpret_cast<SQLWCHAR*>(wide.data()), SQL_NTS);
}

void OdbcStatement::Reset() {
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  SQLFreeStmt(stmt_, SQL_UNBIND);
}

std::vector<std::string> OdbcStatement::ColumnNames() {
  SQLSMALLINT count = 0;
  SQLNumResultCols(stmt_, &count);
  std::vector<std::string> names;
  for (SQLUSMALLINT c = 1; c <= count; ++c) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeColW(stmt_, c, name, 256, &nameLength, &type, &size, &digits, &nullable);
    names.push_back(Narrow(reinterpret_cast<char16_t*>(name)));
  }
  return names;
}

std::vector<std::vector<std::string>> OdbcStatement::FetchAllText() {
  SQLSMALLINT count = 0;
  SQLNumResultCols(stmt_, &count);
  std::vector<std::vector<std::string>> rows;
  for (;;) {
    SQLRETURN r = SQLFetch(stmt_);
    if (r == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(r)) throw std::runtime_error("fetch failed: " + Diag());
    std::vector<std::string> row;
    for (SQLUSMALLINT c = 1; c <= count; ++c) {
      std::u16string value;
      for (;;) {
        char16_t buffer[4096];
        SQLLEN indicator = 0;
        SQLRETURN g = SQLGetData(stmt_, c, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (g == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(g)) throw std::runtime_error("SQLGetData failed: " + Diag());
        if (indicator == SQL_NULL_DATA) {
          value = u"<null>";
          break;
        }
        value += buffer;
        if (g == SQL_SUCCESS) break;
      }
      row.push_back(Narrow(value));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

bool OdbcStatement::MoreResults() {
  return SQL_SUCCEEDED(SQLMoreResults(stmt_));
}

OdbcConnection::OdbcConnection() {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
}

OdbcConnection::~OdbcConnection() {
  if (connected_) SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::optional<std::string> OdbcConnection::Connect(const std::string& connectionString) {
  std::u16string wide = Wide(connectionString);
  SQLRETURN r = SQLDriverConnectW(dbc_, nullptr, reinterpret_cast<SQLWCHAR*>(wide.data()), SQL_NTS,
                                  nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(r)) return Diagnostics(SQL_HANDLE_DBC, dbc_);
  connected_ = true;
  return std::nullopt;
}

std::string OdbcConnection::CurrentCatalog() {
  SQLWCHAR name[256] = {};
  SQLINTEGER length = 0;
  SQLGetConnectAttrW(dbc_, SQL_ATTR_CURRENT_CATALOG, name, sizeof name, &length);
  return Narrow(reinterpret_cast<char16_t*>(name));
}

}  // namespace quor::test
