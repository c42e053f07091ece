// Opening stock and stocktakes with their serial numbers, and the loss and
// overflow bills of a stocktake with numbers of their own.
#include <stdexcept>
#include <string>

#include "platform/text/AsciiText.h"
#include "remote/BillNumbering.h"
#include "remote/SerialText.h"
#include "remote/methods/ArgumentText.h"
#include "remote/methods/BillHandlers.h"
#include "remote/methods/CallPattern.h"
#include "remote/methods/ModuleMemberCall.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

constexpr std::int32_t kSerialRefused = -52;

// Where an opening-stock member's serial numbers are kept and which of its
// arguments fill the serial calls; empty names send an empty text, an empty
// stock type 0.
struct OpeningStockSerials {
  const char* table;
  const char* ware;
  const char* stock;
  const char* client;
  const char* stockType;
  const char* serialText;
  const char* result;
};

std::int32_t SerialTableCall(TDataModuleServer& module, const MethodDescription& method,
                             const com::DispatchArgs& args, const OpeningStockSerials& rule,
                             const char* mode, std::int32_t indexId, const std::string& serial,
                             const std::string& memo) {
  const auto argument = [&](const char* name) {
    return *name == '\0' ? com::Variant("") : args[ArgumentSlot(method, name)];
  };
  const com::Variant stockType =
      *rule.stockType == '\0' ? com::Variant::I4(0) : args[ArgumentSlot(method, rule.stockType)];
  com::DispatchArgs result = CallModuleMember(
      module, "UpdateStockSerialTableInit",
      {args[ArgumentSlot(method, "OperatorID")], args[ArgumentSlot(method, "CompanyID")],
       com::Variant(rule.table), com::Variant(mode), argument(rule.ware), argument(rule.stock),
       argument(rule.client), stockType, com::Variant::I4(indexId), com::Variant(serial),
       com::Variant(memo), com::Variant::I4(0)});
  return result[11].ToI4();
}

com::Variant OpeningStockWithSerials(TDataModuleServer& module, const MethodDescription& method,
                                     com::DispatchArgs& args, const OpeningStockSerials& rule) {
  const std::string serialText = TextOf(args[ArgumentSlot(method, rule.serialText)]);
  const bool withSerials =
      !TextOf(args[ArgumentSlot(method, rule.ware)]).empty() && !serialText.empty();
  const std::vector<SerialEntry> entries =
      withSerials ? SerialEntries(serialText, 2) : std::vector<SerialEntry>{};
  const std::size_t resultSlot = ArgumentSlot(method, rule.result);
  for (const SerialEntry& entry : entries) {
    if (SerialTableCall(module, method, args, rule, "C", 0, entry.serial, entry.remark) == 0) {
      args[resultSlot] = com::Variant::I4(kSerialRefused);
      return {};
    }
  }
  RunCallPattern(module, method, args);
  const std::int32_t recordId = args[resultSlot].ToI4();
  if (recordId <= 0 || !withSerials) return {};
  SerialTableCall(module, method, args, rule, "D", 0, "", "");
  for (const SerialEntry& entry : entries) {
    if (SerialTableCall(module, method, args, rule, "I", recordId, entry.serial, entry.remark) !=
        0) {
      break;
    }
  }
  return {};
}

}  // namespace

com::Variant UpdateStockWareInit(TDataModuleServer& module, const MethodDescription& method,
                                 com::DispatchArgs& args) {
  return OpeningStockWithSerials(module, method, args,
                                 {"AAAAAEX", "szptypeid", "szktypeid", "", "", "SerialNo", "nRet"});
}

com::Variant InsertStockBorrowInit(TDataModuleServer& module, const MethodDescription& method,
                                   com::DispatchArgs& args) {
  return OpeningStockWithSerials(
      module, method, args,
      {"AAAACDU", "szWareID", "cLendTag", "szClientID", "", "SerialNo", "iReturn"});
}

com::Variant UpdateStockEntrustInit(TDataModuleServer& module, const MethodDescription& method,
                                    com::DispatchArgs& args) {
  return OpeningStockWithSerials(
      module, method, args, {"AAAACDW", "szptypeid", "", "szbtypeid", "lType", "SerialNo", "nRet"});
}

com::Variant InsertCheckCount(TDataModuleServer& module, const MethodDescription& method,
                              com::DispatchArgs& args) {
  RunCallPattern(module, method, args);
  const std::int32_t checkedId = args[ArgumentSlot(method, "nRet")].ToI4();
  const std::string serialText = TextOf(args[ArgumentSlot(method, "sSerialNo")]);
  if (checkedId <= 0 || text::TrimBlanks(serialText).empty()) return {};
  const auto call = [&](const char* mode, const std::string& serial, const std::string& memo,
                        const com::Variant& status) {
    com::DispatchArgs result = CallModuleMember(
        module, "InsertCheckSerialNo",
        {args[ArgumentSlot(method, "OperatorID")], args[ArgumentSlot(method, "CompanyID")],
         com::Variant(mode), com::Variant::I4(checkedId), com::Variant(serial), com::Variant(memo),
         status, com::Variant::I4(0)});
    return result[7].ToI4();
  };
  call("D", serialText, "", com::Variant::I4(0));
  for (const SerialEntry& entry : SerialEntries(serialText, 3)) {
    if (call("I", entry.serial, entry.remark, com::Variant(entry.status)) != 0) break;
  }
  return {};
}

com::Variant CreateCheckLoseSpillBill(TDataModuleServer& module, const MethodDescription& method,
                                      com::DispatchArgs& args) {
  const com::Variant operatorId = args[ArgumentSlot(method, "OperatorID")];
  const com::Variant companyId = args[ArgumentSlot(method, "CompanyID")];
  const std::string machine = TextOf(args[ArgumentSlot(method, "MachineNum")]);
  const std::string date = TextOf(args[ArgumentSlot(method, "StartDate")]);
  const std::string loss = MakeBillNumber(module, operatorId, companyId, machine, 133, date);
  const std::string overflow = MakeBillNumber(module, operatorId, companyId, machine, 134, date);
  sql::StoredProc& proc = module.StoredProcComponent(method.component);
  PrepareProcedure(proc, method.procedure);
  AssignArguments(proc, method, args);
  proc.Params().ByName("@BSBillNumber").SetValue(sql::Value::Text(loss));
  proc.Params().ByName("@BYBillNumber").SetValue(sql::Value::Text(overflow));
  proc.ExecProc();
  ReadResults(proc, method, args);
  return {};
}

}  // namespace quor::remote
