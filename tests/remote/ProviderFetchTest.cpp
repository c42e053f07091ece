// How clients fetch provider rows and send typed parameters through the
// module: a partial fetch leaves the connection to the other components, and
// a parameter's data type from the client is the type it reaches the
// procedure as.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "ProcedureArguments.h"
#include "platform/datasnap/Provider.h"
#include "tests/platform/datasnap/DataPacketReader.h"
#include "tests/platform/datasnap/ParamEntries.h"
#include "tests/platform/datasnap/StandInPackets.h"

namespace quor::testing {
namespace {

using com::Variant;
using datasnap::test::Entry;
using datasnap::test::ExpectPacketHolds;
using datasnap::test::ReadDataPacket;
using datasnap::test::Vector;

test::ResultSet Goods(std::size_t first, std::size_t count) {
  test::ResultSet rows;
  rows.columns = {test::Col("ID", test::SqlType::Int),
                  test::Col("Name", test::SqlType::NVarChar, 30)};
  for (std::size_t i = first; i < first + count; ++i) {
    rows.rows.push_back({static_cast<int>(i + 1), "商品" + std::to_string(i + 1)});
  }
  return rows;
}

class ProviderFetchTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    accountSet_.Declare({"P_Goods25", {}}, [](const test::ProcedureCall&) {
      test::Reply reply;
      reply.resultSets.push_back(Goods(0, 25));
      return reply;
    });
  }

  struct Packet {
    CallResult result;
    std::int32_t recsOut = -1;
  };

  Packet GetRecords(const char* provider, std::int32_t count, std::int32_t options,
                    Variant ownerData = Variant()) {
    OutSlot recsOut = Out(Variant::I4(-1), com::VT_I4);
    OutSlot params = Out();
    OutSlot owner = Out(std::move(ownerData));
    Packet packet;
    packet.result =
        Call("AS_GetRecords", {Variant(provider), Variant::I4(count), recsOut.ref,
                               Variant::I4(options), Variant(""), params.ref, owner.ref});
    packet.recsOut = recsOut.value->ToI4();
    return packet;
  }

  // InsertAreaInfo: a record writer on InsertProc.
  CallResult OtherMethod() {
    OutSlot newSelfId = Out(Variant(""));
    OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
    return Call("InsertAreaInfo", {Variant("00001"), Variant("00002"), Variant::I4(0), Variant(""),
                                   Variant("华东"), Variant("HD"), Variant::Null(), Variant("hd"),
                                   Variant::I4(1), newSelfId.ref, nRet.ref});
  }
};

TEST_F(ProviderFetchTest, PartialFetchLeavesTheConnectionFreeForOtherMethodsUntilTheRestIsFetched) {
  // The client names the procedure for ADOStoredProc, then fetches packets of it.
  OutSlot owner = Out(Marker("P_Goods25"));
  const CallResult prepared = Call("AS_GetParams", {Variant("DataSetProvider"), owner.ref});
  ASSERT_EQ(prepared.hr, com::S_OK) << prepared.excepInfo.description;

  const Packet first = GetRecords("DataSetProvider", 10, datasnap::kMetaData);
  ASSERT_EQ(first.result.hr, com::S_OK) << first.result.excepInfo.description;
  EXPECT_EQ(first.recsOut, 10);
  ExpectPacketHolds(ReadDataPacket(first.result.value.GetArray().Bytes()), Goods(0, 10));

  const CallResult other = OtherMethod();
  ASSERT_EQ(other.hr, com::S_OK) << other.excepInfo.description;
  EXPECT_EQ(accountSet_.Calls("AAAAARN").size(), 1u);

  const Packet rest = GetRecords("DataSetProvider", -1, 0);
  ASSERT_EQ(rest.result.hr, com::S_OK) << rest.result.excepInfo.description;
  EXPECT_EQ(rest.recsOut, 15);
  ExpectPacketHolds(ReadDataPacket(rest.result.value.GetArray().Bytes()), Goods(10, 15));
  // The later packet came from the held rows: the procedure ran once.
  EXPECT_EQ(accountSet_.Calls("P_Goods25").size(), 1u);

  // Everything was delivered: the next request runs the procedure again.
  const Packet again = GetRecords("DataSetProvider", 5, 0);
  EXPECT_EQ(again.recsOut, 5);
  EXPECT_EQ(accountSet_.Calls("P_Goods25").size(), 2u);
  // A reset starts from the first row, running it once more.
  const Packet reset = GetRecords("DataSetProvider", 3, datasnap::kReset);
  EXPECT_EQ(reset.recsOut, 3);
  ExpectPacketHolds(ReadDataPacket(reset.result.value.GetArray().Bytes()), Goods(0, 3));
  EXPECT_EQ(accountSet_.Calls("P_Goods25").size(), 3u);
}

