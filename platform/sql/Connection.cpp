#include "Connection.h"

#include <algorithm>
#include <utility>

#include "detail/Command.h"
#include "detail/Odbc.h"
#include "detail/SqlText.h"
#include "platform/text/AsciiText.h"

namespace quor::sql {
namespace {

constexpr const char* kKerberosNote =
    " (integrated security on this system uses Kerberos: it needs a valid ticket, from kinit "
    "or a keytab, and a service principal MSSQLSvc/host:port registered for the server)";

}  // namespace

Connection::Connection() = default;

Connection::Connection(ConnectionSettings settings) : settings_(std::move(settings)) {}

Connection::~Connection() {
  Close();
}

void Connection::SetProperty(std::string_view name, std::string_view value) {
  settings_.SetProperty(name, value);
}

void Connection::Open() {
  if (dbc_) return;
  const std::string connectionString = BuildConnectionString(settings_);
  std::shared_ptr<detail::OdbcHandle> environment = detail::SharedEnvironment();
  auto dbc = std::make_shared<detail::OdbcHandle>(SQL_HANDLE_DBC, environment->Get(), environment);
  if (settings_.connectTimeoutSeconds > 0) {
    detail::Check(
        SQLSetConnectAttrW(
            dbc->Get(), SQL_ATTR_LOGIN_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(settings_.connectTimeoutSeconds)), 0),
        SQL_HANDLE_DBC, dbc->Get(), "SQLSetConnectAttr(LOGIN_TIMEOUT)");
  }
  std::vector<SQLWCHAR> wide = detail::ToWide(connectionString);
  const SQLRETURN rc = SQLDriverConnectW(dbc->Get(), nullptr, wide.data(), SQL_NTS, nullptr, 0,
                                         nullptr, SQL_DRIVER_NOPROMPT);
  std::fill(wide.begin(), wide.end(), 0);  // the password was in there
  if (!detail::Succeeded(rc)) {
    std::vector<Diagnostic> records = detail::ReadDiagnostics(SQL_HANDLE_DBC, dbc->Get());
    if (records.empty()) {
      records.push_back({"08001", 0, -1, -1, "Could not connect to " + settings_.dataSource});
    }
    if (settings_.integratedSecurity) {
      for (Diagnostic& record : records) {
        if (record.sqlState.rfind("01", 0) != 0) {
          record.message += kKerberosNote;
          break;
        }
      }
    }
    throw SqlError(std::move(records));
  }
  dbc_ = std::move(dbc);
  if (!databaseToRestore_.empty()) {
    // A connection that came back on another database would run the next
    // calls there, so failing to return closes it again.
    try {
      if (!text::EqualsIgnoringAsciiCase(ReadCurrentCatalog(), databaseToRestore_)) {
        ChangeDatabase(databaseToRestore_);
      }
    } catch (...) {
      CloseLink();
      throw;
    }
    databaseToRestore_.clear();
  }
}

void Connection::Close() {
  databaseToRestore_.clear();
  CloseLink();
}

void Connection::CloseLink() {
  inTransaction_ = false;
  // Statements are freed while the link is still there; their owners may
  // outlive it and must then find them gone.
  for (detail::Command* command : commands_) command->Release();
  commands_.clear();
  if (dbc_) {
    SQLDisconnect(dbc_->Get());
    dbc_.reset();
  }
}

void Connection::EnsureOpen() {
  if (!dbc_) Open();
}

void Connection::ChangeDatabase(const std::string& name) {
  EnsureOpen();
  std::vector<SQLWCHAR> wide = detail::ToWide(name);
  const SQLRETURN rc =
      SQLSetConnectAttrW(dbc_->Get(), SQL_ATTR_CURRENT_CATALOG, wide.data(),
                         static_cast<SQLINTEGER>((wide.size() - 1) * sizeof(SQLWCHAR)));
  if (!detail::Succeeded(rc)) {
    std::vector<Diagnostic> records = detail::ReadDiagnostics(SQL_HANDLE_DBC, dbc_->Get());
    SqlError error = records.empty() ? SqlError("Could not change the database to '" + name + "'")
                                     : SqlError(std::move(records));
    NoteFailure(error);
    throw error;
  }
}

