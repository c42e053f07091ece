// The database repair dialog against the SQL Server stand-in through the real
// driver: what it lists, the statements it sends on each path, and that the
// database goes back to multi-user mode whatever happens.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/PasswordScrambler.h"
#include "ServerPublic/ServerGlobals.h"
#include "console/ConsoleDataBases.h"
#include "console/RepairDialog.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::console {
namespace {

using test::Reply;
using test::RequestKind;
using test::SqlType;
using ui::MessageAnswer;

// What a server with a case-sensitive collation returns: its own databases
// pass the query's test in other letter cases.
Reply AllDataBases() {
  Reply reply;
  reply.resultSets.push_back({{{"name", SqlType::NVarChar, 128},
                               {"dbid", SqlType::SmallInt},
                               {"sid", SqlType::VarBinary, 85}},
                              {{"master", 1, test::Bytes{1}},
                               {"tempdb", 2, test::Bytes{1}},
                               {"model", 3, test::Bytes{1}},
                               {"msdb", 4, test::Bytes{1}},
                               {"Shop01", 7, test::Bytes{1}},
                               {"Odd]Name", 8, test::Bytes{1}}}});
  return reply;
}

Reply Failure(int number, const std::string& message) {
  Reply reply;
  reply.error = test::ServerError{number, 1, 16, message};
  return reply;
}

class RepairDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    std::ofstream(folder_.Path() / "QuorServerBZ.dat")
        << "[ServerConfig]\r\nSERVERNAME=127.0.0.1," << server_.Port()
        << "\r\nUSERNAME=sa\r\nPASSWORD=" << EncodePassword("secret") << "\r\n";
    ResetConfigCacheForTests();
    server_.AddLogin("sa", "secret");
    server_.OnStatement(kDataBaseListQuery, AllDataBases());
    server_.OnStatementMatching(
        std::regex("select name,spid from master\\.dbo\\.sysdatabases .* and name=@P1"),
        [](const test::StatementCall& call) {
          Reply reply;
          reply.resultSets.push_back(
              {{{"name", SqlType::NVarChar, 128}, {"spid", SqlType::SmallInt}}, {}});
          if (!call.params.empty() && call.params[0].value == test::Value("Shop01")) {
            reply.resultSets[0].rows = {{"Shop01", 52}, {"Shop01", 53}};
          }
          return reply;
        });
    server_.OnStatement("Kill 52", Reply{});
    server_.OnStatement("Kill 53", Failure(6106, "Process ID 53 is not an active process ID."));
    server_.OnStatement("use master", Reply{});
    server_.OnStatementMatching(std::regex("(AlTER|ALTER) DATABASE .*"), Reply{});
    server_.OnStatementMatching(std::regex("dbcc checkdb\\(.*\\)"), Reply{});
  }
  void TearDown() override {
    SetConfigFilePath({});
    ResetConfigCacheForTests();
  }

  // The repair's own statements, in the order the server saw them.
  std::vector<std::string> RepairStatements() const {
    std::vector<std::string> texts;
    for (const test::Request& request : server_.Requests()) {
      if (request.kind != RequestKind::Batch && request.kind != RequestKind::Rpc) continue;
      static const std::regex repair("(Kill|use|AlTER|ALTER|dbcc|select name,spid) .*");
      if (std::regex_match(request.text, repair)) texts.push_back(request.text);
    }
    return texts;
  }

  ::quor::testing::TempFolder folder_;
  test::SqlServerStandIn server_;
  testing::ScriptedBoxes boxes_;
};

