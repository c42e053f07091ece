#include "SqlError.h"

#include <utility>

namespace quor::sql {
namespace {

bool IsWarningState(const std::string& state) {
  return state.rfind("01", 0) == 0;
}

}  // namespace

SqlError::SqlError(const std::string& message) : std::runtime_error(message) {
  main_.message = message;
  diagnostics_.push_back(main_);
}

SqlError::SqlError(std::vector<Diagnostic> diagnostics)
    : std::runtime_error(MainRecord(diagnostics).message),
      diagnostics_(std::move(diagnostics)),
      main_(MainRecord(diagnostics_)) {}

const Diagnostic& SqlError::MainRecord(const std::vector<Diagnostic>& diagnostics) {
  static const Diagnostic kUnknown{"HY000", 0, -1, -1, "Unknown ODBC error"};
  if (diagnostics.empty()) return kUnknown;
  for (const Diagnostic& record : diagnostics) {
    if (!IsWarningState(record.sqlState)) return record;
  }
  return diagnostics.front();
}

bool SqlError::IsTimeout() const {
  for (const Diagnostic& record : diagnostics_) {
    if (record.sqlState == "HYT00" || record.sqlState == "HYT01") return true;
  }
  return false;
}

bool SqlError::IsConnectionLost() const {
  if (connectionLost_) return true;
  for (const Diagnostic& record : diagnostics_) {
    // 08S01 communication link failure, 08003 connection not open, 08007 link
    // failed during a transaction.
    if (record.sqlState == "08S01" || record.sqlState == "08003" || record.sqlState == "08007") {
      return true;
    }
  }
  return false;
}

NoResultSetError::NoResultSetError(std::string componentName)
    : SqlError(componentName + ": " + kNoResultSetText), componentName_(std::move(componentName)) {}

}  // namespace quor::sql
