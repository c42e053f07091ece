// A stored procedure component in the manner of ADO's: name the procedure
// ("AAAAASN;1", group suffix included), ask the server for its parameters,
// assign values by name or position, then run it without rows (ExecProc) or
// open its rows; outputs and the return value are read back from Params().
//
// The driver sends the call as a positional RPC, so values go in the declared
// order whatever order they were assigned in. An input that was not assigned is
// left out of the call (an empty slot, or nothing at the end) and the server
// uses the procedure's declared default. Output parameters are always sent, as
// NULL when not assigned, since SQL Server can return an output only for a
// parameter the call supplied.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "DataSet.h"
#include "SqlError.h"

namespace quor::sql {

class StoredProc : public DataSet {
 public:
  explicit StoredProc(Connection& connection, std::string name = "StoredProc");

  // Closes the component; the name is checked when it is used.
  void SetProcedureName(std::string procedureName);
  const std::string& ProcedureName() const { return procedureName_; }

  // Replaces Params() with the server's declaration: names with "@", types,
  // sizes, directions, the return value ("@RETURN_VALUE") first. A procedure the
  // database does not have gives an empty list; running it then fails.
  void RefreshParameters();

  void SetParamValue(std::string_view name, Value value);  // Params().ByName(...).SetValue
  const Value& ParamValue(std::string_view name) const;

  // Takes a declaration remembered from an earlier refresh (ProcedureCache)
  // instead of asking the server. The call then goes as sp_executesql running
  // "EXEC @RETURN_VALUE = proc @a = @a, @b = @b OUTPUT" with the values bound
  // to those names, outputs and the return value coming back as outputs of
  // sp_executesql, so a value always reaches the parameter of its name even
  // when the declaration changed since. When the server refuses the call for
  // its parameters before the procedure runs (errors 201, 8144, 8145, 206,
  // 2812), `onStale` is asked once: it refreshes Params() (keeping the values
  // assigned by name) and returns true to run the call again, or false to
  // let the error stand. Refreshing or renaming the procedure ends this mode.
  using StaleDeclarationHandler = std::function<bool(StoredProc&)>;
  void UseDeclaration(Parameters declaration, StaleDeclarationHandler onStale);
  bool UsesRememberedDeclaration() const { return byName_; }
  // Whether a declaration can be called by name: parameter names and types
  // that can be written into the statement, no group number other than 1.
  static bool CanCallByName(std::string_view procedureName, const Parameters& declaration);
  // Errors SQL Server raises for a call's parameters before the procedure runs.
  static bool IsDeclarationError(const SqlError& error);

  // Runs the procedure and reads its reply to the end without keeping rows.
  void ExecProc();
  // Runs the procedure and keeps its rows; see RecordSet for `blockSize`. Opening
  // an active component returns its record set as it is.
  RecordSet& Open(std::size_t blockSize = 0);

 private:
  struct PreparedCall;
  PreparedCall Prepare();
  PreparedCall PrepareByName();
  // Runs `run` once more after a stale remembered declaration was refreshed.
  template <typename Run>
  decltype(auto) Retrying(Run run);

  std::string procedureName_;
  bool byName_ = false;
  StaleDeclarationHandler onStale_;
};

}  // namespace quor::sql
