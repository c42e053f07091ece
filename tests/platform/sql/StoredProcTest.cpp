// Stored procedures through the real FreeTDS driver and the stand-in: the
// parameter list from the server, assignment by name or position, defaults,
// outputs and the return value, errors raised by procedures.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <mutex>

#include "Connection.h"
#include "ProcedureCache.h"
#include "SqlError.h"
#include "StandIn.h"
#include "StoredProc.h"

namespace quor::sql {
namespace {

namespace t = quor::test;
using testing::Output;
using testing::Param;
using testing::Procedure;
using testing::WithDefault;

// The procedure most tests call, with defaults in the middle and at the end.
t::ProcedureDecl Aaaaasn() {
  return Procedure(
      "AAAAASN", {WithDefault(Param("@Kind", t::SqlType::VarChar, 10), "K"),
                  WithDefault(Param("@Mid", t::SqlType::Int), 5), Param("@Count", t::SqlType::Int),
                  WithDefault(Param("@Price", t::SqlType::Money, 0, 19, 4), t::Decimal{"0.0000"}),
                  WithDefault(Param("@Name", t::SqlType::NVarChar, 20), "无"),
                  Output(Param("@Next", t::SqlType::Int))});
}

class StoredProcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = testing::MakeStandIn();
    server_->DeclareProcedure(Aaaaasn());
    server_->OnProcedure("AAAAASN", [this](const t::ProcedureCall& call) {
      std::lock_guard lock(mutex_);
      calls_.push_back(call);
      return reply_;
    });
    connection_ =
        std::make_unique<Connection>(testing::SettingsFor(*server_, testing::kAccountSet));
    proc_ = std::make_unique<StoredProc>(*connection_, "InsertProc");
    proc_->SetProcedureName("AAAAASN;1");
  }

  t::ProcedureCall LastCall() {
    std::lock_guard lock(mutex_);
    if (calls_.empty()) throw std::runtime_error("the procedure was not called");
    return calls_.back();
  }

  std::unique_ptr<t::SqlServerStandIn> server_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<StoredProc> proc_;
  std::mutex mutex_;
  std::vector<t::ProcedureCall> calls_;
  t::Reply reply_;
};

TEST_F(StoredProcTest, RefreshListsTheReturnValueFirstThenTheDeclaredParameters) {
  struct Expected {
    const char* name;
    ParamDirection direction;
    short sqlType;
    const char* typeName;
    std::size_t size;
    int scale;
  };
  const Expected expected[] = {
      {"@RETURN_VALUE", ParamDirection::kReturnValue, SQL_INTEGER, "int", 10, 0},
      {"@Kind", ParamDirection::kInput, SQL_VARCHAR, "varchar", 10, 0},
      {"@Mid", ParamDirection::kInput, SQL_INTEGER, "int", 10, 0},
      {"@Count", ParamDirection::kInput, SQL_INTEGER, "int", 10, 0},
      {"@Price", ParamDirection::kInput, SQL_DECIMAL, "money", 19, 4},
      {"@Name", ParamDirection::kInput, SQL_WVARCHAR, "nvarchar", 20, 0},
      {"@Next", ParamDirection::kInputOutput, SQL_INTEGER, "int", 10, 0},
  };
  for (const char* name : {"AAAAASN;1", "AAAAASN", "aaaaasn;1", "dbo.AAAAASN;1"}) {
    proc_->SetProcedureName(name);
    proc_->RefreshParameters();
    ASSERT_EQ(proc_->Params().Count(), std::size(expected)) << name;
    for (std::size_t i = 0; i < std::size(expected); ++i) {
      const Parameter& p = proc_->Params()[i];
      EXPECT_EQ(p.Name(), expected[i].name) << name << " #" << i;
      EXPECT_EQ(p.Direction(), expected[i].direction) << name << " " << p.Name();
      EXPECT_EQ(p.SqlType(), expected[i].sqlType) << name << " " << p.Name();
      EXPECT_EQ(p.TypeName(), expected[i].typeName) << name << " " << p.Name();
      EXPECT_EQ(p.Size(), expected[i].size) << name << " " << p.Name();
      EXPECT_EQ(p.Scale(), expected[i].scale) << name << " " << p.Name();
      EXPECT_FALSE(p.Assigned()) << name << " " << p.Name();
    }
  }
}

