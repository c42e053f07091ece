// The accounting members with algorithms of their own: the basic-data and
// voucher and wage writers that choose between a create and an update
// procedure, and the event log that stamps the server's own time.
#pragma once

#include "remote/methods/MethodDescription.h"

namespace quor::remote {

#define QUOR_ACCOUNTING_HANDLER(name)                                           \
  com::Variant name(TDataModuleServer& module, const MethodDescription& method, \
                    com::DispatchArgs& args)

QUOR_ACCOUNTING_HANDLER(AccInsertAreaInfo);
QUOR_ACCOUNTING_HANDLER(AccInsertBranchInfo);
QUOR_ACCOUNTING_HANDLER(AccInsertClientInfo);
QUOR_ACCOUNTING_HANDLER(AccInsertPersonInfo);
QUOR_ACCOUNTING_HANDLER(AccInsertVoucherMaster);
QUOR_ACCOUNTING_HANDLER(WagInsertBillMasterAll);
QUOR_ACCOUNTING_HANDLER(AccQuerySystemEventLog);

#undef QUOR_ACCOUNTING_HANDLER

}  // namespace quor::remote
