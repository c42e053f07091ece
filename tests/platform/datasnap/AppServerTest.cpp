// The IAppServer members through late binding, as clients reach them: by
// DISPID, arguments in dispatch order, outputs by reference. The providers
// run procedures on the SQL Server stand-in through the real driver.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DataPacketReader.h"
#include "DeltaBuilder.h"
#include "StandInPackets.h"
#include "platform/com/SafeArray.h"
#include "platform/com/TableDispatch.h"
#include "platform/datasnap/AppServer.h"
#include "platform/datasnap/DeltaReader.h"
#include "platform/sql/Connection.h"
#include "tests/platform/sql/StandIn.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::datasnap {
namespace {

namespace t = ::quor::test;
using com::Variant;

// A module with two providers and nothing else.
class TwoProviderModule : public com::TableDispatch, public AppServer {
 public:
  explicit TwoProviderModule(sql::Connection& connection)
      : com::TableDispatch(std::make_shared<const com::DispatchTable>(DispatchMembers(), "Test")),
        proc_(connection, "QueryProc"),
        statement_(connection, "QryExecSQL"),
        queryProvider_("QueryProvider", proc_),
        execProvider_("dspExecSQL", statement_) {
    ExportProvider(queryProvider_);
    ExportProvider(execProvider_);
    proc_.SetProcedureName("P_Count;1");
    proc_.RefreshParameters();
  }

 private:
  sql::StoredProc proc_;
  sql::Statement statement_;
  Provider queryProvider_;
  Provider execProvider_;
};

class AppServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.AddLogin(sql::testing::kUser, sql::testing::kPassword);
    server_.AddDatabase(sql::testing::kAccountSet);
    t::ParamDecl upTo;
    upTo.name = "@UpTo";
    upTo.type = t::SqlType::Int;
    upTo.defaultValue = 3;
    server_.DeclareProcedure({"P_Count", {upTo}});
    server_.OnProcedure("P_Count", [](const t::ProcedureCall& call) {
      t::Reply reply;
      t::ResultSet rows;
      rows.columns = {t::Column{"N", t::SqlType::Int}};
      const std::int64_t upTo = call["@UpTo"].AsInt();
      for (std::int64_t i = 1; i <= upTo; ++i) rows.rows.push_back({i});
      reply.resultSets.push_back(rows);
      return reply;
    });
    connection_ = std::make_unique<sql::Connection>(
        sql::testing::SettingsFor(server_, sql::testing::kAccountSet));
    module_ = std::make_unique<TwoProviderModule>(*connection_);
  }

  struct Result {
    com::HResult hr = com::S_OK;
    Variant value;
    com::ExcepInfo excepInfo;
  };

  // declared: the arguments in declared order; they are sent last first.
  Result Call(const char* member, std::vector<Variant> declared) {
    com::DispId dispId = 0;
    EXPECT_EQ(module_->GetIDsOfNames(member, dispId), com::S_OK) << member;
    std::vector<Variant> dispatchOrder(declared.rbegin(), declared.rend());
    Result result;
    result.hr = module_->Invoke(dispId, com::DISPATCH_METHOD, com::DispParams(dispatchOrder),
                                &result.value, &result.excepInfo, nullptr);
    return result;
  }

  static std::pair<Variant, std::shared_ptr<Variant>> Ref(Variant initial = Variant(),
                                                          com::VarType type = com::VT_VARIANT) {
    auto slot = std::make_shared<Variant>(std::move(initial));
    return {Variant::ByRef(slot, type), slot};
  }

  t::SqlServerStandIn server_;
  std::unique_ptr<sql::Connection> connection_;
  std::unique_ptr<TwoProviderModule> module_;
};

TEST_F(AppServerTest, MembersHaveTheirFixedDispIds) {
  const std::vector<std::pair<const char*, com::DispId>> members = {
      {"AS_ApplyUpdates", 20000000},     {"AS_GetRecords", 20000001}, {"AS_DataRequest", 20000002},
      {"AS_GetProviderNames", 20000003}, {"AS_GetParams", 20000004},  {"AS_RowRequest", 20000005},
      {"AS_Execute", 20000006}};
  for (const auto& [name, expected] : members) {
    com::DispId dispId = 0;
    EXPECT_EQ(module_->GetIDsOfNames(name, dispId), com::S_OK) << name;
    EXPECT_EQ(dispId, expected) << name;
  }
}

TEST_F(AppServerTest, GetProviderNamesListsTheExportedProvidersInOrder) {
  const Result result = Call("AS_GetProviderNames", {});
  ASSERT_EQ(result.hr, com::S_OK);
  ASSERT_TRUE(result.value.IsArray());
  const com::SafeArray& names = result.value.GetArray();
  EXPECT_EQ(names.ElementType(), com::VT_VARIANT);
  ASSERT_EQ(names.ElementCount(), 2u);
  EXPECT_EQ(names.Get({0}), Variant("QueryProvider"));
  EXPECT_EQ(names.Get({1}), Variant("dspExecSQL"));
}

TEST_F(AppServerTest, GetRecordsWritesTheCountAndParamsBackThroughTheReferences) {
  auto [recsOut, recsSlot] = Ref(Variant::I4(-1), com::VT_I4);
  auto [params, paramsSlot] = Ref();
  auto [ownerData, ownerSlot] = Ref(Variant("kept"));
  // Provider names ignore letter case, as the runtime's lookup does.
  const Result result =
      Call("AS_GetRecords", {Variant("queryprovider"), Variant::I4(-1), recsOut,
                             Variant::I4(kMetaData), Variant(""), params, ownerData});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(*recsSlot, Variant::I4(3));
  EXPECT_EQ(*ownerSlot, Variant("kept"));
  ASSERT_TRUE(paramsSlot->IsArray());
  t::ResultSet expected;
  expected.columns = {t::Column{"N", t::SqlType::Int}};
  expected.rows = {{1}, {2}, {3}};
  test::ExpectPacketHolds(test::ReadDataPacket(result.value.GetArray().Bytes()), expected);
}

TEST_F(AppServerTest, ApplyUpdatesReportsTheErrorCountThroughItsReference) {
  auto [errorCount, errorSlot] = Ref(Variant::I4(0), com::VT_I4);
  auto [ownerData, ownerSlot] = Ref();
  const std::vector<std::uint8_t> delta =
      test::DeltaBuilder().Record(kRecordInserted, 1, "x").Record(kRecordDeleted, 2, "y").Build();
  const Result result = Call("AS_ApplyUpdates", {Variant("QueryProvider"), Variant::Bytes(delta),
                                                 Variant::I4(-1), errorCount, ownerData});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(*errorSlot, Variant::I4(2));
  EXPECT_EQ(test::ReadDataPacket(result.value.GetArray().Bytes()).records.size(), 2u);
}

TEST_F(AppServerTest, UnknownProvidersFailTheCallWithTheirName) {
  auto [ownerData, ownerSlot] = Ref();
  const Result result = Call("AS_GetParams", {Variant("NoSuchProvider"), ownerData});
  EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
  EXPECT_EQ(result.excepInfo.scode, com::E_UNEXPECTED);
  EXPECT_NE(result.excepInfo.description.find("NoSuchProvider"), std::string::npos);
}

TEST_F(AppServerTest, DataRequestWithoutHandlerAnswersNull) {
  const Result result = Call("AS_DataRequest", {Variant("dspExecSQL"), Variant::I4(1)});
  ASSERT_EQ(result.hr, com::S_OK);
  EXPECT_TRUE(result.value.IsNull());
}

}  // namespace
}  // namespace quor::datasnap
