// Opening stock and stocktakes with serial numbers, and the loss and overflow
// bills of a stocktake, as clients call them: the check pass that stops at
// -52 before anything is stored, the record, the save pass with the new
// record's identifier, serial texts of every shape, and two numbers taken
// from (and advancing) the counters of their own bill types.
#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "BasicInfoTestSupport.h"
#include "tests/support/accountset/BillBook.h"

namespace quor::testing {
namespace {

using com::Variant;

test::ProcedureDecl StockDecl(const std::string& name, const std::vector<std::string>& params,
                              const std::vector<std::string>& outputs = {}) {
  test::ProcedureDecl decl{name, {}};
  for (const std::string& param : params) {
    test::ParamDecl declared = test::Param(param, test::SqlType::VarChar, 200);
    if (std::find(outputs.begin(), outputs.end(), param) != outputs.end()) {
      declared = test::Output(declared);
    }
    decl.params.push_back(declared);
  }
  return decl;
}

struct OpeningStockMember {
  const char* member;
  const char* procedure;
  std::vector<std::string> params;
  const char* ware;    // the goods argument
  const char* serial;  // the serial-text argument
  // What the serial calls send: table, ware, stock, client, stock type.
  const char* table;
  const char* wareArg;
  const char* stockArg;  // "" sends an empty text
  const char* clientArg;
  const char* stockTypeArg;  // "" sends 0
};

const std::vector<OpeningStockMember>& OpeningStockMembers() {
  static const std::vector<OpeningStockMember> kMembers = {
      {"UpdateStockWareInit",
       "AAAABCO",
       {"@OperatorID",    "@CompanyID",     "@nBillType",      "@CostingMode",  "@szAccountID",
        "@szWareID",      "@szClientID",    "@szPersonID",     "@szStockID",    "@szPositionID",
        "@szperiod",      "@dQuantity",     "@dReferQuantity", "@dPrice",       "@dSumTo",
        "@szBlockNumber", "@szProduceDate", "@szOverdueDate",  "@szGermNumber", "@szInspectNO",
        "@nWareNumber",   "@sSupplierID",   "@dCostSumTo"},
       "szptypeid",
       "SerialNo",
       "AAAAAEX",
       "szptypeid",
       "szktypeid",
       "",
       ""},
      {"InsertStockBorrowInit",
       "AAAAATF",
       {"@OperatorID", "@CompanyID", "@szClientID", "@szWareID", "@dQuantity", "@dReferQuantity",
        "@dSumTo", "@cLendTag", "@dPrice"},
       "szWareID",
       "SerialNo",
       "AAAACDU",
       "szWareID",
       "cLendTag",
       "szClientID",
       ""},
      {"UpdateStockEntrustInit",
       "AAAABCI",
       {"@OperatorID", "@CompanyID", "@szWareID", "@szClientID", "@dQuantity", "@dReferQuantity",
        "@dSumTo", "@szBlockNumber", "@szProduceDate", "@szOverdueDate", "@szGermNumber",
        "@szInspectNO", "@dCostSumTo", "@type", "@tax", "@TaxAtion"},
       "szptypeid",
       "SerialNo",
       "AAAACDW",
       "szptypeid",
       "",
       "szbtypeid",
       "lType"},
  };
  return kMembers;
}

class StockSerialTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    accountSet_.Declare(StockDecl("AAAABCL", {"@OperatorID", "@CompanyID", "@TableMode", "@szMode",
                                              "@WareID", "@StockID", "@ClientID", "@StockType",
                                              "@IndexID", "@SerialNo", "@Memo"}),
                        [this](const test::ProcedureCall& call) {
                          std::lock_guard lock(mutex_);
                          test::Reply reply;
                          std::deque<int>& queue =
                              test::TextOf(call["@szMode"]) == "C" ? checks_ : saves_;
                          reply.returnStatus = test::TextOf(call["@szMode"]) == "C" ? 1 : 0;
                          if (!queue.empty()) {
                            reply.returnStatus = queue.front();
                            queue.pop_front();
                          }
                          return reply;
                        });
    accountSet_.Declare(StockDecl("AAAAARZ", {"@OperatorID", "@CompanyID", "@cMode", "@CheckedID",
                                              "@SerialNo", "@Memo", "@Status"}),
                        [this](const test::ProcedureCall&) {
                          std::lock_guard lock(mutex_);
                          test::Reply reply;
                          if (!saves_.empty()) {
                            reply.returnStatus = saves_.front();
                            saves_.pop_front();
                          }
                          return reply;
                        });
    for (const OpeningStockMember& member : OpeningStockMembers()) {
      accountSet_.Declare(
          StockDecl(member.procedure, member.params,
                    {member.procedure == std::string("AAAABCO") ? "@dCostSumTo" : ""}),
          [this, costs = member.procedure == std::string("AAAABCO")](const test::ProcedureCall&) {
            std::lock_guard lock(mutex_);
            test::Reply reply;
            reply.returnStatus = recordResult_;
            if (costs) reply.outputs["@dCostSumTo"] = "12.5";
            return reply;
          });
    }
  }

