#include "Odbc.h"

#include <algorithm>
#include <mutex>

#include "Encodings.h"

namespace quor::sql::detail {
namespace {

// SQL Server's message state and severity as drivers for SQL Server report them
// (FreeTDS and Microsoft's driver share these diagnostic field numbers).
constexpr SQLSMALLINT kDiagMessageState = -1150;
constexpr SQLSMALLINT kDiagSeverity = -1151;

int ReadIntegerField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field) {
  SQLINTEGER value = -1;
  const SQLRETURN rc =
      SQLGetDiagFieldW(type, handle, record, field, &value, SQL_IS_INTEGER, nullptr);
  return Succeeded(rc) ? static_cast<int>(value) : -1;
}

}  // namespace

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parentHandle, std::shared_ptr<OdbcHandle> parent)
    : type_(type), parent_(std::move(parent)) {
  const SQLRETURN rc = SQLAllocHandle(type, parentHandle, &handle_);
  if (!Succeeded(rc)) {
    handle_ = SQL_NULL_HANDLE;
    if (type != SQL_HANDLE_ENV && parentHandle != SQL_NULL_HANDLE) {
      const SQLSMALLINT parentType = type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
      ThrowDiagnostics(parentType, parentHandle, "SQLAllocHandle");
    }
    throw SqlError("Could not allocate an ODBC handle");
  }
}

OdbcHandle::~OdbcHandle() {
  if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
}

std::shared_ptr<OdbcHandle> SharedEnvironment() {
  static std::mutex mutex;
  static std::weak_ptr<OdbcHandle> shared;
  std::lock_guard lock(mutex);
  std::shared_ptr<OdbcHandle> environment = shared.lock();
  if (!environment) {
    environment = std::make_shared<OdbcHandle>(SQL_HANDLE_ENV, SQLHANDLE{});
    Check(SQLSetEnvAttr(environment->Get(), SQL_ATTR_ODBC_VERSION,
                        reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, environment->Get(), "SQLSetEnvAttr");
    shared = environment;
  }
  return environment;
}

std::vector<SQLWCHAR> ToWide(std::string_view utf8) {
  const std::u16string utf16 = text::Utf8ToUtf16(utf8);
  std::vector<SQLWCHAR> wide(utf16.begin(), utf16.end());
  wide.push_back(0);
  return wide;
}

std::string FromWide(const SQLWCHAR* text, std::size_t length) {
  const std::u16string utf16(text, text + length);
  return text::Utf16ToUtf8(utf16, text::OnError::kReplace);
}

std::string StripDriverPrefixes(std::string_view message) {
  while (!message.empty() && message.front() == '[') {
    const std::size_t close = message.find(']');
    if (close == std::string_view::npos) break;
    message.remove_prefix(close + 1);
  }
  return std::string(message);
}

std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> records;
  if (handle == SQL_NULL_HANDLE) return records;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> message(1024);
    SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!Succeeded(rc)) break;
    Diagnostic diagnostic;
    diagnostic.sqlState = FromWide(state, 5);
    diagnostic.nativeError = static_cast<int>(native);
    const std::size_t used =
        std::min<std::size_t>(static_cast<std::size_t>(length), message.size() - 1);
    diagnostic.message = StripDriverPrefixes(FromWide(message.data(), used));
    diagnostic.state = ReadIntegerField(type, handle, record, kDiagMessageState);
    diagnostic.severity = ReadIntegerField(type, handle, record, kDiagSeverity);
    records.push_back(std::move(diagnostic));
  }
  return records;
}

bool Succeeded(SQLRETURN rc) {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
  if (!Succeeded(rc)) ThrowDiagnostics(type, handle, what);
}

void ThrowDiagnostics(SQLSMALLINT type, SQLHANDLE handle, const char* what) {
  std::vector<Diagnostic> records = ReadDiagnostics(type, handle);
  if (records.empty()) throw SqlError(std::string(what) + " failed without a diagnostic record");
  throw SqlError(std::move(records));
}

}  // namespace quor::sql::detail
