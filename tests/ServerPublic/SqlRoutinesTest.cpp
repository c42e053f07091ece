// The shared SQL routines against the SQL Server stand-in through the real driver.
#include "ServerPublic/SqlRoutines.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConnectionRecipe.h"
#include "ServerPublic/PasswordScrambler.h"
#include "ServerPublic/ServerGlobals.h"
#include "platform/registry/Registry.h"
#include "platform/sql/Connection.h"
#include "platform/sql/SqlError.h"
#include "platform/ui/ScriptedMessageBoxes.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor {
namespace {

using test::Reply;
using test::RequestKind;
using test::SqlServerStandIn;
using test::SqlType;

// One stand-in with an "sa" login and a fresh configuration file per test.
class SqlRoutinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    ResetConfigCacheForTests();
    SetPrivateEngineMode(false);
    server_.AddLogin("sa", "secret");
  }
  void TearDown() override {
    SetPrivateEngineMode(false);
    SetReturnValueName("@RETURN_VALUE");
    SetConfigFilePath({});
    ResetConfigCacheForTests();
  }

  std::string Server() const { return "127.0.0.1," + std::to_string(server_.Port()); }

  std::unique_ptr<sql::Connection> Connect() {
    auto connection = std::make_unique<sql::Connection>(
        ConnectionRecipe(SqlLogin{Server(), false, "sa", "secret"}, "master", 5));
    connection->Open();
    return connection;
  }

  // The batches the stand-in received, in order.
  std::vector<std::string> Batches() const {
    std::vector<std::string> texts;
    for (const auto& request : server_.Requests()) {
      if (request.kind == RequestKind::Batch) texts.push_back(request.text);
    }
    return texts;
  }

  static test::ResultSet OneText(const std::string& column, const std::string& value) {
    return test::ResultSet{{{column, SqlType::NVarChar, 128}}, {{value}}};
  }

  testing::TempFolder folder_;
  SqlServerStandIn server_;
};

TEST(SpPasswordStatementTest, BuildsTheThreeFormsAndDoublesQuotes) {
  struct Case {
    const char* name;
    std::string oldPassword, newPassword, user, expected;
  };
  const std::vector<Case> cases = {
      {"empty to set", "", "abc", "sa", "EXEC sp_password Null,'abc','sa'"},
      {"set to set", "old", "new", "sa", "EXEC sp_password 'old','new','sa'"},
      {"set to empty", "old", "", "sa", "EXEC sp_password 'old',Null,'sa'"},
      {"quote in new", "", "a'b", "sa", "EXEC sp_password Null,'a''b','sa'"},
      {"quote in user", "x", "y", "o'neil", "EXEC sp_password 'x','y','o''neil'"},
      {"Chinese text", "旧", "新密码", "管理员", "EXEC sp_password '旧','新密码','管理员'"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SpPasswordStatement(c.user, c.oldPassword, c.newPassword), c.expected) << c.name;
  }
}

TEST_F(SqlRoutinesTest, TestSqlLoginOpensOnlyWithTheRightPassword) {
  EXPECT_TRUE(TestSqlLogin(0, Server(), "sa", "secret"));
  EXPECT_FALSE(TestSqlLogin(0, Server(), "sa", "wrong"));
  EXPECT_FALSE(TestSqlLogin(0, Server(), "nobody", "secret"));
  // Nothing listens on port 1 of loopback: refused at once, never a hang.
  EXPECT_FALSE(TestSqlLogin(0, "127.0.0.1,1", "sa", "secret"));
}

TEST_F(SqlRoutinesTest, ChangeSqlPasswordSendsTheFormForTheOldAndNewPassword) {
  server_.AddLogin("blank", "");
  server_.OnStatementMatching(std::regex("EXEC sp_password .*"), Reply{});

  EXPECT_TRUE(ChangeSqlPassword(Server(), "blank", "", "abc"));
  EXPECT_TRUE(ChangeSqlPassword(Server(), "sa", "secret", "new"));
  EXPECT_TRUE(ChangeSqlPassword(Server(), "sa", "secret", ""));
  EXPECT_FALSE(ChangeSqlPassword(Server(), "sa", "wrong", "new"));

  EXPECT_EQ(Batches(), (std::vector<std::string>{"EXEC sp_password Null,'abc','blank'",
                                                 "EXEC sp_password 'secret','new','sa'",
                                                 "EXEC sp_password 'secret',Null,'sa'"}));
}

