// AS_ApplyUpdates on dspExecSQL after a client opened a SELECT of one table:
// the delta's records become statements on that table in one transaction,
// through the real driver to a scripted table on the stand-in; rows changed
// meanwhile, the error limit, several-table statements and malformed deltas.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "ServerPublic/SqlRoutines.h"
#include "platform/datasnap/DeltaReader.h"
#include "platform/datasnap/UpdateResolver.h"
#include "tests/platform/datasnap/DataPacketReader.h"
#include "tests/platform/datasnap/DeltaBuilder.h"
#include "tests/support/tds/ScriptedTable.h"

namespace quor::testing {
namespace {

using com::Variant;
using datasnap::test::Cell;
using datasnap::test::DeltaBuilder;
using Row = test::ScriptedTable::Row;

constexpr const char* kSelect = "select ID, Name from Goods";

class ApplyUpdatesTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    table_ = std::make_unique<test::ScriptedTable>(
        server_, "dbo", "Goods",
        std::vector<test::Column>{test::Col("ID", test::SqlType::Int),
                                  test::Col("Name", test::SqlType::VarChar, 20)},
        Initial());
    server_.OnStatement(kSelect, [this](const test::StatementCall&) { return table_->Select(); });
  }

  // What AdoExecSQL does with bOpen true, then the client's fetch from dspExecSQL.
  void OpenAndFetch(const char* text = kSelect) {
    ASSERT_EQ(ExecSqlText(module_->QryExecSQL(), text, true), 0);
    const datasnap::test::DataPacket packet = Fetch("dspExecSQL");
    ASSERT_EQ(packet.records.size(), 4u);
  }

  struct Applied {
    CallResult result;
    std::int32_t errorCount = -1;
  };

  Applied Apply(const std::vector<std::uint8_t>& delta, std::int32_t maxErrors,
                const char* provider = "dspExecSQL") {
    OutSlot errorCount = Out(Variant::I4(-1), com::VT_I4);
    OutSlot owner = Out();
    Applied applied;
    applied.result = Call("AS_ApplyUpdates", {Variant(provider), Variant::Bytes(delta),
                                              Variant::I4(maxErrors), errorCount.ref, owner.ref});
    applied.errorCount = errorCount.value->ToI4();
    return applied;
  }

  static std::vector<Row> Initial() { return {{1, "a"}, {2, "b"}, {3, "c"}, {5, nullptr}}; }

  // An insert, a change of row 2 and a deletion of row 3.
  static std::vector<std::uint8_t> ThreeChanges() {
    return DeltaBuilder()
        .Record(datasnap::kRecordInserted, 4, "\xD0\xC2")  // "新" in code page 936
        .Record(datasnap::kRecordOriginal, 2, "b")
        .Record(datasnap::kRecordModified, 2, "bb")
        .Record(datasnap::kRecordDeleted, 3, "c")
        .Build();
  }

  std::vector<std::string> TransactionRequests() const {
    std::vector<std::string> texts;
    for (const test::Request& request : server_.Requests()) {
      if (request.kind == test::RequestKind::Transaction) texts.push_back(request.text);
    }
    return texts;
  }

  std::unique_ptr<test::ScriptedTable> table_;
};

TEST_F(ApplyUpdatesTest, InsertChangeAndDeleteBecomeStatementsOnTheTableInOneTransaction) {
  OpenAndFetch();
  server_.ClearRequests();
  const Applied applied = Apply(ThreeChanges(), -1);
  ASSERT_EQ(applied.result.hr, com::S_OK) << applied.result.excepInfo.description;
  EXPECT_EQ(applied.errorCount, 0);
  EXPECT_TRUE(applied.result.value.IsNull());
  EXPECT_EQ(table_->Rows(), (std::vector<Row>{{1, "a"}, {2, "bb"}, {5, nullptr}, {4, "新"}}));
  EXPECT_EQ(
      table_->Statements(),
      (std::vector<std::string>{
          "INSERT INTO [dbo].[Goods] ([ID], [Name]) VALUES (@P1, @P2)",
          "UPDATE [dbo].[Goods] SET [ID] = @P1, [Name] = @P2 WHERE [ID] = @P3 AND [Name] = @P4",
          "DELETE FROM [dbo].[Goods] WHERE [ID] = @P1 AND [Name] = @P2"}));
  const std::vector<std::string> transactions = TransactionRequests();
  ASSERT_FALSE(transactions.empty());
  EXPECT_EQ(transactions.front(), "BEGIN TRAN");
  EXPECT_NE(std::find(transactions.begin(), transactions.end(), "COMMIT TRAN"), transactions.end());
  // The rows' own values, never the client's text, reached the statements.
  for (const std::string& text : table_->Statements()) {
    EXPECT_EQ(text.find("新"), std::string::npos) << text;
  }
}

