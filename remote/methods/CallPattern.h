// The one engine behind every described remote method: prepare the method's
// stored-procedure component for its procedure (asking the server for the
// parameter list), assign the arguments and constants by parameter name, run
// it without a result set, and read the outputs and the return value into the
// out arguments. Its steps are public so hand-written methods follow the same
// rules where they differ only in part (a procedure chosen at run time, a pass
// before or after).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/DispatchTable.h"
#include "platform/sql/StoredProc.h"
#include "remote/methods/MethodDescription.h"

namespace quor {
class TDataModuleServer;
}

namespace quor::remote {

// Closes the component, clears its parameters, names the procedure and asks
// the server for its parameter list. Every procedure the server has lists at
// least its return value, so an empty list means the database does not have
// it: the procedure is run bare, and the server's own error text comes back.
//
// A link found dead by that request is opened again (to the same database)
// and the request repeated once, since nothing has run yet. With the
// parameter cache on (ParameterCacheSeconds) a list remembered for this
// server, database and procedure is taken instead, and the call binds by name
// (StoredProc::UseDeclaration); `fresh` asks the server all the same, for
// callers that go on to assign values by position.
void PrepareProcedure(sql::StoredProc& proc, std::string_view procedure, bool fresh = false);

// Forgets the remembered parameter lists of one database of the connection's
// server, after its procedures may have changed (UpdateDataBase,
// RestoreDatabase, CreateDataBase, DeleteDataBase).
void FlushParameterCache(const sql::Connection& connection, const std::string& database);

// A value for one parameter, converted as the row asks.
struct SentValue {
  std::string parameter;
  sql::Value value;
};

// The sent arguments (args in declared order, as dispatch hands them over)
// and the constants, converted. A value that does not convert throws, naming
// the method and the argument, so callers convert before they send anything.
std::vector<SentValue> ValuesToSend(const MethodDescription& method, const com::DispatchArgs& args);
void AssignValues(sql::StoredProc& proc, const std::vector<SentValue>& values);
// Both, in one step.
void AssignArguments(sql::StoredProc& proc, const MethodDescription& method,
                     const com::DispatchArgs& args);

// Writes every out argument that has a result source into args and returns
// the [out,retval] value (empty when the method has none). Integer results are
// converted by the variant rules; a value that does not convert is an error.
com::Variant ReadResults(const sql::StoredProc& proc, const MethodDescription& method,
                         com::DispatchArgs& args);

// The whole call pattern on the method's component, with `procedure` in place
// of the described one when given (methods that choose it at run time).
com::Variant RunCallPattern(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args, std::string_view procedure = {});

// The call pattern of an open-list row (MethodDescription::openList): args
// holds the named in arguments, the further ones and the caller's result slot
// as the dispatch table hands them over. Every value is converted before the
// server is asked anything; the further ones then feed the next input
// parameters no argument or constant has fed, in the server's current order.
com::Variant RunOpenList(TDataModuleServer& module, const MethodDescription& method,
                         com::DispatchArgs& args, std::string_view procedure = {});

}  // namespace quor::remote
