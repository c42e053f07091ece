// The reusable dispatch object: GetIDsOfNames and Invoke answered from a
// DispatchTable shared by every instance of the class. Derive from it and
// register member functions with Bind, or give it handlers that capture state.
#pragma once

#include <memory>

#include "platform/com/DispatchTable.h"

namespace quor::com {

class TableDispatch : public IDispatchObject {
 public:
  // Throws std::invalid_argument for a null table.
  explicit TableDispatch(std::shared_ptr<const DispatchTable> table);

  HResult GetIDsOfNames(std::string_view name, DispId& dispId) override;
  HResult Invoke(DispId dispId, DispatchFlags flags, const DispParams& params, Variant* result,
                 ExcepInfo* excepInfo, std::uint32_t* argErr) override;

  const DispatchTable& Table() const { return *table_; }

 private:
  std::shared_ptr<const DispatchTable> table_;
};

}  // namespace quor::com
