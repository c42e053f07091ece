#include "platform/com/TableDispatch.h"

#include <stdexcept>
#include <utility>

namespace quor::com {

TableDispatch::TableDispatch(std::shared_ptr<const DispatchTable> table)
    : table_(std::move(table)) {
  if (!table_) throw std::invalid_argument("dispatch object without a member table");
}

HResult TableDispatch::GetIDsOfNames(std::string_view name, DispId& dispId) {
  return table_->GetIDsOfNames(name, dispId);
}

HResult TableDispatch::Invoke(DispId dispId, DispatchFlags flags, const DispParams& params,
                              Variant* result, ExcepInfo* excepInfo, std::uint32_t* argErr) {
  return table_->Invoke(*this, dispId, flags, params, result, excepInfo, argErr);
}

}  // namespace quor::com
