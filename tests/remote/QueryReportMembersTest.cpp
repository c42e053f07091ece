// The query and report members as clients call them, on the test account set:
// which procedure ran, which parameter received which value and what came
// back in which out argument, for each notation and each selector branch; the
// open argument list rule with extra, fewer and surplus arguments; and calls
// that are refused before anything reaches SQL Server.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ModuleFixture.h"
#include "ServerPublic/ServerGlobals.h"
#include "remote/methods/MethodCatalogue.h"

namespace quor::testing {
namespace {

using com::Variant;

// One argument as the client declares it: an in value, or an out slot passed
// by reference with its value before the call.
struct ReportArg {
  bool out = false;
  Variant value;
  com::VarType type = com::VT_VARIANT;
};

ReportArg V(Variant value) {
  return {false, std::move(value)};
}
ReportArg Slot(com::VarType type = com::VT_VARIANT, Variant before = {}) {
  if (before.IsEmpty() && type == com::VT_I4) before = Variant::I4(0);
  if (before.IsEmpty() && type == com::VT_R8) before = Variant::R8(0);
  return {true, std::move(before), type};
}

std::vector<ReportArg> WithOperator(std::vector<ReportArg> args) {
  args.insert(args.begin(), {V(Variant("00001")), V(Variant("00002"))});
  return args;
}

// Numbers compare by value whatever kind the stand-in keeps them as.
bool SameReportValue(const test::Value& a, const test::Value& b) {
  using Kind = test::Value::Kind;
  const auto numeric = [](const test::Value& v) {
    return v.GetKind() == Kind::Integer || v.GetKind() == Kind::Float ||
           v.GetKind() == Kind::Decimal;
  };
  if (numeric(a) && numeric(b)) return a.AsDouble() == b.AsDouble();
  return a == b;
}

struct ReportCall {
  CallResult result;
  std::vector<Variant> outs;  // the out slots after the call, in order
};

class QueryReportTest : public ModuleTest {
 protected:
  ReportCall CallReport(const char* member, const std::vector<ReportArg>& args) {
    std::vector<Variant> declared;
    std::vector<OutSlot> slots;
    for (const ReportArg& arg : args) {
      if (!arg.out) {
        declared.push_back(arg.value);
        continue;
      }
      slots.push_back(Out(arg.value, arg.type));
      declared.push_back(slots.back().ref);
    }
    ReportCall call;
    call.result = Call(member, declared);
    for (const OutSlot& slot : slots) call.outs.push_back(*slot.value);
    return call;
  }