TEST_F(ApplyUpdatesTest, NullOriginalValuesFindTheirRowWithIsNull) {
  OpenAndFetch();
  const std::vector<std::uint8_t> delta = DeltaBuilder()
                                              .Record(datasnap::kRecordOriginal, 5, "", true)
                                              .Record(datasnap::kRecordModified, 5, "e", false)
                                              .Build();
  const Applied applied = Apply(delta, -1);
  ASSERT_EQ(applied.result.hr, com::S_OK) << applied.result.excepInfo.description;
  EXPECT_EQ(applied.errorCount, 0);
  EXPECT_EQ(table_->Rows().back(), (Row{5, "e"}));
  EXPECT_EQ(
      table_->Statements().back(),
      "UPDATE [dbo].[Goods] SET [ID] = @P1, [Name] = @P2 WHERE [ID] = @P3 AND [Name] IS NULL");
}

TEST_F(ApplyUpdatesTest, BlobsAreWrittenButNeverUsedToFindTheRow) {
  test::ScriptedTable notes(
      server_, "dbo", "Notes",
      {test::Col("ID", test::SqlType::Int), test::Col("Name", test::SqlType::Text)},
      {{1, "长文本"}, {2, "b"}});
  server_.OnStatement("select * from Notes",
                      [&notes](const test::StatementCall&) { return notes.Select(); });
  ASSERT_EQ(ExecSqlText(module_->QryExecSQL(), "select * from Notes", true), 0);
  ASSERT_EQ(Fetch("dspExecSQL").records.size(), 2u);
  const std::vector<std::uint8_t> delta = DeltaBuilder(DeltaBuilder::kTextBlob)
                                              .Record(datasnap::kRecordOriginal, 1, "\xB3\xA4")
                                              .Record(datasnap::kRecordModified, 1, "new")
                                              .Record(datasnap::kRecordDeleted, 2, "b")
                                              .Build();
  const Applied applied = Apply(delta, -1);
  ASSERT_EQ(applied.result.hr, com::S_OK) << applied.result.excepInfo.description;
  EXPECT_EQ(applied.errorCount, 0);
  EXPECT_EQ(notes.Rows(), (std::vector<Row>{{1, "new"}}));
  EXPECT_EQ(notes.Statements(),
            (std::vector<std::string>{
                "UPDATE [dbo].[Notes] SET [ID] = @P1, [Name] = @P2 WHERE [ID] = @P3",
                "DELETE FROM [dbo].[Notes] WHERE [ID] = @P1"}));
}