TEST_F(StoredProcTest, RefreshKeepsOnlyTheNamedProcedureWhenTheNameIsAlsoAPattern) {
  server_->DeclareProcedure(Procedure("P_Query", {Param("@A", t::SqlType::Int)}));
  server_->DeclareProcedure(
      Procedure("PXQuery", {Param("@B", t::SqlType::Int), Param("@C", t::SqlType::Int)}));
  proc_->SetProcedureName("P_Query;1");
  proc_->RefreshParameters();
  ASSERT_EQ(proc_->Params().Count(), 2u);
  EXPECT_EQ(proc_->Params()[1].Name(), "@A");
}

TEST_F(StoredProcTest, ValuesReachTheProcedureInDeclaredOrderWhateverTheOrderOfAssignment) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, Value>> assignments;
    std::vector<t::Value> expected;  // @Kind @Mid @Count @Price @Name @Next
  };
  const Case cases[] = {
      {"declared order",
       {{"@Kind", Value::Text("A")},
        {"@Mid", Value::Integer(1)},
        {"@Count", Value::Integer(2)},
        {"@Price", Value::Decimal("3.5")},
        {"@Name", Value::Text("名称")},
        {"@Next", Value::Integer(4)}},
       {"A", 1, 2, t::Decimal{"3.5000"}, "名称", 4}},
      {"reverse order, names in other letter cases",
       {{"@NEXT", Value::Integer(40)},
        {"@name", Value::Text("乙")},
        {"@Price", Value::Double(7.25)},
        {"@count", Value::Integer(20)},
        {"@MID", Value::Integer(10)},
        {"@kind", Value::Text("B")}},
       {"B", 10, 20, t::Decimal{"7.2500"}, "乙", 40}},
      {"only the required one: the rest keep their defaults",
       {{"@Count", Value::Integer(9)}},
       {"K", 5, 9, t::Decimal{"0.0000"}, "无", nullptr}},
      {"a gap in the middle and at the end",
       {{"@Price", Value::Integer(12)}, {"@Count", Value::Integer(8)}},
       {"K", 5, 8, t::Decimal{"12.0000"}, "无", nullptr}},
      {"a null is a value, not a default",
       {{"@Count", Value::Integer(1)}, {"@Kind", Value()}},
       {nullptr, 5, 1, t::Decimal{"0.0000"}, "无", nullptr}},
  };
  for (const Case& c : cases) {
    proc_->Close();
    proc_->Params().Clear();
    proc_->RefreshParameters();
    for (const auto& [name, value] : c.assignments) proc_->SetParamValue(name, value);
    proc_->ExecProc();
    const t::ProcedureCall call = LastCall();
    ASSERT_EQ(call.values.size(), c.expected.size()) << c.name;
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_EQ(call.values[i], c.expected[i])
          << c.name << ": " << call.names[i] << " = " << call.values[i].ToString();
    }
  }
}

TEST_F(StoredProcTest, UnassignedInputsAreLeftOutOfTheCallAsEmptySlots) {
  proc_->RefreshParameters();
  proc_->SetParamValue("@Count", Value::Integer(3));
  server_->ClearRequests();
  proc_->ExecProc();
  std::vector<t::Request> rpcs;
  for (const t::Request& request : server_->Requests()) {
    if (request.kind == t::RequestKind::Rpc) rpcs.push_back(request);
  }
  ASSERT_EQ(rpcs.size(), 1u);
  EXPECT_EQ(rpcs[0].procedure, "AAAAASN;1");
  // @Kind, @Mid, @Price and @Name are empty slots, @Count is sent, and @Next goes
  // as an output so its value can come back.
  ASSERT_EQ(rpcs[0].params.size(), 6u);
  for (const std::size_t empty : {0, 1, 3, 4}) {
    EXPECT_TRUE(rpcs[0].params[empty].omitted) << "slot " << empty;
  }
  EXPECT_EQ(rpcs[0].params[2].value, t::Value(3));
  EXPECT_FALSE(rpcs[0].params[2].omitted);
  EXPECT_TRUE(rpcs[0].params[5].output);
  const t::ProcedureCall call = LastCall();
  EXPECT_FALSE(call.WasSent("@Kind"));
  EXPECT_FALSE(call.WasSent("@Price"));
  EXPECT_TRUE(call.WasSent("@Count"));
}

