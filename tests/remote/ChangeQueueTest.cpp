// The change-queue rows of the four record kinds that go to the cloud: a row in
// master's UploadAppServer for each newly created goods, customer (or
// supplier), account and storehouse record while server-side synchronisation
// applies, and none otherwise. Client text reaches the row only as data.
#include <gtest/gtest.h>

#include "BasicInfoTestSupport.h"
#include "remote/ChangeQueue.h"

namespace quor::testing {
namespace {

using com::Variant;

class ChangeQueueTest : public ModuleTest {
 protected:
  // Calls a writer with its record under the root; returns the new identifier.
  CallResult Write(const char* member, std::map<std::string, Variant> values,
                   Variant* newSelfId = nullptr, Variant* nRet = nullptr) {
    values.emplace("OperatorID", Variant("00001"));
    values.emplace("CompanyID", Variant("00002"));
    values.emplace("lMode", Variant::I4(0));
    values.emplace("ParId", Variant("00000"));
    ClientCall call = ClientArgs(module_->Table(), member, values);
    CallResult result = Call(member, call.args);
    if (newSelfId != nullptr && call.outs.size() == 2) *newSelfId = *call.outs[0].value;
    if (nRet != nullptr && call.outs.size() == 2) *nRet = *call.outs[1].value;
    return result;
  }

