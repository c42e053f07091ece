// Statements through the real FreeTDS driver and the stand-in: texts as lines,
// parameters from markers, the missing-result-set error, server errors, and the
// faults of the link: command timeouts, dropped connections, a vanished server.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include "Connection.h"
#include "SqlError.h"
#include "StandIn.h"
#include "Statement.h"

namespace quor::sql {
namespace {

namespace t = quor::test;
using testing::Col;
using testing::Rows;

t::Reply OneRow(const char* column, t::Value value) {
  t::Reply reply;
  reply.resultSets.push_back(Rows({Col(column, t::SqlType::Int)}, {{std::move(value)}}));
  return reply;
}

std::vector<t::Request> OfKind(const std::vector<t::Request>& requests, t::RequestKind kind) {
  std::vector<t::Request> found;
  for (const t::Request& request : requests) {
    if (request.kind == kind) found.push_back(request);
  }
  return found;
}

class StatementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = testing::MakeStandIn();
    server_->AddDatabase("QuorData02");
    connection_ =
        std::make_unique<Connection>(testing::SettingsFor(*server_, testing::kAccountSet));
    statement_ = std::make_unique<Statement>(*connection_, "QryExecSQL");
  }

  std::unique_ptr<t::SqlServerStandIn> server_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Statement> statement_;
};

TEST_F(StatementTest, TheTextIsKeptAsLinesAndReachesTheServerAsItStands) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
    const char* sent;
  };
  const Case cases[] = {
      {"select ID, Name\r\nfrom Goods\nwhere Kind = 'a:b'",
       {"select ID, Name", "from Goods", "where Kind = 'a:b'"},
       "select ID, Name\r\nfrom Goods\r\nwhere Kind = 'a:b'"},
      {"select '{fn now()}' as A, {fn ucase('x')} as B",
       {"select '{fn now()}' as A, {fn ucase('x')} as B"},
       "select '{fn now()}' as A, {fn ucase('x')} as B"},
      {"select N'中文' as 名称 -- note\r\n",
       {"select N'中文' as 名称 -- note"},
       "select N'中文' as 名称 -- note"},
  };
  for (const Case& c : cases) {
    server_->OnStatement(c.sent, OneRow("A", 1));
    statement_->SetText(c.text);
    EXPECT_EQ(statement_->Lines(), c.lines) << c.text;
    EXPECT_EQ(statement_->Text(), c.sent) << c.text;
    server_->ClearRequests();
    EXPECT_NO_THROW(statement_->Open()) << c.text;
    const std::vector<t::Request> batches = OfKind(server_->Requests(), t::RequestKind::Batch);
    ASSERT_EQ(batches.size(), 1u) << c.text;
    EXPECT_EQ(batches[0].text, c.sent);
  }
}

TEST_F(StatementTest, MarkersBecomeParametersThatTravelWithTheStatement) {
  std::vector<t::StatementCall> calls;
  server_->OnStatementMatching(std::regex("select .* from Goods where .*"),
                               [&](const t::StatementCall& call) {
                                 calls.push_back(call);
                                 return OneRow("N", 1);
                               });
  statement_->SetText("select * from Goods where ID = :ID and Name = :Name or Code = :id");
  ASSERT_EQ(statement_->Params().Count(), 2u);
  EXPECT_EQ(statement_->Params()[0].Name(), "ID");
  EXPECT_EQ(statement_->Params()[1].Name(), "Name");
  statement_->Params().ByName("id").SetValue(Value::Integer(5));
  statement_->Params().ByName("NAME").SetValue(Value::Text("甲"));
  statement_->Open();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].text, "select * from Goods where ID = @P1 and Name = @P2 or Code = @P3");
  ASSERT_EQ(calls[0].params.size(), 3u);
  EXPECT_EQ(calls[0].params[0].value, t::Value(5));
  EXPECT_EQ(calls[0].params[1].value, t::Value("甲"));
  EXPECT_EQ(calls[0].params[2].value, t::Value(5));

  // A marker left unassigned goes as NULL.
  statement_->SetText("select * from Goods where Kind = ?");
  statement_->Open();
  ASSERT_EQ(calls.size(), 2u);
  ASSERT_EQ(calls[1].params.size(), 1u);
  EXPECT_TRUE(calls[1].params[0].value.IsNull());
}

TEST_F(StatementTest, OpeningAStatementWithoutRowsRaisesTheNoResultSetErrorAfterRunningIt) {
  t::Reply update;
  update.rowsAffected = 3;
  server_->OnStatement("update Goods set Price = 1", update);
  statement_->SetText("update Goods set Price = 1");
  try {
    statement_->Open();
    FAIL() << "an update opened";
  } catch (const NoResultSetError& error) {
    EXPECT_EQ(std::string(error.what()), "QryExecSQL: 执行SQL出错不能返回正确的数据集！");
    EXPECT_EQ(error.ComponentName(), "QryExecSQL");
  }
  EXPECT_FALSE(statement_->Active());
  EXPECT_EQ(OfKind(server_->Requests(), t::RequestKind::Batch).size(), 1u);
  EXPECT_EQ(statement_->Execute(), 3);
}

TEST_F(StatementTest, ExecuteReportsRowsAffectedAndSkipsRows) {
  struct Case {
    const char* text;
    t::Reply reply;
    long long affected;
  };
  t::Reply counted;
  counted.rowsAffected = 7;
  t::Reply none;
  Case cases[] = {
      {"delete from Log", counted, 7},
      {"set nocount on", none, -1},
      {"select 1", OneRow("N", 1), -1},
  };
  for (Case& c : cases) {
    server_->OnStatement(c.text, c.reply);
    statement_->SetText(c.text);
    EXPECT_EQ(statement_->Execute(), c.affected) << c.text;
  }
}

