// The "TQueryDataSet" marker: AS_GetRecords, AS_Execute, AS_GetParams and
// AS_RowRequest run the procedure a client names (or the account set's
// "ExecSQL" for statement text) on ADOStoredProc; without the marker they are
// the providers' own. Owner data and parameter arrays come from clients, so
// malformed ones must fail cleanly and leave the module working.
#include <gtest/gtest.h>

#include "ModuleFixture.h"
#include "ProcedureArguments.h"
#include "platform/com/SafeArray.h"
#include "platform/datasnap/Provider.h"
#include "tests/platform/datasnap/DataPacketReader.h"
#include "tests/platform/datasnap/ParamEntries.h"
#include "tests/platform/datasnap/StandInPackets.h"

namespace quor::testing {
namespace {

using com::SafeArray;
using com::Variant;
using datasnap::test::Entry;
using datasnap::test::ExpectPacketHolds;
using datasnap::test::ReadDataPacket;
using datasnap::test::Vector;

Variant Field(const Variant& params, std::int32_t entry, std::int32_t field) {
  return params.GetArray().Get({entry}).GetArray().Get({field});
}

class QueryDataSetTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    // P_QueryStock(@StockID varchar(25), @Name nvarchar(50), @Count int): the goods.
    accountSet_.Declare({"P_QueryStock",
                         {WithDefault(test::Param("@StockID", test::SqlType::VarChar, 25), ""),
                          WithDefault(test::Param("@Name", test::SqlType::NVarChar, 50), ""),
                          WithDefault(test::Param("@Count", test::SqlType::Int), 0)}},
                        [](const test::ProcedureCall&) {
                          test::Reply reply;
                          reply.resultSets.push_back(test::SampleGoods());
                          reply.returnStatus = 3;
                          return reply;
                        });
    // P_Adjust(@Amount float, @Note varchar(20), @Result int OUTPUT): no rows.
    accountSet_.Declare({"P_Adjust",
                         {WithDefault(test::Param("@Amount", test::SqlType::Float), 0.0),
                          WithDefault(test::Param("@Note", test::SqlType::VarChar, 20), ""),
                          test::Output(test::Param("@Result", test::SqlType::Int))}},
                        [](const test::ProcedureCall&) {
                          test::Reply reply;
                          reply.outputs["@Result"] = 99;
                          reply.returnStatus = 1;
                          return reply;
                        });
  }

  struct Records {
    CallResult result;
    std::int32_t recsOut = -1;
    Variant params;
  };

  Records GetRecords(const char* provider, const std::string& commandText, Variant params,
                     Variant ownerData) {
    OutSlot recsOut = Out(Variant::I4(-1), com::VT_I4);
    OutSlot paramSlot = Out(std::move(params));
    OutSlot ownerSlot = Out(std::move(ownerData));
    Records records;
    records.result = Call("AS_GetRecords", {Variant(provider), Variant::I4(-1), recsOut.ref,
                                            Variant::I4(datasnap::kMetaData), Variant(commandText),
                                            paramSlot.ref, ownerSlot.ref});
    records.recsOut = recsOut.value->ToI4();
    records.params = *paramSlot.value;
    return records;
  }

  CallResult GetParams(const char* provider, Variant ownerData) {
    OutSlot ownerSlot = Out(std::move(ownerData));
    return Call("AS_GetParams", {Variant(provider), ownerSlot.ref});
  }
};

