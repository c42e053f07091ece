// The thin ODBC base of the layer: an owning handle, the process-wide
// environment, wide-text conversion for SQLWCHAR and the turning of a failed
// call's diagnostic records into SqlError.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../SqlError.h"

namespace quor::sql::detail {

// Owns one ODBC handle and frees it on destruction. A connection handle keeps
// the environment alive through `parent`; statements are freed by their
// connection before it goes.
class OdbcHandle {
 public:
  OdbcHandle(SQLSMALLINT type, SQLHANDLE parentHandle, std::shared_ptr<OdbcHandle> parent = {});
  ~OdbcHandle();
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  SQLHANDLE Get() const { return handle_; }
  SQLSMALLINT Type() const { return type_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
  std::shared_ptr<OdbcHandle> parent_;
};

// One ODBC 3 environment for the process; unixODBC lets every thread use it.
std::shared_ptr<OdbcHandle> SharedEnvironment();

// UTF-8 to a null-terminated SQLWCHAR buffer, and back. Outgoing text must be
// valid UTF-8 (TextError otherwise); incoming text replaces broken surrogates.
std::vector<SQLWCHAR> ToWide(std::string_view utf8);
std::string FromWide(const SQLWCHAR* text, std::size_t length);

// The diagnostic records of a handle, with driver prefixes such as
// "[unixODBC][FreeTDS][SQL Server]" removed from the messages.
std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle);
// "[FreeTDS][SQL Server]Invalid object name 'x'." -> "Invalid object name 'x'."
std::string StripDriverPrefixes(std::string_view message);

bool Succeeded(SQLRETURN rc);
// Throws SqlError with the handle's records unless rc succeeded; `what` names the
// call for the rare failure that leaves no record.
void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what);
[[noreturn]] void ThrowDiagnostics(SQLSMALLINT type, SQLHANDLE handle, const char* what);

}  // namespace quor::sql::detail
