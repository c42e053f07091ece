// The remembered parameter lists: a second call of a procedure skips the
// server's parameter list and binds by name, so declarations changed in the
// meantime never put a value into another parameter; refused calls refresh
// and run once more; the setting turns it off. Also the reconnect of the
// parameter request when the link dropped between two calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "ProcedureArguments.h"
#include "platform/sql/ProcedureCache.h"
#include "remote/methods/CallPattern.h"
#include "tests/platform/datasnap/ParamEntries.h"

namespace quor::testing {
namespace {

using com::Variant;
using datasnap::test::Entry;
using datasnap::test::Vector;

class ParameterCacheTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    Declare({test::Param("@A", test::SqlType::Int), test::Param("@B", test::SqlType::VarChar, 10),
             WithDefault(test::Param("@Spare", test::SqlType::Int), 0)});
  }

  void Declare(std::vector<test::ParamDecl> params) {
    accountSet_.Declare({"P_Cached", std::move(params)}, [](const test::ProcedureCall&) {
      test::Reply reply;
      reply.returnStatus = 4;
      return reply;
    });
  }

  // AS_Execute with the marker: @A and @B (and @Spare when given) by position, with names.
  CallResult Execute(bool withSpare = false) {
    std::vector<Variant> entries = {Entry("@RETURN_VALUE", Variant::Null(), 3, 4),
                                    Entry("@A", Variant::I4(7), 3, 1),
                                    Entry("@B", Variant("x"), 1, 1)};
    if (withSpare) entries.push_back(Entry("@Spare", Variant::I4(9), 3, 1));
    OutSlot params = Out(Vector(entries));
    OutSlot owner = Out(Vector({Variant("TQueryDataSet"), Variant("P_Cached")}));
    return Call("AS_Execute", {Variant("DataSetProvider"), Variant(""), params.ref, owner.ref});
  }

  // A method call that assigns by name: a record writer on InsertProc.
  CallResult Writer() {
    OutSlot newSelfId = Out(Variant(""));
    OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
    return Call("InsertAreaInfo", {Variant("00001"), Variant("00002"), Variant::I4(0), Variant(""),
                                   Variant("华东"), Variant("HD"), Variant::Null(), Variant("hd"),
                                   Variant::I4(1), newSelfId.ref, nRet.ref});
  }

  std::size_t Count(const char* procedure) const {
    std::size_t count = 0;
    for (const test::Request& request : server_.Requests()) {
      if (request.kind == test::RequestKind::Rpc && request.procedure.find(procedure) == 0) {
        ++count;
      }
    }
    return count;
  }

  std::size_t Refreshes() const { return Count("sp_sproc_columns"); }
};

TEST_F(ParameterCacheTest, SecondCallSkipsTheParameterRequestAndBindsByName) {
  ASSERT_EQ(Writer().hr, com::S_OK);
  server_.ClearRequests();
  const CallResult second = Writer();
  ASSERT_EQ(second.hr, com::S_OK) << second.excepInfo.description;
  EXPECT_EQ(Refreshes(), 0u);
  EXPECT_EQ(Count("sp_executesql"), 1u);
  const test::ProcedureCall call = accountSet_.LastCall("AAAAARN");
  EXPECT_EQ(call["@LongName"], test::Value("华东"));
  EXPECT_EQ(call["@CurrRow"], test::Value(1));
  ASSERT_EQ(accountSet_.Calls("AAAAARN").size(), 2u);
  EXPECT_EQ(accountSet_.Calls("AAAAARN")[0].values, call.values);
}