TEST_F(SqlRoutinesTest, ChangeSqlPasswordReportsAServerRefusalAsFalse) {
  Reply refusal;
  refusal.error = test::ServerError{15151, 1, 16, "Cannot alter the login 'sa'."};
  server_.OnStatementMatching(std::regex("EXEC sp_password .*"), refusal);
  EXPECT_FALSE(ChangeSqlPassword(Server(), "sa", "secret", "new"));
}

TEST_F(SqlRoutinesTest, ExecSqlTextResults) {
  Reply rows;
  rows.resultSets.push_back(test::ResultSet{{{"n", SqlType::Int}}, {{1}, {2}}});
  server_.OnStatement("select n from t", rows);
  Reply update;
  update.rowsAffected = 3;
  server_.OnStatement("update t set n = 1", update);

  auto connection = Connect();
  sql::Statement statement(*connection, "QryExecSQL");

  EXPECT_EQ(ExecSqlText(statement, "select n from t", true), kExecSqlDone);
  ASSERT_TRUE(statement.Active());
  EXPECT_EQ(statement.Records().RecordCount(), 2u);

  // An UPDATE opened for rows ran, and leaves nothing to fetch.
  EXPECT_EQ(ExecSqlText(statement, "update t set n = 1", true), kExecSqlNoRows);
  EXPECT_FALSE(statement.Active());
  EXPECT_EQ(ExecSqlText(statement, "update t set n = 1", false), kExecSqlDone);
  EXPECT_EQ(ExecSqlText(statement, "", false), kExecSqlFailed);

  EXPECT_EQ(Batches(), (std::vector<std::string>{"select n from t", "update t set n = 1",
                                                 "update t set n = 1"}));
}

TEST_F(SqlRoutinesTest, ExecSqlTextPassesServerErrorsOnUnprefixed) {
  Reply failure;
  failure.error = test::ServerError{208, 1, 16, "Invalid object name 'nowhere'."};
  server_.OnStatement("select * from nowhere", failure);
  auto connection = Connect();
  sql::Statement statement(*connection, "QryExecSQL");
  try {
    ExecSqlText(statement, "select * from nowhere", true);
    FAIL() << "the error was swallowed";
  } catch (const sql::SqlError& error) {
    EXPECT_STREQ(error.what(), "Invalid object name 'nowhere'.");
    EXPECT_EQ(error.NativeError(), 208);
  }
}

TEST_F(SqlRoutinesTest, ExecSqlTextSendsAMultiLineTextAsOneBatch) {
  server_.OnStatement("update a set x = 1\r\nupdate b set y = 2", Reply{});
  auto connection = Connect();
  sql::Statement statement(*connection, "QryExecSQL");
  EXPECT_EQ(ExecSqlText(statement, "update a set x = 1\nupdate b set y = 2", false), kExecSqlDone);
  EXPECT_EQ(statement.Lines().size(), 2u);
}

TEST_F(SqlRoutinesTest, ProbeReturnValueNameFollowsTheMajorVersion) {
  struct Case {
    std::string version, expected;
  };
  const std::vector<Case> cases = {
      {"6.50.201", "RETURN_VALUE"},     {"7.00.623", "RETURN_VALUE"},
      {"8.00.2039", "@RETURN_VALUE"},   {"10.50.1600.1", "@RETURN_VALUE"},
      {"15.0.2000.5", "@RETURN_VALUE"},
  };
  auto connection = Connect();
  sql::Statement statement(*connection, "QryExecSQL");
  for (const auto& c : cases) {
    Reply reply;
    reply.resultSets.push_back(test::ResultSet{{{"Index", SqlType::Int},
                                                {"Name", SqlType::NVarChar, 128},
                                                {"Internal_Value", SqlType::Int},
                                                {"Character_Value", SqlType::NVarChar, 256}},
                                               {{2, "ProductVersion", 655360, c.version}}});
    server_.OnStatement("master.dbo.xp_msver ProductVersion", reply);
    SetReturnValueName(c.expected == "RETURN_VALUE" ? "@RETURN_VALUE" : "RETURN_VALUE");
    ProbeReturnValueName(statement);
    EXPECT_EQ(ReturnValueName(), c.expected) << c.version;
    EXPECT_FALSE(statement.Active()) << c.version;
  }
}

