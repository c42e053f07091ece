// InsertBillMaster with server-side numbering, InsertBillDetail with its
// serial numbers, posting with its change-queue row, deletion with the annex
// folder, and the reset of the numbering counters.
#include "remote/methods/BillHandlers.h"

#include <charconv>
#include <stdexcept>
#include <string>

#include "platform/com/VariantConvert.h"
#include "platform/text/AsciiText.h"
#include "remote/BillNumbering.h"
#include "remote/ChangeQueue.h"
#include "remote/ClientPath.h"
#include "remote/methods/ArgumentText.h"
#include "remote/methods/BillWriters.h"
#include "remote/methods/CallPattern.h"
#include "remote/methods/ModuleMemberCall.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

std::int32_t WholeNumber(const MethodDescription& method, std::string_view name,
                         const com::Variant& value) {
  com::Variant number;
  if (com::TryChangeType(value, com::VT_I4, number) != com::S_OK) {
    throw std::runtime_error(std::string(method.name) + ": " + std::string(name) + " \"" +
                             TextOf(value) + "\" is no whole number");
  }
  return number.GetI4();
}

// The system-value members of the account set, or their accounting-edition
// forms for a module connected as "CW".
// The accounting edition's forms are run from rows of their own here, as
// the members of that edition's family describe them.
const MethodDescription& AccountingGetRow() {
  static const MethodDescription kRow = {
      .name = "AccGetSystemValue",
      .dispId = 5060,
      .component = Component::kSubProc,
      .procedure = "AAAABES",
      .arguments = {In("Param1").To("@prm_Name"), Out("Param2").From("@prm_Return")},
      .constants = {Text("@prm_Return", "")}};
  return kRow;
}

const MethodDescription& AccountingSetRow() {
  static const MethodDescription kRow = {
      .name = "AccSetSystemValue",
      .dispId = 5061,
      .component = Component::kInsertProc,
      .procedure = "AAAABHJ",
      .arguments = {In("szName"), In("szValue"), NotSent("szMemo"), Ret("nRet")}};
  return kRow;
}

struct CounterValues {
  TDataModuleServer& module;
  bool accounting;

  std::string Read(const char* name) const {
    if (!accounting) {
      return TextOf(CallModuleMember(module, "GetSystemValue", {com::Variant(name), {}})[1]);
    }
    com::DispatchArgs args({com::Variant(name), com::Variant()});
    RunCallPattern(module, AccountingGetRow(), args);
    return TextOf(args[1]);
  }
  void Write(const char* name, const std::string& value) const {
    std::vector<com::Variant> values = {com::Variant(name), com::Variant(value), com::Variant(""),
                                        com::Variant::I4(0)};
    if (!accounting) {
      CallModuleMember(module, "SetSystemValue", std::move(values));
      return;
    }
    com::DispatchArgs args(std::move(values));
    RunCallPattern(module, AccountingSetRow(), args);
  }
};

struct YearMonthDay {
  int year = 0, month = 0, day = 0;
};

// "yyyy-mm-dd", also with "/" or "." and without leading zeros.
YearMonthDay DecodeShortDate(const std::string& text) {
  YearMonthDay date;
  int* parts[] = {&date.year, &date.month, &date.day};
  const std::string_view trimmed = text::TrimBlanks(text);
  const char* cursor = trimmed.data();
  const char* end = trimmed.data() + trimmed.size();
  for (std::size_t i = 0; i < 3; ++i) {
    const auto [next, error] = std::from_chars(cursor, end, *parts[i]);
    if (error != std::errc() ||
        (i < 2 && (next == end || (*next != '-' && *next != '/' && *next != '.')))) {
      throw std::runtime_error("\"" + text + "\" is no date");
    }
    cursor = i < 2 ? next + 1 : next;
  }
  if (cursor != end || date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31) {
    throw std::runtime_error("\"" + text + "\" is no date");
  }
  return date;
}

}  // namespace