TEST_F(ProviderFetchTest, ParameterDataTypeFromTheClientIsTheTypeTheProcedureGetsAndReports) {
  // @Amount is declared varchar: a client that says float (6) or BCD (8) sends a float.
  accountSet_.Declare({"P_Typed",
                       {test::Param("@Amount", test::SqlType::VarChar, 20),
                        test::Param("@Count", test::SqlType::Int)}},
                      [](const test::ProcedureCall&) { return test::Reply{}; });
  struct Case {
    std::int32_t dataType;
    Variant value;
    test::SqlType sentAs;
    std::int32_t reported;
  };
  const std::vector<Case> cases = {
      {8, Variant("12.5"), test::SqlType::Float, 6},
      {6, Variant::I4(3), test::SqlType::Float, 6},
      {1, Variant::R8(2.5), test::SqlType::NVarChar, 1},
      {3, Variant("7"), test::SqlType::Int, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("data type " + std::to_string(c.dataType));
    // The first call asks for the declaration and calls by position; the
    // second takes the remembered one and calls by name through sp_executesql.
    sql::ProcedureCache::Shared().Clear();
    for (const char* form : {"P_Typed", "sp_executesql"}) {
      SCOPED_TRACE(form);
      server_.ClearRequests();
      OutSlot params = Out(Vector({Entry("@RETURN_VALUE", Variant::Null(), 3, 4),
                                   Entry("@Amount", c.value, c.dataType, 1),
                                   Entry("@Count", Variant::I4(1), 3, 1)}));
      OutSlot owner = Out(Marker("P_Typed"));
      const CallResult result =
          Call("AS_Execute", {Variant("DataSetProvider"), Variant(""), params.ref, owner.ref});
      ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
      bool found = false;
      for (const test::Request& request : server_.Requests()) {
        if (request.kind != test::RequestKind::Rpc || request.procedure != form) continue;
        // By position the return value is no RPC parameter, so @Amount comes first; by name
        // it follows the return value (the log leaves out the statement and definitions).
        const std::size_t amount = std::string(form) == "P_Typed" ? 0 : 1;
        ASSERT_GT(request.params.size(), amount);
        EXPECT_EQ(request.params[amount].type, c.sentAs) << request.params[amount].value.ToString();
        found = true;
      }
      EXPECT_TRUE(found);
      const Variant entry = params.value->GetArray().Get({1});
      EXPECT_EQ(entry.GetArray().Get({2}), Variant::I4(c.reported));
      EXPECT_EQ(accountSet_.LastCall("P_Typed")["@Count"], test::Value(1));
    }
  }
}

TEST_F(ProviderFetchTest, ValueThatDoesNotConvertToTheClientsTypeNamesTheParameter) {
  accountSet_.Declare({"P_Typed", {test::Param("@Amount", test::SqlType::VarChar, 20)}},
                      [](const test::ProcedureCall&) { return test::Reply{}; });
  OutSlot params = Out(Vector({Entry("@RETURN_VALUE", Variant::Null(), 3, 4),
                               Entry("@Amount", Variant("not a number"), 6, 1)}));
  OutSlot owner = Out(Marker("P_Typed"));
  const CallResult result =
      Call("AS_Execute", {Variant("DataSetProvider"), Variant(""), params.ref, owner.ref});
  EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
  EXPECT_EQ(result.excepInfo.description,
            "执行存储过程失败。\r\r过程参数 '@Amount' 的数据类型与传入值的数据类型不一致。");
  EXPECT_TRUE(accountSet_.Calls("P_Typed").empty());
}

TEST_F(ProviderFetchTest, ProcedureWithoutRowsFailsTheFetchWithTheComponentsName) {
  accountSet_.Declare({"P_NoRows", {}}, [](const test::ProcedureCall&) { return test::Reply{}; });
  OutSlot owner = Out(Marker("P_NoRows"));
  ASSERT_EQ(Call("AS_GetParams", {Variant("DataSetProvider"), owner.ref}).hr, com::S_OK);
  const Packet packet = GetRecords("DataSetProvider", -1, datasnap::kMetaData);
  EXPECT_EQ(packet.result.hr, com::DISP_E_EXCEPTION);
  EXPECT_EQ(packet.result.excepInfo.description,
            "ADOStoredProc: 执行SQL出错不能返回正确的数据集！");
}

}  // namespace
}  // namespace quor::testing
