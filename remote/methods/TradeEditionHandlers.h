// The trade-edition members with algorithms of their own: the car-parts bill
// writers that choose their procedure, and the repair-part line with its
// serial-number pass.
#pragma once

#include "remote/methods/MethodDescription.h"

namespace quor::remote {

#define QUOR_TRADE_EDITION_HANDLER(name)                                        \
  com::Variant name(TDataModuleServer& module, const MethodDescription& method, \
                    com::DispatchArgs& args)

QUOR_TRADE_EDITION_HANDLER(QP_InsertBillMaster);
QUOR_TRADE_EDITION_HANDLER(QP_InsertBillDetail);
QUOR_TRADE_EDITION_HANDLER(QX_InsertBillDetailPart);

#undef QUOR_TRADE_EDITION_HANDLER

}  // namespace quor::remote