TEST_F(StoredProcTest, ParametersCanBeAssignedByPosition) {
  proc_->RefreshParameters();
  proc_->Params()[3].SetValue(Value::Integer(33));  // @Count
  proc_->Params()[1].SetValue(Value::Text("P"));    // @Kind
  proc_->ExecProc();
  const t::ProcedureCall call = LastCall();
  EXPECT_EQ(call["@Kind"], t::Value("P"));
  EXPECT_EQ(call["@Count"], t::Value(33));
  EXPECT_EQ(call["@Mid"], t::Value(5));
  EXPECT_THROW(proc_->Params()[7], SqlError);
  EXPECT_THROW(proc_->SetParamValue("@Nothing", Value::Integer(1)), SqlError);
}

TEST_F(StoredProcTest, TrailingUnassignedInputsAreNotSentAtAll) {
  server_->DeclareProcedure(Procedure(
      "AAAAREQ", {Param("@A", t::SqlType::Int), WithDefault(Param("@B", t::SqlType::Int), 2),
                  Param("@C", t::SqlType::Int)}));
  server_->OnProcedure("AAAAREQ", t::Reply{});
  proc_->SetProcedureName("AAAAREQ");
  proc_->RefreshParameters();
  proc_->SetParamValue("@A", Value::Integer(1));
  server_->ClearRequests();
  // @C has no default, so the server refuses the call that leaves it out.
  try {
    proc_->ExecProc();
    FAIL() << "the call without @C succeeded";
  } catch (const SqlError& error) {
    EXPECT_EQ(error.NativeError(), 201);
    EXPECT_NE(std::string(error.what()).find("@C"), std::string::npos) << error.what();
  }
  const std::vector<t::Request> requests = server_->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().params.size(), 1u);
}

TEST_F(StoredProcTest, TheReturnValueAndOutputsComeBackAfterTheRun) {
  struct Case {
    const char* name;
    std::int32_t returnStatus;
    std::map<std::string, t::Value> outputs;
    std::optional<Value> sent;
    Value expectedNext;
  };
  const Case cases[] = {
      {"output set by the procedure", -3, {{"@Next", 42}}, Value::Integer(5), Value::Integer(42)},
      {"output left alone comes back as sent", 7, {}, Value::Integer(5), Value::Integer(5)},
      {"unassigned output goes as null", 0, {}, std::nullopt, Value()},
      {"null output", 1, {{"@Next", nullptr}}, Value::Integer(5), Value()},
  };
  for (const Case& c : cases) {
    reply_ = t::Reply{};
    reply_.returnStatus = c.returnStatus;
    reply_.outputs = c.outputs;
    proc_->Params().Clear();
    proc_->RefreshParameters();
    proc_->SetParamValue("@Count", Value::Integer(1));
    if (c.sent) proc_->SetParamValue("@Next", *c.sent);
    proc_->ExecProc();
    EXPECT_EQ(proc_->ParamValue("@RETURN_VALUE"), Value::Integer(c.returnStatus)) << c.name;
    EXPECT_EQ(proc_->Params()[0].GetValue().AsInteger(), c.returnStatus) << c.name;
    EXPECT_EQ(proc_->ParamValue("@Next"), c.expectedNext)
        << c.name << ": " << proc_->ParamValue("@Next").ToDebugString();
  }
}

