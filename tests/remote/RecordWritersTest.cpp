// The record writers as the phone upload and the cloud download use them: on
// a stored-procedure component of their own connection, with named values and
// blanks for the rest, the same parameter rules as the interface members, and
// never a change-queue row.
#include <gtest/gtest.h>

#include "BasicInfoTestSupport.h"
#include "platform/sql/SqlError.h"
#include "remote/methods/MethodCatalogue.h"
#include "remote/methods/RecordWriters.h"

namespace quor::testing {
namespace {

using com::Variant;

class RecordWritersTest : public ModuleTest {
 protected:
  RecordWritersTest() { ConnectToStandIn(phone_.Settings()); }

  sql::Connection phone_;
  sql::StoredProc proc_{phone_, "PhoneProc"};
  QueueRecorder queue_{server_};
};

TEST_F(RecordWritersTest, WriterOnAnotherConnectionStoresTheRecordAndLeavesTheModuleAlone) {
  SynchroSettings settings(kServerSynchronises, "True");
  const remote::WriteResult ware = remote::WriteRecordValues("InsertWareInfo", proc_,
                                                             {{"Vocation", "Phone"},
                                                              {"lMode", Variant::I4(0)},
                                                              {"ParId", "00000"},
                                                              {"dbName", "AAAAAFT"},
                                                              {"Fullname", "乌龙茶"},
                                                              {"szName", "乌龙茶"},
                                                              {"UserCode", "W-01"},
                                                              {"UnitRate1", Variant::I4(1)},
                                                              {"BuyDiscount", "0"},
                                                              {"UserImage", Variant::Null()}});
  EXPECT_EQ(ware.nRet, 0);
  EXPECT_EQ(ware.newId, Variant("00001"));
  const test::ProcedureCall call = accountSet_.LastCall("AAAAATP");
  struct Expected {
    const char* parameter;
    test::Value value;
  };
  // Named values as given; every other parameter the blank of its declared type.
  const std::vector<Expected> expected = {
      {"@Mode", "I"},          {"@ParentID", "00000"},  {"@LongName", "乌龙茶"},
      {"@CodeName", "W-01"},   {"@UnitRate1", 1.0},     {"@BuyDiscount", 0.0},
      {"@OperatorID", ""},     {"@Standard", ""},       {"@Memo", ""},
      {"@CurrRow", 0},         {"@SaleDiscount", 0.0},  {"@StrictSerial", false},
      {"@UserImage", nullptr}, {"@NewSelfID", nullptr},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.parameter);
    EXPECT_TRUE(call.WasSent(e.parameter));
    EXPECT_EQ(call[e.parameter], e.value) << call[e.parameter].ToString();
  }
  // The phone road adds no queue row, and the module's connection was never used.
  EXPECT_EQ(QueueRequests(server_), 0u);
  EXPECT_FALSE(module_->ADOConnection1().Connected());
  EXPECT_TRUE(module_->InsertProc().ProcedureName().empty());
  EXPECT_TRUE(module_->InsertProc().Params().Empty());
  EXPECT_EQ(proc_.ProcedureName(), "AAAAATP;1");