com::Variant InsertBillMaster(TDataModuleServer& module, const MethodDescription& method,
                              com::DispatchArgs& args) {
  const std::size_t numberSlot = ArgumentSlot(method, "lNumber");
  // The procedure is chosen first, so bad Draft or lVchcode values fail before
  // a number is taken.
  BillMasterProcedure(args[ArgumentSlot(method, "Draft")], args[ArgumentSlot(method, "lVchcode")]);
  if (TextOf(args[numberSlot]).empty()) {
    NumberRequest request;
    request.operatorId = com::Variant(TextOf(args[ArgumentSlot(method, "OperatorID")]));
    request.companyId = com::Variant(TextOf(args[ArgumentSlot(method, "CompanyID")]));
    request.machineNumber = TextOf(args[ArgumentSlot(method, "MachineNum")]);
    request.billId = WholeNumber(method, "lVchcode", args[ArgumentSlot(method, "lVchcode")]);
    request.billType = WholeNumber(method, "lVchtype", args[ArgumentSlot(method, "lVchtype")]);
    request.date = TextOf(args[ArgumentSlot(method, "szDate")]);
    args[numberSlot] = com::Variant(AssignBillNumber(module, request));
  }
  WriteBillMaster(module.InsertProc(), args);
  return {};
}

com::Variant InsertBillDetail(TDataModuleServer& module, const MethodDescription&,
                              com::DispatchArgs& args) {
  WriteBillDetail(module.InsertProc(), args);
  return {};
}

com::Variant UpdateBillTransfer(TDataModuleServer& module, const MethodDescription& method,
                                com::DispatchArgs& args) {
  BillChange change;
  change.vocation = TextOf(args[ArgumentSlot(method, "Vocation")]);
  // Checked before posting: a posted bill without its queue row fails the
  // call, and the client's retry would post it again.
  change.billId = WholeNumber(method, "nBillID", args[ArgumentSlot(method, "nBillID")]);
  change.billType = WholeNumber(method, "nBillType", args[ArgumentSlot(method, "nBillType")]);
  change.isMobileBill =
      WholeNumber(method, "IsMobileBill", args[ArgumentSlot(method, "IsMobileBill")]);
  RequireBillQueueRowFits(change.vocation);
  WriteBillTransfer(module.InsertProc(), args);
  change.result = args[ArgumentSlot(method, "iReturn")].ToI4();
  change.database = module.InsertProc().GetConnection().CurrentDatabase();
  EnqueueBillChange(module.QryExecSQL(), change);
  return {};
}

com::Variant DeleteBillMaster(TDataModuleServer& module, const MethodDescription&,
                              com::DispatchArgs& args) {
  WriteBillDeletion(module.DeleteProc(), args, ProgramFolderPath());
  return {};
}

com::Variant SetBillNumberCount(TDataModuleServer& module, const MethodDescription&,
                                com::DispatchArgs& args) {
  try {
    // The module's own trade code: another client's ConnectDb must not switch
    // this one to the accounting edition's values.
    const CounterValues values{module, module.TradeCode() == "CW"};
    std::int32_t increase = 0;
    {
      const std::string text(text::TrimBlanks(values.Read("BillNumberIncrease")));
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), increase);
      if (error != std::errc() || end != text.data() + text.size()) increase = 0;
    }
    const std::string today = ShortDateToday();
    std::string last = values.Read("CurrentLoginDate");
    if (last.empty()) last = today;
    const YearMonthDay was = DecodeShortDate(last);
    const YearMonthDay now = DecodeShortDate(today);
    const bool reset = (increase == 0 && was.year != now.year) ||
                       (increase == 1 && (was.year != now.year || was.month != now.month)) ||
                       (increase == 2 && last != today);
    if (reset) {
      values.Write("CurrentLoginDate", today);
      values.Write("BillNumberMaxInc", "0");
      CallModuleMember(module, "ExecuteSQL",
                       {com::Variant("Update AAAACEH Set CountMax = 0"), com::Variant::I4(0)});
    }
    args[0] = com::Variant::I4(0);
  } catch (const std::exception&) {
    args[0] = com::Variant::I4(-1);
  }
  return {};
}

}  // namespace quor::remote
