// Binding the arguments of a procedure call to the procedure's declared parameters the way
// SQL Server does: positional then named, defaults for what is left out, conversion to the
// declared types, and SQL Server's errors (119, 201, 8114, 8144, 8145, 8162) for bad calls.
#pragma once

#include <string>
#include <vector>

#include "tests/support/tds/ServerErrorException.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::test::tds {

// One argument as the client passed it (RPC parameter or EXEC argument).
struct CallArg {
  std::string name;  // "@name" when passed by name
  Value value;
  bool output = false;
  bool defaulted = false;  // RPC fDefaultValue or the DEFAULT keyword
  bool omitted = false;    // NULLTYPE: an empty slot of "{call p(?,,?)}"
  Column type;             // the type it came as
  std::string reference;   // the sp_executesql parameter an EXEC argument names
};

struct Binding {
  ProcedureCall call;       // procedure, values, sent and names filled in
  std::vector<int> slotOf;  // per argument: the declared parameter it bound to
};

// Throws ServerErrorException for a call SQL Server would refuse.
Binding BindArguments(const ProcedureDecl& decl, const std::vector<CallArg>& args);
// A procedure with a handler but no declaration takes its arguments as they come.
Binding BindUndeclared(const std::string& procedure, const std::vector<CallArg>& args);

// Converts a value to a declared parameter's type, as SQL Server does on binding (strings are
// cut to the declared length). Throws std::invalid_argument when it cannot be converted.
Value ConvertToDeclared(const Value& value, const ParamDecl& decl);

// A parameter name without "@", in lower case, for comparisons.
std::string Bare(std::string_view name);

}  // namespace quor::test::tds
