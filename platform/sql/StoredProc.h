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
#include <string>
#include <string_view>

#include "DataSet.h"

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

  // Runs the procedure and reads its reply to the end without keeping rows.
  void ExecProc();
  // Runs the procedure and keeps its rows; see RecordSet for `blockSize`. Opening
  // an active component returns its record set as it is.
  RecordSet& Open(std::size_t blockSize = 0);

 private:
  struct PreparedCall;
  PreparedCall Prepare();

  std::string procedureName_;
};

}  // namespace quor::sql
