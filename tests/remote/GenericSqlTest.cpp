// The generic SQL members as clients call them: statement texts handed to the
// account set's procedures and their rows fetched from the component's
// provider, AdoExecSQL's 0 and 100, ExecProcEx's positional arguments and
// result by position, and names that could change the call refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "ServerPublic/ServerGlobals.h"
#include "tests/platform/datasnap/DataPacketReader.h"

namespace quor::testing {
namespace {

using com::Variant;

test::Reply Rows(std::vector<std::vector<test::Value>> rows) {
  test::Reply reply;
  reply.resultSets.push_back(
      {{test::Col("Code", test::SqlType::VarChar, 20), test::Col("Amount", test::SqlType::Int)},
       std::move(rows)});
  return reply;
}

class GenericSqlTest : public ModuleTest {
 protected:
  void TearDown() override { SetReturnValueName(savedReturnValueName_); }

  int CallWithResult(const char* member, std::vector<Variant> in) {
    OutSlot result = Out(Variant::I4(-9), com::VT_I4);
    in.push_back(result.ref);
    const CallResult call = Call(member, in);
    EXPECT_EQ(call.hr, com::S_OK) << call.excepInfo.description;
    return result.value->GetI4();
  }

  std::string savedReturnValueName_ = ReturnValueName();
};

TEST_F(GenericSqlTest, TheTextMembersHandTheirTextToTheirProceduresAndRowsComeFromTheirProvider) {
  accountSet_.OnSql("select Code, Amount from Sales", Rows({{"A1", 5}, {"B2", 7}}));
  accountSet_.OnSql("update Sales set Amount = 0", test::Reply{});
  struct Case {
    const char* member;
    const char* procedure;
    const char* parameter;
    const char* text;
    const char* provider;  // nullptr: no rows are fetched
  };
  const std::vector<Case> cases = {
      {"ExecuteSQL", "AAAAAPU", "@szSql", "select Code, Amount from Sales", "QueryProvider2"},
      {"AccExecuteQuerySQL", "AAAABED", "@szSql", "select Code, Amount from Sales",
       "QueryProvider2"},
      {"AccExecuteUpdateSQL", "AAAABEE", "@szSQL", "update Sales set Amount = 0", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    accountSet_.ClearCalls();
    EXPECT_EQ(CallWithResult(c.member, {Variant(c.text)}), 0);
    EXPECT_EQ(test::TextOf(accountSet_.LastCall(c.procedure)[c.parameter]), c.text);
    if (c.provider == nullptr) continue;
    const datasnap::test::DataPacket packet = Fetch(c.provider);
    EXPECT_EQ(datasnap::test::ColumnTexts(packet, "Code"),
              (std::vector<std::string>{"'A1'", "'B2'"}));
    // The provider ran the procedure again with the same text.
    EXPECT_EQ(accountSet_.Calls(c.procedure).size(), 2u);
  }
}

TEST_F(GenericSqlTest, QueryBasicAnyTableListsTheTableWithTheCondition) {
  accountSet_.OnSql("SELECT * FROM Stock WHERE Qty > 3", Rows({{"S9", 4}}));
  EXPECT_EQ(CallWithResult("QX_QueryBasicAnyTable", {Variant("00001"), Variant("00002"),
                                                     Variant("Stock"), Variant("Qty > 3")}),
            0);
  const test::ProcedureCall call = accountSet_.LastCall("AAAABRF");
  EXPECT_EQ(test::TextOf(call["@OperatorID"]), "00001");
  EXPECT_EQ(test::TextOf(call["@CompanyID"]), "00002");
  EXPECT_EQ(datasnap::test::ColumnTexts(Fetch("QueryProvider"), "Code"),
            (std::vector<std::string>{"'S9'"}));
}

TEST_F(GenericSqlTest, AdoExecSqlGivesZeroForARunAndOneHundredWhenNoRowsCameForAnOpen) {
  test::Reply updated;
  updated.rowsAffected = 3;
  server_.OnStatement("UPDATE Sales SET Amount = 1", updated);
  server_.OnStatement("SELECT Code, Amount FROM Sales", Rows({{"A1", 5}}));
  struct Case {
    const char* text;
    bool open;
    int expected;
  };
  for (const Case& c : std::vector<Case>{{"UPDATE Sales SET Amount = 1", false, 0},
                                         {"UPDATE Sales SET Amount = 1", true, 100},
                                         {"SELECT Code, Amount FROM Sales", true, 0}}) {
    SCOPED_TRACE(std::string(c.text) + (c.open ? " opened" : " run"));
    EXPECT_EQ(CallWithResult("AdoExecSQL", {Variant(c.text), Variant::Bool(c.open)}), c.expected);
  }
  EXPECT_EQ(datasnap::test::ColumnTexts(Fetch("dspExecSQL"), "Code"),
            (std::vector<std::string>{"'A1'"}));
}

TEST_F(GenericSqlTest, AdoExecSqlFailsTheCallForAnEmptyTextAndForTheServersRefusal) {
  for (const char* text : {"", "  \r\n", "SELECT * FROM NoSuchTable"}) {
    SCOPED_TRACE(text);
    OutSlot result = Out(Variant::I4(-9), com::VT_I4);
    const CallResult call = Call("AdoExecSQL", {Variant(text), Variant::Bool(true), result.ref});
    EXPECT_EQ(call.hr, com::DISP_E_EXCEPTION);
    EXPECT_EQ(call.excepInfo.scode, com::E_UNEXPECTED);
    EXPECT_FALSE(call.excepInfo.description.empty());
  }
}

class ExecProcExTest : public GenericSqlTest {
 protected:
  void SetUp() override {
    GenericSqlTest::SetUp();
    accountSet_.Declare(
        {"P_Three",
         {test::Param("@a", test::SqlType::VarChar, 20), test::Param("@b", test::SqlType::Int),
          test::Param("@c", test::SqlType::VarChar, 20)}},
        [](const test::ProcedureCall& call) {
          test::Reply reply = Rows({{test::TextOf(call["@a"]), 1}});
          reply.returnStatus = 42;
          return reply;
        });
  }

  CallResult ExecProcEx(const std::string& name, std::vector<Variant> values) {
    std::vector<Variant> args{Variant(name)};
    args.insert(args.end(), values.begin(), values.end());
    args.resize(22, Variant());
    return Call("ExecProcEx", args);
  }
};

TEST_F(ExecProcExTest, FiveArgumentsForThreeParametersFillTheThreeAndTheRestAreIgnored) {
  const CallResult result = ExecProcEx(
      "P_Three",
      {Variant("first"), Variant::I4(2), Variant("third"), Variant("fourth"), Variant("fifth")});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(result.value, Variant::I4(42));
  const test::ProcedureCall call = accountSet_.LastCall("P_Three");
  EXPECT_EQ(test::TextOf(call["@a"]), "first");
  EXPECT_EQ(call["@b"].AsInt(), 2);
  EXPECT_EQ(test::TextOf(call["@c"]), "third");
  EXPECT_EQ(datasnap::test::ColumnTexts(Fetch("QueryProvider"), "Code"),
            (std::vector<std::string>{"'first'"}));
}

TEST_F(ExecProcExTest, ParametersBeyondTheGivenArgumentsKeepTheirDefaults) {
  test::ParamDecl withDefault = test::Param("@c", test::SqlType::VarChar, 20);
  withDefault.defaultValue = test::Value("declared default");
  accountSet_.Declare({"P_Defaults", {test::Param("@a", test::SqlType::VarChar, 20), withDefault}},
                      [](const test::ProcedureCall&) { return test::Reply{}; });
  const CallResult result = ExecProcEx("P_Defaults", {Variant("given")});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  const test::ProcedureCall call = accountSet_.LastCall("P_Defaults");
  EXPECT_EQ(test::TextOf(call["@a"]), "given");
  EXPECT_FALSE(call.WasSent("@c"));
  EXPECT_EQ(test::TextOf(call["@c"]), "declared default");
}

TEST_F(ExecProcExTest, TheReturnValueIsReadByPositionWhateverItsName) {
  SetReturnValueName("RETURN_VALUE");
  const CallResult result = ExecProcEx("P_Three", {Variant("x"), Variant::I4(1), Variant("y")});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(result.value, Variant::I4(42));
}

TEST_F(ExecProcExTest, ANameThatIsNoProcedureNameIsRefusedBeforeTheServerHearsOfIt) {
  for (const char* name : {"", "P_Three(?);DROP TABLE T--", "P'x", "a b", "[P]]x]"}) {
    SCOPED_TRACE(name);
    server_.ClearRequests();
    const CallResult result = ExecProcEx(name, {});
    EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
    EXPECT_EQ(result.excepInfo.scode, com::E_UNEXPECTED);
    for (const test::Request& request : server_.Requests()) {
      EXPECT_EQ(request.kind, test::RequestKind::Login) << request.procedure << request.text;
    }
  }
}

TEST_F(ExecProcExTest, AProcedureTheAccountSetLacksFailsWithTheServersText) {
  const CallResult result = ExecProcEx("P_Missing", {});
  EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
  EXPECT_NE(result.excepInfo.description.find("P_Missing"), std::string::npos)
      << result.excepInfo.description;
}

}  // namespace
}  // namespace quor::testing
