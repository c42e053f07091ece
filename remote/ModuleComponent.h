// The dataset components of the remote data module, by the names the method
// catalogue uses. Method descriptions name their component with this enum, so
// an unknown component cannot be written down.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quor::remote {

enum class Component : std::uint8_t {
  kNone,  // the method uses no dataset component (hand-written methods only)
  kInsertProc,
  kQueryProc,
  kQueryProc2,
  kVchProc,
  kSubProc,
  kMemoProc,
  kBasicProc,
  kDeleteProc,
  kADOStoredProc,
  kCreateGetZt,
  kQryExecSQL,
};

// "InsertProc", ...; "" for kNone.
std::string_view ComponentName(Component component);
std::optional<Component> ComponentByName(std::string_view name);
// The nine stored-procedure components; CreateGetZt and QryExecSQL are statements.
bool IsStoredProcComponent(Component component);

}  // namespace quor::remote
