// The bill and stock members with algorithms of their own (BillHandlers.cpp,
// StockSerialHandlers.cpp).
#pragma once

#include "remote/methods/MethodDescription.h"

namespace quor::remote {

#define QUOR_BILL_HANDLER(name)                                                 \
  com::Variant name(TDataModuleServer& module, const MethodDescription& method, \
                    com::DispatchArgs& args)

QUOR_BILL_HANDLER(InsertBillMaster);
QUOR_BILL_HANDLER(InsertBillDetail);
QUOR_BILL_HANDLER(UpdateBillTransfer);
QUOR_BILL_HANDLER(DeleteBillMaster);
QUOR_BILL_HANDLER(SetBillNumberCount);
QUOR_BILL_HANDLER(UpdateStockWareInit);
QUOR_BILL_HANDLER(InsertStockBorrowInit);
QUOR_BILL_HANDLER(UpdateStockEntrustInit);
QUOR_BILL_HANDLER(InsertCheckCount);
QUOR_BILL_HANDLER(CreateCheckLoseSpillBill);

#undef QUOR_BILL_HANDLER

}  // namespace quor::remote