std::string Connection::CurrentDatabase() const {
  return dbc_ ? ReadCurrentCatalog() : "";
}

std::string Connection::ReadCurrentCatalog() const {
  std::vector<SQLWCHAR> buffer(260);
  SQLINTEGER length = 0;
  SQLRETURN rc =
      SQLGetConnectAttrW(dbc_->Get(), SQL_ATTR_CURRENT_CATALOG, buffer.data(),
                         static_cast<SQLINTEGER>(buffer.size() * sizeof(SQLWCHAR)), &length);
  if (rc == SQL_SUCCESS_WITH_INFO &&
      static_cast<std::size_t>(length) >= buffer.size() * sizeof(SQLWCHAR)) {
    buffer.resize(static_cast<std::size_t>(length) / sizeof(SQLWCHAR) + 1);
    rc = SQLGetConnectAttrW(dbc_->Get(), SQL_ATTR_CURRENT_CATALOG, buffer.data(),
                            static_cast<SQLINTEGER>(buffer.size() * sizeof(SQLWCHAR)), &length);
  }
  detail::Check(rc, SQL_HANDLE_DBC, dbc_->Get(), "SQLGetConnectAttr(CURRENT_CATALOG)");
  const std::size_t units =
      std::min(static_cast<std::size_t>(length) / sizeof(SQLWCHAR), buffer.size() - 1);
  return detail::FromWide(buffer.data(), units);
}

long long Connection::Execute(std::string_view sql) {
  detail::Command command(*this, settings_.commandTimeoutSeconds);
  return command.Drain(command.ExecuteDirect(sql, /*scanEscapes=*/false));
}

void Connection::BeginTransaction() {
  if (inTransaction_) throw SqlError("a transaction is already open on this connection");
  EnsureOpen();
  detail::Check(
      SQLSetConnectAttrW(dbc_->Get(), SQL_ATTR_AUTOCOMMIT,
                         reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER),
      SQL_HANDLE_DBC, dbc_->Get(), "SQLSetConnectAttr(AUTOCOMMIT_OFF)");
  inTransaction_ = true;
}

void Connection::EndTransaction(bool commit) {
  if (!inTransaction_) return;
  inTransaction_ = false;
  if (!dbc_) {
    if (commit) throw SqlError("the link to the server was lost; the transaction was rolled back");
    return;
  }
  const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_->Get(), commit ? SQL_COMMIT : SQL_ROLLBACK);
  SQLSetConnectAttrW(dbc_->Get(), SQL_ATTR_AUTOCOMMIT,
                     reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
  if (!detail::Succeeded(rc)) {
    std::vector<Diagnostic> records = detail::ReadDiagnostics(SQL_HANDLE_DBC, dbc_->Get());
    SqlError error = records.empty() ? SqlError("SQLEndTran failed without a diagnostic record")
                                     : SqlError(std::move(records));
    NoteFailure(error);
    throw error;
  }
}

bool Connection::LinkDead() const {
  if (!dbc_) return false;
  SQLUINTEGER dead = SQL_CD_FALSE;
  const SQLRETURN rc = SQLGetConnectAttrW(dbc_->Get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  return detail::Succeeded(rc) && dead == SQL_CD_TRUE;
}

void Connection::NoteFailure(SqlError& error) {
  if (!dbc_) return;
  if (!error.IsConnectionLost() && !LinkDead()) return;
  error.MarkConnectionLost();
  // The driver remembers the database from the server's last report, so a
  // "USE" inside a client's statement is honoured as well.
  try {
    databaseToRestore_ = ReadCurrentCatalog();
  } catch (const SqlError&) {
    databaseToRestore_ = settings_.initialCatalog;
  }
  CloseLink();
}

void Connection::Attach(detail::Command* command) {
  commands_.push_back(command);
}

void Connection::Detach(detail::Command* command) {
  commands_.erase(std::remove(commands_.begin(), commands_.end(), command), commands_.end());
}

}  // namespace quor::sql