TEST_F(StoredProcTest, OutputsOfEveryKindComeBackWithTheirValues) {
  server_->DeclareProcedure(Procedure(
      "AAAAOUT",
      {Output(Param("@I", t::SqlType::Int)), Output(Param("@B", t::SqlType::BigInt)),
       Output(Param("@V", t::SqlType::VarChar, 20)), Output(Param("@N", t::SqlType::NVarChar, 20)),
       Output(Param("@M", t::SqlType::Money, 0, 19, 4)),
       Output(Param("@D", t::SqlType::Decimal, 0, 10, 2)), Output(Param("@F", t::SqlType::Float)),
       Output(Param("@T", t::SqlType::DateTime)), Output(Param("@Bit", t::SqlType::Bit)),
       Output(Param("@Bin", t::SqlType::VarBinary, 8))}));
  t::Reply reply;
  reply.returnStatus = 11;
  reply.outputs = {{"@I", -7},
                   {"@B", 9'000'000'000LL},
                   {"@V", "编号-001"},
                   {"@N", "名称ABC"},
                   {"@M", t::Decimal{"1234.5678"}},
                   {"@D", t::Decimal{"-0.50"}},
                   {"@F", 0.125},
                   {"@T", t::DateTime{2024, 2, 29, 23, 59, 58, 997}},
                   {"@Bit", true},
                   {"@Bin", t::Bytes{0x01, 0xFE}}};
  server_->OnProcedure("AAAAOUT", reply);
  proc_->SetProcedureName("AAAAOUT");
  proc_->RefreshParameters();
  proc_->ExecProc();
  struct Expected {
    const char* name;
    Value value;
  };
  const Expected expected[] = {
      {"@RETURN_VALUE", Value::Integer(11)},
      {"@I", Value::Integer(-7)},
      {"@B", Value::Integer(9'000'000'000LL)},
      {"@V", Value::Text("编号-001")},
      {"@N", Value::Text("名称ABC")},
      {"@M", Value::Decimal("1234.5678")},
      {"@D", Value::Decimal("-0.50")},
      {"@F", Value::Double(0.125)},
      {"@T", Value::FromDateTime({2024, 2, 29, 23, 59, 58, 997'000'000})},
      {"@Bit", Value::Boolean(true)},
      {"@Bin", Value::Bytes({0x01, 0xFE})},
  };
  for (const Expected& e : expected) {
    const Value& got = proc_->ParamValue(e.name);
    EXPECT_EQ(got, e.value) << e.name << ": " << got.ToDebugString();
  }
}

TEST_F(StoredProcTest, ValuesOfAnyKindAreSentAsTheDeclaredType) {
  server_->DeclareProcedure(
      Procedure("AAAATYP",
                {Param("@Int", t::SqlType::Int), Param("@Small", t::SqlType::SmallInt),
                 Param("@Tiny", t::SqlType::TinyInt), Param("@Big", t::SqlType::BigInt),
                 Param("@Bit", t::SqlType::Bit), Param("@Float", t::SqlType::Float),
                 Param("@Real", t::SqlType::Real), Param("@Dec", t::SqlType::Decimal, 0, 10, 2),
                 Param("@Money", t::SqlType::Money, 0, 19, 4), Param("@When", t::SqlType::DateTime),
                 Param("@Var", t::SqlType::VarChar, 20), Param("@NVar", t::SqlType::NVarChar, 20),
                 Param("@Bin", t::SqlType::VarBinary, 16)}));
  t::ProcedureCall seen;
  server_->OnProcedure("AAAATYP", [&](const t::ProcedureCall& call) {
    seen = call;
    return t::Reply{};
  });
  struct Case {
    const char* param;
    Value assigned;
    t::Value arrived;
  };
  const Case cases[] = {
      {"@Int", Value::Text("12"), 12},
      {"@Int", Value::Double(2.5), 2},
      {"@Small", Value::Integer(-300), -300},
      {"@Tiny", Value::Integer(255), 255},
      {"@Big", Value::Text("-9000000000"), -9'000'000'000LL},
      {"@Bit", Value::Boolean(true), 1},
      {"@Bit", Value::Integer(0), 0},
      {"@Float", Value::Decimal("0.1"), 0.1},
      {"@Real", Value::Double(1.5), 1.5},
      {"@Dec", Value::Double(12.345), t::Decimal{"12.35"}},
      {"@Dec", Value::Integer(7), t::Decimal{"7.00"}},
      {"@Dec", Value::Decimal("-0.995"), t::Decimal{"-1.00"}},
      {"@Dec", Value::Text("99.994"), t::Decimal{"99.99"}},
      {"@Money", Value::Double(0.00005), t::Decimal{"0.0001"}},
      {"@Money", Value::Decimal("-1.2345"), t::Decimal{"-1.2345"}},
      {"@When", Value::Text("2024-01-02 03:04:05"), t::DateTime{2024, 1, 2, 3, 4, 5, 0}},
      {"@When", Value::FromDateTime({2023, 12, 31, 23, 59, 59, 0}),
       t::DateTime{2023, 12, 31, 23, 59, 59, 0}},
      {"@When", Value::Double(45292.5), t::DateTime{2024, 1, 1, 12, 0, 0, 0}},
      {"@Var", Value::Text("中文varchar"), "中文varchar"},
      {"@Var", Value::Integer(42), "42"},
      {"@NVar", Value::Text("中文nvarchar"), "中文nvarchar"},
      {"@Bin", Value::Bytes({0, 1, 2, 255}), t::Bytes{0, 1, 2, 255}},
      {"@Int", Value(), nullptr},
  };
  for (const Case& c : cases) {
    proc_->SetProcedureName("AAAATYP");
    proc_->Params().Clear();
    proc_->RefreshParameters();
    for (std::size_t i = 1; i < proc_->Params().Count(); ++i) proc_->Params()[i].SetValue(Value());
    proc_->SetParamValue(c.param, c.assigned);
    proc_->ExecProc();
    EXPECT_EQ(seen[c.param], c.arrived) << c.param << " <- " << c.assigned.ToDebugString()
                                        << " arrived as " << seen[c.param].ToString();
  }
}

TEST_F(StoredProcTest, LongTextIsSentWhole) {
  server_->DeclareProcedure(Procedure("AAAALNG", {Param("@Text", t::SqlType::VarChar, -1),
                                                  Param("@NText", t::SqlType::NVarChar, -1),
                                                  Param("@Short", t::SqlType::VarChar, 8000)}));
  t::ProcedureCall seen;
  server_->OnProcedure("AAAALNG", [&](const t::ProcedureCall& call) {
    seen = call;
    return t::Reply{};
  });
  std::string ascii(9000, 'x');
  ascii += "end";
  std::string chinese;
  for (int i = 0; i < 5000; ++i) chinese += "汉";
  proc_->SetProcedureName("AAAALNG");
  proc_->RefreshParameters();
  proc_->SetParamValue("@Text", Value::Text(ascii));
  proc_->SetParamValue("@NText", Value::Text(chinese));
  proc_->SetParamValue("@Short", Value::Text(std::string(8000, 'y')));
  proc_->ExecProc();
  EXPECT_EQ(seen["@Text"].AsText().size(), ascii.size());
  EXPECT_EQ(seen["@Text"], t::Value(ascii));
  EXPECT_EQ(seen["@NText"], t::Value(chinese));
  EXPECT_EQ(seen["@Short"], t::Value(std::string(8000, 'y')));
}

TEST_F(StoredProcTest, AnErrorRaisedByTheProcedureCarriesItsTextNumberAndSqlState) {
  reply_.error = t::ServerError{50001, 3, 16, "库存不足，不能出库"};
  proc_->RefreshParameters();
  proc_->SetParamValue("@Count", Value::Integer(1));
  try {
    proc_->ExecProc();
    FAIL() << "the error was not raised";
  } catch (const SqlError& error) {
    EXPECT_EQ(std::string(error.what()), "库存不足，不能出库");
    EXPECT_EQ(error.NativeError(), 50001);
    EXPECT_EQ(error.SqlState(), "42000");
  }
  // The connection goes on serving calls.
  reply_ = t::Reply{};
  reply_.returnStatus = 2;
  proc_->ExecProc();
  EXPECT_EQ(proc_->ParamValue("@RETURN_VALUE").AsInteger(), 2);
}

TEST_F(StoredProcTest, AProcedureTheDatabaseLacksHasNoParametersAndFailsToRun) {
  proc_->SetProcedureName("AAAZZZZ;1");
  proc_->RefreshParameters();
  EXPECT_TRUE(proc_->Params().Empty());
  try {
    proc_->ExecProc();
    FAIL() << "a missing procedure ran";
  } catch (const SqlError& error) {
    EXPECT_EQ(error.NativeError(), 2812);
    EXPECT_EQ(std::string(error.what()), "Could not find stored procedure 'AAAZZZZ;1'.");
  }
}

TEST_F(StoredProcTest, AnInvalidProcedureNameNeverReachesTheServer) {
  server_->ClearRequests();
  proc_->SetProcedureName("AAAAASN;1 drop table t");
  EXPECT_THROW(proc_->RefreshParameters(), SqlError);
  EXPECT_THROW(proc_->ExecProc(), SqlError);
  for (const t::Request& request : server_->Requests()) {
    EXPECT_EQ(request.kind, t::RequestKind::Login);
  }
}

TEST_F(StoredProcTest, OpenKeepsTheRowsAndReadsTheOutputsAtOnce) {
  reply_.returnStatus = 5;
  reply_.outputs["@Next"] = 77;
  reply_.resultSets.push_back(testing::Rows(
      {testing::Col("ID", t::SqlType::Int), testing::Col("Name", t::SqlType::VarChar, 20)},
      {{1, "一"}, {2, "二"}}));
  proc_->RefreshParameters();
  proc_->SetParamValue("@Count", Value::Integer(1));
  RecordSet& rows = proc_->Open();
  EXPECT_TRUE(proc_->Active());
  EXPECT_EQ(proc_->ParamValue("@RETURN_VALUE").AsInteger(), 5);
  EXPECT_EQ(proc_->ParamValue("@Next").AsInteger(), 77);
  ASSERT_EQ(rows.RecordCount(), 2u);
  EXPECT_EQ(rows.FieldByName("name").AsText(), "一");
  rows.Next();
  EXPECT_EQ(rows.FieldByName("ID").AsInteger(), 2);
  rows.Next();
  EXPECT_TRUE(rows.Eof());
  // Opening again while active keeps the rows; after Close it runs again.
  const std::size_t callsBefore = calls_.size();
  proc_->Open();
  EXPECT_EQ(calls_.size(), callsBefore);
  proc_->Close();
  EXPECT_FALSE(proc_->Active());
  proc_->Open();
  EXPECT_EQ(calls_.size(), callsBefore + 1);
}

TEST_F(StoredProcTest, ExecProcReadsPastRowsToTheOutputs) {
  reply_.returnStatus = 9;
  reply_.outputs["@Next"] = 8;
  reply_.resultSets.push_back(
      testing::Rows({testing::Col("ID", t::SqlType::Int)}, {{1}, {2}, {3}}));
  reply_.resultSets.push_back(testing::Rows({testing::Col("X", t::SqlType::Int)}, {{4}}));
  proc_->RefreshParameters();
  proc_->SetParamValue("@Count", Value::Integer(1));
  server_->ClearRequests();
  proc_->ExecProc();
  EXPECT_FALSE(proc_->Active());
  EXPECT_EQ(proc_->ParamValue("@RETURN_VALUE").AsInteger(), 9);
  EXPECT_EQ(proc_->ParamValue("@Next").AsInteger(), 8);
  for (const t::Request& request : server_->Requests()) {
    EXPECT_NE(request.kind, t::RequestKind::Attention) << "the run was cancelled";
  }
}

TEST_F(StoredProcTest, OpeningAProcedureWithoutRowsRaisesTheNoResultSetError) {
  proc_->RefreshParameters();
  proc_->SetParamValue("@Count", Value::Integer(1));
  reply_.returnStatus = 4;
  try {
    proc_->Open();
    FAIL() << "opened without rows";
  } catch (const NoResultSetError& error) {
    EXPECT_EQ(std::string(error.what()), std::string("InsertProc: ") + kNoResultSetText);
    EXPECT_EQ(error.ComponentName(), "InsertProc");
  }
  EXPECT_FALSE(proc_->Active());
  EXPECT_EQ(proc_->ParamValue("@RETURN_VALUE").AsInteger(), 4);
}

}  // namespace
}  // namespace quor::sql

namespace quor::sql {
namespace {

TEST_F(StoredProcTest, RememberedDeclarationCallsByNameThroughSpExecuteSqlWithOutputs) {
  proc_->RefreshParameters();
  const Parameters declaration = proc_->Params();
  ASSERT_TRUE(StoredProc::CanCallByName("AAAAASN;1", declaration));
  proc_->UseDeclaration(declaration, nullptr);
  proc_->SetParamValue("@Count", Value::Integer(3));
  proc_->SetParamValue("@Price", Value::Decimal("1.5"));
  reply_.returnStatus = 6;
  reply_.outputs["@Next"] = 11;
  server_->ClearRequests();
  proc_->ExecProc();
  EXPECT_EQ(proc_->ParamValue("@RETURN_VALUE").AsInteger(), 6);
  EXPECT_EQ(proc_->ParamValue("@Next").AsInteger(), 11);
  const t::ProcedureCall call = LastCall();
  EXPECT_EQ(call["@Count"], t::Value(3));
  EXPECT_EQ(call["@Kind"], t::Value("K"));  // unassigned: the declared default
  EXPECT_EQ(call["@Mid"], t::Value(5));
  const std::vector<t::Request> requests = server_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].procedure, "sp_executesql");
  EXPECT_EQ(requests[0].text,
            "EXEC @RETURN_VALUE = AAAAASN @Count = @Count, @Price = @Price, @Next = @Next OUTPUT");
}

TEST_F(StoredProcTest, OnlyDeclarationsThatCanBeWrittenOutAreCalledByName) {
  proc_->RefreshParameters();
  const Parameters declaration = proc_->Params();
  struct Case {
    const char* procedure;
    Parameter extra;
    bool byName;
  };
  const std::vector<Case> cases = {
      {"AAAAASN;1", Parameter("@Ok", ParamDirection::kInput, SQL_INTEGER, "int"), true},
      {"dbo.AAAAASN", Parameter("@Ok", ParamDirection::kInput, SQL_VARCHAR, "varchar", 20), true},
      {"AAAAASN;2", Parameter("@Ok", ParamDirection::kInput, SQL_INTEGER, "int"), false},
      {"AAAAASN", Parameter("@Bad name", ParamDirection::kInput, SQL_INTEGER, "int"), false},
      {"AAAAASN", Parameter("@Ok", ParamDirection::kInput, SQL_INTEGER, "int) drop x --"), false},
      {"AAAAASN", Parameter("NoAt", ParamDirection::kInput, SQL_INTEGER, "int"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.procedure + std::string(" ") + c.extra.Name() + " " + c.extra.TypeName());
    Parameters list = declaration;
    list.Add(c.extra);
    EXPECT_EQ(StoredProc::CanCallByName(c.procedure, list), c.byName);
  }
}

TEST_F(StoredProcTest, ProcedureCacheKeepsListsPerServerDatabaseAndProcedure) {
  ProcedureCache cache;
  proc_->RefreshParameters();
  const std::string key = ProcedureCache::KeyOf("Srv,1433", "QuorData01", "AAAAASN;1");
  EXPECT_EQ(key, ProcedureCache::KeyOf("srv,1433", "quordata01", "aaaaasn"));
  EXPECT_NE(key, ProcedureCache::KeyOf("srv,1433", "QuorData02", "AAAAASN"));
  cache.Store(key, proc_->Params());
  cache.Store(ProcedureCache::KeyOf("Srv,1433", "QuorData02", "AAAAASN"), proc_->Params());
  ASSERT_TRUE(cache.Find(key));
  EXPECT_EQ(cache.Find(key)->Count(), proc_->Params().Count());
  cache.FlushDatabase("SRV,1433", "quordata01");
  EXPECT_FALSE(cache.Find(key));
  EXPECT_EQ(cache.Size(), 1u);
  cache.SetLifetime(std::chrono::seconds(0));
  EXPECT_FALSE(cache.Enabled());
  EXPECT_EQ(cache.Size(), 0u);
  cache.Store(key, proc_->Params());
  EXPECT_FALSE(cache.Find(key));
}

}  // namespace
}  // namespace quor::sql