TEST_F(QueryDataSetTest, NamedProcedureRunsWithBlankStringParametersTurnedIntoOneSpace) {
  struct Case {
    const char* label;
    Variant stockId;
    const char* sent;
  };
  const std::vector<Case> cases = {
      {"blanks", Variant("   "), " "},
      {"empty", Variant(""), " "},
      {"null", Variant::Null(), " "},
      {"a tab", Variant("\t"), " "},
      {"text keeps its blanks", Variant(" a "), " a "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Variant params =
        Vector({Entry("@RETURN_VALUE", Variant::Null(), 3, 4), Entry("@StockID", c.stockId, 1, 1),
                Entry("@Name", Variant(""), 24, 1), Entry("@Count", Variant::I4(5), 3, 1)});
    const Records records = GetRecords("DataSetProvider", "", params, Marker("P_QueryStock;1"));
    ASSERT_EQ(records.result.hr, com::S_OK) << records.result.excepInfo.description;
    const test::ProcedureCall call = accountSet_.LastCall("P_QueryStock");
    EXPECT_EQ(call["@StockID"], test::Value(c.sent));
    // Only string entries (data type 1) are touched; a wide string stays empty.
    EXPECT_EQ(call["@Name"], test::Value(""));
    EXPECT_EQ(call["@Count"], test::Value(5));
    EXPECT_EQ(records.recsOut, 3);
    ExpectPacketHolds(ReadDataPacket(records.result.value.GetArray().Bytes()), test::SampleGoods());
    // Params come back as ADOStoredProc's, return value included.
    EXPECT_EQ(Field(records.params, 0, 1), Variant::I4(3));
    EXPECT_EQ(Field(records.params, 1, 1), Variant(c.sent));
  }
}

TEST_F(QueryDataSetTest, CommandTextRunsTheAccountSetsExecSql) {
  test::Reply reply;
  test::ResultSet one;
  one.columns = {test::Col("One", test::SqlType::Int),
                 test::Col("名称", test::SqlType::NVarChar, 10)};
  one.rows = {{1, "甲"}, {2, nullptr}};
  reply.resultSets.push_back(one);
  accountSet_.OnSql("select 1 as One", reply);
  const Records records =
      GetRecords("DataSetProvider", "select 1 as One", Variant(), Marker("P_Ignored"));
  ASSERT_EQ(records.result.hr, com::S_OK) << records.result.excepInfo.description;
  EXPECT_EQ(accountSet_.LastCall("ExecSQL")["@SqlText"], test::Value("select 1 as One"));
  EXPECT_TRUE(accountSet_.Calls("P_Ignored").empty());
  ExpectPacketHolds(ReadDataPacket(records.result.value.GetArray().Bytes()), one);
  EXPECT_EQ(Field(records.params, 1, 0), Variant("@SqlText"));
  EXPECT_EQ(Field(records.params, 1, 1), Variant("select 1 as One"));
}

TEST_F(QueryDataSetTest, ExecuteUnpacksByPositionTakingBcdAsFloatAndPacksTheOutputs) {
  OutSlot params = Out(
      Vector({Entry("@RETURN_VALUE", Variant::Null(), 3, 4), Entry("first", Variant("12.5"), 8, 1),
              Entry("second", Variant("备注"), 1, 1), Entry("third", Variant::Null(), 3, 3)}));
  OutSlot owner = Out(Marker("P_Adjust"));
  const CallResult result =
      Call("AS_Execute", {Variant("DataSetProvider"), Variant(""), params.ref, owner.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  const test::ProcedureCall call = accountSet_.LastCall("P_Adjust");
  EXPECT_EQ(call["@Amount"], test::Value(12.5));
  EXPECT_EQ(call["@Note"], test::Value("备注"));
  EXPECT_TRUE(call["@Result"].IsNull());
  EXPECT_EQ(Field(*params.value, 0, 1), Variant::I4(1));
  EXPECT_EQ(Field(*params.value, 1, 1), Variant::R8(12.5));
  EXPECT_EQ(Field(*params.value, 1, 2), Variant::I4(6));
  EXPECT_EQ(Field(*params.value, 3, 1), Variant::I4(99));
  EXPECT_EQ(Field(*params.value, 3, 3), Variant::I4(3));

  test::Reply done;
  done.rowsAffected = 2;
  accountSet_.OnSql("update AAAAAFT set Stopped = 1", done);
  owner = Out(Marker("P_Adjust"));
  const CallResult text =
      Call("AS_Execute", {Variant("DataSetProvider"), Variant("update AAAAAFT set Stopped = 1"),
                          params.ref, owner.ref});
  ASSERT_EQ(text.hr, com::S_OK) << text.excepInfo.description;
  EXPECT_EQ(accountSet_.LastCall("ExecSQL")["@SqlText"],
            test::Value("update AAAAAFT set Stopped = 1"));
  EXPECT_EQ(accountSet_.Calls("P_Adjust").size(), 1u);
}

TEST_F(QueryDataSetTest, GetParamsListsTheNamedProceduresParameters) {
  const CallResult result = GetParams("DataSetProvider", Marker("P_QueryStock;1"));
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  struct Expected {
    const char* name;
    std::int32_t dataType;
    std::int32_t direction;
  };
  const std::vector<Expected> expected = {
      {"@RETURN_VALUE", 3, 4}, {"@StockID", 1, 1}, {"@Name", 24, 1}, {"@Count", 3, 1}};
  ASSERT_EQ(result.value.GetArray().ElementCount(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    const auto index = static_cast<std::int32_t>(i);
    EXPECT_EQ(Field(result.value, index, 0), Variant(expected[i].name));
    EXPECT_EQ(Field(result.value, index, 2), Variant::I4(expected[i].dataType));
    EXPECT_EQ(Field(result.value, index, 3), Variant::I4(expected[i].direction));
  }
  EXPECT_TRUE(accountSet_.Calls("P_QueryStock").empty());
}

TEST_F(QueryDataSetTest, OwnerDataWithoutTheMarkerGetsTheProvidersOwnAnswer) {
  // Give ADOStoredProc and QueryProc parameter lists of their own first.
  ASSERT_EQ(GetParams("DataSetProvider", Marker("P_Adjust")).hr, com::S_OK);
  OutSlot isClient = Out(), fk = Out(), nRet = Out(Variant::I4(0), com::VT_I4);
  ASSERT_EQ(Call("QueryOneClientFind", {Variant("1"), Variant("1"), Variant("0000100001"),
                                        Variant::I4(1), isClient.ref, fk.ref, nRet.ref})
                .hr,
            com::S_OK);
  for (const char* provider : {"DataSetProvider", "QueryProvider"}) {
    SCOPED_TRACE(provider);
    const CallResult base = GetParams(provider, Variant());
    ASSERT_EQ(base.hr, com::S_OK);
    ASSERT_TRUE(base.value.IsArray());
    const std::vector<Variant> notMarkers = {
        Variant("TQueryDataSet"),
        Vector({Variant("TQueryDataSetX"), Variant("P_QueryStock")}),
        Vector({Variant("tquerydataset"), Variant("P_QueryStock")}),
        Vector({Variant::I4(1), Variant("TQueryDataSet")}),
        Vector({}),
        Vector({Variant("TQueryDataSet"), Variant("P_QueryStock")}, 1)};
    for (const Variant& ownerData : notMarkers) {
      SCOPED_TRACE(ownerData.DebugString());
      const CallResult result = GetParams(provider, ownerData);
      ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
      EXPECT_EQ(result.value, base.value);
    }
  }
}

TEST_F(QueryDataSetTest, RowRequestPreparesTheProcedureForDataSetProvider) {
  OutSlot owner = Out(Marker("P_QueryStock;1"));
  const CallResult result = Call(
      "AS_RowRequest", {Variant("QueryProvider"), Variant::Bytes({1}), Variant::I4(1), owner.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_TRUE(result.value.IsNull());
  EXPECT_EQ(module_->ADOStoredProc().ProcedureName(), "P_QueryStock;1");
  EXPECT_EQ(module_->ADOStoredProc().Params().Count(), 4u);
}

TEST_F(QueryDataSetTest, MarkerErrorsFailTheCallWithAClearText) {
  struct Case {
    const char* label;
    Variant ownerData;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"no element 1", Vector({Variant("TQueryDataSet")}), "names no stored procedure"},
      {"an empty name", Marker(""), "names no stored procedure"},
      {"a name that is an array", Vector({Variant("TQueryDataSet"), Vector({Variant("P")})}),
       "names no stored procedure"},
      {"a procedure the database lacks", Marker("P_Nowhere;1"),
       "Could not find stored procedure 'P_Nowhere"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const CallResult result = GetParams("DataSetProvider", c.ownerData);
    EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
    EXPECT_EQ(result.excepInfo.scode, com::E_UNEXPECTED);
    EXPECT_NE(result.excepInfo.description.find(c.text), std::string::npos)
        << result.excepInfo.description;
  }
}

TEST_F(QueryDataSetTest, MalformedParameterArraysFailCleanlyAndTheModuleKeepsWorking) {
  struct Case {
    const char* label;
    const char* member;  // AS_GetRecords or AS_Execute
    Variant params;
    com::HResult hr;
  };
  const Variant good = Entry("@Note", Variant("x"), 1, 1);
  const std::vector<Case> cases = {
      {"a string", "AS_Execute", Variant("params"), com::S_OK},
      {"a byte array", "AS_Execute", Variant::Bytes({1, 2, 3}), com::S_OK},
      {"entries that are numbers", "AS_Execute", Vector({Variant::I4(1), Variant::I4(2)}),
       com::S_OK},
      {"a two-dimensional array", "AS_Execute",
       Variant::Array(SafeArray(com::VT_VARIANT, {{0, 2}, {0, 4}})), com::DISP_E_EXCEPTION},
      {"a short entry", "AS_Execute", Vector({good, Vector({Variant("a"), Variant("b")})}),
       com::DISP_E_EXCEPTION},
      {"more entries than parameters", "AS_Execute", Vector({good, good, good, good, good, good}),
       com::DISP_E_EXCEPTION},
      {"bounds far from zero", "AS_Execute", Vector({good, good}, 100000), com::S_OK},
      {"no element beyond 0", "AS_Execute", Vector({good, good, good}, -2), com::S_OK},
      {"an entry nested in an entry", "AS_Execute",
       Vector({good, Entry("@Amount", Vector({good}), 6, 1)}), com::DISP_E_EXCEPTION},
      {"a huge data type", "AS_Execute",
       Vector({good, Entry("@Amount", Variant::I4(1), 2147483647, 1)}), com::DISP_E_EXCEPTION},
      {"a string", "AS_GetRecords", Variant("params"), com::S_OK},
      {"entries that are numbers", "AS_GetRecords", Vector({Variant::I4(1)}),
       com::DISP_E_EXCEPTION},
      {"an unknown parameter name", "AS_GetRecords", Vector({Entry("@Nope", Variant(""), 1, 1)}),
       com::DISP_E_EXCEPTION},
      {"a two-dimensional array", "AS_GetRecords",
       Variant::Array(SafeArray(com::VT_VARIANT, {{0, 2}, {0, 4}})), com::DISP_E_EXCEPTION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.member) + ": " + c.label);
    CallResult result;
    if (std::string(c.member) == "AS_Execute") {
      OutSlot params = Out(c.params);
      OutSlot owner = Out(Marker("P_Adjust"));
      result = Call("AS_Execute", {Variant("DataSetProvider"), Variant(""), params.ref, owner.ref});
    } else {
      result = GetRecords("DataSetProvider", "", c.params, Marker("P_QueryStock")).result;
    }
    EXPECT_EQ(result.hr, c.hr) << result.excepInfo.description;
    if (result.hr == com::DISP_E_EXCEPTION) {
      EXPECT_EQ(result.excepInfo.scode, com::E_UNEXPECTED);
      EXPECT_FALSE(result.excepInfo.description.empty());
    }
  }
  // Still serving calls on the same connection.
  const Records records = GetRecords("DataSetProvider", "", Variant(), Marker("P_QueryStock"));
  ASSERT_EQ(records.result.hr, com::S_OK) << records.result.excepInfo.description;
  EXPECT_EQ(records.recsOut, 3);
}

}  // namespace
}  // namespace quor::testing