  // Results of the check calls ("C"; then 1) and of the save calls ("D", "I"
  // and the stocktake's calls; then 0), one per call.
  void Script(std::vector<int> checks, std::vector<int> saves, int recordResult) {
    std::lock_guard lock(mutex_);
    checks_.assign(checks.begin(), checks.end());
    saves_.assign(saves.begin(), saves.end());
    recordResult_ = recordResult;
  }

  std::vector<Variant> CallMember(const char* member,
                                  const std::map<std::string, Variant>& values) {
    // The cost total of UpdateStockWareInit is a double out argument.
    const std::vector<Variant> outInitial = std::string(member) == "UpdateStockWareInit"
                                                ? std::vector<Variant>{Variant::R8(0)}
                                                : std::vector<Variant>{};
    ClientCall call = ClientArgs(module_->Table(), member, values, outInitial);
    const CallResult result = Call(member, call.args);
    EXPECT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    std::vector<Variant> outs;
    for (const OutSlot& slot : call.outs) outs.push_back(*slot.value);
    return outs;
  }

  std::map<std::string, Variant> ValuesOf(const char* member, const std::string& serials) {
    std::map<std::string, Variant> values;
    const com::MemberInfo* row = nullptr;
    com::DispId dispId = com::DISPID_UNKNOWN;
    module_->Table().GetIDsOfNames(member, dispId);
    row = module_->Table().Find(dispId, com::MemberKind::Method);
    for (const com::ParamInfo& param : row->params) {
      if (param.mode == com::ParamMode::In) values[param.name] = Variant("s-" + param.name);
    }
    values["SerialNo"] = Variant(serials);
    return values;
  }

  std::vector<std::string> Modes(const char* procedure, const char* parameter) {
    std::vector<std::string> modes;
    for (const test::ProcedureCall& call : accountSet_.Calls(procedure)) {
      modes.push_back(test::TextOf(call[parameter]));
    }
    return modes;
  }

  test::BillBook book_{accountSet_};
  std::mutex mutex_;  // guards the three members below
  std::deque<int> checks_;
  std::deque<int> saves_;
  int recordResult_ = 88;
};

TEST_F(StockSerialTest, OpeningStockChecksStoresAndSavesEachSerialNumberInItsTable) {
  const std::string serials = "S1\r\nr1\r\n \r\nskipped\r\nS2\r\nr2\r\nS3";
  for (const OpeningStockMember& member : OpeningStockMembers()) {
    SCOPED_TRACE(member.member);
    accountSet_.ClearCalls();
    Script({}, {}, 88);
    const std::map<std::string, Variant> values = ValuesOf(member.member, serials);
    const std::vector<Variant> outs = CallMember(member.member, values);
    EXPECT_EQ(outs.back().ToI4(), 88);
    if (std::string(member.member) == "UpdateStockWareInit") {
      ASSERT_EQ(outs.size(), 2u);
      EXPECT_DOUBLE_EQ(outs[0].ToR8(), 12.5);
      EXPECT_EQ(test::TextOf(accountSet_.LastCall(member.procedure)["@dCostSumTo"]), "0");
    }
    EXPECT_EQ(Modes("AAAABCL", "@szMode"),
              (std::vector<std::string>{"C", "C", "C", "D", "I", "I", "I"}));
    const std::vector<test::ProcedureCall> calls = accountSet_.Calls("AAAABCL");
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"S1", "r1"}, {"S2", "r2"}, {"S3", ""}, {"", ""}, {"S1", "r1"}, {"S2", "r2"}, {"S3", ""}};
    const auto sentOf = [&](const char* argument) {
      return *argument == '\0' ? std::string() : "s-" + std::string(argument);
    };
    for (std::size_t i = 0; i < calls.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(test::TextOf(calls[i]["@TableMode"]), member.table);
      EXPECT_EQ(test::TextOf(calls[i]["@WareID"]), sentOf(member.wareArg));
      EXPECT_EQ(test::TextOf(calls[i]["@StockID"]), sentOf(member.stockArg));
      EXPECT_EQ(test::TextOf(calls[i]["@ClientID"]), sentOf(member.clientArg));
      EXPECT_EQ(test::TextOf(calls[i]["@StockType"]),
                *member.stockTypeArg == '\0' ? "0" : sentOf(member.stockTypeArg));
      EXPECT_EQ(test::TextOf(calls[i]["@IndexID"]), i < 4 ? "0" : "88");
      EXPECT_EQ(test::TextOf(calls[i]["@SerialNo"]), entries[i].first);
      EXPECT_EQ(test::TextOf(calls[i]["@Memo"]), entries[i].second);
      EXPECT_EQ(test::TextOf(calls[i]["@OperatorID"]), "s-OperatorID");
      EXPECT_EQ(test::TextOf(calls[i]["@CompanyID"]), "s-CompanyID");
    }
    const test::ProcedureCall record = accountSet_.LastCall(member.procedure);
    EXPECT_EQ(test::TextOf(record["@szWareID"]), "s-" + std::string(member.ware));
  }
}

