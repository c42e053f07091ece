// Providers over stored procedures and statements, through the real FreeTDS
// driver to the SQL Server stand-in: every packet is read back with the
// independent reader and compared with the rows the stand-in sent.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "DataPacketReader.h"
#include "DeltaBuilder.h"
#include "StandInPackets.h"
#include "platform/com/SafeArray.h"
#include "platform/datasnap/DeltaReader.h"
#include "platform/datasnap/ParamPacking.h"
#include "platform/datasnap/Provider.h"
#include "platform/sql/Connection.h"
#include "tests/platform/sql/StandIn.h"
#include "tests/support/tds/Declare.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::datasnap {
namespace {

namespace t = ::quor::test;
using com::Variant;
using t::Col;
using t::Param;
using test::ExpectPacketHolds;
using test::ReadDataPacket;

// Five rows with NULLs, Chinese text, money, dates and blobs.
t::ResultSet Stock() {
  t::ResultSet rows;
  rows.columns = {Col("ID", t::SqlType::Int),
                  Col("Name", t::SqlType::NVarChar, 20),
                  Col("Model", t::SqlType::VarChar, 30),
                  Col("Price", t::SqlType::Money, 0, 19, 4),
                  Col("Made", t::SqlType::DateTime),
                  Col("Pic", t::SqlType::Image),
                  Col("Note", t::SqlType::Text)};
  rows.rows = {
      {1, "螺丝刀", "十字 6mm", t::Decimal{"8.5000"}, t::DateTime{2023, 1, 2, 3, 4, 5, 10},
       t::Bytes{0xFF, 0xD8, 0x00}, "常用"},
      {2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
      {3, "Hammer", "", t::Decimal{"-0.0100"}, t::DateTime{1900, 1, 1}, t::Bytes{}, ""},
      {4, "锯", "1m", t::Decimal{"120.0000"}, t::DateTime{2099, 12, 31, 23, 59, 59, 990},
       t::Bytes(300, 0x5A), "长文本"},
      {5, "钳子", "A", t::Decimal{"0.0000"}, t::DateTime{2024, 2, 29}, nullptr, nullptr},
  };
  return rows;
}

t::ResultSet RowsFrom(const t::ResultSet& all, std::size_t first, std::size_t count) {
  t::ResultSet part;
  part.columns = all.columns;
  for (std::size_t i = first; i < first + count && i < all.rows.size(); ++i) {
    part.rows.push_back(all.rows[i]);
  }
  return part;
}

class ProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.AddLogin(sql::testing::kUser, sql::testing::kPassword);
    server_.AddDatabase(sql::testing::kAccountSet);
    server_.DeclareProcedure(
        {"P_Stock",
         {Param("@Kind", t::SqlType::VarChar, 10), t::Output(Param("@Total", t::SqlType::Int))}});
    server_.OnProcedure("P_Stock", [this](const t::ProcedureCall& call) {
      ++runs_;
      lastKind_ = call["@Kind"].IsNull() ? "NULL" : call["@Kind"].AsText();
      t::Reply reply;
      reply.resultSets.push_back(Stock());
      reply.outputs["@Total"] = 5;
      reply.returnStatus = 7;
      return reply;
    });
    connection_ = std::make_unique<sql::Connection>(
        sql::testing::SettingsFor(server_, sql::testing::kAccountSet));
    proc_ = std::make_unique<sql::StoredProc>(*connection_, "QueryProc");
    proc_->SetProcedureName("P_Stock;1");
    proc_->RefreshParameters();
    proc_->SetParamValue("@Kind", sql::Value::Text("tools"));
  }

  std::unique_ptr<Provider> MakeProvider(std::size_t blockSize = 0) {
    return std::make_unique<Provider>("QueryProvider", *proc_, blockSize);
  }

  t::SqlServerStandIn server_;
  std::unique_ptr<sql::Connection> connection_;
  std::unique_ptr<sql::StoredProc> proc_;
  std::atomic<int> runs_{0};
  std::string lastKind_;
};