  // The prices of the new goods record, as the phone upload sets them next.
  const remote::WriteResult prices = remote::WriteRecordValues(
      "UpdateWareInfoAppend", proc_,
      {{"WareID", ware.newId}, {"PriceRetail", Variant::R8(12.5)}, {"AppImgUrl", ""}});
  EXPECT_EQ(prices.nRet, 0);
  EXPECT_TRUE(prices.newId.IsEmpty());
  const test::ProcedureCall priceCall = accountSet_.LastCall("AAAABCT");
  EXPECT_EQ(priceCall["@WareID"], test::Value("00001"));
  EXPECT_DOUBLE_EQ(priceCall["@PriceRetail"].AsDouble(), 12.5);
  EXPECT_DOUBLE_EQ(priceCall["@MinPrice"].AsDouble(), 0.0);
  EXPECT_EQ(priceCall["@prepPrice1Formula"], test::Value(""));
  EXPECT_EQ(priceCall["@UnitRowNumber"], test::Value(0));
}

TEST_F(RecordWritersTest, EachSharedWriterFollowsItsMembersRules) {
  struct Case {
    const char* label;
    const char* writer;
    remote::RecordValues values;
    const char* procedure;
    std::vector<std::pair<const char*, test::Value>> received;
    std::int32_t nRet;
    Variant newId;
  };
  const std::vector<Case> cases = {
      {"units send @MODE",
       "InsertUnitInfo",
       {{"Mode", Variant::I4(0)}, {"SelfID", "00000"}, {"LongName", "箱"}},
       "AAAAATN",
       {{"@MODE", "I"}, {"@CodeName", ""}, {"@CurrRow", 0}},
       0,
       Variant("00001")},
      {"a mode left out creates",
       "InsertStockInfo",
       {{"ParId", "00000"}, {"dbName", "AAAAAEO"}, {"Fullname", "门店"}, {"StockType", 1}},
       "AAAAATH",
       {{"@Mode", "I"}, {"@StockType", 1}, {"@LongName", "门店"}},
       0,
       Variant("00001")},
      {"an update by mode",
       "InsertStockInfo",
       {{"lMode", Variant::I4(1)}, {"ParId", "00001"}, {"dbName", "AAAAAEO"}},
       "AAAAATH",
       {{"@Mode", "U"}},
       0,
       Variant("00001")},
      {"group kinds return @OutGroupID",
       "InsertColorGroupInfo",
       {{"lMode", Variant::I4(0)}, {"typeid", "00000"}, {"Fullname", "基本色"}},
       "AAAAASB",
       {{"@Mode", "I"}, {"@OutGroupID", nullptr}},
       0,
       Variant("00001")},
      {"the procedure's refusal is a result",
       "InsertPersonInfo",
       {{"lMode", Variant::I4(0)}, {"ParId", "0009999999"}, {"dbName", "AAAAADG"}},
       "AAAAAST",
       {{"@ParentID", "0009999999"}, {"@szBirthday", nullptr}, {"@Abdicate", false}},
       -2,
       Variant::Null()},
      {"suppliers keep the caller's table",
       "InsertClientInfo",
       {{"lMode", Variant::I4(0)},
        {"ParId", "00000"},
        {"dbName", "AAAAABY"},
        {"IsClient", Variant::I4(2)},
        {"ManageTypes", Variant::I4(-1)}},
       "AAAAASA",
       {{"@dbName", "AAAAABY"}, {"@IsClient", 2}, {"@ManageTypes", -1}, {"@Linkman", ""}},
       0,
       Variant("00001")},
  };
  SynchroSettings settings(kServerSynchronises, "True");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const remote::WriteResult result = remote::WriteRecordValues(c.writer, proc_, c.values);
    EXPECT_EQ(result.nRet, c.nRet);
    EXPECT_EQ(result.newId, c.newId);
    const test::ProcedureCall call = accountSet_.LastCall(c.procedure);
    for (const auto& [parameter, value] : c.received) {
      EXPECT_EQ(call[parameter], value) << parameter << ": " << call[parameter].ToString();
    }
  }
  EXPECT_EQ(QueueRequests(server_), 0u);
  EXPECT_EQ(remote::SharedRecordWriterNames().size(), 10u);
}

TEST_F(RecordWritersTest, ValuesTheMemberDoesNotTakeAreRefusedBeforeAnythingIsSent) {
  struct Case {
    const char* label;
    remote::RecordValues values;
    const char* why;
  };
  const std::vector<Case> cases = {
      {"an unknown name", {{"Fullname", "x"}, {"FullName2", "y"}}, "no in-argument FullName2"},
      {"an out argument", {{"NewSelfID", "00009"}}, "no in-argument NewSelfID"},
      {"the result", {{"nRet", 0}}, "no in-argument nRet"},
      {"one name twice", {{"fullname", "x"}, {"Fullname", "y"}}, "Fullname is given twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    try {
      remote::WriteRecordValues("InsertWareInfo", proc_, c.values);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(c.why), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find("InsertWareInfo"), std::string::npos);
    }
  }
  // A member of the table that writes no record is no writer.
  EXPECT_THROW(remote::WriteRecordValues("QueryBasicInfoTree", proc_, {}), std::invalid_argument);
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(RecordWritersTest, ErrorsComeBackAsTheyWereRaised) {
  // The phone's connection on a database without the account set's procedures.
  phone_.Settings().initialCatalog = "master";
  try {
    remote::WriteRecordValues("InsertUnitInfo", proc_, {{"LongName", "箱"}});
    ADD_FAILURE() << "accepted";
  } catch (const sql::SqlError& error) {
    EXPECT_NE(std::string(error.what()).find("Could not find stored procedure 'AAAAATN"),
              std::string::npos)
        << error.what();
  }
  // A value with no SQL form fails naming the member and the argument.
  phone_.Close();
  phone_.Settings().initialCatalog = test::kAccountSetDatabase;
  try {
    remote::WriteRecordValues(
        "InsertUnitInfo", proc_,
        {{"LongName", Variant::Array(com::SafeArray::Vector(com::VT_VARIANT, 1))}});
    ADD_FAILURE() << "accepted";
  } catch (const std::exception& error) {
    EXPECT_NE(std::string(error.what()).find("InsertUnitInfo: LongName"), std::string::npos)
        << error.what();
  }
  EXPECT_TRUE(accountSet_.Calls("AAAAATN").empty());
}

}  // namespace
}  // namespace quor::testing
