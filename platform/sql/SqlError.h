// Errors of the SQL layer. A database error keeps SQL Server's own message text
// (without the driver's "[FreeTDS][SQL Server]" prefixes), its error number, the
// SQLSTATE and the server's state, because callers hand that text on to clients.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace quor::sql {

// One diagnostic record as the driver reported it.
struct Diagnostic {
  std::string sqlState;  // five characters, e.g. "42000"; empty for the layer's own errors
  int nativeError = 0;   // SQL Server's error number (e.g. 2812), or the driver's
  int state = -1;        // SQL Server's message state; -1 when the driver gives none
  int severity = -1;     // SQL Server's severity; -1 when the driver gives none
  std::string message;   // prefixes removed
};

class SqlError : public std::runtime_error {
 public:
  // An error of the layer itself (wrong parameter name, invalid property, ...).
  explicit SqlError(const std::string& message);
  // An error reported by the driver or the server; the first record that is not a
  // warning gives the message, number and state, all records are kept.
  explicit SqlError(std::vector<Diagnostic> diagnostics);

  const std::string& SqlState() const { return main_.sqlState; }
  int NativeError() const { return main_.nativeError; }
  int State() const { return main_.state; }
  int Severity() const { return main_.severity; }
  const std::vector<Diagnostic>& Diagnostics() const { return diagnostics_; }

  // The command timeout ran out (the driver cancelled the request).
  bool IsTimeout() const;
  // The link to the server is gone; the connection has to be opened again.
  bool IsConnectionLost() const;
  // Set by the layer when the driver reports the link dead although the
  // records carry only a warning state (FreeTDS: "Unexpected EOF from the server").
  void MarkConnectionLost() { connectionLost_ = true; }

 private:
  static const Diagnostic& MainRecord(const std::vector<Diagnostic>& diagnostics);

  std::vector<Diagnostic> diagnostics_;
  Diagnostic main_;
  bool connectionLost_ = false;
};

// The data-access layer's text for a statement that was opened but gave no rows.
inline constexpr const char* kNoResultSetText = "执行SQL出错不能返回正确的数据集！";

// Opening a statement or procedure that yields no result set. what() is the
// component's name, ": " and the text above ("%s: %s"), as clients and the
// callers that tell this case apart by its text have always received it.
class NoResultSetError : public SqlError {
 public:
  explicit NoResultSetError(std::string componentName);
  const std::string& ComponentName() const { return componentName_; }

 private:
  std::string componentName_;
};

}  // namespace quor::sql