  // Checks every listed parameter of the procedure's last call: a value it
  // received, or nullptr for one that was not sent and kept its default.
  void ExpectLastCall(const std::string& procedure,
                      const std::vector<std::pair<const char*, test::Value>>& received,
                      const std::vector<const char*>& notSent = {}) {
    const std::vector<test::ProcedureCall> calls = accountSet_.Calls(procedure);
    ASSERT_FALSE(calls.empty()) << procedure << " was not called";
    const test::ProcedureCall& call = calls.back();
    for (const auto& [parameter, value] : received) {
      EXPECT_TRUE(call.WasSent(parameter)) << procedure << " " << parameter;
      EXPECT_TRUE(SameReportValue(call[parameter], value))
          << procedure << " " << parameter << ": " << call[parameter].ToString() << ", expected "
          << value.ToString();
    }
    for (const char* parameter : notSent) {
      EXPECT_FALSE(call.WasSent(parameter)) << procedure << " " << parameter;
    }
  }
};

// The analysis arguments after OperatorID and CompanyID, for one cMode.
std::vector<ReportArg> AnalysisArgs(Variant mode) {
  return WithOperator({V(Variant::I4(3)), V(Variant("00000")), V(std::move(mode)),
                       V(Variant("2026-01-01")), V(Variant("2026-06-30")), V(Variant("00011")),
                       V(Variant("00012")), V(Variant("00013")), V(Variant("00014")),
                       V(Variant::I4(30)), V(Variant("A")), V(Variant("2026-07-01")),
                       V(Variant("VIP-9")), Slot(com::VT_I4)});
}

TEST_F(QueryReportTest, TheFirstCharacterOfCModeChoosesTheAnalysis) {
  struct Case {
    const char* mode;
    const char* procedure;
  };
  const std::vector<Case> cases = {
      {"0", "AAAAAUI"}, {"9", "AAAAAUI"},  {"V", "AAAAAUI"}, {"1", "AAAAAUH"}, {"Bx", "AAAAAUH"},
      {"3", "AAAAAUM"}, {"Y", "AAAAAUM"},  {"5", "AAAAAUJ"}, {"J", "AAAAAUJ"}, {"6", "AAAAAUN"},
      {"N", "AAAAAUN"}, {"8", "AAAAAUO"},  {"F", "AAAAAUO"}, {"D", "AAAAAUR"}, {"E", "AAAAAUQ"},
      {"G", "AAAAAUL"}, {"R", "AAAAAUL"},  {"I", "AAAAAUK"}, {"X", "AAAAAUK"}, {"L", "AAAAAUP"},
      {"Z", "AAAAAUP"}, {"Kx", "AAAAAUN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    accountSet_.ClearCalls();
    const ReportCall call = CallReport("QueryAnalyseSellAndBuy", AnalysisArgs(Variant(c.mode)));
    ASSERT_EQ(call.result.hr, com::S_OK) << call.result.excepInfo.description;
    EXPECT_EQ(accountSet_.Calls(c.procedure).size(), 1u);
    EXPECT_EQ(call.outs[0], Variant::I4(7));
    ExpectLastCall(c.procedure, {{"@cMode", c.mode}, {"@ClientID", "00014"}});
  }
}

TEST_F(QueryReportTest, EachNotationReachesItsParameterAndTheOutputsComeBack) {
  struct Case {
    const char* label;
    const char* member;
    std::vector<ReportArg> args;
    const char* procedure;
    std::vector<std::pair<const char*, test::Value>> received;
    std::vector<const char*> notSent;
    std::vector<Variant> outsAfter;
  };
  const std::vector<Case> cases = {
      {"K sends the card number and no plan",
       "QueryAnalyseSellAndBuy",
       AnalysisArgs(Variant("K")),
       "AAAAAUN",
       {{"@OperatorID", "00001"},
        {"@CompanyID", "00002"},
        {"@ParentID", "00000"},
        {"@cMode", "K"},
        {"@StartDate", "2026-01-01"},
        {"@EndDate", "2026-06-30"},
        {"@StockID", "00011"},
        {"@WareID", "00012"},
        {"@PersonID", "00013"},
        {"@ClientID", "00014"},
        {"@CardNo", "VIP-9"}},
       {},
       {Variant::I4(7)}},
      {"a mode that only starts with K sends no card number",
       "QueryAnalyseSellAndBuy",
       AnalysisArgs(Variant("Kx")),
       "AAAAAUN",
       {{"@cMode", "Kx"}},
       {"@CardNo"},
       {Variant::I4(7)}},
      {"D sends the three plan parameters",
       "QueryAnalyseSellAndBuy",
       AnalysisArgs(Variant("D")),
       "AAAAAUR",
       {{"@cMode", "D"}, {"@PlanDays", 30}, {"@PlanMode", "A"}, {"@PlanDate", "2026-07-01"}},
       {},
       {Variant::I4(7)}},
      {"Param16 1 with cMode S runs the level list with its two levels",
       "QueryAccountSortList",
       WithOperator({V(Variant("S")),          V(Variant::I4(11)),   V(Variant::I4(12)),
                     V(Variant::I4(13)),       V(Variant::I4(14)),   V(Variant::I4(15)),
                     V(Variant::I4(16)),       V(Variant("A1")),     V(Variant("W1")),
                     V(Variant("C1")),         V(Variant("P1")),     V(Variant("K1")),
                     V(Variant("K2")),         V(Variant("管理员")), V(Variant("2026-01-01")),
                     V(Variant("2026-01-31")), V(Variant::I4(1)),    V(Variant::I4(3)),
                     V(Variant::I4(1)),        Slot(com::VT_I4)}),
       "AAAAATV",
       {{"@cMode", "S"},
        {"@lBillType1", 11},
        {"@lBillType6", 16},
        {"@szAccountID", "A1"},
        {"@szWareID", "W1"},
        {"@szClientID", "C1"},
        {"@szPersonID", "P1"},
        {"@szStockID", "K1"},
        {"@szStockID2", "K2"},
        {"@szAuditingMan", "管理员"},
        {"@szBeginDate", "2026-01-01"},
        {"@szEndDate", "2026-01-31"},
        {"@iLevel", 3},
        {"@incLowLevel", 1}},
       {},
       {Variant::I4(7)}},
      {"any other Param16 runs the plain list without the levels",
       "QueryAccountSortList",
       WithOperator({V(Variant("S")),          V(Variant::I4(11)),   V(Variant::I4(12)),
                     V(Variant::I4(13)),       V(Variant::I4(14)),   V(Variant::I4(15)),
                     V(Variant::I4(16)),       V(Variant("A1")),     V(Variant("W1")),
                     V(Variant("C1")),         V(Variant("P1")),     V(Variant("K1")),
                     V(Variant("K2")),         V(Variant("管理员")), V(Variant("2026-01-01")),
                     V(Variant("2026-01-31")), V(Variant::I4(0)),    V(Variant::I4(3)),
                     V(Variant::I4(1)),        Slot(com::VT_I4)}),
       "AAAAATW",
       {{"@cMode", "S"}, {"@szStockID2", "K2"}},
       {},
       {Variant::I4(7)}},
      {"cMode 0 lists every storehouse's stocktake",
       "QueryAllStockCheck",
       WithOperator(
           {V(Variant("00001")), V(Variant("00002")), V(Variant::I4(0)), Slot(com::VT_I4)}),
       "AAAAAUG",
       {{"@szStockID", "00001"}, {"@szPositionID", "00002"}, {"@cMode", 0}},
       {},
       {Variant::I4(7)}},
      {"any other cMode, given as text, lists one",
       "QueryAllStockCheck",
       WithOperator({V(Variant("00001")), V(Variant("00002")), V(Variant("2")), Slot(com::VT_I4)}),
       "AAAAAXG",
       {{"@cMode", 2}},
       {},
       {Variant::I4(7)}},
      {"BillType goes to @StockID, the totals come back from the in-out parameters",
       "QueryReplaceDetail",
       WithOperator({V(Variant("00012")), V(Variant("00007")), V(Variant("00014")),
                     V(Variant("2026-01-01")), V(Variant("2026-01-31")), V(Variant::I4(1)), Slot(),
                     Slot(), Slot(com::VT_I4)}),
       "AAAAAYA",
       {{"@WareID", "00012"},
        {"@StockID", "00007"},
        {"@ClientID", "00014"},
        {"@QueryType", 1},
        {"@SumTo", nullptr},
        {"@SumToRefer", nullptr}},
       {},
       {Variant::R8(1234.5), Variant::R8(99.25), Variant::I4(7)}},
      {"GetReceiveLimit takes sModale after its three doubles",
       "GetReceiveLimit",
       WithOperator({V(Variant("00014")), Slot(com::VT_R8, Variant::R8(9)), Slot(com::VT_R8),
                     Slot(com::VT_R8), V(Variant("R")), Slot(com::VT_I4)}),
       "AAAAARB",
       {{"@szClientID", "00014"}, {"@sModal", "R"}, {"@dLimit", 0}, {"@dAr", 0}, {"@dArdly", 0}},
       {},
       {Variant::R8(500.5), Variant::R8(500.5), Variant::R8(500.5), Variant::I4(0)}},
      {"GetPrintBillCurrentAccount sends eight doubles and reads back the last six",
       "GetPrintBillCurrentAccount",
       WithOperator({V(Variant::I4(115)), V(Variant::I4(1001)), V(Variant("00014")),
                     Slot(com::VT_R8, Variant::R8(1)), Slot(com::VT_R8, Variant::R8(2)),
                     Slot(com::VT_R8, Variant::R8(3)), Slot(com::VT_R8, Variant::R8(4)),
                     Slot(com::VT_R8, Variant::R8(5)), Slot(com::VT_R8, Variant::R8(6)),
                     Slot(com::VT_R8, Variant::R8(7)), Slot(com::VT_R8, Variant::R8(8)),
                     Slot(com::VT_I4)}),
       "AAAAAQZ",
       {{"@BillType", 115},
        {"@BillID", 1001},
        {"@LocalBillAR", 1.0},
        {"@LocalBillBA", 2.0},
        {"@PreviousAR", 3.0},
        {"@PreviousBillReturn", 8.0}},
       {},
       {Variant::R8(1), Variant::R8(2), Variant::R8(103), Variant::R8(104), Variant::R8(105),
        Variant::R8(106), Variant::R8(107), Variant::R8(108), Variant::I4(2)}},
      {"QuerySinglePriceTracker sends the doubles' values and reads no return value",
       "QuerySinglePriceTracker",
       WithOperator({V(Variant("00012")), V(Variant("00014")), V(Variant("U1")),
                     Slot(com::VT_R8, Variant::R8(10)), Slot(com::VT_R8, Variant::R8(20)),
                     Slot(com::VT_R8, Variant::R8(30)), Slot(com::VT_R8, Variant::R8(40))}),
       "AAAAAZC",
       {{"@szUnitID", "U1"}, {"@dCostPrice", 10.0}, {"@dSellPrice", 20.0}},
       {},
       {Variant::R8(11), Variant::R8(21), Variant::R8(31), Variant::R8(41)}},
      {"Param4 is converted to an integer, GridMode is not sent",
       "QueryClassStockCheckCount",
       WithOperator({V(Variant::I4(2)), V(Variant("00001")), V(Variant("00002")),
                     V(Variant("00012")), V(Variant(" 12")), V(Variant("B7")),
                     V(Variant("2026-01-01")), V(Variant("2027-01-01")), V(Variant("G1")),
                     V(Variant("I1")), Slot(com::VT_I4)}),
       "AAAAAVJ",
       {{"@szStockID", "00001"},
        {"@szWareID", "00012"},
        {"@nWareNumber", 12},
        {"@BlockNumber", "B7"},
        {"@InspectNO", "I1"}},
       {},
       {Variant::I4(7)}},
      {"typed arguments arrive converted",
       "QueryMatureOrder",
       WithOperator(
           {V(Variant("2")), V(Variant::R8(1)), V(Variant::I4(20260101)), Slot(com::VT_I4)}),
       "AAAAAWW",
       {{"@Method", 2}, {"@Mode", 1}, {"@Date", "20260101"}},
       {},
       {Variant::I4(7)}},
      {"a member without a result",
       "QueryAllChange",
       WithOperator({V(Variant::I4(1)), V(Variant("2026-01-01")), V(Variant("2026-01-31")),
                     V(Variant("00001"))}),
       "AAAAAUA",
       {{"@startdate", "2026-01-01"}, {"@enddate", "2026-01-31"}, {"@szStockID", "00001"}},
       {},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    accountSet_.ClearCalls();
    const ReportCall call = CallReport(c.member, c.args);
    ASSERT_EQ(call.result.hr, com::S_OK) << call.result.excepInfo.description;
    ExpectLastCall(c.procedure, c.received, c.notSent);
    EXPECT_EQ(call.outs, c.outsAfter);
  }
}

TEST_F(QueryReportTest, TheReportRowsComeFromTheChosenProcedure) {
  const ReportCall call = CallReport("QueryAnalyseSellAndBuy", AnalysisArgs(Variant("E")));
  ASSERT_EQ(call.result.hr, com::S_OK) << call.result.excepInfo.description;
  const datasnap::test::DataPacket packet = Fetch("QueryProvider");
  ASSERT_EQ(packet.records.size(), 1u);
  ASSERT_EQ(packet.records[0].cells.size(), 1u);
  EXPECT_EQ(packet.records[0].cells[0], datasnap::test::Cell(std::string("AAAAAUQ")));
}

TEST_F(QueryReportTest, AFixedNameMemberReadsTheReturnValueWhateverTheServerCallsIt) {
  const std::string saved = ReturnValueName();
  SetReturnValueName("@Status");
  const ReportCall call = CallReport("QueryAutoCheckProfitLoss", WithOperator({Slot(com::VT_I4)}));
  SetReturnValueName(saved);
  ASSERT_EQ(call.result.hr, com::S_OK) << call.result.excepInfo.description;
  EXPECT_EQ(call.outs, std::vector<Variant>{Variant::I4(3)});
}

TEST_F(QueryReportTest, FurtherArgumentsOfAnOpenListFeedTheNextInputParametersInOrder) {
  struct Case {
    const char* label;
    const char* member;
    std::vector<ReportArg> args;
    const char* procedure;
    std::vector<std::pair<const char*, test::Value>> received;
    std::vector<const char*> notSent;
    std::vector<Variant> outsAfter;
  };
  // QueryAllBillFinish names Btypeid, Etypeid and vchtype; its procedure
  // declares @StartDate, @EndDate, @ClientID, @PersonID, @BillType, an output
  // @RowCount, @StockID and @Draft.
  const auto billFinish = [](std::vector<ReportArg> further, bool withResult = true) {
    std::vector<ReportArg> args =
        WithOperator({V(Variant("00014")), V(Variant("00013")), V(Variant::I4(115))});
    args.insert(args.end(), further.begin(), further.end());
    if (withResult) args.push_back(Slot(com::VT_I4));
    return args;
  };
  const std::vector<Case> cases = {
      {"extra arguments reach the further parameters in order, past the output",
       "QueryAllBillFinish",
       billFinish({V(Variant("2026-02-01")), V(Variant("2026-02-28")), V(Variant("00009")),
                   V(Variant::I4(1))}),
       "AAAAATY",
       {{"@ClientID", "00014"},
        {"@PersonID", "00013"},
        {"@BillType", 115},
        {"@StartDate", "2026-02-01"},
        {"@EndDate", "2026-02-28"},
        {"@StockID", "00009"},
        {"@Draft", 1}},
       {},
       {Variant::I4(7)}},
      {"fewer arguments leave the procedure's defaults",
       "QueryAllBillFinish",
       billFinish({V(Variant("2026-03-01"))}),
       "AAAAATY",
       {{"@StartDate", "2026-03-01"}, {"@ClientID", "00014"}},
       {"@EndDate", "@StockID", "@Draft"},
       {Variant::I4(7)}},
      {"only the named arguments",
       "QueryAllBillFinish",
       billFinish({}),
       "AAAAATY",
       {{"@BillType", 115}},
       {"@StartDate", "@EndDate", "@StockID", "@Draft"},
       {Variant::I4(7)}},
      {"an empty argument holds its place and keeps the default",
       "QueryAllBillFinish",
       billFinish({V(Variant()), V(Variant("2026-05-31"))}),
       "AAAAATY",
       {{"@EndDate", "2026-05-31"}},
       {"@StartDate", "@StockID"},
       {Variant::I4(7)}},
      {"more arguments than parameters: the surplus is ignored",
       "QueryAllBillFinish",
       billFinish({V(Variant("2026-02-01")), V(Variant("2026-02-28")), V(Variant("00009")),
                   V(Variant::I4(1)), V(Variant("surplus")), V(Variant::I4(99)),
                   V(Variant::R8(2))}),
       "AAAAATY",
       {{"@StartDate", "2026-02-01"}, {"@Draft", 1}},
       {},
       {Variant::I4(7)}},
      {"a by-value last argument is one more input",
       "QueryAllBillFinish",
       billFinish({V(Variant("2026-02-01")), V(Variant("2026-02-28"))}, false),
       "AAAAATY",
       {{"@StartDate", "2026-02-01"}, {"@EndDate", "2026-02-28"}},
       {"@StockID"},
       {}},
      {"a member whose entry names nothing",
       "QueryBuyAndSaleDayStat",
       WithOperator({V(Variant("2026-04-01")), Slot(com::VT_I4)}),
       "AAAAAVF",
       {{"@OperatorID", "00001"}, {"@CompanyID", "00002"}, {"@StartDate", "2026-04-01"}},
       {"@EndDate"},
       {Variant::I4(7)}},
      {"on another component, after four named arguments",
       "QueryCurrentAccount",
       WithOperator({V(Variant("00014")), V(Variant("2026-01-01")), V(Variant("2026-01-31")),
                     V(Variant::I4(1)), V(Variant::I4(4)), Slot(com::VT_I4)}),
       "AAAAAVS",
       {{"@szClientID", "00014"}, {"@InvoiceTag", 1}, {"@iPage", 4}},
       {},
       {Variant::I4(7)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    accountSet_.ClearCalls();
    const ReportCall call = CallReport(c.member, c.args);
    ASSERT_EQ(call.result.hr, com::S_OK) << call.result.excepInfo.description;
    ExpectLastCall(c.procedure, c.received, c.notSent);
    EXPECT_EQ(call.outs, c.outsAfter);
  }
}

TEST_F(QueryReportTest, PriceCompareSkipsParam15AndSendsParam16AsMinPrice) {
  std::vector<ReportArg> params;
  for (int i = 1; i <= 18; ++i) params.push_back(V(Variant("p" + std::to_string(i))));
  params.push_back(Slot(com::VT_I4));
  const ReportCall call = CallReport("QueryPriceManageCompare", WithOperator(params));
  ASSERT_EQ(call.result.hr, com::S_OK) << call.result.excepInfo.description;
  ExpectLastCall("AAAAAXU", {{"@cMode", "p1"},
                             {"@EndDate", "p14"},
                             {"@MinPrice", "p16"},
                             {"@ShopPrice", "p17"},
                             {"@AllotPrice", "p18"}});
  const test::ProcedureCall sent = accountSet_.LastCall("AAAAAXU");
  for (const std::string& name : sent.names) {
    if (sent.WasSent(name)) {
      EXPECT_NE(sent[name], test::Value("p15")) << name;
    }
  }
}

// A row of the rule's own, for a generation without OperatorID and CompanyID:
// the further arguments then start at the procedure's first input parameter.
TEST_F(QueryReportTest, WithoutOperatorAndCompanyTheFurtherArgumentsStartAtTheFirstParameter) {
  static const remote::MethodDescription kBare{.name = "BareDayStat",
                                               .dispId = 99001,
                                               .component = remote::Component::kQueryProc,
                                               .procedure = "AAAAAVF;1",
                                               .arguments = {remote::Ret("nRet")},
                                               .openList = true};
  std::vector<const remote::MethodDescription*> methods = remote::CatalogueMethods();
  methods.push_back(&kBare);
  module_ = Connected(std::make_shared<TDataModuleServer>(remote::BuildModuleTable(methods)));
  const ReportCall call = CallReport("BareDayStat", {V(Variant("09")), V(Variant("10")),
                                                     V(Variant("2026-04-01")), Slot(com::VT_I4)});
  ASSERT_EQ(call.result.hr, com::S_OK) << call.result.excepInfo.description;
  ExpectLastCall("AAAAAVF",
                 {{"@OperatorID", "09"}, {"@CompanyID", "10"}, {"@StartDate", "2026-04-01"}},
                 {"@EndDate"});
}

TEST_F(QueryReportTest, RefusedCallsSendNothingToTheServer) {
  struct Case {
    const char* label;
    const char* member;
    std::vector<ReportArg> args;
    bool named;  // sent with one named argument
    com::HResult hr;
    const char* description;  // a part of the failure text, for DISP_E_EXCEPTION
  };
  std::vector<ReportArg> shortBillFinish = WithOperator({V(Variant("00014")), V(Variant("00013"))});
  shortBillFinish.push_back(Slot(com::VT_I4));
  std::vector<ReportArg> longLimit =
      WithOperator({V(Variant("00014")), Slot(com::VT_R8), Slot(com::VT_R8), Slot(com::VT_R8),
                    V(Variant("R")), Slot(com::VT_I4), V(Variant("one more"))});
  const std::vector<Case> cases = {
      {"an open list with fewer than its named arguments", "QueryAllBillFinish", shortBillFinish,
       false, com::DISP_E_BADPARAMCOUNT, nullptr},
      {"an open list called with a named argument", "QueryBuyAndSaleDayStat",
       WithOperator({V(Variant("2026-04-01"))}), true, com::DISP_E_NONAMEDARGS, nullptr},
      {"a fixed list with an argument too many", "GetReceiveLimit", longLimit, false,
       com::DISP_E_BADPARAMCOUNT, nullptr},
      {"a fixed list with too few", "GetReceiveLimit", WithOperator({V(Variant("00014"))}), false,
       com::DISP_E_BADPARAMCOUNT, nullptr},
      {"a typed argument that does not convert", "QueryMatureOrder",
       WithOperator({V(Variant("second")), V(Variant::I4(1)), V(Variant("x")), Slot(com::VT_I4)}),
       false, com::DISP_E_TYPEMISMATCH, nullptr},
      {"Param4 that is not a number", "QueryClassStockCheckCount",
       WithOperator({V(Variant::I4(2)), V(Variant("00001")), V(Variant("00002")),
                     V(Variant("00012")), V(Variant("twelve")), V(Variant("B7")), V(Variant("")),
                     V(Variant("")), V(Variant("")), V(Variant("")), Slot(com::VT_I4)}),
       false, com::DISP_E_EXCEPTION, "QueryClassStockCheckCount: Param4"},
      {"an empty cMode", "QueryAnalyseSellAndBuy", AnalysisArgs(Variant("")), false,
       com::DISP_E_EXCEPTION, "QueryAnalyseSellAndBuy: cMode is empty"},
      {"a NULL cMode", "QueryAnalyseSellAndBuy", AnalysisArgs(Variant::Null()), false,
       com::DISP_E_EXCEPTION, "QueryAnalyseSellAndBuy: cMode is empty"},
      {"a cMode outside the table", "QueryAnalyseSellAndBuy", AnalysisArgs(Variant("O")), false,
       com::DISP_E_EXCEPTION, "QueryAnalyseSellAndBuy: cMode \"O\" names no analysis"},
      {"a cMode below the digits", "QueryAnalyseSellAndBuy", AnalysisArgs(Variant("!K")), false,
       com::DISP_E_EXCEPTION, "names no analysis"},
      {"a lower-case letter", "QueryAnalyseSellAndBuy", AnalysisArgs(Variant("k")), false,
       com::DISP_E_EXCEPTION, "names no analysis"},
      {"a Param16 that is not a number", "QueryAccountSortList",
       WithOperator({V(Variant("S")),   V(Variant()), V(Variant()), V(Variant()),
                     V(Variant()),      V(Variant()), V(Variant()), V(Variant()),
                     V(Variant()),      V(Variant()), V(Variant()), V(Variant()),
                     V(Variant()),      V(Variant()), V(Variant()), V(Variant()),
                     V(Variant("yes")), V(Variant()), V(Variant()), Slot(com::VT_I4)}),
       false, com::DISP_E_EXCEPTION, "QueryAccountSortList: Param16"},
  };
  // The component last ran a procedure: a refused selector must not run it again.
  ASSERT_EQ(CallReport("QueryAllStockCheck", WithOperator({V(Variant("1")), V(Variant("2")),
                                                           V(Variant::I4(0)), Slot(com::VT_I4)}))
                .result.hr,
            com::S_OK);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    accountSet_.ClearCalls();
    const std::size_t requestsBefore = server_.Requests().size();
    CallResult result;
    if (c.named) {
      std::vector<Variant> dispatchOrder;
      for (auto it = c.args.rbegin(); it != c.args.rend(); ++it) dispatchOrder.push_back(it->value);
      result.hr = module_->Invoke(DispIdOf(c.member), com::DISPATCH_METHOD,
                                  com::DispParams(dispatchOrder, {0}), &result.value,
                                  &result.excepInfo, &result.argErr);
    } else {
      result = CallReport(c.member, c.args).result;
    }
    EXPECT_EQ(result.hr, c.hr) << result.excepInfo.description;
    if (c.description != nullptr) {
      EXPECT_NE(result.excepInfo.description.find(c.description), std::string::npos)
          << result.excepInfo.description;
    }
    EXPECT_EQ(server_.Requests().size(), requestsBefore) << "something reached SQL Server";
    EXPECT_TRUE(accountSet_.Calls("AAAAAUG").empty());
  }
}

}  // namespace
}  // namespace quor::testing
