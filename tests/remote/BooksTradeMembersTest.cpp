// The accounting, cash, fixed-asset and wage members and the trade-edition
// members as clients call them, on the test account set: for a sample of
// every group and notation (typed arguments, results by position, by name and
// by the fixed name, in-out outputs, constants, not-sent arguments, selectors,
// prepared-only members, members with and without OperatorID and CompanyID,
// open argument lists), which procedure ran, which parameter received which
// value and what came back in which out argument. The expectations were
// written from the interface's member data, apart from the rows they check.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "ProcedureArguments.h"
#include "ServerPublic/ServerGlobals.h"

namespace quor::testing {
namespace {

using com::Variant;

struct BooksArg {
  bool out = false;
  Variant value;  // in: the value sent; out: the slot's value before the call
  com::VarType type = com::VT_VARIANT;
};

BooksArg BIn(Variant value) {
  return {false, std::move(value)};
}

// A by-reference slot of the type the member declares, holding `start`
// (a number or text of that type when none is given).
BooksArg BOut(com::VarType type = com::VT_VARIANT, Variant start = {}) {
  if (start.IsEmpty() && type == com::VT_I4) start = Variant::I4(0);
  if (start.IsEmpty() && type == com::VT_R8) start = Variant::R8(0);
  if (start.IsEmpty() && type == com::VT_BSTR) start = Variant("");
  return {true, std::move(start), type};
}

// Every parameter declared with a default, so that one the member leaves out
// shows as not sent instead of failing the call.
test::ParamDecl PText(const char* name) {
  return WithDefault(test::Param(name, test::SqlType::NVarChar, 100), nullptr);
}
test::ParamDecl PWhole(const char* name) {
  return WithDefault(test::Param(name, test::SqlType::Int), nullptr);
}
test::ParamDecl PReal(const char* name) {
  return WithDefault(test::Param(name, test::SqlType::Float), nullptr);
}
test::ParamDecl POutText(const char* name) {
  return test::Output(PText(name));
}
test::ParamDecl POutWhole(const char* name) {
  return test::Output(PWhole(name));
}
test::ParamDecl POutReal(const char* name) {
  return test::Output(PReal(name));
}

// The car-parts header and line procedures as the account set declares them;
// `withSelectors` false leaves out the parameters of the arguments that choose
// the procedure.
std::vector<test::ParamDecl> PartsHeaderParams(bool withSelectors) {
  std::vector<test::ParamDecl> params = {PText("@OperatorID"), PText("@CompanyID")};
  if (withSelectors) params.push_back(PText("@Draft"));
  for (const char* name :
       {"@STBillID", "@QXBillID", "@WorkerID", "@CurrencyCode", "@CurrencyName", "@ServiceType",
        "@BatchOrder", "@DeductionSumTo", "@BackType", "@BackReason", "@CarID"}) {
    params.push_back(PText(name));
  }
  return params;
}

std::vector<test::ParamDecl> PartsLineParams(bool withSelectors) {
  std::vector<test::ParamDecl> params = {PText("@OperatorID"), PText("@CompanyID")};
  if (withSelectors) {
    params.push_back(PWhole("@Draft"));
    params.push_back(PWhole("@BillType"));
  }
  for (const char* name : {"@STBillID", "@STBillDetailID", "@AccountTypeID"}) {
    params.push_back(PText(name));
  }
  return params;
}

struct BooksProcedure {
  const char* name;  // as declared, without ";1"
  std::vector<test::ParamDecl> params;
};

struct BooksCase {
  const char* label;
  const char* member;
  std::vector<BooksProcedure> procedures;                 // the first must run, the others must not
  std::vector<BooksArg> args;                             // declared order
  std::vector<std::pair<const char*, std::string>> sent;  // parameter, text received
  std::vector<const char*> notSent;
  std::int32_t status = 0;
  std::map<std::string, test::Value> outputs;                // what the procedure leaves
  std::vector<std::pair<std::size_t, std::string>> results;  // argument index, text after
  std::optional<std::string> retVal;                         // the method's own value
  bool prepared = false;  // assigned only: the procedure must not run yet
};

std::string BooksText(const Variant& value) {
  const Variant& target = value.Deref();
  if (target.IsEmpty() || target.IsNull()) return {};
  if (target.Type() == com::VT_R8) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", target.GetR8());
    return text;
  }
  return target.ToString();
}

// clang-format off
const std::vector<BooksCase>& BooksCases() {
  static const std::vector<BooksCase> kCases = {
      // Posting: typed integers, the error text sent empty, the result by position.
      {"posting", "AccChangeBillTransfer",
       {{"AAAABDK", {PWhole("@nOldVchcode"), PWhole("@nNewVchcode"), POutText("@ErrorMessage")}}},
       {BIn(Variant::I4(11)), BIn("12"), BOut(com::VT_BSTR, Variant("stale"))},
       {{"@nOldVchcode", "11"}, {"@nNewVchcode", "12"}, {"@ErrorMessage", ""}}, {},
       -3, {{"@ErrorMessage", "凭证已审核"}}, {{2, "凭证已审核"}}, "-3", false},
      {"new voucher header", "AccInsertVoucherMaster",
       {{"AAAABFP", {PWhole("@BillID"), PText("@Date"), PWhole("@ModeNo"), PWhole("@OriginVchcode"), PWhole("@vchtype"), PText("@Summary"), PWhole("@Counttype"), PWhole("@VoucherNo"), PText("@Abolish"), PText("@OldAbolish"), PWhole("@Period"), PText("@Checke"), PText("@Accounte"), PText("@AuditingMan"), PWhole("@Draft"), PWhole("@AdjunctCount"), PText("@szTemp1"), PText("@szTemp2")}},
        {"AAAABIP", {PWhole("@BillID"), PText("@Date")}}},
       {BIn(Variant::I4(0)), BIn("2026-12-01"), BIn(Variant::I4(2)), BIn(Variant::I4(3)), BIn(Variant::I4(4)), BIn("摘要"), BIn(Variant::I4(5)), BIn(Variant::I4(6)), BIn("a1"), BIn("a2"), BIn(Variant::I4(12)), BIn("c"), BIn("acc"), BIn("aud"), BIn(Variant::I4(1)), BIn(Variant::I4(2)), BIn("t1"), BIn("t2")},
       {{"@Date", "2026-12-01"}, {"@ModeNo", "2"}, {"@OriginVchcode", "3"}, {"@vchtype", "4"}, {"@Summary", "摘要"}, {"@Counttype", "5"}, {"@VoucherNo", "6"}, {"@Abolish", "a1"}, {"@OldAbolish", "a2"}, {"@Period", "12"}, {"@Checke", "c"}, {"@Accounte", "acc"}, {"@AuditingMan", "aud"}, {"@Draft", "1"}, {"@AdjunctCount", "2"}, {"@szTemp1", "t1"}, {"@szTemp2", "t2"}},
       {"@BillID"}, 901, {}, {}, "901", false},
      {"voucher header update", "AccInsertVoucherMaster",
       {{"AAAABIP", {PWhole("@BillID"), PText("@Date"), PWhole("@ModeNo"), PWhole("@OriginVchcode"), PWhole("@vchtype"), PText("@Summary"), PWhole("@Counttype"), PWhole("@VoucherNo"), PText("@Abolish"), PText("@OldAbolish"), PWhole("@period"), PText("@Checke"), PText("@Accounte"), PText("@AuditingMan"), PWhole("@Draft"), PWhole("@AdjunctCount"), PText("@szTemp1"), PText("@szTemp2")}},
        {"AAAABFP", {PText("@Date")}}},
       {BIn(Variant::I4(812)), BIn("2026-12-02"), BIn(Variant::I4(0)), BIn(Variant::I4(0)), BIn(Variant::I4(4)), BIn("s"), BIn(Variant::I4(0)), BIn(Variant::I4(0)), BIn(""), BIn(""), BIn(Variant::I4(11)), BIn(""), BIn(""), BIn(""), BIn(Variant::I4(0)), BIn(Variant::I4(0)), BIn(""), BIn("")},
       {{"@BillID", "812"}, {"@period", "11"}, {"@Date", "2026-12-02"}}, {}, 0, {}, {}, "0", false},
      {"new wage bill", "WagInsertBillMasterAll",
       {{"AAAABLK", {PWhole("@BillID"), PText("@Date"), PText("@Number"), PWhole("@vchtype"), PText("@Summary"), PText("@ClientID"), PText("@PersonID"), PText("@Projectid"), PWhole("@Period"), PText("@AuditingMan"), PWhole("@Draft"), PWhole("@AdjunctCount"), PReal("@SumTo"), PText("@szTemp1"), PText("@szTemp2")}},
        {"AAAABLZ", {PWhole("@BillID")}}},
       {BIn(Variant::I4(0)), BIn("2026-11-30"), BIn("W-7"), BIn(Variant::I4(120)), BIn("工资"), BIn("c1"), BIn("p1"), BIn("j1"), BIn(Variant::I4(11)), BIn("aud"), BIn(Variant::I4(0)), BIn(Variant::I4(1)), BIn(1234.5), BIn("x"), BIn("y")},
       {{"@Number", "W-7"}, {"@vchtype", "120"}, {"@SumTo", "1234.5"}, {"@Period", "11"}, {"@szTemp2", "y"}},
       {"@BillID"}, 77, {}, {}, "77", false},
      {"wage bill update", "WagInsertBillMasterAll",
       {{"AAAABLZ", {PWhole("@BillID"), PText("@Date"), PText("@Number"), PWhole("@vchtype"), PText("@Summary"), PText("@ClientID"), PText("@PersonID"), PText("@Projectid"), PWhole("@Period"), PText("@AuditingMan"), PWhole("@Draft"), PWhole("@AdjunctCount"), PReal("@SumTo"), PText("@szTemp1"), PText("@szTemp2")}}, {"AAAABLK", {PText("@Number")}}},
       {BIn(Variant::I4(55)), BIn(""), BIn("W-8"), BIn(Variant::I4(0)), BIn(""), BIn(""), BIn(""), BIn(""), BIn(Variant::I4(0)), BIn(""), BIn(Variant::I4(0)), BIn(Variant::I4(0)), BIn(0.0), BIn(""), BIn("")},
       {{"@BillID", "55"}, {"@Number", "W-8"}}, {}, 0, {}, {}, "0", false},
      // Create or update by lMode; ParentID names the parent or the record.
      {"new accounting customer", "AccInsertClientInfo",
       {{"AAAABFF", {PWhole("@lMode"), PText("@ParentID"), PText("@dbName"), PText("@LongName"), PText("@ShortName"), PText("@CodeName"), PText("@Telephone"), PText("@Address"), PText("@Postalcode"), PText("@Linkman"), PText("@TaxNumber"), PText("@Account"), PReal("@InitReceiveSumTo"), PReal("@InitPayableSumTo"), PText("@Memo"), PText("@Bopomofo"), PWhole("@IsClient"), PText("@AreaID"), PText("@Faxes"), PText("@prepPrice"), PText("@szTemp"), PText("@SelfID")}},
        {"AAAABIA", {PText("@SelfID")}}},
       {BIn(Variant::I4(0)), BIn("00001"), BIn("AAAAABY"), BIn("东方公司"), BIn("东方"), BIn("DF"), BIn("010"), BIn("北京"), BIn("100000"), BIn("王"), BIn("T1"), BIn("A1"), BIn(10.5), BIn(2.0), BIn("m"), BIn("dfgs"), BIn(Variant::I4(1)), BIn("00002"), BIn("fax"), BIn("3"), BIn("tmp"), BOut(com::VT_I4, Variant::I4(-9))},
       {{"@lMode", "0"}, {"@ParentID", "00001"}, {"@dbName", "AAAAABY"}, {"@LongName", "东方公司"}, {"@ShortName", "东方"}, {"@CodeName", "DF"}, {"@InitReceiveSumTo", "10.5"}, {"@IsClient", "1"}, {"@prepPrice", "3"}},
       {"@SelfID", "@szTemp"}, 5, {}, {{21, "5"}}, std::nullopt, false},
      {"accounting customer update", "AccInsertClientInfo",
       {{"AAAABIA", {PText("@SelfID"), PText("@ParentID"), PText("@dbName"), PText("@LongName"), PText("@ShortName"), PText("@CodeName"), PText("@Telephone"), PText("@Address"), PText("@Postalcode"), PText("@Linkman"), PText("@TaxNumber"), PText("@Account"), PReal("@InitReceiveSumTo"), PReal("@InitPayableSumTo"), PText("@Memo"), PText("@Bopomofo"), PWhole("@IsClient"), PText("@AreaID"), PText("@Faxes"), PText("@prepPrice")}},
        {"AAAABFF", {PText("@ParentID")}}},
       {BIn(Variant::I4(1)), BIn("0000100003"), BIn("AAAAABY"), BIn("西方公司"), BIn("西方"), BIn("XF"), BIn(""), BIn(""), BIn(""), BIn(""), BIn(""), BIn(""), BIn(0.0), BIn(0.0), BIn(""), BIn(""), BIn(Variant::I4(2)), BIn(""), BIn(""), BIn(""), BIn("tmp"), BOut(com::VT_I4)},
       {{"@SelfID", "0000100003"}, {"@LongName", "西方公司"}, {"@IsClient", "2"}},
       {"@ParentID"}, 0, {}, {{21, "0"}}, std::nullopt, false},
      {"accounting staff update", "AccInsertPersonInfo",
       {{"AAAABIJ", {PWhole("@lMode"), PText("@SelfID"), PText("@ParentID"), PText("@dbName"), PText("@LongName"), PText("@CodeName"), PText("@BranchID"), PText("@Telephone"), PText("@Address"), PText("@Memo"), PText("@Bopomofo"), PText("@BirthDay"), PText("@upperlimit")}},
        {"AAAABFJ", {PText("@ParentID")}}},
       {BIn("2"), BIn("0000200001"), BIn("AAAAADG"), BIn("李四"), BIn("LS"), BIn("00003"), BIn("139"), BIn("上海"), BIn("m"), BIn("ls"), BIn("1980-01-02"), BIn("500"), BOut(com::VT_I4)},
       {{"@lMode", "2"}, {"@SelfID", "0000200001"}, {"@LongName", "李四"}, {"@BirthDay", "1980-01-02"}, {"@upperlimit", "500"}},
       {"@ParentID"}, 3, {}, {{12, "3"}}, std::nullopt, false},
      {"accounting area update", "AccInsertAreaInfo",
       {{"AAAABHT", {PText("@SelfID"), PText("@LongName"), PText("@CodeName"), PText("@Memo"), PText("@Bopomofo")}},
        {"AAAABFC", {PText("@SelfID")}}},
       {BIn(Variant::I4(-1)), BIn("00004"), BIn("华北"), BIn("HB"), BIn(""), BIn("hb"), BOut(com::VT_I4)},
       {{"@SelfID", "00004"}, {"@LongName", "华北"}, {"@CodeName", "HB"}, {"@Bopomofo", "hb"}}, {}, 0, {}, {{6, "0"}}, std::nullopt, false},
      {"new accounting branch", "AccInsertBranchInfo",
       {{"AAAABFD", {PText("@ParentID"), PText("@LongName"), PText("@CodeName"), PText("@Memo"), PText("@Bopomofo")}},
        {"AAAABHZ", {PText("@ParentID")}}},
       {BIn(Variant()), BIn("00005"), BIn("销售部"), BIn("XS"), BIn("m"), BIn("xsb"), BOut(com::VT_I4)},
       {{"@ParentID", "00005"}, {"@LongName", "销售部"}}, {}, 0, {}, {{6, "0"}}, std::nullopt, false},
      // Outputs sent as 0 or empty and read back; an in-out number sent with its value.
      {"voucher renumbering", "AccVoucherRecordation",
       {{"AAAABIS", {PText("@cPubLib"), PText("@OperateID"), PText("@CheckEtype"), PText("@StartDate"), PText("@Enddate"), PWhole("@lSNumber"), PWhole("@lENumber"), POutWhole("@lVchCount"), POutWhole("@lVchRow"), POutWhole("@lNumber"), POutText("@sNumber")}}},
       {BIn("P"), BIn("00007"), BIn("1"), BIn("2026-01-01"), BIn("2026-12-31"), BIn(Variant::I4(1)), BIn(Variant::I4(90)), BOut(), BOut(), BOut(com::VT_I4, Variant::I4(40)), BOut(), BOut(com::VT_I4)},
       {{"@OperateID", "00007"}, {"@lSNumber", "1"}, {"@lENumber", "90"}, {"@lVchCount", "0"}, {"@lVchRow", "0"}, {"@lNumber", "40"}, {"@sNumber", ""}}, {},
       2, {{"@lVchCount", 12}, {"@lVchRow", 30}, {"@lNumber", 41}, {"@sNumber", "记-41"}},
       {{7, "12"}, {8, "30"}, {9, "41"}, {10, "记-41"}, {11, "2"}}, std::nullopt, false},
      {"doubles read back", "AccGetYearAllTotal",
       {{"AAAABEW", {PText("@lMode"), PText("@szAtypeId"), POutReal("@dDebittotal"), POutReal("@dLendTotal")}}},
       {BIn("Y"), BIn("0000300001"), BOut(com::VT_R8, 9.0), BOut(com::VT_R8, 9.0)},
       {{"@lMode", "Y"}, {"@szAtypeId", "0000300001"}, {"@dDebittotal", "0"}, {"@dLendTotal", "0"}}, {},
       0, {{"@dDebittotal", 1500.25}, {"@dLendTotal", 99.5}}, {{2, "1500.25"}, {3, "99.5"}}, std::nullopt, false},
      {"return value not read", "AccQueryBillMaster",
       {{"AAAABGI", {PWhole("@BillID")}}},
       {BIn("31"), BOut(com::VT_I4, Variant::I4(-1))},
       {{"@BillID", "31"}}, {}, -17, {}, {{1, "0"}}, std::nullopt, false},
      {"not sent", "AccSetSystemValue",
       {{"AAAABHJ", {PText("@szName"), PText("@szValue"), PText("@szMemo")}}},
       {BIn("BillNumberNewBill"), BIn("1"), BIn("备注"), BOut(com::VT_I4)},
       {{"@szName", "BillNumberNewBill"}, {"@szValue", "1"}}, {"@szMemo"}, 4, {}, {{3, "4"}}, std::nullopt, false},
      {"used record", "AccCheckBasicInfoIsUse",
       {{"AAAABDN", {PText("@Prm_TypeId"), PText("@Prm_TableName"), POutWhole("@Prm_Used")}}},
       {BIn("00009"), BIn("AAAAAFT"), BOut()},
       {{"@Prm_TypeId", "00009"}, {"@Prm_TableName", "AAAAAFT"}, {"@Prm_Used", "0"}}, {}, 6, {{"@Prm_Used", 1}}, {{2, "1"}}, std::nullopt, false},
      {"OperatorID after the result", "AccGetClientReceivable",
       {{"AAAABEK", {PText("@dbName"), PText("@ParentID"), PText("@DispArAp"), PText("@OperatorID")}}},
       {BIn("AAAAABY"), BIn("00000"), BIn("1"), BOut(com::VT_I4), BIn("00008")},
       {{"@dbName", "AAAAABY"}, {"@ParentID", "00000"}, {"@DispArAp", "1"}, {"@OperatorID", "00008"}}, {}, 8, {}, {{3, "8"}}, std::nullopt, false},
      {"OperatorID as OperateID", "AccQueryBasicInfo",
       {{"AAAABGF", {PText("@cMode"), PText("@ParentID"), PText("@OperateID"), PText("@OperatorID")}}},
       {BIn("A"), BIn("00000"), BIn("00008"), BOut(com::VT_I4)},
       {{"@cMode", "A"}, {"@OperateID", "00008"}}, {"@OperatorID"}, 1, {}, {{3, "1"}}, std::nullopt, false},
      {"prepared filter", "AccQuerySelectFiltrate",
       {{"AAAABHE", {PText("@Code"), PText("@LongName"), PText("@Stand"), PText("@Type"), PText("@Area"), PText("@dbName"), PText("@disparap"), PText("@OperatorID")}}},
       {BIn("c"), BIn("l"), BIn("s"), BIn("t"), BIn("a"), BIn("AAAAABY"), BIn("1"), BOut(com::VT_I4, Variant::I4(-1)), BIn("00008")},
       {}, {}, 0, {}, {{7, "0"}}, std::nullopt, true},
      {"prepared bill lines", "AccQueryBillDetail",
       {{"AAAABGH", {PWhole("@BillID")}}},
       {BIn(Variant::I4(812)), BOut(com::VT_I4, Variant::I4(-1))},
       {}, {}, 0, {}, {{1, "0"}}, std::nullopt, true},
      {"prepared open list", "CasQueryCheckCurrentMoney",
       {{"AAAABJG", {PText("@StartDate"), PText("@EndDate")}}},
       {BIn("2026-01-01"), BIn("2026-02-01"), BOut(com::VT_I4, Variant::I4(-1))},
       {}, {}, 0, {}, {{2, "0"}}, std::nullopt, true},
      {"trading convention", "GetSumOfActualSalary",
       {{"AAAAARD", {PText("@OperatorID"), PText("@CompanyID"), PText("@Year"), PText("@Month"), POutReal("@OutValue")}}},
       {BIn("00008"), BIn("01"), BIn("2026"), BIn("11"), BOut(com::VT_R8)},
       {{"@OperatorID", "00008"}, {"@CompanyID", "01"}, {"@Year", "2026"}, {"@Month", "11"}, {"@OutValue", "0"}}, {},
       0, {{"@OutValue", 88000.5}}, {{4, "88000.5"}}, std::nullopt, false},
      // Open lists: the named arguments to their parameters, further ones in order.
      {"open list with arrows", "AccDeleteSummaryInfo",
       {{"AAAABDZ", {PWhole("@lID"), PWhole("@lParID"), PText("@cModal"), PText("@szAfter"), PText("@szLast")}}},
       {BIn("4"), BIn("2"), BIn("D"), BIn("extra"), BOut(com::VT_I4)},
       {{"@lID", "4"}, {"@lParID", "2"}, {"@cModal", "D"}, {"@szAfter", "extra"}}, {"@szLast"}, 9, {}, {{4, "9"}}, std::nullopt, false},
      {"open list of the trading convention", "QueryAccountLinkOpposite",
       {{"AAAAATU", {PText("@OperatorID"), PText("@CompanyID"), PText("@AccountID"), PText("@ClientID")}}},
       {BIn("00008"), BIn("01"), BIn("0000100002"), BOut(com::VT_I4)},
       {{"@OperatorID", "00008"}, {"@CompanyID", "01"}, {"@AccountID", "0000100002"}}, {"@ClientID"}, 2, {}, {{3, "2"}}, std::nullopt, false},
      {"without a result", "AccQueryCurrentAccount",
       {{"AAAABGK", {PText("@szClientID"), PText("@szStartDate")}}},
       {BIn("0000100002"), BIn("2026-01-01")},
       {{"@szClientID", "0000100002"}, {"@szStartDate", "2026-01-01"}}, {}, 5, {}, {}, std::nullopt, false},

      // Trade editions.
      {"changed identifiers", "QX_UpdateBillData",
       {{"AAAABUU", {PText("@OperatorID"), PText("@CompanyID"), PText("@BillID"), PText("@ToBillID"), PText("@iWriteIntoPrice"), POutText("@szWareIDo"), POutText("@szClientIDo"), POutText("@szAccountIDo"), POutText("@szStockIDo")}}},
       {BIn("00008"), BIn("01"), BIn("100"), BIn("101"), BIn("1"), BOut(), BOut(), BOut(), BOut(), BOut(com::VT_I4)},
       {{"@BillID", "100"}, {"@ToBillID", "101"}, {"@szWareIDo", ""}, {"@szClientIDo", ""}, {"@szAccountIDo", ""}, {"@szStockIDo", ""}}, {},
       0, {{"@szWareIDo", "W1"}, {"@szClientIDo", "C1"}, {"@szAccountIDo", "A1"}, {"@szStockIDo", "K1"}},
       {{5, "W1"}, {6, "C1"}, {7, "A1"}, {8, "K1"}, {9, "0"}}, std::nullopt, false},
      {"user not sent", "QX_DeleteBillMaster",
       {{"AAAABPE", {PText("@OperatorID"), PText("@CompanyID"), PText("@UserGUID"), PText("@BillID"), PText("@BillType"), POutText("@OutWareID")}}},
       {BIn("00008"), BIn("01"), BIn("{guid}"), BIn("100"), BIn("11"), BOut(), BOut(com::VT_I4)},
       {{"@BillID", "100"}, {"@BillType", "11"}, {"@OutWareID", ""}}, {"@UserGUID"}, 0, {{"@OutWareID", "W9"}}, {{5, "W9"}, {6, "0"}}, std::nullopt, false},
      {"no OperatorID and CompanyID", "QX_SetSystemValue",
       {{"P_QX_SetSystemValue", {PText("@OperatorID"), PText("@CompanyID"), PText("@szName"), PText("@szValue"), PText("@szMemo")}}},
       {BIn("RepairHour"), BIn("45"), BIn("工时"), BOut(com::VT_I4)},
       {{"@szName", "RepairHour"}, {"@szValue", "45"}, {"@szMemo", "工时"}}, {"@OperatorID", "@CompanyID"}, 0, {}, {{3, "0"}}, std::nullopt, false},
      {"price tracker sent with the out values", "QX_QuerySingleRepairPriceTracker",
       {{"AAAABUC", {PText("@OperatorID"), PText("@CompanyID"), PText("@RepairID"), PText("@szClientID"), POutReal("@dCostPrice"), POutReal("@dSellPrice"), POutReal("@dBuyDiscount"), POutReal("@dSellDiscount")}}},
       {BIn("00008"), BIn("01"), BIn("R1"), BIn("C1"), BOut(com::VT_R8, 1.5), BOut(com::VT_R8, 2.5), BOut(com::VT_R8, 0.5), BOut(com::VT_R8, 0.25)},
       {{"@RepairID", "R1"}, {"@szClientID", "C1"}, {"@dCostPrice", "1.5"}, {"@dSellPrice", "2.5"}, {"@dBuyDiscount", "0.5"}, {"@dSellDiscount", "0.25"}}, {},
       -4, {{"@dCostPrice", 10.0}, {"@dSellPrice", 12.5}, {"@dBuyDiscount", 0.9}, {"@dSellDiscount", 0.8}},
       {{4, "10"}, {5, "12.5"}, {6, "0.9"}, {7, "0.8"}}, std::nullopt, false},
      {"parts bill header, not a draft", "QP_InsertBillMaster",
       {{"AAAABOX", PartsHeaderParams(true)}, {"AAAABOW", PartsHeaderParams(true)}},
       {BIn("00008"), BIn("01"), BIn(Variant::I4(0)), BIn("ST1"), BIn("QX1"), BIn("W1"), BIn("RMB"), BIn("人民币"), BIn("S"), BIn("B"), BIn("5"), BIn("T"), BIn("R"), BIn("CAR1"), BOut(com::VT_I4)},
       {{"@Draft", "0"}, {"@STBillID", "ST1"}, {"@QXBillID", "QX1"}, {"@CurrencyName", "人民币"}, {"@CarID", "CAR1"}}, {}, 70, {}, {{14, "70"}}, std::nullopt, false},
      {"parts bill header, a draft", "QP_InsertBillMaster",
       {{"AAAABOW", PartsHeaderParams(false)}, {"AAAABOX", PartsHeaderParams(true)}},
       {BIn("00008"), BIn("01"), BIn("3"), BIn("ST2"), BIn(""), BIn(""), BIn(""), BIn(""), BIn(""), BIn(""), BIn(""), BIn(""), BIn(""), BIn("CAR2"), BOut(com::VT_I4)},
       {{"@STBillID", "ST2"}, {"@CarID", "CAR2"}}, {}, 71, {}, {{14, "71"}}, std::nullopt, false},
      {"parts line, not a draft", "QP_InsertBillDetail",
       {{"AAAABOT", PartsLineParams(true)}, {"AAAABOV", PartsLineParams(true)}, {"AAAABOU", PartsLineParams(true)}},
       {BIn("00008"), BIn("01"), BIn(Variant::I4(0)), BIn(Variant::I4(117)), BIn("ST1"), BIn("D1"), BIn("A1"), BOut(com::VT_I4)},
       {{"@Draft", "0"}, {"@BillType", "117"}, {"@STBillID", "ST1"}, {"@STBillDetailID", "D1"}, {"@AccountTypeID", "A1"}}, {}, 1, {}, {{7, "1"}}, std::nullopt, false},
      {"parts line of a borrowing", "QP_InsertBillDetail",
       {{"AAAABOV", PartsLineParams(false)}, {"AAAABOT", PartsLineParams(true)}, {"AAAABOU", PartsLineParams(true)}},
       {BIn("00008"), BIn("01"), BIn(Variant::I4(1)), BIn("118"), BIn("ST2"), BIn("D2"), BIn("A2"), BOut(com::VT_I4)},
       {{"@STBillID", "ST2"}}, {}, 2, {}, {{7, "2"}}, std::nullopt, false},
      {"parts line of an order", "QP_InsertBillDetail",
       {{"AAAABOU", PartsLineParams(true)}, {"AAAABOT", PartsLineParams(true)}, {"AAAABOV", PartsLineParams(true)}},
       {BIn("00008"), BIn("01"), BIn(Variant::I4(7)), BIn(Variant::I4(11)), BIn("ST3"), BIn("D3"), BIn("A3"), BOut(com::VT_I4)},
       {{"@STBillID", "ST3"}}, {}, 3, {}, {{7, "3"}}, std::nullopt, false},
      {"parts line, draft 8 is an ordinary draft", "QP_InsertBillDetail",
       {{"AAAABOT", PartsLineParams(true)}, {"AAAABOU", PartsLineParams(true)}, {"AAAABOV", PartsLineParams(true)}},
       {BIn("00008"), BIn("01"), BIn(Variant::I4(8)), BIn(Variant::I4(11)), BIn("ST4"), BIn("D4"), BIn("A4"), BOut(com::VT_I4)},
       {{"@STBillID", "ST4"}}, {}, 4, {}, {{7, "4"}}, std::nullopt, false},
      {"mode letter and in-out identifier", "YY_InsertDrugClassInfo",
       {{"AAAABWH", {PText("@OperatorID"), PText("@CompanyID"), PText("@Mode"), PText("@SelfID"), PText("@LongName"), PText("@CodeName"), PText("@Memo"), PText("@ManageClass"), PText("@Description"), PText("@UsePurpose"), PText("@UseExample"), PText("@Bopomofo"), PText("@CurrRow"), POutText("@NewSelfID")}}},
       {BIn("00008"), BIn("01"), BIn(Variant::I4(0)), BIn("00000"), BIn("抗生素"), BIn("KSS"), BIn("m"), BIn("甲类"), BIn("d"), BIn("p"), BIn("e"), BIn("kss"), BIn("3"), BOut(), BOut(com::VT_I4)},
       {{"@Mode", "I"}, {"@SelfID", "00000"}, {"@LongName", "抗生素"}, {"@CodeName", "KSS"}, {"@Memo", "m"}, {"@ManageClass", "甲类"}, {"@Bopomofo", "kss"}, {"@NewSelfID", ""}}, {},
       0, {{"@NewSelfID", "00012"}}, {{13, "00012"}, {14, "0"}}, std::nullopt, false},
      {"signature name as text", "YY_GetGSPCheckSignatureName",
       {{"AAAACEM", {PText("@OperatorID"), PText("@CompanyID"), PWhole("@nGspLim"), POutText("@szRet")}}},
       {BIn("00008"), BIn("01"), BIn("3"), BOut()},
       {{"@nGspLim", "3"}, {"@szRet", ""}}, {}, 0, {{"@szRet", "质量负责人 张三"}}, {{3, "质量负责人 张三"}}, std::nullopt, false},
      {"signature identifier", "YY_GetGSPCheckSignatureID",
       {{"AAAACEL", {PText("@OperatorID"), PText("@CompanyID"), PWhole("@nGspLim"), POutWhole("@nRet")}}},
       {BIn("00008"), BIn("01"), BIn(Variant::I4(2)), BOut()},
       {{"@nGspLim", "2"}, {"@nRet", "0"}}, {}, 0, {{"@nRet", 6}}, {{3, "6"}}, std::nullopt, false},
      {"declared in-out, not read back", "YY_InsertGSPBillCustomReport",
       {{"AAAABWJ", {PText("@OperatorID"), PText("@CompanyID"), PText("@BillE"), POutText("@BillCode")}}},
       {BIn("00008"), BIn("01"), BIn("验收员"), BOut(com::VT_VARIANT, Variant("GSP-1")), BOut(com::VT_I4)},
       {{"@BillE", "验收员"}, {"@BillCode", "GSP-1"}}, {}, 12, {{"@BillCode", "GSP-2"}}, {{3, "GSP-1"}, {4, "12"}}, std::nullopt, false},
      {"open list with arrows and the fixed name", "YY_InsertGSPUserCustomReport",
       {{"P_InsertUserCustomReport", {PText("@OperatorID"), PText("@CompanyID"), PText("@ID"), PText("@Name"), PText("@Memo"), PText("@Data"), PText("@Type"), PText("@Tag"), PText("@Ins"), PText("@Further")}}},
       {BIn("00008"), BIn("01"), BIn("1"), BIn("报表"), BIn("m"), BIn("data"), BIn("2"), BIn("0"), BIn("I"), BIn("more"), BOut(com::VT_I4)},
       {{"@ID", "1"}, {"@Name", "报表"}, {"@Data", "data"}, {"@Ins", "I"}, {"@Further", "more"}}, {}, 13, {}, {{10, "13"}}, std::nullopt, false},
      {"plain list entry", "QX_QueryPreferentialInfo",
       {{"AAAABTB", {PText("@OperatorID"), PText("@CompanyID"), PText("@cmode")}}},
       {BIn("00008"), BIn("01"), BIn("C"), BOut(com::VT_I4)},
       {{"@OperatorID", "00008"}, {"@CompanyID", "01"}, {"@cmode", "C"}}, {}, 14, {}, {{3, "14"}}, std::nullopt, false},
      {"food waste book by the fixed name", "SP_QueryFoodWasteBook",
       {{"AAAABVR", {PText("@OperatorID"), PText("@CompanyID"), PText("@WorkMode"), PText("@StartDate"), PText("@Enddate"), PText("@PersonID"), PText("@ClientID"), PText("@StockID")}}},
       {BIn("00008"), BIn("01"), BIn("1"), BIn("2026-01-01"), BIn("2026-01-31"), BIn("P"), BIn("C"), BIn("K"), BOut(com::VT_I4)},
       {{"@WorkMode", "1"}, {"@StockID", "K"}}, {}, 15, {}, {{8, "15"}}, std::nullopt, false},
      {"production planning", "SC_QueryMrpBuyAdvise",
       {{"P_SC_QueryMrpBuyAdvise", {PText("@OperatorID"), PText("@CompanyID"), PText("@cMode"), PText("@CustomParam")}}},
       {BIn("00008"), BIn("01"), BIn("B"), BIn("x=1"), BOut(com::VT_I4)},
       {{"@cMode", "B"}, {"@CustomParam", "x=1"}}, {}, 16, {}, {{4, "16"}}, std::nullopt, false},
  };
  return kCases;
}
// clang-format on

TEST_F(ModuleTest, BooksAndTradeEditionMembersSendEachArgumentWhereTheirRowsSay) {
  for (std::size_t index = 0; index < BooksCases().size(); ++index) {
    const BooksCase& c = BooksCases()[index];
    SCOPED_TRACE(std::string(c.label) + ": " + c.member);
    accountSet_.ClearCalls();
    for (const BooksProcedure& procedure : c.procedures) {
      accountSet_.Declare({procedure.name, procedure.params}, [&c](const test::ProcedureCall&) {
        test::Reply reply;
        reply.returnStatus = c.status;
        reply.outputs = c.outputs;
        return reply;
      });
    }
    std::vector<Variant> args;
    std::vector<std::shared_ptr<Variant>> slots(c.args.size());
    for (std::size_t i = 0; i < c.args.size(); ++i) {
      if (!c.args[i].out) {
        args.push_back(c.args[i].value);
        continue;
      }
      OutSlot slot = Out(c.args[i].value, c.args[i].type);
      slots[i] = slot.value;
      args.push_back(slot.ref);
    }
    const CallResult result = Call(c.member, args);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;

    const std::string ran = c.procedures.front().name;
    for (std::size_t p = 1; p < c.procedures.size(); ++p) {
      EXPECT_TRUE(accountSet_.Calls(c.procedures[p].name).empty()) << c.procedures[p].name;
    }
    if (c.prepared) {
      EXPECT_TRUE(accountSet_.Calls(ran).empty()) << "a prepared member ran " << ran;
    } else {
      ASSERT_EQ(accountSet_.Calls(ran).size(), 1u) << ran;
      const test::ProcedureCall call = accountSet_.LastCall(ran);
      for (const auto& [parameter, text] : c.sent) {
        EXPECT_TRUE(call.WasSent(parameter)) << parameter;
        EXPECT_EQ(test::TextOf(call[parameter]), text) << parameter;
      }
      for (const char* parameter : c.notSent) EXPECT_FALSE(call.WasSent(parameter)) << parameter;
    }
    for (const auto& [argument, text] : c.results) {
      ASSERT_NE(slots[argument], nullptr) << "argument " << argument;
      EXPECT_EQ(BooksText(*slots[argument]), text) << "argument " << argument;
    }
    if (c.retVal) {
      EXPECT_EQ(BooksText(result.value), *c.retVal);
    }
  }
}

// A prepared member leaves its component ready: the client's fetch through
// the component's provider is what runs the procedure, once, with the values
// the member assigned.
TEST_F(ModuleTest, PreparedBooksMembersRunWhenTheirProviderIsFetched) {
  struct PreparedCase {
    const char* member;
    const char* procedure;
    const char* provider;
    std::vector<test::ParamDecl> params;
    std::vector<Variant> ins;
    std::vector<std::pair<const char*, std::string>> sent;
  };
  const std::vector<PreparedCase> cases = {
      {"AccQueryBillDetail",
       "AAAABGH",
       "VchProvider",
       {PWhole("@BillID")},
       {Variant::I4(812)},
       {{"@BillID", "812"}}},
      {"CasQueryCheckCurrentMoney",
       "AAAABJG",
       "QueryProvider",
       {PText("@StartDate"), PText("@EndDate")},
       {Variant("2026-01-01"), Variant("2026-02-01")},
       {{"@StartDate", "2026-01-01"}, {"@EndDate", "2026-02-01"}}},
      {"AccQueryAccountCollect",
       "AAAABFV",
       "QueryProvider",
       {PText("@OperatorID"), POutWhole("@VoucherCount"), POutWhole("@HaveKeepAcnt"),
        POutWhole("@AttachCount")},
       {Variant("00008")},
       {{"@OperatorID", "00008"},
        {"@VoucherCount", "0"},
        {"@HaveKeepAcnt", "0"},
        {"@AttachCount", "0"}}},
  };
  for (const PreparedCase& c : cases) {
    SCOPED_TRACE(c.member);
    accountSet_.Declare({c.procedure, c.params}, [](const test::ProcedureCall&) {
      test::Reply reply;
      reply.returnStatus = -2;
      reply.resultSets.push_back({{test::Col("Line", test::SqlType::Int)}, {{1}, {2}}});
      return reply;
    });
    OutSlot nRet = Out(Variant::I4(-1), com::VT_I4);
    std::vector<Variant> args = c.ins;
    args.push_back(nRet.ref);
    const CallResult result = Call(c.member, args);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(nRet.value->ToI4(), 0);
    EXPECT_TRUE(accountSet_.Calls(c.procedure).empty());

    const datasnap::test::DataPacket packet = Fetch(c.provider);
    EXPECT_EQ(packet.records.size(), 2u);
    ASSERT_EQ(accountSet_.Calls(c.procedure).size(), 1u);
    const test::ProcedureCall call = accountSet_.LastCall(c.procedure);
    for (const auto& [parameter, text] : c.sent) {
      EXPECT_EQ(test::TextOf(call[parameter]), text) << parameter;
    }
  }
}

// The event log carries the server's own time, whatever the client sends.
TEST_F(ModuleTest, EventLogIsStampedWithTheServersTime) {
  accountSet_.Declare({"AAAABHH",
                       {PText("@Mode"), PText("@Date"), PText("@HostName"), PText("@EmployeeID"),
                        PText("@AAAAADG"), PText("@Event")}},
                      [](const test::ProcedureCall&) {
                        test::Reply reply;
                        reply.returnStatus = 1;
                        return reply;
                      });
  const std::time_t before = std::time(nullptr);
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult result = Call("AccQuerySystemEventLog",
                                 {Variant("L"), Variant("1999-01-01 00:00:00"), Variant("PC-7"),
                                  Variant("00008"), Variant("AAAAADG"), Variant("登录"), nRet.ref});
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(nRet.value->ToI4(), 1);
  const test::ProcedureCall call = accountSet_.LastCall("AAAABHH");
  EXPECT_EQ(test::TextOf(call["@Mode"]), "L");
  EXPECT_EQ(test::TextOf(call["@HostName"]), "PC-7");
  EXPECT_EQ(test::TextOf(call["@EmployeeID"]), "00008");
  EXPECT_EQ(test::TextOf(call["@AAAAADG"]), "AAAAADG");
  EXPECT_EQ(test::TextOf(call["@Event"]), "登录");
  const std::string stamp = test::TextOf(call["@Date"]);
  ASSERT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << stamp;
  std::tm parsed{};
  ASSERT_NE(strptime(stamp.c_str(), "%Y-%m-%d %H:%M:%S", &parsed), nullptr);
  parsed.tm_isdst = -1;
  const std::time_t stamped = std::mktime(&parsed);
  EXPECT_GE(stamped, before - 1);
  EXPECT_LE(stamped, after + 1);
}

// After the line is stored, each serial number with its remark goes to the
// serial member with the line's identifier; blank serial lines are skipped,
// the first refusal ends the pass, and nRet keeps the line's identifier.
TEST_F(ModuleTest, RepairPartLineStoresItsSerialNumbersAfterTheLine) {
  struct SerialCase {
    const char* label;
    std::int32_t lineResult;
    std::string serialText;
    std::int32_t refuseAt;  // the serial call (1-based) that answers 1; 0: none
    std::vector<std::pair<std::string, std::string>> expected;  // serial, remark per call
  };
  const std::vector<SerialCase> cases = {
      {"pairs with a blank one",
       31,
       "S1\r\nfirst\r\n  \r\nskipped\r\nS3\r\nthird",
       0,
       {{"S1", "first"}, {"S3", "third"}}},
      {"last remark missing", 32, "S1\nfirst\nS2", 0, {{"S1", "first"}, {"S2", ""}}},
      {"refused", 33, "S1\r\na\r\nS2\r\nb\r\nS3\r\nc", 2, {{"S1", "a"}, {"S2", "b"}}},
      {"line not stored", 0, "S1\r\na", 0, {}},
      {"refused line", -5, "S1\r\na", 0, {}},
      {"no serial numbers", 34, "", 0, {}},
  };
  std::vector<test::ParamDecl> lineParams = {PText("@OperatorID"), PText("@CompanyID")};
  for (const char* name :
       {"@lMode",          "@BillID",        "@BillDetailID",   "@SerialID",      "@STBillID",
        "@STBillDetailID", "@PartID",        "@RepairDetailID", "@AccountTypeID", "@FactoryCode",
        "@FactoryName",    "@Quantity",      "@Price",          "@SumTo",         "@Discount",
        "@DiscountPrice",  "@DiscountSumTo", "@StockID",        "@PositionID",    "@CostingMode",
        "@BlockNumber",    "@WareNumber",    "@ProduceDate",    "@CostPrice",     "@UnitNo",
        "@UnitID",         "@UnitRate",      "@SerialNo",       "@Memo"}) {
    lineParams.push_back(PText(name));
  }
  for (const SerialCase& c : cases) {
    SCOPED_TRACE(c.label);
    accountSet_.ClearCalls();
    accountSet_.Declare({"AAAABPU", lineParams}, [&c](const test::ProcedureCall&) {
      test::Reply reply;
      reply.returnStatus = c.lineResult;
      return reply;
    });
    int serialCalls = 0;
    accountSet_.Declare({"AAAABUZ",
                         {PText("@OperatorID"), PText("@CompanyID"), PWhole("@IndexID"),
                          PText("@SerialNo"), PText("@Memo")}},
                        [&](const test::ProcedureCall&) {
                          test::Reply reply;
                          reply.returnStatus = ++serialCalls == c.refuseAt ? 1 : 0;
                          return reply;
                        });
    std::vector<Variant> args = {Variant("00008"), Variant("01")};
    for (int i = 0; i < 27; ++i) args.emplace_back("v" + std::to_string(i));
    args.emplace_back(c.serialText);
    args.emplace_back("line memo");
    OutSlot nRet = Out(Variant::I4(-1), com::VT_I4);
    args.push_back(nRet.ref);
    const CallResult result = Call("QX_InsertBillDetailPart", args);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(nRet.value->ToI4(), c.lineResult);

    const test::ProcedureCall line = accountSet_.LastCall("AAAABPU");
    EXPECT_FALSE(line.WasSent("@SerialNo"));
    EXPECT_EQ(test::TextOf(line["@lMode"]), "v0");
    EXPECT_EQ(test::TextOf(line["@UnitRate"]), "v26");
    EXPECT_EQ(test::TextOf(line["@Memo"]), "line memo");
    const std::vector<test::ProcedureCall> serials = accountSet_.Calls("AAAABUZ");
    ASSERT_EQ(serials.size(), c.expected.size());
    for (std::size_t i = 0; i < serials.size(); ++i) {
      EXPECT_EQ(test::TextOf(serials[i]["@OperatorID"]), "00008");
      EXPECT_EQ(test::TextOf(serials[i]["@CompanyID"]), "01");
      EXPECT_EQ(test::TextOf(serials[i]["@IndexID"]), std::to_string(c.lineResult));
      EXPECT_EQ(test::TextOf(serials[i]["@SerialNo"]), c.expected[i].first);
      EXPECT_EQ(test::TextOf(serials[i]["@Memo"]), c.expected[i].second);
    }
  }
}

// Members that read the return value by the fixed name still answer when the
// connection's return-value name is another; the others then fail.
TEST_F(ModuleTest, FixedNameMembersReadTheReturnValueByItsOwnName) {
  accountSet_.Declare({"AAAABWK", {PText("@OperatorID"), PText("@CompanyID")}},
                      [](const test::ProcedureCall&) {
                        test::Reply reply;
                        reply.returnStatus = 21;
                        return reply;
                      });
  accountSet_.Declare({"AAAABRG",
                       {PText("@OperatorID"), PText("@CompanyID"), PText("@cMode"),
                        PText("@IndexID"), PText("@Direction"), PText("@Condition")}},
                      [](const test::ProcedureCall&) {
                        test::Reply reply;
                        reply.returnStatus = 22;
                        return reply;
                      });
  const std::string saved = ReturnValueName();
  SetReturnValueName("@Status");
  OutSlot fixed = Out(Variant::I4(0), com::VT_I4);
  const CallResult fixedCall =
      Call("YY_InsertGSPWorkFlowControl", {Variant("00008"), Variant("01"), fixed.ref});
  OutSlot byName = Out(Variant::I4(0), com::VT_I4);
  const CallResult byNameCall =
      Call("QX_QueryBasicInfo", {Variant("00008"), Variant("01"), Variant("A"), Variant("1"),
                                 Variant("0"), Variant(""), byName.ref});
  SetReturnValueName(saved);
  ASSERT_EQ(fixedCall.hr, com::S_OK) << fixedCall.excepInfo.description;
  EXPECT_EQ(fixed.value->ToI4(), 21);
  EXPECT_NE(byNameCall.hr, com::S_OK);
  EXPECT_NE(byNameCall.excepInfo.description.find("@Status"), std::string::npos)
      << byNameCall.excepInfo.description;
  EXPECT_EQ(accountSet_.Calls("AAAABRG").size(), 1u);
}

// Refused calls: the HRESULT of the dispatch rules for argument counts and
// types, a clear failure naming the member for a selector that is no number,
// and nothing at all reaches SQL Server.
TEST_F(ModuleTest, RefusedBooksAndTradeCallsSendNothing) {
  struct RefusedCase {
    const char* label;
    const char* member;
    std::vector<Variant> args;  // an out argument is passed as a by-reference integer
    com::HResult hr;      // E_UNEXPECTED: the member failed (DISP_E_EXCEPTION with that scode)
    const char* message;  // part of the error description; empty: not checked
  };
  const auto ret = [] { return Out(Variant::I4(0), com::VT_I4).ref; };
  const std::vector<RefusedCase> cases = {
      {"too few", "AccChangeBillTransfer", {Variant::I4(1), ret()}, com::DISP_E_BADPARAMCOUNT, ""},
      {"too many",
       "QX_SetSystemValue",
       {Variant("a"), Variant("b"), Variant("c"), Variant("d"), ret()},
       com::DISP_E_BADPARAMCOUNT,
       ""},
      {"too few for a selector",
       "QP_InsertBillDetail",
       {Variant("00008"), Variant("01"), Variant::I4(0), ret()},
       com::DISP_E_BADPARAMCOUNT,
       ""},
      {"integer that is no number",
       "AccChangeBillTransfer",
       {Variant("eleven"), Variant::I4(12), Out(Variant(""), com::VT_BSTR).ref},
       com::DISP_E_TYPEMISMATCH,
       ""},
      {"double that is no number",
       "AccInsertVoucherDetail",
       {Variant::I4(1), Variant(""), Variant::I4(1), Variant(""), Variant(""), Variant(""),
        Variant(""), Variant("a lot"), Variant(0.0), Variant(0.0), Variant(0.0), Variant(""),
        Variant(""), Variant::I4(0), Variant(""), Variant(""), Variant("")},
       com::DISP_E_TYPEMISMATCH,
       ""},
      {"record mode that is no number",
       "AccInsertClientInfo",
       {Variant("U"), Variant("00001"), Variant(""), Variant(""), Variant(""), Variant(""),
        Variant(""),  Variant(""),      Variant(""), Variant(""), Variant(""), Variant(""),
        Variant(""),  Variant(""),      Variant(""), Variant(""), Variant(""), Variant(""),
        Variant(""),  Variant(""),      Variant(""), ret()},
       com::E_UNEXPECTED,
       "AccInsertClientInfo: lMode \"U\""},
      {"empty record mode text",
       "AccInsertAreaInfo",
       {Variant(""), Variant("00001"), Variant(""), Variant(""), Variant(""), Variant(""), ret()},
       com::E_UNEXPECTED,
       "AccInsertAreaInfo: lMode"},
      {"draft that is no number",
       "QP_InsertBillMaster",
       {Variant("00008"), Variant("01"), Variant("draft"), Variant(""), Variant(""), Variant(""),
        Variant(""), Variant(""), Variant(""), Variant(""), Variant(""), Variant(""), Variant(""),
        Variant(""), ret()},
       com::E_UNEXPECTED,
       "QP_InsertBillMaster: Draft \"draft\""},
      {"bill type that is no number",
       "QP_InsertBillDetail",
       {Variant("00008"), Variant("01"), Variant::I4(1), Variant("sale"), Variant(""), Variant(""),
        Variant(""), ret()},
       com::E_UNEXPECTED,
       "QP_InsertBillDetail: BillType \"sale\""},
      {"mode letter that is no number",
       "YY_InsertDrugTypeInfo",
       {Variant("00008"), Variant("01"), Variant("new"), Variant(""), Variant(""), Variant(""),
        Variant(""), Variant(""), Variant(""), Out().ref, ret()},
       com::E_UNEXPECTED,
       "YY_InsertDrugTypeInfo: lMode"},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(std::string(c.label) + ": " + c.member);
    server_.ClearRequests();
    const CallResult result = Call(c.member, c.args);
    if (c.hr == com::E_UNEXPECTED) {
      EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION) << result.excepInfo.description;
      EXPECT_EQ(result.excepInfo.scode, com::E_UNEXPECTED);
    } else {
      EXPECT_EQ(result.hr, c.hr) << result.excepInfo.description;
    }
    if (*c.message != '\0') {
      EXPECT_NE(result.excepInfo.description.find(c.message), std::string::npos)
          << result.excepInfo.description;
    }
    EXPECT_TRUE(server_.Requests().empty()) << server_.Requests().size() << " requests";
  }
}

}  // namespace
}  // namespace quor::testing