TEST_F(ParameterCacheTest, ChangedDeclarationsNeverReceiveAValueMeantForAnotherParameter) {
  struct Case {
    const char* label;
    std::vector<test::ParamDecl> declaration;
    bool succeeds;
    std::size_t refreshes;  // parameter requests of the second call
  };
  const std::vector<Case> cases = {
      {"a parameter added in the middle with a default",
       {test::Param("@A", test::SqlType::Int),
        WithDefault(test::Param("@New", test::SqlType::Int), 5),
        test::Param("@B", test::SqlType::VarChar, 10),
        WithDefault(test::Param("@Spare", test::SqlType::Int), 0)},
       true,
       0},
      {"a parameter without a value removed",
       {test::Param("@A", test::SqlType::Int), test::Param("@B", test::SqlType::VarChar, 10)},
       true,
       0},
      {"a type changed",
       {test::Param("@A", test::SqlType::VarChar, 10),
        test::Param("@B", test::SqlType::VarChar, 10),
        WithDefault(test::Param("@Spare", test::SqlType::Int), 0)},
       true,
       0},
      // The server refuses the call (201): asked again, the call runs once more and fails
      // the same way, as it would have without the cache.
      {"a parameter without a default added",
       {test::Param("@A", test::SqlType::Int), test::Param("@B", test::SqlType::VarChar, 10),
        test::Param("@C", test::SqlType::Int),
        WithDefault(test::Param("@Spare", test::SqlType::Int), 0)},
       false,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    sql::ProcedureCache::Shared().Clear();
    Declare({test::Param("@A", test::SqlType::Int), test::Param("@B", test::SqlType::VarChar, 10),
             WithDefault(test::Param("@Spare", test::SqlType::Int), 0)});
    ASSERT_EQ(Execute().hr, com::S_OK);
    Declare(c.declaration);
    server_.ClearRequests();
    accountSet_.ClearCalls();
    const CallResult second = Execute();
    EXPECT_EQ(second.hr == com::S_OK, c.succeeds) << second.excepInfo.description;
    EXPECT_EQ(Refreshes(), c.refreshes);
    for (const test::ProcedureCall& call : accountSet_.Calls("P_Cached")) {
      EXPECT_EQ(call["@A"].ToString(), c.declaration[0].type == test::SqlType::Int ? "7" : "'7'");
      EXPECT_EQ(call["@B"], test::Value("x"));
      if (c.declaration[1].name == "@New") {
        EXPECT_EQ(call["@New"], test::Value(5));
      }
    }
    EXPECT_EQ(accountSet_.Calls("P_Cached").size(), c.succeeds ? 1u : 0u);
  }
}

TEST_F(ParameterCacheTest, RefusedCallOfARemovedParameterRefreshesOnceAndFailsWithoutRunning) {
  ASSERT_EQ(Execute(true).hr, com::S_OK);
  // @Spare, which the client gives a value, is gone from the declaration.
  Declare({test::Param("@A", test::SqlType::Int), test::Param("@B", test::SqlType::VarChar, 10)});
  server_.ClearRequests();
  accountSet_.ClearCalls();
  const CallResult second = Execute(true);
  EXPECT_EQ(second.hr, com::DISP_E_EXCEPTION);
  EXPECT_FALSE(second.excepInfo.description.empty());
  EXPECT_TRUE(accountSet_.Calls("P_Cached").empty());
  EXPECT_LE(Refreshes(), 2u);
  // The next call knows the new declaration.
  server_.ClearRequests();
  EXPECT_EQ(Execute(false).hr, com::S_OK);
}

TEST_F(ParameterCacheTest, ProcedureGoneSinceItWasRememberedIsReportedAndForgotten) {
  // A list remembered for a procedure the database no longer has (2812).
  sql::ProcedureCache& cache = sql::ProcedureCache::Shared();
  const std::string key = sql::ProcedureCache::KeyOf(module_->ADOConnection1(), "P_Missing");
  sql::Parameters remembered;
  remembered.Add(sql::Parameter("@RETURN_VALUE", sql::ParamDirection::kReturnValue, 4, "int"));
  cache.Store(key, remembered);
  OutSlot owner = Out(Vector({Variant("TQueryDataSet"), Variant("P_Missing")}));
  OutSlot params = Out();
  const CallResult result =
      Call("AS_Execute", {Variant("DataSetProvider"), Variant(""), params.ref, owner.ref});
  EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
  EXPECT_NE(result.excepInfo.description.find("P_Missing"), std::string::npos)
      << result.excepInfo.description;
  EXPECT_EQ(Refreshes(), 1u);
  EXPECT_FALSE(cache.Find(key));
}

TEST_F(ParameterCacheTest, EntryNamingAParameterTheRememberedListLacksIsLookedUpAfresh) {
  const auto declare = [this](std::vector<test::ParamDecl> params) {
    accountSet_.Declare({"P_Rows", std::move(params)}, [](const test::ProcedureCall&) {
      test::Reply reply;
      reply.resultSets.push_back({{test::Col("ID", test::SqlType::Int)}, {{1}}});
      return reply;
    });
  };
  const auto fetch = [this](std::vector<Variant> entries) {
    OutSlot recsOut = Out(Variant::I4(-1), com::VT_I4);
    OutSlot params = Out(Vector(std::move(entries)));
    OutSlot owner = Out(Vector({Variant("TQueryDataSet"), Variant("P_Rows")}));
    return Call("AS_GetRecords", {Variant("DataSetProvider"), Variant::I4(-1), recsOut.ref,
                                  Variant::I4(1), Variant(""), params.ref, owner.ref});
  };
  declare({test::Param("@A", test::SqlType::Int)});
  ASSERT_EQ(fetch({Entry("@A", Variant::I4(1), 3, 1)}).hr, com::S_OK);
  declare({test::Param("@A", test::SqlType::Int),
           WithDefault(test::Param("@New", test::SqlType::Int), 0)});
  const CallResult result =
      fetch({Entry("@A", Variant::I4(1), 3, 1), Entry("@New", Variant::I4(8), 3, 1)});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(accountSet_.LastCall("P_Rows")["@New"], test::Value(8));
  EXPECT_EQ(accountSet_.LastCall("P_Rows")["@A"], test::Value(1));
}

TEST_F(ParameterCacheTest, SettingItOffAsksTheServerForEveryCallAndCallsByPosition) {
  sql::ProcedureCache::Shared().SetLifetime(std::chrono::seconds(0));
  ASSERT_EQ(Execute().hr, com::S_OK);
  ASSERT_EQ(Execute().hr, com::S_OK);
  EXPECT_EQ(Refreshes(), 2u);
  EXPECT_EQ(Count("sp_executesql"), 0u);
  EXPECT_EQ(Count("P_Cached"), 2u);
  EXPECT_EQ(sql::ProcedureCache::Shared().Size(), 0u);
}

TEST_F(ParameterCacheTest, FlushingTheDatabaseForgetsItsLists) {
  ASSERT_EQ(Execute().hr, com::S_OK);
  EXPECT_GT(sql::ProcedureCache::Shared().Size(), 0u);
  remote::FlushParameterCache(module_->ADOConnection1(), "quordata01");
  EXPECT_EQ(sql::ProcedureCache::Shared().Size(), 0u);
  server_.ClearRequests();
  ASSERT_EQ(Execute().hr, com::S_OK);
  EXPECT_EQ(Refreshes(), 1u);
}

TEST_F(ParameterCacheTest, LinkDroppedBetweenCallsCostsTheClientNoFailedCall) {
  sql::ProcedureCache::Shared().SetLifetime(std::chrono::seconds(0));
  ASSERT_EQ(Execute().hr, com::S_OK);
  server_.DropConnections();
  server_.ClearRequests();
  const CallResult after = Execute();
  ASSERT_EQ(after.hr, com::S_OK) << after.excepInfo.description;
  // Logged in again, to the same database, before the procedure ran once.
  std::vector<test::Request> logins;
  for (const test::Request& request : server_.Requests()) {
    if (request.kind == test::RequestKind::Login) logins.push_back(request);
  }
  ASSERT_EQ(logins.size(), 1u);
  EXPECT_EQ(Count("P_Cached"), 1u);
  EXPECT_EQ(accountSet_.LastCall("P_Cached").database, test::kAccountSetDatabase);
}

TEST_F(ParameterCacheTest, LinkDroppedDuringTheProcedureFailsThatCallOnlyAndIsNotRunAgain) {
  sql::ProcedureCache::Shared().SetLifetime(std::chrono::seconds(0));
  int runs = 0;
  accountSet_.Declare({"P_Drops", {}}, [&runs](const test::ProcedureCall&) {
    test::Reply reply;
    reply.dropConnection = ++runs == 1;
    return reply;
  });
  OutSlot params = Out();
  OutSlot owner = Out(Vector({Variant("TQueryDataSet"), Variant("P_Drops")}));
  const CallResult first =
      Call("AS_Execute", {Variant("DataSetProvider"), Variant(""), params.ref, owner.ref});
  EXPECT_EQ(first.hr, com::DISP_E_EXCEPTION);
  EXPECT_EQ(runs, 1);
  owner = Out(Vector({Variant("TQueryDataSet"), Variant("P_Drops")}));
  const CallResult second =
      Call("AS_Execute", {Variant("DataSetProvider"), Variant(""), params.ref, owner.ref});
  EXPECT_EQ(second.hr, com::S_OK) << second.excepInfo.description;
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace quor::testing