TEST_F(ProviderTest, DeliversEveryRowValueByValueAndClosesTheDataSet) {
  auto provider = MakeProvider();
  Variant params;
  std::int32_t recsOut = -1;
  const Variant packet = provider->GetRecords(-1, recsOut, kMetaData, "", params);
  EXPECT_EQ(recsOut, 5);
  EXPECT_EQ(runs_, 1);
  EXPECT_EQ(lastKind_, "tools");
  ExpectPacketHolds(ReadDataPacket(packet.GetArray().Bytes()), Stock());
  EXPECT_FALSE(proc_->Active());
  // The parameters come back packed, outputs and return value included.
  ASSERT_TRUE(params.IsArray());
  const Variant returnValue = params.GetArray().Get({0}).GetArray().Get({1});
  const Variant total = params.GetArray().Get({2}).GetArray().Get({1});
  EXPECT_EQ(returnValue, Variant::I4(7));
  EXPECT_EQ(total, Variant::I4(5));
}

TEST_F(ProviderTest, DeliversRowsInPiecesWithTheirCountsAndRunsAgainWhenAllWereDelivered) {
  for (const std::size_t blockSize : {0u, 2u}) {
    SCOPED_TRACE("block size " + std::to_string(blockSize));
    runs_ = 0;
    auto provider = MakeProvider(blockSize);
    const t::ResultSet all = Stock();
    std::size_t first = 0;
    for (const std::int32_t count : {2, 2, 2}) {
      Variant params;
      std::int32_t recsOut = -1;
      const Variant packet = provider->GetRecords(count, recsOut, 0, "", params);
      const std::size_t expected = std::min<std::size_t>(2, all.rows.size() - first);
      EXPECT_EQ(recsOut, static_cast<std::int32_t>(expected));
      ExpectPacketHolds(ReadDataPacket(packet.GetArray().Bytes()), RowsFrom(all, first, 2));
      first += expected;
    }
    EXPECT_EQ(runs_, 1);
    EXPECT_FALSE(proc_->Active());
    Variant params;
    std::int32_t recsOut = -1;
    provider->GetRecords(-1, recsOut, 0, "", params);
    EXPECT_EQ(recsOut, 5);
    EXPECT_EQ(runs_, 2);
  }
}

TEST_F(ProviderTest, HoldsPartlyFetchedRowsSoTheConnectionServesOtherCallsBetweenPackets) {
  for (const std::size_t blockSize : {0u, 2u, 1000u}) {
    SCOPED_TRACE("block size " + std::to_string(blockSize));
    runs_ = 0;
    auto provider = MakeProvider(blockSize);
    Variant params;
    std::int32_t recsOut = -1;
    const Variant first = provider->GetRecords(2, recsOut, kMetaData, "", params);
    ASSERT_EQ(recsOut, 2);
    ExpectPacketHolds(ReadDataPacket(first.GetArray().Bytes()), RowsFrom(Stock(), 0, 2));
    // The whole reply has been read: the outputs are there and the statement is gone.
    EXPECT_EQ(params.GetArray().Get({2}).GetArray().Get({1}), Variant::I4(5));
    EXPECT_FALSE(proc_->Active());
    EXPECT_EQ(provider->HeldRowCount(), 3u);

    // Another component runs on the same connection meanwhile.
    sql::StoredProc other(*connection_, "BasicProc");
    other.SetProcedureName("P_Stock;1");
    other.RefreshParameters();
    other.ExecProc();
    EXPECT_EQ(runs_, 2);

    Variant noParams;
    const Variant rest = provider->GetRecords(-1, recsOut, 0, "", noParams);
    EXPECT_EQ(recsOut, 3);
    ExpectPacketHolds(ReadDataPacket(rest.GetArray().Bytes()), RowsFrom(Stock(), 2, 3));
    EXPECT_EQ(runs_, 2);
    EXPECT_EQ(provider->HeldRowCount(), 0u);
  }
}

TEST_F(ProviderTest, ClosingTheDataSetBetweenPacketsDropsTheHeldRows) {
  auto provider = MakeProvider();
  Variant params;
  std::int32_t recsOut = -1;
  provider->GetRecords(2, recsOut, 0, "", params);
  ASSERT_EQ(provider->HeldRowCount(), 3u);
  // A business method on the same component closes it, as it closes a cursor.
  proc_->Close();
  EXPECT_EQ(provider->HeldRowCount(), 0u);
  Variant noParams;
  const Variant packet = provider->GetRecords(-1, recsOut, 0, "", noParams);
  EXPECT_EQ(recsOut, 5);
  EXPECT_EQ(runs_, 2);
  ExpectPacketHolds(ReadDataPacket(packet.GetArray().Bytes()), Stock());
}

