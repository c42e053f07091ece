// The three report members that choose their procedure at run time: the
// sales and purchase analyses by the first character of cMode, the account
// sort list by Param16 and cMode, and the stocktake list by its integer mode.
// Each decides before the server is asked anything, so a mode that selects no
// procedure fails the call with nothing run: the component may still hold a
// writer from an earlier call, and running that again would write twice.
#include <array>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/VariantConvert.h"
#include "remote/methods/ArgumentText.h"
#include "remote/methods/CallPattern.h"
#include "remote/methods/QueryReportMethods.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

struct AnalysisProcedure {
  std::string_view firstCharacters;
  std::string_view procedure;
};

constexpr std::array<AnalysisProcedure, 11> kAnalysisProcedures = {{
    {"049V", "AAAAAUI;1"},
    {"12AB", "AAAAAUH;1"},
    {"3TWY", "AAAAAUM;1"},
    {"5HJ", "AAAAAUJ;1"},
    {"67KMN", "AAAAAUN;1"},
    {"8CF", "AAAAAUO;1"},
    {"D", "AAAAAUR;1"},
    {"E", "AAAAAUQ;1"},
    {"GPQR", "AAAAAUL;1"},
    {"IUX", "AAAAAUK;1"},
    {"LSZ", "AAAAAUP;1"},
}};

bool AnalysisModeIsOneOf(const std::string& mode, std::initializer_list<std::string_view> modes) {
  for (std::string_view candidate : modes) {
    if (mode == candidate) return true;
  }
  return false;
}

// A copy of the row in which the arguments named `names` are not sent.
MethodDescription RowWithoutArguments(const MethodDescription& method,
                                      std::initializer_list<std::string_view> names) {
  MethodDescription copy = method;
  for (Argument& argument : copy.arguments) {
    for (std::string_view name : names) {
      if (argument.name == name) argument.send = SendRule::kNotSent;
    }
  }
  return copy;
}

com::Variant QueryAnalyseSellAndBuy(TDataModuleServer& module, const MethodDescription& method,
                                    com::DispatchArgs& args) {
  const std::string mode = TextOf(args[ArgumentSlot(method, "cMode")]);
  if (mode.empty()) {
    throw std::invalid_argument(std::string(method.name) +
                                ": cMode is empty, so no analysis is chosen; nothing was run");
  }
  std::string_view procedure;
  for (const AnalysisProcedure& entry : kAnalysisProcedures) {
    if (entry.firstCharacters.find(mode.front()) != std::string_view::npos) {
      procedure = entry.procedure;
    }
  }
  if (procedure.empty()) {
    throw std::invalid_argument(std::string(method.name) + ": cMode \"" + mode +
                                "\" names no analysis; nothing was run");
  }
  // The card number and the plan go only with the modes that use them.
  const bool card = AnalysisModeIsOneOf(mode, {"M", "N", "6", "7", "K"});
  const bool plan = AnalysisModeIsOneOf(mode, {"D", "E"});
  const MethodDescription sent =
      card   ? RowWithoutArguments(method, {"PlanDays", "PlanMode", "PlanDate"})
      : plan ? RowWithoutArguments(method, {"CardNo"})
             : RowWithoutArguments(method, {"CardNo", "PlanDays", "PlanMode", "PlanDate"});
  return RunCallPattern(module, sent, args, procedure);
}

// Param16 only selects; a value that is no number cannot equal 1, but a text
// that claims to be one and is not is a client error worth naming.
bool SelectsLevelList(const MethodDescription& method, const com::DispatchArgs& args) {
  const com::Variant& selector = args[ArgumentSlot(method, "Param16")].Deref();
  const std::string mode = TextOf(args[ArgumentSlot(method, "cMode")]);
  if (selector.IsEmpty() || selector.IsNull()) return false;
  com::Variant number;
  if (com::Failed(com::TryChangeType(selector, com::VT_I4, number))) {
    throw std::invalid_argument(std::string(method.name) + ": Param16 \"" + TextOf(selector) +
                                "\" is not a number; nothing was run");
  }
  return number.GetI4() == 1 && mode == "S";
}

com::Variant QueryAccountSortList(TDataModuleServer& module, const MethodDescription& method,
                                  com::DispatchArgs& args) {
  if (SelectsLevelList(method, args)) return RunCallPattern(module, method, args, "AAAAATV;1");
  return RunCallPattern(module, RowWithoutArguments(method, {"Param17", "Param18"}), args,
                        "AAAAATW;1");
}

com::Variant QueryAllStockCheck(TDataModuleServer& module, const MethodDescription& method,
                                com::DispatchArgs& args) {
  const bool allStock = args[ArgumentSlot(method, "cMode")].GetI4() == 0;
  return RunCallPattern(module, method, args, allStock ? "AAAAAUG;1" : "AAAAAXG;1");
}

}  // namespace

const std::vector<MethodDescription>& QueryReportSelectorMethods() {
  // clang-format off
  static const std::vector<MethodDescription> kMethods = {
      {.name = "QueryAnalyseSellAndBuy",
       .dispId = 1273,
       .component = Component::kQueryProc,
       .arguments = {kOperatorId, kCompanyId, NotSent("GridMode"), In("ParentID"), In("cMode"),
                     In("StartDate"), In("Enddate"), In("StockID"), In("WareID"), In("PersonID"),
                     In("ClientID"), In("PlanDays"), In("PlanMode"), In("PlanDate"), In("CardNo"),
                     Ret("nRet")},
       .handler = &QueryAnalyseSellAndBuy},
      {.name = "QueryAccountSortList",
       .dispId = 1133,
       .component = Component::kMemoProc,
       .arguments = {kOperatorId, kCompanyId, In("cMode"), In("lVchtype1").To("@lBillType1"),
                     In("lVchtype2").To("@lBillType2"), In("lVchtype3").To("@lBillType3"),
                     In("lVchtype4").To("@lBillType4"), In("lVchtype5").To("@lBillType5"),
                     In("lVchtype6").To("@lBillType6"), In("szatypeid").To("@szAccountID"),
                     In("szptypeid").To("@szWareID"), In("szbtypeid").To("@szClientID"),
                     In("szetypeid").To("@szPersonID"), In("szktypeid").To("@szStockID"),
                     In("szktypeid2").To("@szStockID2"), In("szInputNo").To("@szAuditingMan"),
                     In("szBeginDate"), In("szEndDate"), NotSent("Param16"),
                     In("Param17").To("@iLevel"), In("Param18").To("@incLowLevel"), Ret("nRet")},
       .handler = &QueryAccountSortList},
      {.name = "QueryAllStockCheck",
       .dispId = 1150,
       .component = Component::kQueryProc,
       .arguments = {kOperatorId, kCompanyId, In("szktypeid").To("@szStockID"),
                     In("szOtypeid").To("@szPositionID"), In("cMode").Typed(ArgType::kInteger),
                     Ret("nRet")},
       .handler = &QueryAllStockCheck},
  };
  // clang-format on
  return kMethods;
}

}  // namespace quor::remote
