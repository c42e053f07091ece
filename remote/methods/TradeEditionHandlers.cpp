// The car-parts bill writers that choose their procedure, and the repair-part
// line whose serial numbers are stored one by one after it.
#include "remote/methods/TradeEditionHandlers.h"

#include <string>
#include <vector>

#include "remote/SerialText.h"
#include "remote/methods/ArgumentText.h"
#include "remote/methods/CallPattern.h"
#include "remote/methods/ChosenProcedure.h"
#include "remote/methods/ModuleMemberCall.h"

namespace quor::remote {

com::Variant QP_InsertBillMaster(TDataModuleServer& module, const MethodDescription& method,
                                 com::DispatchArgs& args) {
  const bool draft = SelectorNumber(method, args, "Draft") != 0;
  return RunChosenProcedure(module, method, args, draft ? "AAAABOW;1" : "AAAABOX;1", {"Draft"});
}

// The rule of the trading bill line without its value 8, which here is an
// ordinary draft.
com::Variant QP_InsertBillDetail(TDataModuleServer& module, const MethodDescription& method,
                                 com::DispatchArgs& args) {
  const std::int32_t draft = SelectorNumber(method, args, "Draft");
  const std::int32_t billType = SelectorNumber(method, args, "BillType");
  std::string_view procedure = "AAAABOT;1";
  if (draft != 0) {
    if (billType == 117 || billType == 118) {
      procedure = "AAAABOV;1";
    } else if (draft == 7) {
      procedure = "AAAABOU;1";
    }
  }
  return RunChosenProcedure(module, method, args, procedure, {"Draft", "BillType"});
}

// The line is stored first; its serial numbers follow only when the
// procedure gave the line an identifier. The first serial number the account
// set refuses ends the pass, and nRet keeps the line's identifier either way.
com::Variant QX_InsertBillDetailPart(TDataModuleServer& module, const MethodDescription& method,
                                     com::DispatchArgs& args) {
  const std::vector<SerialEntry> serials =
      SerialEntries(TextOf(args[ArgumentSlot(method, "SerialNo")]), 2);
  RunCallPattern(module, method, args);
  const std::int32_t lineId = args[ArgumentSlot(method, "nRet")].ToI4();
  if (lineId <= 0) return {};
  const com::Variant operatorId = args[ArgumentSlot(method, "OperatorID")];
  const com::Variant companyId = args[ArgumentSlot(method, "CompanyID")];
  for (const SerialEntry& entry : serials) {
    const com::DispatchArgs result = CallModuleMember(
        module, "QX_UpdateBillSerialPartDraft",
        {operatorId, companyId, com::Variant::I4(lineId), com::Variant(entry.serial),
         com::Variant(entry.remark), com::Variant::I4(0)});
    if (result[5].ToI4() != 0) break;
  }
  return {};
}

}  // namespace quor::remote