TEST_F(StatementTest, ServerErrorsArriveWithTheirOwnTextAndNumber) {
  struct Case {
    const char* text;
    t::ServerError error;
    std::optional<std::size_t> afterRows;
  };
  const Case cases[] = {
      {"select * from Nope", {208, 1, 16, "Invalid object name 'Nope'."}, std::nullopt},
      {"select bad", {207, 1, 16, "列名 'bad' 无效。"}, std::nullopt},
      {"select * from Half", {8115, 2, 16, "Arithmetic overflow error."}, 2},
  };
  for (const Case& c : cases) {
    t::Reply reply;
    if (c.afterRows) {
      reply = OneRow("N", 1);
      reply.resultSets[0].rows.resize(5, {1});
    }
    reply.error = c.error;
    reply.errorAfterRows = c.afterRows;
    server_->OnStatement(c.text, reply);
    statement_->SetText(c.text);
    try {
      statement_->Open();
      FAIL() << c.text << " opened";
    } catch (const NoResultSetError&) {
      FAIL() << c.text << ": the error was lost";
    } catch (const SqlError& error) {
      EXPECT_EQ(std::string(error.what()), c.error.message) << c.text;
      EXPECT_EQ(error.NativeError(), c.error.number) << c.text;
    }
    EXPECT_FALSE(statement_->Active()) << c.text;
  }
  server_->OnStatement("select 2", OneRow("N", 2));
  statement_->SetText("select 2");
  EXPECT_EQ(statement_->Open().FieldByName("N").AsInteger(), 2);
}

TEST_F(StatementTest, ACommandTimeoutEndsTheCallAndLeavesTheConnectionUsable) {
  t::Reply slow = OneRow("N", 1);
  slow.delay = std::chrono::seconds(4);
  server_->OnStatement("waitfor delay '00:00:04'", slow);
  server_->OnStatement("select 2", OneRow("N", 2));
  statement_->SetCommandTimeout(1);
  statement_->SetText("waitfor delay '00:00:04'");
  try {
    statement_->Open();
    FAIL() << "the slow statement was not timed out";
  } catch (const SqlError& error) {
    EXPECT_TRUE(error.IsTimeout()) << error.SqlState() << " " << error.what();
    EXPECT_FALSE(error.IsConnectionLost()) << error.what();
  }
  EXPECT_TRUE(connection_->Connected());
  statement_->SetText("select 2");
  EXPECT_EQ(statement_->Open().FieldByName("N").AsInteger(), 2);
  const std::vector<t::Request> requests = server_->Requests();
  EXPECT_EQ(OfKind(requests, t::RequestKind::Login).size(), 1u);
  EXPECT_EQ(OfKind(requests, t::RequestKind::Attention).size(), 1u);
}

TEST_F(StatementTest, ADroppedConnectionFailsThatCallAndTheNextOneReconnectsToTheSameDatabase) {
  connection_->ChangeDatabase("QuorData02");
  t::Reply drop;
  drop.dropConnection = true;
  server_->OnStatement("select dropped", drop);
  std::vector<std::string> databases;
  server_->OnStatement("select 3", [&](const t::StatementCall& call) {
    databases.push_back(call.database);
    return OneRow("N", 3);
  });
  statement_->SetText("select dropped");
  try {
    statement_->Open();
    FAIL() << "the dropped call succeeded";
  } catch (const SqlError& error) {
    EXPECT_TRUE(error.IsConnectionLost()) << error.SqlState() << " " << error.what();
  }
  EXPECT_FALSE(connection_->Connected());
  statement_->SetText("select 3");
  EXPECT_EQ(statement_->Open().FieldByName("N").AsInteger(), 3);
  EXPECT_TRUE(connection_->Connected());
  EXPECT_EQ(connection_->CurrentDatabase(), "QuorData02");
  ASSERT_EQ(databases.size(), 1u);
  EXPECT_EQ(databases[0], "QuorData02");
}

TEST_F(StatementTest, ConnectionsClosedByTheServerBetweenCallsAreNoticedAndReopened) {
  server_->OnStatement("select 4", OneRow("N", 4));
  statement_->SetText("select 4");
  statement_->Open();
  statement_->Close();
  server_->DropConnections();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_THROW(statement_->Open(), SqlError);
  EXPECT_FALSE(connection_->Connected());
  EXPECT_EQ(statement_->Open().FieldByName("N").AsInteger(), 4);
}

TEST_F(StatementTest, AServerThatHasGoneAwayFailsEveryCallCleanly) {
  server_->OnStatement("select 5", OneRow("N", 5));
  statement_->SetText("select 5");
  statement_->Open();
  statement_->Close();
  server_.reset();
  EXPECT_THROW(statement_->Open(), SqlError);
  EXPECT_FALSE(connection_->Connected());
  try {
    statement_->Open();
    FAIL() << "opened against no server";
  } catch (const SqlError& error) {
    EXPECT_EQ(error.SqlState().substr(0, 2), "08") << error.SqlState() << " " << error.what();
  }
  EXPECT_FALSE(statement_->Active());
}

TEST_F(StatementTest, InformationalMessagesDoNotFailTheCall) {
  t::Reply reply = OneRow("N", 6);
  reply.messages.push_back(t::ServerError{0, 1, 0, "提示信息"});
  server_->OnStatement("print 'x'; select 6", reply);
  statement_->SetText("print 'x'; select 6");
  EXPECT_EQ(statement_->Open().FieldByName("N").AsInteger(), 6);
}

}  // namespace
}  // namespace quor::sql