TEST_F(SqlRoutinesTest, ProbeReturnValueNameKeepsTheNameWhenThereAreNoRows) {
  server_.OnStatement("master.dbo.xp_msver ProductVersion", Reply{});
  auto connection = Connect();
  sql::Statement statement(*connection, "QryExecSQL");
  SetReturnValueName("RETURN_VALUE");
  ProbeReturnValueName(statement);
  EXPECT_EQ(ReturnValueName(), "RETURN_VALUE");
}

TEST_F(SqlRoutinesTest, EditionVersionAndDesktopEngine) {
  auto connection = Connect();
  sql::Statement statement(*connection, "QryExecSQL");
  const std::string editionQuery = "Select Serverproperty('Edition') As SQLEdition";
  const std::string versionQuery = "Select Serverproperty('ProductVersion') As ProductVersion";

  // Without result sets both read as empty.
  server_.OnStatement(editionQuery, Reply{});
  server_.OnStatement(versionQuery, Reply{});
  EXPECT_EQ(ServerEdition(statement), "");
  EXPECT_EQ(ServerProductVersion(statement), "");

  Reply edition;
  edition.resultSets.push_back(OneText("SQLEdition", "Desktop Engine "));
  server_.OnStatement(editionQuery, edition);
  Reply version;
  version.resultSets.push_back(OneText("ProductVersion", "10.50.1600.1"));
  server_.OnStatement(versionQuery, version);
  EXPECT_EQ(ServerEdition(statement), "Desktop Engine ");
  EXPECT_EQ(ServerProductVersion(statement), "10.50");
  EXPECT_TRUE(IsDesktopEngine(statement));

  edition.resultSets[0] = OneText("SQLEdition", "Express Edition");
  server_.OnStatement(editionQuery, edition);
  EXPECT_FALSE(IsDesktopEngine(statement));
  SetPrivateEngineMode(true);
  EXPECT_TRUE(IsDesktopEngine(statement));
}

TEST_F(SqlRoutinesTest, ConfiguredLoginReadsTheSettingsAndDecodesThePassword) {
  WriteConfig("SQLUSERMODE", "1");
  WriteConfig("USERNAME", "admin");
  WriteConfig("PASSWORD", "");
  SqlLogin withMode = ConfiguredLogin("127.0.0.1", true);
  EXPECT_EQ(withMode.server, "127.0.0.1");
  EXPECT_TRUE(withMode.integratedSecurity);
  EXPECT_EQ(withMode.user, "admin");
  EXPECT_FALSE(ConfiguredLogin("127.0.0.1", false).integratedSecurity);

  // A first reader's default fixes a missing SERVERNAME for later readers.
  EXPECT_EQ(ConfiguredLogin("(LOCAL)", false).server, "127.0.0.1");

  WriteConfig("SQLUSERMODE", "x");
  EXPECT_FALSE(ConfiguredLogin("127.0.0.1", true).integratedSecurity);
}

TEST_F(SqlRoutinesTest, ConfiguredConnectionReachesTheStandIn) {
  WriteConfig("SERVERNAME", Server());
  WriteConfig("USERNAME", "sa");
  WriteConfig("PASSWORD", EncodePassword("secret"));
  sql::Connection connection(ConnectionRecipe(ConfiguredLogin("127.0.0.1", true), "master", 10));
  EXPECT_NO_THROW(connection.Open());

  WriteConfig("PASSWORD", EncodePassword("wrong"));
  sql::Connection refused(ConnectionRecipe(ConfiguredLogin("127.0.0.1", true), "master", 10));
  EXPECT_THROW(refused.Open(), sql::SqlError);
}

