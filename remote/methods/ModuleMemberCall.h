// Running one of the module's own members from inside another, as the bill
// numbering and the serial-number passes do: the row is found by name, the
// values are converted to the declared types as a client's are, and the
// member runs on the module's components with its own rules.
//
//   com::DispatchArgs args = CallModuleMember(module, "GetSystemValue", {"BillNumberNewBill", {}});
//   args[1]  // szReturn
#pragma once

#include <string_view>
#include <vector>

#include "platform/com/DispatchTable.h"

namespace quor {
class TDataModuleServer;
}

namespace quor::remote {

// `declared`: one value per argument in declared order (outs as their start
// value). Returns the arguments after the call, outs written. Errors are the
// member's own; a name that is no member is std::logic_error.
com::DispatchArgs CallModuleMember(TDataModuleServer& module, std::string_view name,
                                   std::vector<com::Variant> declared);

}  // namespace quor::remote
