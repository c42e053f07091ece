// The bill members with algorithms of their own as clients call them, on the
// test account set's bill book: the header procedure chosen by Draft and
// lVchcode with every parameter from its own argument, server-side numbers in
// each format, two clients numbering one bill type at once, the line
// procedure chosen by Draft and nVchType with its serial numbers, posting with
// and without its change-queue row, deletion with the bill's annex folder, and
// the reset of the numbering counters.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "BasicInfoTestSupport.h"
#include "ServerPublic/ServerGlobals.h"
#include "SessionFixture.h"
#include "tests/support/accountset/BillBook.h"

namespace quor::testing {
namespace {

namespace fs = std::filesystem;
using com::Variant;

constexpr int kSaleBill = 11;

// Every in-argument of InsertBillMaster with a value of its own; the integer
// arguments as integers.
std::map<std::string, Variant> MasterValues(int draft, int billId, const std::string& number) {
  std::map<std::string, Variant> values;
  for (const char* name :
       {"OperatorID",  "CompanyID",    "szDate",          "Summary",         "Comment",
        "Btypeid",     "Etypeid",      "Ktypeid",         "Ktypeid2",        "Ifcheck",
        "Checke",      "szperiod",     "Accounte",        "Inputno",         "Redword",
        "nAttach",     "nBillType",    "szGatheringDate", "BalanceGridMode", "szProjectid",
        "iBackBillID", "iVIPDiscFlag", "iVIPSaveFlag",    "iVDisCount",      "iVCardOdd",
        "InvoiceType", "InvoiceNo",    "InvoiceDate",     "InvoiceSumTo",    "nTotal",
        "FreightID",   "ServeRate",    "ServeTerm",       "ChangeSumTo",     "DefDiscount",
        "DefTaxRate",  "MemoOne",      "MemoTwo",         "IsConveyBill",    "ShopID",
        "MachineNum",  "NetPayNumber"}) {
    values[name] = Variant(std::string("v-") + name);
  }
  values["szDate"] = Variant("2024-03-05");
  values["MachineNum"] = Variant("01");
  int next = 900;
  for (const char* name : {"iCardID", "ServeCount", "ServeDone", "IsRetailBill", "IsMobileBill",
                           "NormalChange", "IsPrepareBill"}) {
    values[name] = Variant::I4(next++);
  }
  values["Draft"] = Variant::I4(draft);
  values["lVchcode"] = Variant::I4(billId);
  values["lVchtype"] = Variant::I4(kSaleBill);
  values["lNumber"] = Variant(number);
  return values;
}

// The argument each header parameter takes, as the bill mapping gives it.
const std::map<std::string, std::string>& MasterMapping() {
  static const std::map<std::string, std::string> kMapping = {
      {"@OperatorID", "OperatorID"},
      {"@CompanyID", "CompanyID"},
      {"@Date", "szDate"},
      {"@number", "lNumber"},
      {"@BillType", "lVchtype"},
      {"@summary", "Summary"},
      {"@Memo", "Comment"},
      {"@ClientID", "Btypeid"},
      {"@PersonID", "Etypeid"},
      {"@StockID", "Ktypeid"},
      {"@StockID2", "Ktypeid2"},
      {"@ifcheck", "Ifcheck"},
      {"@checke", "Checke"},
      {"@period", "szperiod"},
      {"@accounte", "Accounte"},
      {"@AuditingMan", "Inputno"},
      {"@draft", "Draft"},
      {"@Abolish", "Redword"},
      {"@nAdjunctCount", "nAttach"},
      {"@nBillMode", "nBillType"},
      {"@szGatheringDate", "szGatheringDate"},
      {"@BalanceGridMode", "BalanceGridMode"},
      {"@szProjectid", "szProjectid"},
      {"@DefDiscount", "DefDiscount"},
      {"@DefTaxRate", "DefTaxRate"},
      {"@MemoOne", "MemoOne"},
      {"@MemoTwo", "MemoTwo"},
      {"@NetPayNumber", "NetPayNumber"},
      {"@nSumTo", "nTotal"},
      {"@BillID", "lVchcode"},
      {"@ShopID", "ShopID"},
      {"@FreightID", "FreightID"},
      {"@AuditingMan1", "InvoiceType"},
      {"@VIPCardID", "iCardID"},
      {"@VIPDiscFlag", "iVIPDiscFlag"},
      {"@VIPSaveFlag", "iVIPSaveFlag"},
      {"@VIPDisCount", "iVDisCount"},
      {"@VIPCardOdd", "iVCardOdd"},
      {"@InvoiceType", "InvoiceType"},
      {"@InvoiceNo", "InvoiceNo"},
      {"@InvoiceDate", "InvoiceDate"},
      {"@InvoiceSumTo", "InvoiceSumTo"},
      {"@BackBillID", "iBackBillID"},
      {"@ServeRate", "ServeRate"},
      {"@ServeTerm", "ServeTerm"},
      {"@ChangeSumTo", "ChangeSumTo"},
      {"@IsConveyBill", "IsConveyBill"},
      {"@ServeCount", "ServeCount"},
      {"@ServeDone", "ServeDone"},
      {"@IsRetailBill", "IsRetailBill"},
      {"@NormalChange", "NormalChange"},
      {"@IsMobileBill", "IsMobileBill"},
      {"@IsPrepareBill", "IsPrepareBill"}};
  return kMapping;
}

// Every in-argument of InsertBillDetail with a value of its own.
std::map<std::string, Variant> DetailValues(int draft, int billType, const std::string& serials) {
  std::map<std::string, Variant> values;
  for (const char* name :
       {"OperatorID",     "CompanyID",      "nVchCode",       "szatypeid",      "szbtypeid",
        "szetypeid",      "szktypeid",      "szktypeid2",     "szptypeid",      "PositionID",
        "PositionID2",    "dqty",           "dReferUnitRate", "dReferQuantity", "dDiscount",
        "dDiscountPrice", "dCostTotal",     "dCostPrice",     "szBlockno",      "nGoodNO",
        "dPrice",         "dtotal",         "szProdate",      "OverdueDate",    "GermNumber",
        "InspectNO",      "dTaxPrice",      "dTaxTotal",      "szMemo",         "szDate",
        "cUsedType",      "Period",         "dTax_Total",     "dTax",           "dDiscountTotal",
        "nCostMode",      "UnitNo",         "UnitID",         "UnitRate",       "nOrderBillType",
        "nOrderVchCode",  "nDlyOrder",      "SourceBillType", "SourceMasterID", "SourceDetailID",
        "dInvoceTotal",   "TicketQuantity", "TicketPrice",    "TicketSumTo",    "FigureLength",
        "FigureWidth",    "FigureHeight",   "FigureColor",    "FigureCustom1",  "FigureCustom2",
        "szProjectid",    "RetailPrice",    "DonateStatus",   "VipCardID",      "IsCardFreeWare",
        "PromoteID",      "ForceZeroCost",  "EligibleProve"}) {
    values[name] = Variant(std::string("d-") + name);
  }
  values["Draft"] = Variant::I4(draft);
  values["nVchType"] = Variant::I4(billType);
  values["SerialNo"] = Variant(serials);
  return values;
}

const std::map<std::string, std::string>& DetailMapping() {
  static const std::map<std::string, std::string> kMapping = {{"@OperatorID", "OperatorID"},
                                                              {"@CompanyID", "CompanyID"},
                                                              {"@BillID", "nVchCode"},
                                                              {"@AccountID", "szatypeid"},
                                                              {"@ClientID", "szbtypeid"},
                                                              {"@PersonID", "szetypeid"},
                                                              {"@StockID", "szktypeid"},
                                                              {"@StockID2", "szktypeid2"},
                                                              {"@WareID", "szptypeid"},
                                                              {"@PositionID", "PositionID"},
                                                              {"@PositionID2", "PositionID2"},
                                                              {"@Quantity", "dqty"},
                                                              {"@ReferUnitRate", "dReferUnitRate"},
                                                              {"@ReferQuantity", "dReferQuantity"},
                                                              {"@discount", "dDiscount"},
                                                              {"@discountprice", "dDiscountPrice"},
                                                              {"@CostSumTo", "dCostTotal"},
                                                              {"@costprice", "dCostPrice"},
                                                              {"@BlockNumber", "szBlockno"},
                                                              {"@WareNumber", "nGoodNO"},
                                                              {"@price", "dPrice"},
                                                              {"@SumTo", "dtotal"},
                                                              {"@ProduceDate", "szProdate"},
                                                              {"@OverdueDate", "OverdueDate"},
                                                              {"@GermNumber", "GermNumber"},
                                                              {"@InspectNO", "InspectNO"},
                                                              {"@taxprice", "dTaxPrice"},
                                                              {"@TaxAtion", "dTaxTotal"},
                                                              {"@Memo", "szMemo"},
                                                              {"@date", "szDate"},
                                                              {"@Orientation", "cUsedType"},
                                                              {"@period", "Period"},
                                                              {"@TaxSumTo", "dTax_Total"},
                                                              {"@tax", "dTax"},
                                                              {"@discountSumTo", "dDiscountTotal"},
                                                              {"@BillType", "nVchType"},
                                                              {"@nCostingMode", "nCostMode"},
                                                              {"@UnitNo", "UnitNo"},
                                                              {"@UnitID", "UnitID"},
                                                              {"@UnitRate", "UnitRate"},
                                                              {"@nOrderBillType", "nOrderBillType"},
                                                              {"@nOrderMasterID", "nOrderVchCode"},
                                                              {"@nOrderDetailID", "nDlyOrder"},
                                                              {"@SourceBillType", "SourceBillType"},
                                                              {"@SourceMasterID", "SourceMasterID"},
                                                              {"@SourceDetailID", "SourceDetailID"},
                                                              {"@dInvoiceSumTo", "dInvoceTotal"},
                                                              {"@TicketQuantity", "TicketQuantity"},
                                                              {"@TicketPrice", "TicketPrice"},
                                                              {"@TicketSumTo", "TicketSumTo"},
                                                              {"@FigureLength", "FigureLength"},
                                                              {"@FigureWidth", "FigureWidth"},
                                                              {"@FigureHeight", "FigureHeight"},
                                                              {"@FigureColor", "FigureColor"},
                                                              {"@FigureCustom1", "FigureCustom1"},
                                                              {"@FigureCustom2", "FigureCustom2"},
                                                              {"@szProjectid", "szProjectid"},
                                                              {"@RetailPrice", "RetailPrice"},
                                                              {"@DonateStatus", "DonateStatus"},
                                                              {"@VipCardID", "VipCardID"},
                                                              {"@IsCardFreeWare", "IsCardFreeWare"},
                                                              {"@PromoteID", "PromoteID"},
                                                              {"@ForceZeroCost", "ForceZeroCost"},
                                                              {"@EligibleProve", "EligibleProve"}};
  return kMapping;
}

std::string TextOfVariant(const Variant& value) {
  return value.IsNull() || value.IsEmpty() ? std::string() : value.ToString();
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

class BillHandlersTest : public SessionTest {
 protected:
  // Calls a member with the named in-arguments; returns the out slots in order.
  std::vector<Variant> CallMember(const char* member, const std::map<std::string, Variant>& values,
                                  CallResult* failure = nullptr) {
    ClientCall call = ClientArgs(module_->Table(), member, values);
    const CallResult result = Call(member, call.args);
    if (failure != nullptr) {
      *failure = result;
    } else {
      EXPECT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    }
    std::vector<Variant> outs;
    for (const OutSlot& slot : call.outs) outs.push_back(*slot.value);
    return outs;
  }

  fs::path Program() const { return folder_.Path(); }

  std::string SentNumber(const char* procedure) {
    return test::TextOf(accountSet_.LastCall(procedure)["@number"]);
  }

  test::BillBook book_{accountSet_};
};

TEST_F(BillHandlersTest, EachDraftAndBillCombinationRunsItsHeaderProcedureWithItsOwnParameters) {
  book_.SetSystemValue("BillNumberNewBill", "0");
  struct Case {
    int draft;
    int billId;
    const char* procedure;
  };
  const std::vector<Case> cases = {{0, 0, "AAAAARU"},    {8, 0, "AAAAARU"},   {0, 305, "AAAABBF"},
                                   {8, -100, "AAAABBF"}, {1, 0, "AAAAART"},   {7, 0, "AAAAART"},
                                   {1, -100, "AAAAARV"}, {1, 305, "AAAABBD"}, {2, -1, "AAAABBD"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.draft) + "/" + std::to_string(c.billId));
    accountSet_.ClearCalls();
    book_.SetMasterResult(c.billId + 1000);
    const std::map<std::string, Variant> values = MasterValues(c.draft, c.billId, "XS-0007");
    const std::vector<Variant> outs = CallMember("InsertBillMaster", values);
    ASSERT_EQ(outs.size(), 1u);
    EXPECT_EQ(outs[0].ToI4(), c.billId + 1000);
    const test::ProcedureCall call = accountSet_.LastCall(c.procedure);
    const std::vector<std::string> declared = test::BillMasterParameters(c.procedure);
    for (const std::string& parameter : declared) {
      const std::string& argument = MasterMapping().at(parameter);
      EXPECT_TRUE(call.WasSent(parameter)) << parameter;
      EXPECT_EQ(test::TextOf(call[parameter]), TextOfVariant(values.at(argument))) << parameter;
    }
    for (const char* other : {"AAAAARU", "AAAABBF", "AAAAART", "AAAAARV", "AAAABBD"}) {
      if (std::string(other) != c.procedure) {
        EXPECT_TRUE(accountSet_.Calls(other).empty()) << other;
      }
    }
    EXPECT_TRUE(accountSet_.Calls("AAAAAQE").empty());
  }
}

TEST_F(BillHandlersTest, AGivenNumberIsKeptAndAnUnassignedOneStaysEmpty) {
  book_.SetFormat(kSaleBill, "yyyymmdd[0000]");
  book_.SetSystemValue("BillNumberNewBill", "1");
  CallMember("InsertBillMaster", MasterValues(1, 0, "ABC"));
  EXPECT_EQ(SentNumber("AAAAART"), "ABC");
  EXPECT_TRUE(accountSet_.Calls("AAAAAQE").empty());

  for (const char* off : {"0", "", "yes", "2"}) {
    SCOPED_TRACE(off);
    book_.SetSystemValue("BillNumberNewBill", off);
    CallMember("InsertBillMaster", MasterValues(1, 0, ""));
    EXPECT_EQ(SentNumber("AAAAART"), "");
    EXPECT_TRUE(accountSet_.Calls("AAAAAQE").empty());
  }
}

TEST_F(BillHandlersTest, NumbersFollowTheFormatRowOfTheirBillType) {
  book_.SetSystemValue("BillNumberNewBill", "1");
  struct Case {
    const char* machine;
    std::optional<std::string> format;
    std::int64_t counter;
    const char* date;
    const char* expected;  // a pattern
  };
  const std::vector<Case> cases = {
      {"01", "yyyymmdd[0000]", 41, "2024-03-05", "01202403050042"},
      {"M-7", "yymmdd-[000000]", 0, "2024-12-31", "M-7241231-000001"},
      {"01", "\"XS\"yyyy\rmmdd[00]", 99, "2024-03-05", "01XS20240305100"},
      {"02", "yyyy-mm-dd", 5, "2024-03-05", "022024-03-05"},
      {"03", "[0000]", 9, "", "030010"},
      {"04", "d/m/yy [0]", 6, "2024-03-05", "045-3-24 7"},
      {"05", "yyyymmdd[0000]", 1, "not a date", "05\\d{8}0002"},
      {"06", std::nullopt, 3, "2024-03-05", "2024-03-05 \\d\\d:\\d\\d:\\d\\d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    book_.SetFormat(kSaleBill, c.format);
    book_.SetCounter(kSaleBill, c.counter);
    std::map<std::string, Variant> values = MasterValues(1, 0, "");
    values["MachineNum"] = Variant(c.machine);
    values["szDate"] = Variant(c.date);
    CallMember("InsertBillMaster", values);
    EXPECT_TRUE(std::regex_match(SentNumber("AAAAART"), std::regex(c.expected)))
        << SentNumber("AAAAART");
    const test::ProcedureCall read = accountSet_.LastCall("AAAAAQE");
    EXPECT_EQ(test::TextOf(read["@MachineNum"]), c.machine);
    EXPECT_EQ(test::TextOf(read["@nWork"]), "2");
    EXPECT_EQ(test::TextOf(read["@nBillType"]), "11");
    EXPECT_EQ(test::TextOf(read["@szDate"]), "");
    EXPECT_EQ(book_.Counter(kSaleBill), c.counter) << "BillNumberEffect is not 2";
  }
  const test::ProcedureCall format = accountSet_.LastCall("AAAAAPU");
  EXPECT_EQ(test::TextOf(format["@szSql"]), "Select SNFormat from AAAAABQ where BillType=11");
}

TEST_F(BillHandlersTest, TheCounterAdvancesWhenNumbersTakeEffectOrTheBillIsConsumedAtOnce) {
  book_.SetSystemValue("BillNumberNewBill", "1");
  book_.SetFormat(kSaleBill, "[0000]");
  struct Case {
    const char* effect;
    int billId;
    const char* procedure;
    std::int64_t after;  // counter before: 41
    const char* number;
  };
  const std::vector<Case> cases = {{"0", -100, "AAAAARV", 42, "010042"},
                                   {"2", 0, "AAAAART", 42, "010042"},
                                   {"1", 0, "AAAAART", 41, "010042"},
                                   {"2", 305, "AAAABBD", 41, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.effect) + "/" + std::to_string(c.billId));
    book_.SetSystemValue("BillNumberEffect", c.effect);
    book_.SetCounter(kSaleBill, 41);
    CallMember("InsertBillMaster", MasterValues(1, c.billId, ""));
    EXPECT_EQ(SentNumber(c.procedure), c.number);
    EXPECT_EQ(book_.Counter(kSaleBill), c.after);
  }
}

TEST_F(BillHandlersTest, TwoClientsNumberingOneBillTypeAtOnceNeverShareANumber) {
  book_.SetSystemValue("BillNumberNewBill", "1");
  book_.SetSystemValue("BillNumberEffect", "2");
  book_.SetFormat(kSaleBill, "[000000]");
  constexpr int kBillsEach = 20;
  std::vector<std::shared_ptr<TDataModuleServer>> modules = {
      Connected(std::make_shared<TDataModuleServer>()),
      Connected(std::make_shared<TDataModuleServer>())};
  std::vector<std::thread> clients;
  std::atomic<int> failures{0};
  for (const auto& module : modules) {
    clients.emplace_back([&failures, module] {
      for (int bill = 0; bill < kBillsEach; ++bill) {
        ClientCall call = ClientArgs(module->Table(), "InsertBillMaster", MasterValues(1, 0, ""));
        com::DispId dispId = com::DISPID_UNKNOWN;
        module->GetIDsOfNames("InsertBillMaster", dispId);
        const std::vector<Variant> dispatchOrder(call.args.rbegin(), call.args.rend());
        Variant result;
        com::ExcepInfo info;
        std::uint32_t argErr = 0;
        if (module->Invoke(dispId, com::DISPATCH_METHOD, com::DispParams(dispatchOrder), &result,
                           &info, &argErr) != com::S_OK) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(failures.load(), 0);
  std::set<std::string> numbers;
  for (const test::ProcedureCall& call : accountSet_.Calls("AAAAART")) {
    numbers.insert(test::TextOf(call["@number"]));
  }
  EXPECT_EQ(numbers.size(), 2u * kBillsEach);
  EXPECT_EQ(book_.Counter(kSaleBill), 2 * kBillsEach);
  EXPECT_EQ(book_.OverlappingReads(), 0);
}

TEST_F(BillHandlersTest, BadHeadersFailBeforeAnythingIsNumberedOrStored) {
  book_.SetSystemValue("BillNumberNewBill", "1");
  book_.SetFormat(kSaleBill, "[0000]");
  struct Case {
    const char* name;
    Variant value;
    const char* message;
  };
  const std::vector<Case> cases = {{"Draft", Variant("draft"), "Draft"},
                                   {"lVchcode", Variant("x12"), "lVchcode"},
                                   {"lVchtype", Variant("sale"), "lVchtype"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    accountSet_.ClearCalls();
    std::map<std::string, Variant> values = MasterValues(1, 0, "");
    values[c.name] = c.value;
    CallResult failure;
    CallMember("InsertBillMaster", values, &failure);
    EXPECT_NE(failure.hr, com::S_OK);
    EXPECT_NE(failure.excepInfo.description.find(c.message), std::string::npos)
        << failure.excepInfo.description;
    EXPECT_TRUE(accountSet_.Calls("AAAAAQE").empty());
    EXPECT_TRUE(accountSet_.Calls("AAAAART").empty());
  }
  for (const char* counter : {"", "abc", "12x"}) {
    SCOPED_TRACE(counter);
    book_.SetCounterText(kSaleBill, counter);
    accountSet_.ClearCalls();
    CallResult failure;
    CallMember("InsertBillMaster", MasterValues(1, 0, ""), &failure);
    EXPECT_NE(failure.hr, com::S_OK);
    EXPECT_NE(failure.excepInfo.description.find("counter of bill type 11"), std::string::npos)
        << failure.excepInfo.description;
    EXPECT_TRUE(accountSet_.Calls("AAAAART").empty());
  }
}

TEST_F(BillHandlersTest, EachDraftAndBillTypeRunsItsLineProcedureWithItsOwnParameters) {
  struct Case {
    int draft;
    int billType;
    const char* procedure;
  };
  const std::vector<Case> cases = {{0, 117, "AAAAARQ"}, {1, 117, "AAAAARS"}, {8, 118, "AAAAARS"},
                                   {7, 11, "AAAAARR"},  {8, 11, "AAAAARR"},  {1, 11, "AAAAARQ"},
                                   {3, 34, "AAAAARQ"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.draft) + "/" + std::to_string(c.billType));
    accountSet_.ClearCalls();
    const std::map<std::string, Variant> values = DetailValues(c.draft, c.billType, "");
    const std::vector<Variant> outs = CallMember("InsertBillDetail", values);
    ASSERT_EQ(outs.size(), 2u);
    EXPECT_EQ(outs[0].ToI4(), 57);
    EXPECT_EQ(outs[1].ToI4(), 0);
    const test::ProcedureCall call = accountSet_.LastCall(c.procedure);
    for (const std::string& parameter : test::BillDetailParameters()) {
      EXPECT_EQ(test::TextOf(call[parameter]),
                TextOfVariant(values.at(DetailMapping().at(parameter))))
          << parameter;
    }
    EXPECT_EQ(accountSet_.Calls("AAAAARQ").size() + accountSet_.Calls("AAAAARS").size() +
                  accountSet_.Calls("AAAAARR").size(),
              1u);
  }
}

TEST_F(BillHandlersTest, AStoredLineRunsOneSerialCallPerSerialNumberWithItsRemark) {
  const std::string sixLines = "SN1\r\n\r\n  \r\nx\r\nSN3\r\nm3";
  for (const int draft : {1, 7}) {
    SCOPED_TRACE(draft);
    accountSet_.ClearCalls();
    const std::vector<Variant> outs =
        CallMember("InsertBillDetail", DetailValues(draft, kSaleBill, sixLines));
    EXPECT_EQ(outs[0].ToI4(), 57);
    EXPECT_EQ(outs[1].ToI4(), 0);
    const char* serial = draft == 7 ? "AAAABBH" : "AAAABBG";
    EXPECT_TRUE(accountSet_.Calls(draft == 7 ? "AAAABBG" : "AAAABBH").empty());
    const std::vector<test::ProcedureCall> calls = accountSet_.Calls(serial);
    ASSERT_EQ(calls.size(), 2u);
    const std::vector<std::pair<std::string, std::string>> expected = {{"SN1", ""}, {"SN3", "m3"}};
    for (std::size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(test::TextOf(calls[i]["@SerialNo"]), expected[i].first);
      EXPECT_EQ(test::TextOf(calls[i]["@Memo"]), expected[i].second);
      EXPECT_EQ(test::TextOf(calls[i]["@LineNumber"]), "57");
      EXPECT_EQ(test::TextOf(calls[i]["@BillType"]), "11");
      EXPECT_EQ(test::TextOf(calls[i]["@BillID"]), "d-nVchCode");
      EXPECT_EQ(test::TextOf(calls[i]["@BillDate"]), "d-szDate");
      EXPECT_EQ(test::TextOf(calls[i]["@WareID"]), "d-szptypeid");
      EXPECT_EQ(test::TextOf(calls[i]["@ClientID"]), "d-szbtypeid");
      EXPECT_EQ(test::TextOf(calls[i]["@StockID"]), "d-szktypeid");
      EXPECT_EQ(test::TextOf(calls[i]["@PersonID"]), "d-szetypeid");
      EXPECT_EQ(test::TextOf(calls[i]["@OperatorID"]), "d-OperatorID");
      EXPECT_EQ(test::TextOf(calls[i]["@CompanyID"]), "d-CompanyID");
    }
  }
}

TEST_F(BillHandlersTest, LineResultsAndSerialFailuresReachTheClient) {
  struct Case {
    const char* label;
    std::int32_t lineResult;
    std::string serials;
    std::vector<std::int32_t> serialResults;
    std::int32_t outDetailId, nRet;
    std::size_t serialCalls;
  };
  const std::vector<Case> cases = {
      {"stored", 57, "A\nr", {}, 57, 0, 1},
      {"refused line", -3, "A\nr\nB\ns", {}, -3, -3, 0},
      {"zero line", 0, "A\nr", {}, 0, 0, 0},
      {"second serial refused", 57, "A\nr\nB\ns\nC\nt", {0, -9, 0}, 57, -9, 2},
      {"last serial without remark", 57, "A\nr\nB", {}, 57, 0, 2},
      {"line break at the end", 57, "A\nr\n", {}, 57, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    accountSet_.ClearCalls();
    book_.SetDetailResult(c.lineResult);
    book_.QueueSerialResults(c.serialResults);
    const std::vector<Variant> outs =
        CallMember("InsertBillDetail", DetailValues(1, kSaleBill, c.serials));
    EXPECT_EQ(outs[0].ToI4(), c.outDetailId);
    EXPECT_EQ(outs[1].ToI4(), c.nRet);
    EXPECT_EQ(accountSet_.Calls("AAAABBG").size(), c.serialCalls);
  }
  book_.SetDetailResult(57);
  CallMember("InsertBillDetail", DetailValues(1, kSaleBill, "A\r\nr\r\nB"));
  EXPECT_EQ(test::TextOf(accountSet_.LastCall("AAAABBG")["@Memo"]), "");
}

TEST_F(BillHandlersTest, BadLineArgumentsFailBeforeTheLineIsStored) {
  for (const char* name : {"Draft", "nVchType"}) {
    SCOPED_TRACE(name);
    std::map<std::string, Variant> values = DetailValues(1, kSaleBill, "A\nr");
    values[name] = Variant("seven");
    CallResult failure;
    CallMember("InsertBillDetail", values, &failure);
    EXPECT_NE(failure.hr, com::S_OK);
    EXPECT_NE(failure.excepInfo.description.find(name), std::string::npos);
    EXPECT_TRUE(accountSet_.Calls("AAAAARQ").empty());
    EXPECT_TRUE(accountSet_.Calls("AAAABBG").empty());
  }
}

std::map<std::string, Variant> PostingValues(const char* vocation, int isMobile) {
  return {{"OperatorID", Variant("op-1")},        {"CompanyID", Variant("co-2")},
          {"Vocation", Variant(vocation)},        {"nBillID", Variant::I4(305)},
          {"nBillType", Variant::I4(kSaleBill)},  {"iWriteIntoPrice", Variant("1")},
          {"IsMobileBill", Variant::I4(isMobile)}};
}

TEST_F(BillHandlersTest, PostingReportsTheErrorReturnForAZeroAndHandsBackTheChangedRecords) {
  struct Case {
    std::int32_t result;
    std::optional<std::int32_t> errorReturn;
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {0, std::nullopt, -1090}, {0, 0, 0}, {0, -7, -7}, {5, 0, 5}, {-2, std::nullopt, -2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    book_.SetPostingResult(c.result, c.errorReturn);
    const std::vector<Variant> outs = CallMember("UpdateBillTransfer", PostingValues("FZ", 0));
    ASSERT_EQ(outs.size(), 5u);
    EXPECT_EQ(outs[0].ToI4(), c.expected);
    EXPECT_EQ(outs[1].ToString(), "W-305");
    EXPECT_EQ(outs[2].ToString(), "C-305");
    EXPECT_EQ(outs[3].ToString(), "A-305");
    EXPECT_EQ(outs[4].ToString(), "S-305");
  }
  const test::ProcedureCall call = accountSet_.LastCall("AAAABBL");
  EXPECT_EQ(test::TextOf(call["@OperatorID"]), "op-1");
  EXPECT_EQ(test::TextOf(call["@CompanyID"]), "co-2");
  EXPECT_EQ(test::TextOf(call["@nBillID"]), "305");
  EXPECT_EQ(test::TextOf(call["@iWriteIntoPrice"]), "1");
  EXPECT_EQ(test::TextOf(call["@ErrorReturn"]), "-1090");
  EXPECT_EQ(test::TextOf(call["@szWareIDo"]), "");
}

TEST_F(BillHandlersTest, APostingGetsAQueueRowOnlyWhenTheServerSynchronisesAndItSucceeded) {
  QueueRecorder queue(server_);
  struct Case {
    const char* label;
    bool clientSynchronises;
    const char* start;
    int isMobile;
    std::optional<std::int32_t> errorReturn;
    bool queued;
  };
  const std::vector<Case> cases = {
      {"posted", kServerSynchronises, "True", 0, 0, true},
      {"phone bill", kServerSynchronises, "True", 1, 0, false},
      {"failed posting", kServerSynchronises, "True", 0, std::nullopt, false},
      {"client synchronises", true, "True", 0, 0, false},
      {"server synchronisation off", kServerSynchronises, "False", 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SynchroSettings settings(c.clientSynchronises, c.start);
    queue.Clear();
    book_.SetPostingResult(0, c.errorReturn);
    CallMember("UpdateBillTransfer", PostingValues("FZ", c.isMobile));
    const std::vector<QueueRow> rows = queue.Rows();
    if (!c.queued) {
      EXPECT_TRUE(rows.empty());
      continue;
    }
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (QueueRow{"QuorData01", "FZ", "305", "11"}));
    EXPECT_NE(queue.Texts()[0].find("'BILL'"), std::string::npos);
  }
  SynchroSettings settings(kServerSynchronises, "True");
  queue.Clear();
  book_.SetPostingResult(0, 0);
  CallMember("UpdateBillTransfer", PostingValues("F'Z); DROP TABLE x--", 0));
  ASSERT_EQ(queue.Rows().size(), 1u);
  EXPECT_EQ(queue.Rows()[0].vocation, "F'Z); DROP TABLE x--");
}

TEST_F(BillHandlersTest, BadPostingArgumentsFailBeforeTheBillIsPosted) {
  SynchroSettings settings(kServerSynchronises, "True");
  QueueRecorder queue(server_);
  for (const char* name : {"nBillID", "nBillType", "IsMobileBill"}) {
    SCOPED_TRACE(name);
    std::map<std::string, Variant> values = PostingValues("FZ", 0);
    values[name] = Variant("three");
    CallResult failure;
    CallMember("UpdateBillTransfer", values, &failure);
    EXPECT_NE(failure.hr, com::S_OK);
    EXPECT_NE(failure.excepInfo.description.find(name), std::string::npos);
  }
  CallResult failure;
  CallMember("UpdateBillTransfer", PostingValues(std::string(51, 'V').c_str(), 0), &failure);
  EXPECT_NE(failure.hr, com::S_OK);
  EXPECT_TRUE(accountSet_.Calls("AAAABBL").empty());
  EXPECT_TRUE(queue.Rows().empty());
}

TEST_F(BillHandlersTest, DeletingABillRemovesItsAnnexFolderAndNothingOutsideIt) {
  const fs::path annex = Program() / "Annex";
  const auto makeFolder = [](const fs::path& folder) {
    fs::create_directories(folder);
    std::ofstream(folder / "a.jpg") << "picture";
  };
  makeFolder(annex / "@G1_11_305" / "inner");
  makeFolder(annex / "@G2_11_305");
  makeFolder(Program() / "keep");
  book_.SetDeleteResult(-4);
  const std::vector<Variant> outs = CallMember("DeleteBillMaster", {{"OperatorID", Variant("op")},
                                                                    {"CompanyID", Variant("co")},
                                                                    {"UserGUID", Variant("G1")},
                                                                    {"nBillType", Variant::I4(11)},
                                                                    {"nBillID", Variant::I4(305)}});
  EXPECT_EQ(outs[0].ToI4(), -4);
  EXPECT_FALSE(fs::exists(annex / "@G1_11_305"));
  EXPECT_TRUE(fs::exists(annex / "@G2_11_305" / "a.jpg"));
  EXPECT_EQ(test::TextOf(accountSet_.LastCall("AAAAAPG")["@BillID"]), "305");
  EXPECT_EQ(accountSet_.LastCall("AAAAAPG").names.size(), 3u);

  // No folder: not an error.
  CallMember(
      "DeleteBillMaster",
      {{"UserGUID", Variant("G9")}, {"nBillType", Variant::I4(11)}, {"nBillID", Variant::I4(1)}});

  for (const char* guid : {"../../keep", "..\\keep", "x/../../keep", "G\\..", "a:b", ".."}) {
    SCOPED_TRACE(guid);
    accountSet_.ClearCalls();
    CallMember("DeleteBillMaster", {{"UserGUID", Variant(guid)},
                                    {"nBillType", Variant::I4(11)},
                                    {"nBillID", Variant::I4(305)}});
    EXPECT_EQ(accountSet_.Calls("AAAAAPG").size(), 1u);
    EXPECT_TRUE(fs::exists(Program() / "keep" / "a.jpg"));
    EXPECT_TRUE(fs::exists(annex / "@G2_11_305" / "a.jpg"));
  }
  CallResult failure;
  accountSet_.ClearCalls();
  CallMember(
      "DeleteBillMaster",
      {{"UserGUID", Variant("G2")}, {"nBillType", Variant("sale")}, {"nBillID", Variant::I4(305)}},
      &failure);
  EXPECT_NE(failure.hr, com::S_OK);
  EXPECT_TRUE(accountSet_.Calls("AAAAAPG").empty());
}

class BillCounterResetTest : public BillHandlersTest {
 protected:
  void SetUp() override {
    BillHandlersTest::SetUp();
    accountSet_.OnSql("Update AAAACEH Set CountMax = 0", test::Reply{});
  }

  int Reset() {
    const std::vector<Variant> outs = CallMember("SetBillNumberCount", {});
    return outs.at(0).ToI4();
  }
};

TEST_F(BillCounterResetTest, CountersAreResetByTheRuleOfTheirPeriod) {
  const std::string today = Today();
  const int year = std::stoi(today.substr(0, 4));
  const int month = std::stoi(today.substr(5, 2));
  const std::string otherMonth =
      std::to_string(year) + "-" + (month == 1 ? "02" : "01") + today.substr(7);
  const std::string lastYear = std::to_string(year - 1) + today.substr(4);
  const std::string otherDay = today.substr(0, 8) + (today.substr(8) == "01" ? "02" : "01");
  struct Case {
    const char* increase;
    std::string last;
    bool reset;
  };
  const std::vector<Case> cases = {
      {"1", otherMonth, true},  {"1", lastYear, true}, {"1", today, false},
      {"0", otherMonth, false}, {"0", lastYear, true}, {"", lastYear, true},
      {"x", otherMonth, false}, {"2", otherDay, true}, {"2", today, false},
      {"3", lastYear, false},   {"1", "", false},      {"2", "", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.increase) + " " + c.last);
    book_.SetSystemValue("BillNumberIncrease", c.increase);
    book_.SetSystemValue("CurrentLoginDate", c.last);
    book_.SetSystemValue("BillNumberMaxInc", "17");
    const std::size_t writesBefore = book_.SystemValueWrites().size();
    accountSet_.ClearCalls();
    const std::vector<Variant> outs = CallMember("SetBillNumberCount", {});
    EXPECT_EQ(outs.at(0).ToI4(), 0);
    const std::vector<std::string> all = book_.SystemValueWrites();
    const std::vector<std::string> writes(all.begin() + static_cast<std::ptrdiff_t>(writesBefore),
                                          all.end());
    EXPECT_EQ(!writes.empty(), c.reset);
    if (writes.empty()) {
      EXPECT_TRUE(accountSet_.Calls("AAAAAPU").empty());
      EXPECT_EQ(book_.SystemValue("BillNumberMaxInc"), "17");
      continue;
    }
    EXPECT_EQ(writes, (std::vector<std::string>{"CurrentLoginDate", "BillNumberMaxInc"}));
    EXPECT_EQ(book_.SystemValue("CurrentLoginDate"), today);
    EXPECT_EQ(book_.SystemValue("BillNumberMaxInc"), "0");
    EXPECT_EQ(test::TextOf(accountSet_.LastCall("AAAAAPU")["@szSql"]),
              "Update AAAACEH Set CountMax = 0");
  }
}

TEST_F(BillCounterResetTest, AFailingStepReportsMinusOne) {
  book_.SetSystemValue("BillNumberIncrease", "0");
  book_.SetSystemValue("CurrentLoginDate", "1999-01-01");
  accountSet_.OnSql("Update AAAACEH Set CountMax = 0",
                    test::Reply{.error = test::ServerError{208, 1, 16, "Invalid object name"}});
  EXPECT_EQ(Reset(), -1);
  book_.SetSystemValue("CurrentLoginDate", "March");
  EXPECT_EQ(Reset(), -1);
}

TEST_F(BillCounterResetTest, TheAccountingEditionsValuesFollowTheModulesOwnTradeCode) {
  std::map<std::string, std::string> accounting = {{"BillNumberIncrease", "0"},
                                                   {"CurrentLoginDate", "1999-01-01"}};
  accountSet_.Declare({"AAAABES",
                       {test::Param("@prm_Name", test::SqlType::VarChar, 100),
                        test::Output(test::Param("@prm_Return", test::SqlType::VarChar, 100))}},
                      [&accounting](const test::ProcedureCall& call) {
                        test::Reply reply;
                        reply.outputs["@prm_Return"] = accounting[test::TextOf(call["@prm_Name"])];
                        return reply;
                      });
  accountSet_.Declare({"AAAABHJ",
                       {test::Param("@szName", test::SqlType::VarChar, 100),
                        test::Param("@szValue", test::SqlType::VarChar, 100)}},
                      [](const test::ProcedureCall&) { return test::Reply{}; });
  book_.SetSystemValue("BillNumberIncrease", "3");

  // Another client connecting as "CW" changes the process-wide code only.
  SetVocation("CW");
  EXPECT_EQ(Reset(), 0);
  EXPECT_TRUE(accountSet_.Calls("AAAABES").empty());
  EXPECT_FALSE(accountSet_.Calls("AAAAARE").empty());

  module_->SetTradeCode("CW");
  SetVocation("BZ");
  accountSet_.ClearCalls();
  EXPECT_EQ(Reset(), 0);
  EXPECT_TRUE(accountSet_.Calls("AAAAARE").empty());
  const std::vector<test::ProcedureCall> writes = accountSet_.Calls("AAAABHJ");
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(test::TextOf(writes[0]["@szName"]), "CurrentLoginDate");
  EXPECT_EQ(test::TextOf(writes[0]["@szValue"]), Today());
  EXPECT_EQ(test::TextOf(writes[1]["@szName"]), "BillNumberMaxInc");
}

}  // namespace
}  // namespace quor::testing
