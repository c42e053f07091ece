// Procedures of the query and report members, a sample of each shape: the
// eleven sales and purchase analyses, the two account sort lists, the two
// stocktake lists, the lookups with output parameters, and plain reports whose
// further parameters have defaults, so the open argument list rule can be
// seen at work. Every report answers with one row naming itself and a return
// status of its own, so a test can tell which procedure ran.
#include <string>
#include <utility>
#include <vector>

#include "tests/support/accountset/AccountSet.h"

namespace quor::test {
namespace {

constexpr int kReportStatus = 7;

ParamDecl ReportText(const char* name) {
  return Param(name, SqlType::VarChar, 50);
}
ParamDecl ReportInteger(const char* name) {
  return Param(name, SqlType::Int);
}
ParamDecl ReportFloat(const char* name) {
  return Param(name, SqlType::Float);
}
ParamDecl ReportDefault(ParamDecl decl, Value value) {
  decl.defaultValue = std::move(value);
  return decl;
}

std::vector<ParamDecl> ReportTexts(std::vector<const char*> names) {
  std::vector<ParamDecl> params;
  for (const char* name : names) params.push_back(ReportText(name));
  return params;
}

std::vector<ParamDecl> ReportJoin(std::vector<ParamDecl> params,
                                  const std::vector<ParamDecl>& more) {
  params.insert(params.end(), more.begin(), more.end());
  return params;
}

// One row naming the procedure, and its status.
Reply ReportRows(const std::string& procedure, int status) {
  Reply reply;
  reply.returnStatus = status;
  reply.resultSets.push_back({{Col("Report", SqlType::VarChar, 20)}, {{Value(procedure)}}});
  return reply;
}

void DeclareReport(AccountSet& accountSet, const std::string& name, std::vector<ParamDecl> params,
                   int status = kReportStatus) {
  accountSet.Declare({name, std::move(params)},
                     [name, status](const ProcedureCall&) { return ReportRows(name, status); });
}

// Every output parameter gets the value it was sent with plus `step`.
Reply ReportOutputsAdvanced(const ProcedureCall& call, const std::vector<const char*>& outputs,
                            double step, int status) {
  Reply reply;
  reply.returnStatus = status;
  for (const char* output : outputs) {
    const Value& sent = call[output];
    reply.outputs[output] = Value((sent.IsNull() ? 0.0 : sent.AsDouble()) + step);
  }
  return reply;
}

}  // namespace

void DeclareQueryReportProcedures(AccountSet& accountSet) {
  const std::vector<ParamDecl> operatorCompany = ReportTexts({"@OperatorID", "@CompanyID"});
  const std::vector<ParamDecl> analysis =
      ReportJoin(operatorCompany, ReportTexts({"@cMode", "@ParentID", "@StartDate", "@EndDate",
                                               "@StockID", "@WareID", "@PersonID", "@ClientID"}));
  // Only the card analysis knows a card number, only the two plan analyses a plan.
  for (const char* name :
       {"AAAAAUH", "AAAAAUI", "AAAAAUJ", "AAAAAUK", "AAAAAUL", "AAAAAUM", "AAAAAUO", "AAAAAUP"}) {
    DeclareReport(accountSet, name, analysis);
  }
  DeclareReport(accountSet, "AAAAAUN",
                ReportJoin(analysis, {ReportDefault(ReportText("@CardNo"), nullptr)}));
  for (const char* name : {"AAAAAUQ", "AAAAAUR"}) {
    DeclareReport(accountSet, name,
                  ReportJoin(analysis, {ReportDefault(ReportInteger("@PlanDays"), 0),
                                        ReportDefault(ReportText("@PlanMode"), nullptr),
                                        ReportDefault(ReportText("@PlanDate"), nullptr)}));
  }

  const std::vector<ParamDecl> sortList = ReportJoin(
      operatorCompany,
      ReportJoin(
          {ReportText("@cMode"), ReportInteger("@lBillType1"), ReportInteger("@lBillType2"),
           ReportInteger("@lBillType3"), ReportInteger("@lBillType4"), ReportInteger("@lBillType5"),
           ReportInteger("@lBillType6")},
          ReportTexts({"@szAccountID", "@szWareID", "@szClientID", "@szPersonID", "@szStockID",
                       "@szStockID2", "@szAuditingMan", "@szBeginDate", "@szEndDate"})));
  DeclareReport(accountSet, "AAAAATW", sortList);
  DeclareReport(accountSet, "AAAAATV",
                ReportJoin(sortList, {ReportInteger("@iLevel"), ReportInteger("@incLowLevel")}));

  const std::vector<ParamDecl> stockCheck =
      ReportJoin(operatorCompany,
                 {ReportText("@szStockID"), ReportText("@szPositionID"), ReportInteger("@cMode")});
  DeclareReport(accountSet, "AAAAAUG", stockCheck);
  DeclareReport(accountSet, "AAAAAXG", stockCheck);

  // QueryReplaceDetail: the two totals come back in its in-out parameters.
  accountSet.Declare(
      {"AAAAAYA",
       ReportJoin(operatorCompany,
                  {ReportText("@WareID"), ReportText("@StockID"), ReportText("@ClientID"),
                   ReportText("@StartDate"), ReportText("@EndDate"), ReportInteger("@QueryType"),
                   Output(ReportFloat("@SumTo")), Output(ReportFloat("@SumToRefer"))})},
      [](const ProcedureCall& call) {
        Reply reply = ReportRows(call.procedure, kReportStatus);
        reply.outputs["@SumTo"] = Value(1234.5);
        reply.outputs["@SumToRefer"] = Value(99.25);
        return reply;
      });

  // GetReceiveLimit: the credit limit, the receivable and the overdue part.
  accountSet.Declare(
      {"AAAAARB",
       ReportJoin(operatorCompany,
                  {ReportText("@szClientID"), ReportText("@sModal"), Output(ReportFloat("@dLimit")),
                   Output(ReportFloat("@dAr")), Output(ReportFloat("@dArdly"))})},
      [](const ProcedureCall& call) {
        return ReportOutputsAdvanced(call, {"@dLimit", "@dAr", "@dArdly"}, 500.5, 0);
      });

  // GetPrintBillCurrentAccount: all eight amounts advance by 100 from what was sent.
  static const std::vector<const char*> kAccountAmounts = {
      "@LocalBillAR", "@LocalBillBA",    "@PreviousAR",          "@AllTotalAR",
      "@AllTotalPAR", "@PreviousBillAR", "@PreviousBillPrepaid", "@PreviousBillReturn"};
  std::vector<ParamDecl> account =
      ReportJoin(operatorCompany,
                 {ReportInteger("@BillType"), ReportInteger("@BillID"), ReportText("@ClientID")});
  for (const char* amount : kAccountAmounts) account.push_back(Output(ReportFloat(amount)));
  accountSet.Declare({"AAAAAQZ", account}, [](const ProcedureCall& call) {
    return ReportOutputsAdvanced(call, kAccountAmounts, 100, 2);
  });

  // QuerySinglePriceTracker: prices advance by 1; its status is never read.
  static const std::vector<const char*> kTrackedPrices = {"@dCostPrice", "@dSellPrice",
                                                          "@dBuyDiscount", "@dSellDiscount"};
  std::vector<ParamDecl> tracker =
      ReportJoin(operatorCompany, ReportTexts({"@szWareID", "@szClientID", "@szUnitID"}));
  for (const char* price : kTrackedPrices) tracker.push_back(Output(ReportFloat(price)));
  accountSet.Declare({"AAAAAZC", tracker}, [](const ProcedureCall& call) {
    return ReportOutputsAdvanced(call, kTrackedPrices, 1, 99);
  });

  DeclareReport(accountSet, "AAAAAVJ",
                ReportJoin(operatorCompany, {ReportText("@szStockID"), ReportText("@szPositionID"),
                                             ReportText("@szWareID"), ReportInteger("@nWareNumber"),
                                             ReportText("@BlockNumber"), ReportText("@ProduceDate"),
                                             ReportText("@OverdueDate"), ReportText("@GermNumber"),
                                             ReportText("@InspectNO")}));
  DeclareReport(accountSet, "AAAAAWW",
                ReportJoin(operatorCompany, {ReportInteger("@Method"), ReportInteger("@Mode"),
                                             Param("@Date", SqlType::NVarChar, 20)}));
  DeclareReport(accountSet, "AAAACCT", operatorCompany, 3);
  DeclareReport(accountSet, "AAAAAUA",
                ReportJoin(operatorCompany, ReportTexts({"@startdate", "@enddate", "@szStockID"})));

  // Plain reports with further parameters that have defaults. QueryAllBillFinish's
  // entry names @ClientID, @PersonID and @BillType; the dates, the storehouse
  // and the draft switch come by position, the output in between by nobody.
  DeclareReport(accountSet, "AAAAATY",
                ReportJoin(operatorCompany, {ReportDefault(ReportText("@StartDate"), "2026-01-01"),
                                             ReportDefault(ReportText("@EndDate"), "2026-12-31"),
                                             ReportText("@ClientID"), ReportText("@PersonID"),
                                             ReportInteger("@BillType"),
                                             Output(ReportDefault(ReportInteger("@RowCount"), 0)),
                                             ReportDefault(ReportText("@StockID"), "00000"),
                                             ReportDefault(ReportInteger("@Draft"), 0)}));
  DeclareReport(accountSet, "AAAAAVF",
                ReportJoin(operatorCompany, {ReportDefault(ReportText("@StartDate"), "2026-01-01"),
                                             ReportDefault(ReportText("@EndDate"), "2026-12-31")}));
  DeclareReport(accountSet, "AAAAAVS",
                ReportJoin(operatorCompany,
                           {ReportText("@szClientID"), ReportText("@StartDate"),
                            ReportText("@EndDate"), ReportDefault(ReportInteger("@InvoiceTag"), 0),
                            ReportDefault(ReportInteger("@iPage"), 1)}));
  std::vector<ParamDecl> priceCompare = operatorCompany;
  for (const char* name :
       {"@cMode", "@SelfID", "@CodeName", "@LongName", "@WareType", "@standard", "@ProducingArea",
        "@unit1", "@prepPrice1", "@prepPrice2", "@prepPrice3", "@PriceRetail", "@StartDate",
        "@EndDate", "@MinPrice", "@ShopPrice", "@AllotPrice"}) {
    priceCompare.push_back(ReportDefault(ReportText(name), nullptr));
  }
  DeclareReport(accountSet, "AAAAAXU", priceCompare);
}

}  // namespace quor::test