  QueueRecorder queue_{server_};
};

TEST_F(ChangeQueueTest, EachOfTheFourKindsQueuesItsNewRecordWithTheAccountSetAndCallersTrade) {
  SynchroSettings settings(kServerSynchronises, "True");
  struct Case {
    const char* member;
    std::map<std::string, Variant> values;
    QueueRow row;
  };
  const std::vector<Case> cases = {
      {"InsertWareInfo",
       {{"Vocation", Variant("FZ")}, {"dbName", Variant("AAAAAFT")}, {"Fullname", Variant("茶")}},
       {"QuorData01", "FZ", "AAAAAFT", "00001"}},
      {"InsertClientInfo",
       {{"Vocation", Variant("MY")},
        {"dbName", Variant("AAAAABY")},
        {"Fullname", Variant("华东贸易")},
        {"IsClient", Variant::I4(1)}},
       {"QuorData01", "MY", "AAAAABY", "00001"}},
      {"InsertClientInfo",
       {{"Vocation", Variant("MY")},
        {"dbName", Variant("AAAAABY")},
        {"UserCode", Variant("S-01")},
        {"IsClient", Variant::I4(2)}},
       {"QuorData01", "MY", "BZ_SupplierInfo", "00002"}},
      {"InsertClientInfo",
       {{"Vocation", Variant("MY")},
        {"dbName", Variant("AAAAABY")},
        {"UserCode", Variant("S-02")},
        {"IsClient", Variant("2")}},
       {"QuorData01", "MY", "BZ_SupplierInfo", "00003"}},
      {"InsertAccountInfo",
       {{"Vocation", Variant("BZ")}, {"dbName", Variant("AAAAAAC")}, {"Fullname", Variant("现金")}},
       {"QuorData01", "BZ", "AAAAAAC", "00001"}},
      {"InsertStockInfo",
       {{"Vocation", Variant("BZ")}, {"dbName", Variant("AAAAAEO")}, {"Fullname", Variant("总仓")}},
       {"QuorData01", "BZ", "AAAAAEO", "00001"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.member) + " " + c.row.table);
    queue_.Clear();
    Variant newSelfId, nRet;
    const CallResult result = Write(c.member, c.values, &newSelfId, &nRet);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(nRet, Variant::I4(0));
    EXPECT_EQ(newSelfId, Variant(c.row.selfId));
    EXPECT_EQ(queue_.Rows(), std::vector<QueueRow>{c.row});
    for (const std::string& text : queue_.Texts()) {
      EXPECT_EQ(text.rfind(kQueueInsertPrefix, 0), 0u) << text;
      EXPECT_NE(text.find("'BASIC'"), std::string::npos) << text;
    }
    // The component the client may fetch rows from is not left with the insert.
    EXPECT_TRUE(module_->QryExecSQL().Text().empty());
  }
  // The supplier's procedure was given the caller's table, not the queue's name.
  EXPECT_EQ(accountSet_.LastCall("AAAAASA")["@dbName"], test::Value("AAAAABY"));
  EXPECT_EQ(accountSet_.LastCall("AAAAASA")["@IsClient"], test::Value(2));
}

TEST_F(ChangeQueueTest, NoRowUnlessServerSideSynchronisationAppliesToANewStoredRecord) {
  // A record to update, stored while nothing is queued.
  Variant existing;
  {
    SynchroSettings off(true, nullptr);
    ASSERT_EQ(Write("InsertWareInfo", {{"dbName", Variant("AAAAAFT")}}, &existing).hr, com::S_OK);
  }
  ASSERT_EQ(existing, Variant("00001"));

  struct Case {
    const char* label;
    bool clientSynchronises;
    const char* startAutoSynchro;
    std::map<std::string, Variant> values;
    bool queued;
  };
  const std::vector<Case> cases = {
      {"everything applies", false, "True", {}, true},
      {"clients synchronise themselves", true, "True", {}, false},
      {"StartAutoSynchro False", false, "False", {}, false},
      {"StartAutoSynchro absent", false, nullptr, {}, false},
      {"only \"True\" switches it on", false, "true", {}, false},
      {"an update", false, "True", {{"lMode", Variant::I4(1)}, {"ParId", existing}}, false},
      {"the procedure refused the record",
       false,
       "True",
       {{"ParId", Variant("0009999999")}},
       false},
      {"a record from the mobile side", false, "True", {{"Vocation", Variant("Phone")}}, false},
      {"\"phone\" is another trade code", false, "True", {{"Vocation", Variant("phone")}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SynchroSettings settings(c.clientSynchronises, c.startAutoSynchro);
    queue_.Clear();
    server_.ClearRequests();
    std::map<std::string, Variant> values = c.values;
    values.emplace("Vocation", Variant("BZ"));
    values.emplace("dbName", Variant("AAAAAFT"));
    const std::size_t callsBefore = accountSet_.Calls("AAAAATP").size();
    const CallResult result = Write("InsertWareInfo", values);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    // The procedure runs alike in every case; only the queue row differs.
    EXPECT_EQ(accountSet_.Calls("AAAAATP").size(), callsBefore + 1);
    EXPECT_EQ(QueueRequests(server_), c.queued ? 1u : 0u);
    EXPECT_EQ(queue_.Rows().size(), c.queued ? 1u : 0u);
  }
}

TEST_F(ChangeQueueTest, StaffAndTheOtherWritersNeverQueue) {
  SynchroSettings settings(kServerSynchronises, "True");
  Variant nRet;
  ASSERT_EQ(Write("InsertPersonInfo", {{"Vocation", Variant("BZ")}, {"dbName", Variant("AAAAADG")}},
                  nullptr, &nRet)
                .hr,
            com::S_OK);
  EXPECT_EQ(nRet, Variant::I4(0));
  OutSlot newSelfId = Out();
  OutSlot areaRet = Out(Variant::I4(0), com::VT_I4);
  ASSERT_EQ(Call("InsertAreaInfo", {Variant("1"), Variant("1"), Variant::I4(0), Variant("00000"),
                                    Variant("华南"), Variant(""), Variant(""), Variant(""),
                                    Variant::I4(0), newSelfId.ref, areaRet.ref})
                .hr,
            com::S_OK);
  EXPECT_EQ(QueueRequests(server_), 0u);
}

TEST_F(ChangeQueueTest, QuotesInTheCallersTextTravelAsDataNotAsStatementText) {
  SynchroSettings settings(kServerSynchronises, "True");
  // Within the queue's 50 characters, so the row is written.
  const std::string hostile = "BZ','x','y','z');DELETE FROM UploadAppServer;--";
  ASSERT_EQ(
      Write("InsertWareInfo", {{"Vocation", Variant(hostile)}, {"dbName", Variant("O'T")}}).hr,
      com::S_OK);
  ASSERT_EQ(queue_.Rows().size(), 1u);
  EXPECT_EQ(queue_.Rows()[0], (QueueRow{"QuorData01", hostile, "O'T", "00001"}));
  for (const std::string& text : queue_.Texts()) {
    EXPECT_EQ(text.find("DELETE"), std::string::npos) << text;
    EXPECT_EQ(text.find("O'T"), std::string::npos) << text;
  }
}

TEST_F(ChangeQueueTest, AFailedQueueInsertFailsTheCallWithTheRecordAlreadyStored) {
  SynchroSettings settings(kServerSynchronises, "True");
  queue_.FailWith({208, 1, 16, "Invalid object name 'Master.dbo.UploadAppServer'."});
  const CallResult result =
      Write("InsertStockInfo", {{"Vocation", Variant("BZ")}, {"dbName", Variant("AAAAAEO")}});
  EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
  EXPECT_EQ(result.excepInfo.scode, com::E_UNEXPECTED);
  EXPECT_NE(result.excepInfo.description.find("Invalid object name"), std::string::npos)
      << result.excepInfo.description;
  // The procedure ran and kept the record: a second store under the same
  // parent gets the next identifier.
  ASSERT_EQ(accountSet_.Calls("AAAAATH").size(), 1u);
  queue_.Succeed();
  Variant newSelfId;
  ASSERT_EQ(Write("InsertStockInfo", {{"Vocation", Variant("BZ")}, {"dbName", Variant("AAAAAEO")}},
                  &newSelfId)
                .hr,
            com::S_OK);
  EXPECT_EQ(newSelfId, Variant("00002"));
  ASSERT_EQ(queue_.Rows().size(), 2u);
  EXPECT_EQ(queue_.Rows()[1], (QueueRow{"QuorData01", "BZ", "AAAAAEO", "00002"}));
}

TEST_F(ChangeQueueTest, AValueTooWideForTheQueueFailsTheCallBeforeTheRecordIsWritten) {
  const std::string fifty(50, 'V');
  std::string chinese25;
  for (int i = 0; i < 25; ++i) chinese25 += "货";
  struct Case {
    const char* label;
    bool serverSynchronises;
    std::map<std::string, Variant> values;
    const char* refusal;  // nullptr: stored and queued (or not queued) as usual
  };
  const std::vector<Case> cases = {
      {"fifty characters fit", true, {{"Vocation", Variant(fifty)}}, nullptr},
      {"a vocation of 51", true, {{"Vocation", Variant(fifty + "Z")}}, "Vocation"},
      {"a table of 51", true, {{"dbName", Variant(fifty + "T")}}, "dbName"},
      {"25 Chinese characters are 50 bytes", true, {{"dbName", Variant(chinese25)}}, nullptr},
      {"26 Chinese characters are 52", true, {{"dbName", Variant(chinese25 + "货")}}, "dbName"},
      {"no row without server-side synchronisation",
       false,
       {{"Vocation", Variant(fifty + "Z")}},
       nullptr},
      {"no row for the mobile side", true, {{"Vocation", Variant("Phone")}}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SynchroSettings settings(!c.serverSynchronises, "True");
    queue_.Clear();
    server_.ClearRequests();
    std::map<std::string, Variant> values = c.values;
    values.emplace("Vocation", Variant("BZ"));
    values.emplace("dbName", Variant("AAAAAFT"));
    const std::size_t callsBefore = accountSet_.Calls("AAAAATP").size();
    const CallResult result = Write("InsertWareInfo", values);
    if (c.refusal == nullptr) {
      EXPECT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
      EXPECT_EQ(accountSet_.Calls("AAAAATP").size(), callsBefore + 1);
      EXPECT_EQ(queue_.Rows().size(), QueueRequests(server_));
      continue;
    }
    EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
    EXPECT_EQ(result.excepInfo.scode, com::E_UNEXPECTED);
    EXPECT_NE(result.excepInfo.description.find(c.refusal), std::string::npos)
        << result.excepInfo.description;
    EXPECT_NE(result.excepInfo.description.find("longer than the 50 characters"), std::string::npos)
        << result.excepInfo.description;
    // Neither the record nor its row: a retry cannot store the record twice.
    EXPECT_EQ(accountSet_.Calls("AAAAATP").size(), callsBefore);
    EXPECT_EQ(QueueRequests(server_), 0u);
  }
}

TEST_F(ChangeQueueTest, ASupplierIsQueuedUnderTheSupplierTableWhateverTheCallersTable) {
  SynchroSettings settings(kServerSynchronises, "True");
  const std::string wide(60, 'T');
  Variant newSelfId;
  const CallResult result =
      Write("InsertClientInfo",
            {{"Vocation", Variant("MY")}, {"dbName", Variant(wide)}, {"IsClient", Variant::I4(2)}},
            &newSelfId);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(queue_.Rows(),
            (std::vector<QueueRow>{{"QuorData01", "MY", "BZ_SupplierInfo", newSelfId.ToString()}}));
}

TEST(ChangeQueueRule, QueuesOnlyCreatedRecordsWithResultZeroOutsideThePhoneRoad) {
  SynchroSettings settings(kServerSynchronises, "True");
  const remote::BasicChange created{"QuorData01", "BZ", "AAAAAFT", "00001", 0, 0};
  EXPECT_TRUE(remote::QueuesBasicChange(created));
  remote::BasicChange change = created;
  change.mode = -1;
  EXPECT_FALSE(remote::QueuesBasicChange(change));
  change = created;
  change.result = 1;
  EXPECT_FALSE(remote::QueuesBasicChange(change));
  change = created;
  change.vocation = remote::kMobileVocation;
  EXPECT_FALSE(remote::QueuesBasicChange(change));
  SetUseClientAutoSynchro(true);
  EXPECT_FALSE(remote::QueuesBasicChange(created));
}

}  // namespace
}  // namespace quor::testing