TEST_F(RepairDialogTest, ListsTheAccountSetsWithoutTheServersOwnDataBases) {
  TfrmSQLCheckRehab dialog;
  EXPECT_EQ(dialog.windowTitle().toStdString(), "修复SQLServer数据库错误");
  EXPECT_EQ(dialog.DataBases(), (std::vector<std::string>{"Shop01", "Odd]Name"}));
  EXPECT_TRUE(dialog.findChild<QPushButton*>("btnRepair")->isDefault());
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(RepairDialogTest, EachAnswerToTheDataLossQuestionSendsItsStatements) {
  const std::string sessions =
      "select name,spid from master.dbo.sysdatabases a,master.dbo.sysprocesses b where "
      "a.dbid=b.dbid and name=@P1";
  struct Case {
    const char* name;
    MessageAnswer answer;
    std::vector<std::string> statements;
    bool succeeded;
  };
  const Case cases[] = {
      {"data loss allowed",
       MessageAnswer::Yes,
       {sessions, "Kill 52", "Kill 53", "use master", "AlTER DATABASE [Shop01] SET SINGLE_USER",
        "dbcc checkdb([Shop01],REPAIR_ALLOW_DATA_LOSS)", "dbcc checkdb([Shop01],REPAIR_REBUILD)",
        "ALTER DATABASE [Shop01] SET MULTI_USER"},
       true},
      {"rebuild only",
       MessageAnswer::No,
       {sessions, "Kill 52", "Kill 53", "use master", "AlTER DATABASE [Shop01] SET SINGLE_USER",
        "dbcc checkdb([Shop01],REPAIR_REBUILD)", "ALTER DATABASE [Shop01] SET MULTI_USER"},
       true},
      {"no repair", MessageAnswer::Cancel, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScriptedBoxes boxes;
    TfrmSQLCheckRehab dialog;
    dialog.show();
    dialog.SelectDataBase("Shop01");
    server_.ClearRequests();
    boxes->QueueAnswer(c.answer);
    dialog.findChild<QPushButton*>("btnRepair")->click();
    EXPECT_EQ(RepairStatements(), c.statements);
    std::vector<std::string> shown;
    for (const ui::ShownMessage& message : boxes->Shown()) shown.push_back(message.text);
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(boxes->Shown()[0].question);
    EXPECT_NE(shown[0].find("REPAIR_ALLOW_DATA_LOSS"), std::string::npos);
    if (c.succeeded) {
      // The failing Kill is shown and the loop went on; then the closing message.
      ASSERT_EQ(shown.size(), 3u);
      EXPECT_NE(shown[1].find("Process ID 53 is not an active process ID."), std::string::npos);
      EXPECT_EQ(shown[2], kRepairSucceeded);
      EXPECT_EQ(boxes->Shown()[2].icon, ui::MessageIcon::Warning);
    } else {
      EXPECT_EQ(shown.size(), 1u);
    }
    EXPECT_TRUE(dialog.isVisible()) << "the dialog stays for another repair";
  }
}

TEST_F(RepairDialogTest, AFailingRepairIsReportedAndTheDataBaseGoesBackToMultiUser) {
  server_.OnStatement(
      "dbcc checkdb([Shop01],REPAIR_ALLOW_DATA_LOSS)",
      Failure(7919, "Repair statement not processed. Database needs to be in single user mode."));
  TfrmSQLCheckRehab dialog;
  dialog.SelectDataBase("Shop01");
  server_.ClearRequests();
  boxes_->QueueAnswer(MessageAnswer::Yes);
  EXPECT_FALSE(dialog.Repair());
  const std::vector<std::string> statements = RepairStatements();
  ASSERT_FALSE(statements.empty());
  EXPECT_EQ(statements.back(), "ALTER DATABASE [Shop01] SET MULTI_USER");
  EXPECT_EQ(
      std::count(statements.begin(), statements.end(), "dbcc checkdb([Shop01],REPAIR_REBUILD)"), 0);
  const std::string last = boxes_->Shown().back().text;
  EXPECT_NE(last.find("失败"), std::string::npos) << last;
  EXPECT_NE(last.find("Database needs to be in single user mode."), std::string::npos) << last;
  EXPECT_NE(last.find("多用户模式"), std::string::npos) << last;
  for (const ui::ShownMessage& message : boxes_->Shown()) {
    EXPECT_NE(message.text, kRepairSucceeded) << "no success after a failure";
  }

  // Single-user mode refused: the multi-user statement is still sent.
  server_.OnStatement(
      "AlTER DATABASE [Shop01] SET SINGLE_USER",
      Failure(5064,
              "Changes to the state or options of database 'Shop01' cannot be made at this time."));
  server_.ClearRequests();
  boxes_->QueueAnswer(MessageAnswer::No);
  EXPECT_FALSE(dialog.Repair());
  EXPECT_EQ(RepairStatements().back(), "ALTER DATABASE [Shop01] SET MULTI_USER");

  // Multi-user mode refused too: the message says what to run by hand.
  server_.OnStatement("ALTER DATABASE [Shop01] SET MULTI_USER",
                      Failure(5070, "Database state cannot be changed."));
  boxes_->QueueAnswer(MessageAnswer::No);
  EXPECT_FALSE(dialog.Repair());
  const std::string both = boxes_->Shown().back().text;
  EXPECT_NE(both.find("Database state cannot be changed."), std::string::npos) << both;
  EXPECT_NE(both.find("ALTER DATABASE [Shop01] SET MULTI_USER"), std::string::npos) << both;
}

TEST_F(RepairDialogTest, ANameWithABracketIsQuotedAndPassedAsAValue) {
  TfrmSQLCheckRehab dialog;
  dialog.SelectDataBase("Odd]Name");
  server_.ClearRequests();
  boxes_->QueueAnswer(MessageAnswer::No);
  EXPECT_TRUE(dialog.Repair());
  const std::vector<std::string> statements = RepairStatements();
  EXPECT_EQ(statements,
            (std::vector<std::string>{
                "select name,spid from master.dbo.sysdatabases a,master.dbo.sysprocesses "
                "b where a.dbid=b.dbid and name=@P1",
                "use master", "AlTER DATABASE [Odd]]Name] SET SINGLE_USER",
                "dbcc checkdb([Odd]]Name],REPAIR_REBUILD)",
                "ALTER DATABASE [Odd]]Name] SET MULTI_USER"}));
}

TEST_F(RepairDialogTest, NothingSelectedOrNoServerRepairsNothing) {
  {
    TfrmSQLCheckRehab dialog;
    dialog.SelectDataBase("not there");
    server_.ClearRequests();
    EXPECT_FALSE(dialog.Repair());
    EXPECT_TRUE(RepairStatements().empty());
    EXPECT_EQ(boxes_->Shown().back().text, "请选择需要修复的账套！");
  }
  std::ofstream(folder_.Path() / "QuorServerBZ.dat")
      << "[ServerConfig]\r\nSERVERNAME=127.0.0.1," << server_.Port()
      << "\r\nUSERNAME=sa\r\nPASSWORD=" << EncodePassword("wrong") << "\r\n";
  ResetConfigCacheForTests();
  testing::ScriptedBoxes boxes;
  TfrmSQLCheckRehab dialog;
  EXPECT_TRUE(dialog.DataBases().empty());
  ASSERT_EQ(boxes->Shown().size(), 1u);
  EXPECT_NE(boxes->Shown()[0].text.find("Login failed"), std::string::npos)
      << boxes->Shown()[0].text;
  EXPECT_FALSE(dialog.Repair());
}

}  // namespace
}  // namespace quor::console