TEST_F(ProviderTest, ResetStartsAgainFromTheFirstRow) {
  auto provider = MakeProvider();
  Variant params;
  std::int32_t recsOut = 0;
  provider->GetRecords(3, recsOut, 0, "", params);
  ASSERT_EQ(recsOut, 3);
  const Variant packet = provider->GetRecords(-1, recsOut, kReset | kMetaData, "", params);
  EXPECT_EQ(recsOut, 5);
  EXPECT_EQ(runs_, 2);
  ExpectPacketHolds(ReadDataPacket(packet.GetArray().Bytes()), Stock());

  provider->GetRecords(1, recsOut, 0, "", params);
  EXPECT_EQ(provider->HeldRowCount(), 4u);
  // A reset alone drops the rows and answers nothing.
  EXPECT_TRUE(provider->GetRecords(0, recsOut, kReset, "", params).IsNull());
  EXPECT_EQ(recsOut, 0);
  EXPECT_EQ(provider->HeldRowCount(), 0u);
  EXPECT_FALSE(proc_->Active());
}

TEST_F(ProviderTest, CountZeroDescribesTheFieldsWithoutRecords) {
  auto provider = MakeProvider();
  Variant params;
  std::int32_t recsOut = -1;
  const Variant packet = provider->GetRecords(0, recsOut, kMetaData, "", params);
  EXPECT_EQ(recsOut, 0);
  ExpectPacketHolds(ReadDataPacket(packet.GetArray().Bytes()), RowsFrom(Stock(), 0, 0));
}

TEST_F(ProviderTest, RunsWithTheClientsParametersByName) {
  auto provider = MakeProvider();
  // Let the provider have the packed parameters, change @Kind, send them back.
  Variant params = provider->GetParams();
  ASSERT_TRUE(params.IsArray());
  com::SafeArray kind = params.GetArray().Get({1}).GetArray();
  ASSERT_EQ(kind.Get({0}), Variant("@Kind"));
  kind.Put({1}, Variant("木工"));
  params.GetArray().Put({1}, Variant::Array(kind));
  std::int32_t recsOut = 0;
  provider->GetRecords(-1, recsOut, 0, "", params);
  EXPECT_EQ(lastKind_, "木工");
  EXPECT_EQ(params.GetArray().Get({1}).GetArray().Get({1}), Variant("木工"));
}

TEST_F(ProviderTest, RefusesCommandTextAndXmlPackets) {
  auto provider = MakeProvider();
  Variant params;
  std::int32_t recsOut = 0;
  EXPECT_THROW(provider->GetRecords(-1, recsOut, 0, "select 1", params), std::runtime_error);
  EXPECT_THROW(provider->GetRecords(-1, recsOut, kXml, "", params), std::runtime_error);
  EXPECT_THROW(provider->Execute("delete from AAAAAFT", params), std::runtime_error);
  EXPECT_EQ(runs_, 0);
}

TEST_F(ProviderTest, ExecuteRunsWithoutRowsAndPacksTheOutputs) {
  auto provider = MakeProvider();
  Variant params;
  provider->Execute("", params);
  EXPECT_EQ(runs_, 1);
  EXPECT_FALSE(proc_->Active());
  ASSERT_TRUE(params.IsArray());
  EXPECT_EQ(params.GetArray().Get({0}).GetArray().Get({1}), Variant::I4(7));
}

TEST_F(ProviderTest, DataRequestsGoToTheHandlerAndAllRecordsRunsAgain) {
  auto provider = MakeProvider();
  EXPECT_TRUE(provider->DataRequest(Variant("x")).IsNull());
  provider->SetOnDataRequest(
      [](Provider& p, const Variant& input) { return Variant::Bytes(p.AllRecords()); });
  const Variant first = provider->DataRequest(Variant());
  const Variant second = provider->DataRequest(Variant());
  EXPECT_EQ(runs_, 2);
  ExpectPacketHolds(ReadDataPacket(first.GetArray().Bytes()), Stock());
  EXPECT_EQ(first, second);
}