// A fake program placed first on PATH for one test.
class FakeProgram {
 public:
  FakeProgram(const std::filesystem::path& folder, const std::string& name,
              const std::string& script)
      : oldPath_(getenv("PATH") ? getenv("PATH") : "") {
    const auto file = folder / name;
    testing::WriteText(file, "#!/bin/sh\n" + script + "\n");
    chmod(file.c_str(), 0755);
    setenv("PATH", (folder.string() + ":" + oldPath_).c_str(), 1);
  }
  ~FakeProgram() { setenv("PATH", oldPath_.c_str(), 1); }

 private:
  std::string oldPath_;
};

TEST_F(SqlRoutinesTest, SqlServerInstalledAsksSystemdForTheServerUnits) {
  struct Case {
    const char* name;
    std::string script;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"no unit", "printf 'LoadState=not-found\\nActiveState=inactive\\nMainPID=0\\n'", false},
      {"mssql-server running",
       "case \"$*\" in *mssql-server*) printf 'LoadState=loaded\\nActiveState=active\\n"
       "MainPID=42\\n';; *) printf 'LoadState=not-found\\nActiveState=inactive\\nMainPID=0\\n';;"
       " esac",
       true},
      {"MSSQLSERVER stopped",
       "case \"$*\" in *MSSQLSERVER*) printf 'LoadState=loaded\\nActiveState=inactive\\n"
       "MainPID=0\\n';; *) printf 'LoadState=not-found\\nActiveState=inactive\\nMainPID=0\\n';;"
       " esac",
       true},
      {"systemctl failing", "exit 1", false},
  };
  for (const auto& c : cases) {
    testing::TempFolder bin;
    FakeProgram systemctl(bin.Path(), "systemctl", c.script);
    EXPECT_EQ(SqlServerInstalled(), c.expected) << c.name;
  }
}

TEST_F(SqlRoutinesTest, SqlProgramPathPrefersThePrivateEngineThenTheRegistry) {
  const auto registryFile = folder_.Path() / "registry.reg";
  setenv("QUOR_REGISTRY_FILE", registryFile.c_str(), 1);

  WriteConfig("SQLProgramPath", "/srv/mssql/");
  EXPECT_EQ(SqlProgramPath(), "/srv/mssql/");

  registry::Registry registry(registryFile);
  registry.WriteString(
      "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Microsoft SQL Server\\MSSQLServer\\Setup",
      "SQLPath", "/opt/sql/");
  EXPECT_EQ(SqlProgramPath(), "/opt/sql/");

  SetPrivateEngineMode(true);
  EXPECT_EQ(SqlProgramPath(), "/var/opt/mssql/");
  WriteConfig("PrivateEnginePath", "/srv/engine/");
  EXPECT_EQ(SqlProgramPath(), "/srv/engine/");
  unsetenv("QUOR_REGISTRY_FILE");
}

TEST_F(SqlRoutinesTest, RunDocumentReportsAFailedOpener) {
  auto boxes = std::make_shared<ui::ScriptedMessageBoxes>();
  ui::SetMessageBoxes(boxes);
  testing::TempFolder bin;
  {
    FakeProgram opener(bin.Path(), "xdg-open", "[ \"$1\" = /srv/ok.txt ]");
    EXPECT_TRUE(RunDocument("/srv/ok.txt"));
    EXPECT_TRUE(boxes->Shown().empty());
    EXPECT_FALSE(RunDocument("/srv/missing.txt"));
  }
  ui::SetMessageBoxes(nullptr);
  const auto shown = boxes->Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "执行文件出错，系统资源不够或Windows安装不全。");
  EXPECT_EQ(shown[0].caption, "错误");
  EXPECT_EQ(shown[0].icon, ui::MessageIcon::Error);
}

}  // namespace
}  // namespace quor