TEST_F(ApplyUpdatesTest, RowChangedMeanwhileIsThatRecordsErrorAndTheLimitDecidesWhatStays) {
  struct Case {
    std::int32_t maxErrors;
    std::vector<Row> after;
  };
  const std::vector<Case> cases = {
      // No limit: the other two changes stay.
      {-1, {{1, "a"}, {2, "zz"}, {5, nullptr}, {4, "新"}}},
      {1, {{1, "a"}, {2, "zz"}, {5, nullptr}, {4, "新"}}},
      // One error is more than none: everything is rolled back.
      {0, {{1, "a"}, {2, "zz"}, {3, "c"}, {5, nullptr}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("MaxErrors " + std::to_string(c.maxErrors));
    table_->Replace(Initial());
    OpenAndFetch();
    table_->Set(1, "Name", "zz");  // another client changed row 2
    const Applied applied = Apply(ThreeChanges(), c.maxErrors);
    ASSERT_EQ(applied.result.hr, com::S_OK) << applied.result.excepInfo.description;
    EXPECT_EQ(applied.errorCount, 1);
    EXPECT_EQ(table_->Rows(), c.after);
    const datasnap::test::DataPacket errors =
        datasnap::test::ReadDataPacket(applied.result.value.GetArray().Bytes());
    ASSERT_EQ(errors.records.size(), 1u);
    ASSERT_EQ(errors.fields.size(), 5u);
    const std::vector<Cell>& cells = errors.records[0].cells;
    EXPECT_EQ(cells[0], Cell(std::int64_t{2}));
    EXPECT_EQ(cells[1], Cell(std::string("bb")));
    EXPECT_EQ(cells[2], Cell(std::int64_t{3}));  // the modification is record 3 of the delta
    EXPECT_EQ(cells[3], Cell(std::string(datasnap::kRecordChangedText)));
    EXPECT_EQ(cells[4], Cell(std::int64_t{0}));
  }
}

TEST_F(ApplyUpdatesTest, StatementOfSeveralTablesRefusesEachChangeNamingTheProvider) {
  const char* joined = "select g.ID, s.Name from Goods g join Stock s on s.ID = g.ID";
  server_.OnStatement(joined, [this](const test::StatementCall&) { return table_->Select(); });
  OpenAndFetch(joined);
  const Applied applied = Apply(ThreeChanges(), -1);
  ASSERT_EQ(applied.result.hr, com::S_OK) << applied.result.excepInfo.description;
  EXPECT_EQ(applied.errorCount, 3);
  const datasnap::test::DataPacket errors =
      datasnap::test::ReadDataPacket(applied.result.value.GetArray().Bytes());
  ASSERT_EQ(errors.records.size(), 3u);
  for (const datasnap::test::PacketRecord& record : errors.records) {
    const auto* message = std::get_if<std::string>(&record.cells[3]);
    ASSERT_NE(message, nullptr);
    EXPECT_NE(message->find("dspExecSQL"), std::string::npos) << *message;
  }
  EXPECT_TRUE(table_->Statements().empty());
}

TEST_F(ApplyUpdatesTest, BadInputFailsTheCallAndLeavesTheTableAsItWas) {
  const std::vector<Row> before = table_->Rows();
  // Before any fetch the provider holds no rows the changes could belong to.
  Applied applied = Apply(ThreeChanges(), -1);
  EXPECT_EQ(applied.result.hr, com::DISP_E_EXCEPTION);
  EXPECT_NE(applied.result.excepInfo.description.find("no rows open"), std::string::npos)
      << applied.result.excepInfo.description;

  OpenAndFetch();
  // The second field named otherwise than the rows' own.
  std::vector<std::uint8_t> wrongFields = ThreeChanges();
  const std::string name = "Name";
  const auto at = std::search(wrongFields.begin(), wrongFields.end(), name.begin(), name.end());
  ASSERT_NE(at, wrongFields.end());
  at[1] = 'o';
  struct Case {
    const char* label;
    std::vector<std::uint8_t> delta;
    std::int32_t maxErrors;
  };
  const std::vector<Case> cases = {
      {"MaxErrors below -1", ThreeChanges(), -2},
      {"a modification without its original", DeltaBuilder().Record(8, 2, "x").Build(), -1},
      {"an unknown status", DeltaBuilder().Record(0x30, 2, "x").Build(), -1},
      {"a field the rows do not have", wrongFields, -1},
      {"not a data packet", std::vector<std::uint8_t>{1, 2, 3}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    applied = Apply(c.delta, c.maxErrors);
    EXPECT_EQ(applied.result.hr, com::DISP_E_EXCEPTION);
    EXPECT_FALSE(applied.result.excepInfo.description.empty());
  }
  EXPECT_EQ(table_->Rows(), before);
  EXPECT_TRUE(table_->Statements().empty());
  // The module still serves the client.
  EXPECT_EQ(Apply(ThreeChanges(), -1).result.hr, com::S_OK);
}

}  // namespace
}  // namespace quor::testing