TEST_F(ProviderTest, RowRequestsHaveNothingToAdd) {
  auto provider = MakeProvider();
  EXPECT_TRUE(provider->RowRequest(Variant::Bytes({1, 2}), 1).IsNull());
  EXPECT_EQ(runs_, 0);
}

TEST_F(ProviderTest, StatementProviderDeliversTheStatementsRows) {
  server_.OnStatement("select * from Stock", [](const t::StatementCall&) {
    t::Reply reply;
    reply.resultSets.push_back(Stock());
    return reply;
  });
  sql::Statement statement(*connection_, "QryExecSQL");
  statement.SetText("select * from Stock");
  Provider provider("dspExecSQL", statement);
  Variant params;
  std::int32_t recsOut = 0;
  const Variant packet = provider.GetRecords(-1, recsOut, kMetaData, "", params);
  EXPECT_EQ(recsOut, 5);
  ExpectPacketHolds(ReadDataPacket(packet.GetArray().Bytes()), Stock());
}

TEST_F(ProviderTest, ProcedureProviderRefusesEveryChangeCountingErrorsUpToTheLimit) {
  const std::vector<std::uint8_t> delta = test::DeltaBuilder()
                                              .Record(kRecordInserted, 1, "a")
                                              .Record(kRecordOriginal, 2, "b")
                                              .Record(kRecordModified, 2, "c")
                                              .Record(kRecordDeleted, 3, "d")
                                              .Build();
  struct Case {
    std::int32_t maxErrors;
    std::int32_t errorCount;
    std::vector<std::int64_t> records;
  };
  const std::vector<Case> cases = {
      {-1, 3, {1, 3, 4}}, {0, 1, {1}}, {1, 2, {1, 3}}, {2, 3, {1, 3, 4}}, {10, 3, {1, 3, 4}}};
  auto provider = MakeProvider();
  for (const Case& c : cases) {
    SCOPED_TRACE("MaxErrors " + std::to_string(c.maxErrors));
    std::int32_t errorCount = -1;
    const Variant result = provider->ApplyUpdates(Variant::Bytes(delta), c.maxErrors, errorCount);
    EXPECT_EQ(errorCount, c.errorCount);
    const test::DataPacket errors = ReadDataPacket(result.GetArray().Bytes());
    ASSERT_EQ(errors.records.size(), c.records.size());
    ASSERT_EQ(errors.fields.size(), 5u);
    EXPECT_EQ(errors.fields[2].name, "ERROR_RECORDNO");
    EXPECT_EQ(errors.fields[3].name, "ERROR_MESSAGE");
    EXPECT_EQ(errors.fields[4].name, "ERROR_CODE");
    for (std::size_t i = 0; i < c.records.size(); ++i) {
      // The failed record's own values come first: ID 1, 2 and 3 of the delta.
      EXPECT_EQ(errors.records[i].cells[0], test::Cell(std::int64_t{static_cast<int>(i) + 1}));
      EXPECT_EQ(errors.records[i].cells[2], test::Cell(c.records[i]));
      const auto* message = std::get_if<std::string>(&errors.records[i].cells[3]);
      ASSERT_NE(message, nullptr);
      EXPECT_NE(message->find("QueryProvider"), std::string::npos) << *message;
      EXPECT_EQ(errors.records[i].cells[4], test::Cell(std::int64_t{0}));
    }
  }
  EXPECT_EQ(runs_, 0);

  std::int32_t errorCount = -1;
  const std::vector<std::uint8_t> unchanged =
      test::DeltaBuilder().Record(kRecordOriginal, 1, "a").Build();
  EXPECT_TRUE(provider->ApplyUpdates(Variant::Bytes(unchanged), -1, errorCount).IsNull());
  EXPECT_EQ(errorCount, 0);
  EXPECT_THROW(provider->ApplyUpdates(Variant("not a packet"), -1, errorCount), PacketError);
  EXPECT_THROW(provider->ApplyUpdates(Variant::Bytes({0x96, 0x19}), -1, errorCount), PacketError);
  EXPECT_THROW(provider->ApplyUpdates(Variant::Bytes(delta), -2, errorCount), std::runtime_error);
}

}  // namespace
}  // namespace quor::datasnap