TEST_F(StockSerialTest, ASerialNumberFailingTheCheckStopsTheMemberAtMinus52WithNothingSaved) {
  for (const OpeningStockMember& member : OpeningStockMembers()) {
    SCOPED_TRACE(member.member);
    accountSet_.ClearCalls();
    Script({1, 0, 1}, {}, 88);
    const std::vector<Variant> outs =
        CallMember(member.member, ValuesOf(member.member, "S1\nr1\nS2\nr2\nS3\nr3"));
    EXPECT_EQ(outs.back().ToI4(), -52);
    EXPECT_EQ(Modes("AAAABCL", "@szMode"), (std::vector<std::string>{"C", "C"}));
    EXPECT_TRUE(accountSet_.Calls(member.procedure).empty());
  }
}

TEST_F(StockSerialTest, NoSavePassWithoutARecordGoodsOrSerialsAndItStopsAtTheFirstRefusal) {
  struct Case {
    const char* label;
    std::string serials;
    bool noGoods;
    int recordResult;
    std::vector<int> saves;
    std::vector<std::string> modes;
  };
  const std::vector<Case> cases = {
      {"refused record", "S1\nr1", false, 0, {}, {"C"}},
      {"negative record", "S1\nr1", false, -5, {}, {"C"}},
      {"no goods", "S1\nr1", true, 88, {}, {}},
      {"no serials", "", false, 88, {}, {}},
      {"second save refused",
       "S1\nr1\nS2\nr2\nS3\nr3",
       false,
       88,
       {0, 0, 4},
       {"C", "C", "C", "D", "I", "I"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    accountSet_.ClearCalls();
    Script({}, c.saves, c.recordResult);
    std::map<std::string, Variant> values = ValuesOf("InsertStockBorrowInit", c.serials);
    if (c.noGoods) values["szWareID"] = Variant("");
    const std::vector<Variant> outs = CallMember("InsertStockBorrowInit", values);
    EXPECT_EQ(outs.back().ToI4(), c.recordResult);
    EXPECT_EQ(Modes("AAAABCL", "@szMode"), c.modes);
    EXPECT_EQ(accountSet_.Calls("AAAAATF").size(), 1u);
  }
}

TEST_F(StockSerialTest, AStocktakeSavesEachSerialTripleAndNeverDropsAShortLastOne) {
  accountSet_.Declare(
      StockDecl(
          "AAAAARY",
          {"@OperatorID",  "@CompanyID",     "@szPersonID",         "@szStockID",   "@szPositionID",
           "@szWareID",    "@dQuantity",     "@dReferQuantity",     "@lWareNumber", "@lCostingMode",
           "@Date",        "@StockQuantity", "@StockReferQuantity", "@nUpdateTag",  "@BlockNumber",
           "@ProduceDate", "@OverdueDate",   "@GermNumber",         "@InspectNO",   "@SumTo"}),
      [this](const test::ProcedureCall&) {
        std::lock_guard lock(mutex_);
        test::Reply reply;
        reply.returnStatus = recordResult_;
        return reply;
      });
  struct Case {
    const char* label;
    std::string serials;
    int recordResult;
    std::vector<int> saves;
    std::vector<std::vector<std::string>> inserts;  // serial, remark, status
  };
  const std::vector<Case> cases = {
      {"three triples, the last one serial only",
       "S1\nr1\n1\n\nblank\n0\nS2\nr2\n0\nS3",
       66,
       {},
       {{"S1", "r1", "1"}, {"S2", "r2", "0"}, {"S3", "", ""}}},
      {"last triple without status",
       "S1\nr1\n1\nS2\nr2",
       66,
       {},
       {{"S1", "r1", "1"}, {"S2", "r2", ""}}},
      {"refused insert stops",
       "S1\nr1\n1\nS2\nr2\n0\nS3\nr3\n1",
       66,
       {0, 0, 3},
       {{"S1", "r1", "1"}, {"S2", "r2", "0"}}},
      {"refused record", "S1\nr1\n1", 0, {}, {}},
      {"blank text", " \r\n ", 66, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    accountSet_.ClearCalls();
    Script({}, c.saves, c.recordResult);
    std::map<std::string, Variant> values = ValuesOf("InsertCheckCount", "");
    values.erase("SerialNo");
    values["sSerialNo"] = Variant(c.serials);
    const std::vector<Variant> outs = CallMember("InsertCheckCount", values);
    EXPECT_EQ(outs.back().ToI4(), c.recordResult);
    const std::vector<test::ProcedureCall> calls = accountSet_.Calls("AAAAARZ");
    if (c.inserts.empty()) {
      EXPECT_TRUE(calls.empty());
      continue;
    }
    ASSERT_EQ(calls.size(), c.inserts.size() + 1);
    EXPECT_EQ(test::TextOf(calls[0]["@cMode"]), "D");
    EXPECT_EQ(test::TextOf(calls[0]["@SerialNo"]), c.serials);
    EXPECT_EQ(test::TextOf(calls[0]["@Status"]), "0");
    for (std::size_t i = 0; i < c.inserts.size(); ++i) {
      SCOPED_TRACE(i);
      const test::ProcedureCall& call = calls[i + 1];
      EXPECT_EQ(test::TextOf(call["@cMode"]), "I");
      EXPECT_EQ(test::TextOf(call["@CheckedID"]), "66");
      EXPECT_EQ(test::TextOf(call["@SerialNo"]), c.inserts[i][0]);
      EXPECT_EQ(test::TextOf(call["@Memo"]), c.inserts[i][1]);
      EXPECT_EQ(test::TextOf(call["@Status"]), c.inserts[i][2]);
    }
  }
}

TEST_F(StockSerialTest, LossAndOverflowBillsTakeOneNumberEachAndAdvanceTheirCounters) {
  accountSet_.Declare(StockDecl("AAAACCV", {"@OperatorID", "@CompanyID", "@GridMode", "@ShopID",
                                            "@StockID", "@StartDate", "@checktype", "@LoseBillTag",
                                            "@SpillBillTag", "@BSBillNumber", "@BYBillNumber"}),
                      [](const test::ProcedureCall&) {
                        test::Reply reply;
                        reply.returnStatus = 3;
                        return reply;
                      });
  book_.SetFormat(133, "\"BS\"yyyymmdd[000]");
  book_.SetFormat(134, "\"BY\"yyyymmdd[000]");
  book_.SetCounter(133, 5);
  book_.SetCounter(134, 9);
  std::map<std::string, Variant> values = ValuesOf("CreateCheckLoseSpillBill", "");
  values.erase("SerialNo");
  values["StartDate"] = Variant("2024-03-05");
  values["MachineNum"] = Variant("07");
  for (const char* expected : {"006", "007"}) {
    SCOPED_TRACE(expected);
    const std::vector<Variant> outs = CallMember("CreateCheckLoseSpillBill", values);
    EXPECT_EQ(outs.back().ToI4(), 3);
    const test::ProcedureCall call = accountSet_.LastCall("AAAACCV");
    EXPECT_EQ(test::TextOf(call["@BSBillNumber"]), std::string("BS20240305") + expected);
    EXPECT_EQ(test::TextOf(call["@BYBillNumber"]),
              std::string("BY20240305") + (std::string(expected) == "006" ? "010" : "011"));
    for (const char* name : {"OperatorID", "CompanyID", "GridMode", "ShopID", "StockID",
                             "checktype", "LoseBillTag", "SpillBillTag"}) {
      EXPECT_EQ(test::TextOf(call[std::string("@") + name]), "s-" + std::string(name)) << name;
    }
    EXPECT_EQ(test::TextOf(call["@StartDate"]), "2024-03-05");
    EXPECT_EQ(test::TextOf(accountSet_.LastCall("AAAAAQE")["@MachineNum"]), "07");
  }
  EXPECT_EQ(book_.Counter(133), 7);
  EXPECT_EQ(book_.Counter(134), 11);
}

}  // namespace
}  // namespace quor::testing
