// Running a member whose procedure is chosen at run time from its arguments:
// the selector is read as a whole number before anything reaches the server,
// so a bad value fails the call with nothing run, and the member's row is
// then run on the chosen procedure by the call pattern's own rules.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string_view>

#include "platform/com/DispatchTable.h"
#include "platform/sql/StoredProc.h"
#include "remote/methods/MethodDescription.h"

namespace quor {
class TDataModuleServer;
}

namespace quor::remote {

// The argument `name` of `method` as a whole number. Throws
// std::runtime_error naming the member and the argument when it is no whole
// number (empty counts as 0, as the variant rules have it).
std::int32_t SelectorNumber(const MethodDescription& method, const com::DispatchArgs& args,
                            std::string_view name);

// Runs `row` (the member's row, adjusted for the choice) on `procedure` with
// the member's component. The arguments named in `sentWhenDeclared` choose the
// procedure; each is sent unchanged to its parameter only when the chosen
// procedure declares it, so a procedure without it is not refused by the
// server for an unknown parameter. `beforeRun` may assign what no argument
// feeds.
com::Variant RunChosenProcedure(TDataModuleServer& module, const MethodDescription& row,
                                com::DispatchArgs& args, std::string_view procedure,
                                std::initializer_list<std::string_view> sentWhenDeclared,
                                const std::function<void(sql::StoredProc&)>& beforeRun = {});

}  // namespace quor::remote
