// ConnectDb and ChangeDataBase through late binding against the stand-in: the
// login the configuration (or the -MSDE switch) names, the connection recipe
// the module ends up with, the process-wide trade names and ReturnValueName,
// and binding the module to an account set.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ServerPublic/ConnectionRecipe.h"
#include "SessionFixture.h"
#include "platform/sql/SqlError.h"

namespace quor::testing {
namespace {

using com::Variant;

class ConnectDbTest : public SessionTest {};

TEST_F(ConnectDbTest, ConnectsToMasterWithTheConfiguredLoginAndSetsTheTradeNames) {
  ConfigureLogin();
  ScriptVersion("10.50.1600.1");
  const int commandTimeout = module_->ADOConnection1().Settings().commandTimeoutSeconds;
  server_.ClearRequests();

  int iReturn = 55;
  const CallResult result = ConnectDb(Variant("QX"), iReturn);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(iReturn, 0);
  EXPECT_TRUE(result.value.IsEmpty());

  const std::vector<test::Request> requests = server_.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.front().kind, test::RequestKind::Login);
  EXPECT_EQ(requests.front().user, test::kAccountSetUser);
  EXPECT_EQ(requests.front().database, "master");
  EXPECT_EQ(module_->ADOConnection1().CurrentDatabase(), "master");

  const sql::ConnectionSettings& settings = module_->ADOConnection1().Settings();
  EXPECT_EQ(settings.dataSource, "127.0.0.1," + std::to_string(server_.Port()));
  EXPECT_EQ(settings.initialCatalog, "master");
  EXPECT_FALSE(settings.integratedSecurity);
  EXPECT_EQ(settings.userId, test::kAccountSetUser);
  EXPECT_EQ(settings.password, test::kAccountSetPassword);
  EXPECT_EQ(settings.connectTimeoutSeconds, 10);
  EXPECT_EQ(settings.commandTimeoutSeconds, commandTimeout);

  EXPECT_EQ(Vocation(), "QX");
  EXPECT_EQ(TemplateBaseName(), "DataBaseQX");
  EXPECT_EQ(CatalogTableName(), "ValtoDataBaseQX");
}

TEST_F(ConnectDbTest, AServerThatRefusesOrIsAwayGivesMinusOneAndTheCallSucceeds) {
  struct Case {
    const char* label;
    std::string server;
    std::string user;
    std::string password;
  };
  const std::string standIn = "127.0.0.1," + std::to_string(server_.Port());
  const std::vector<Case> cases = {
      {"wrong password", standIn, test::kAccountSetUser, "wrong"},
      {"empty password", standIn, test::kAccountSetUser, ""},
      {"unknown login", standIn, "nobody", test::kAccountSetPassword},
      // Port 1 is never a SQL Server; the connection is refused at once.
      {"nothing listening", "127.0.0.1,1", test::kAccountSetUser, test::kAccountSetPassword},
  };
  ScriptVersion("7.00.623");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WriteConfig(configkey::kServerName, c.server);
    WriteConfig(configkey::kUserName, c.user);
    WriteConfig(configkey::kPassword, EncodePassword(c.password));
    SetReturnValueName("@RETURN_VALUE");
    server_.ClearRequests();
    int iReturn = 55;
    const CallResult result = ConnectDb(Variant("BZ"), iReturn);
    EXPECT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(iReturn, -1);
    EXPECT_FALSE(module_->ADOConnection1().Connected());
    // Nothing was probed: the name stays as it was.
    EXPECT_EQ(ReturnValueName(), "@RETURN_VALUE");
    EXPECT_EQ(LoginsSeen(), 0u);
  }
}

TEST_F(ConnectDbTest, IntegratedSecurityIsAskedForWhenSqlUserModeIsOne) {
  ConfigureLogin();
  WriteConfig(configkey::kSqlUserMode, "1");
  int iReturn = 55;
  const CallResult result = ConnectDb(Variant("BZ"), iReturn);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  const sql::ConnectionSettings& settings = module_->ADOConnection1().Settings();
  EXPECT_TRUE(settings.integratedSecurity);
  EXPECT_TRUE(settings.userId.empty());
  EXPECT_TRUE(settings.password.empty());
  // No Kerberos ticket here and no SQL login offered: the stand-in logs no one in.
  EXPECT_EQ(iReturn, -1);
  EXPECT_EQ(LoginsSeen(), 0u);
}

TEST_F(ConnectDbTest, ReturnValueNameFollowsTheMajorVersionTheServerReports) {
  struct Case {
    std::optional<std::string> version;  // none: the probe gives no result set
    const char* before;
    const char* after;
  };
  const std::vector<Case> cases = {
      {"6.50.201", "@RETURN_VALUE", "RETURN_VALUE"},
      {"7.00.623", "@RETURN_VALUE", "RETURN_VALUE"},
      {"8.00.2039", "RETURN_VALUE", "@RETURN_VALUE"},
      {"10.50.1600.1", "RETURN_VALUE", "@RETURN_VALUE"},
      {std::nullopt, "RETURN_VALUE", "RETURN_VALUE"},
  };
  ConfigureLogin();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version.value_or("no result set"));
    if (c.version) {
      ScriptVersion(*c.version);
    } else {
      server_.OnStatement("master.dbo.xp_msver ProductVersion", test::Reply{});
    }
    SetReturnValueName(c.before);
    int iReturn = 55;
    const CallResult result = ConnectDb(Variant("BZ"), iReturn);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(iReturn, 0);
    EXPECT_EQ(ReturnValueName(), c.after);
  }
}

TEST_F(ConnectDbTest, AProbeTheServerRejectsFailsTheCallAfterConnecting) {
  ConfigureLogin();
  server_.OnStatement(
      "master.dbo.xp_msver ProductVersion",
      test::Reply{
          .error = test::ServerError{2812, 62, 16, "Could not find stored procedure 'xp_msver'."}});
  int iReturn = 55;
  const CallResult result = ConnectDb(Variant("BZ"), iReturn);
  EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
  EXPECT_EQ(result.excepInfo.scode, com::E_UNEXPECTED);
  EXPECT_NE(result.excepInfo.description.find("xp_msver"), std::string::npos)
      << result.excepInfo.description;
}

TEST_F(ConnectDbTest, ATradeCodeThatCouldCarrySqlOrAPathIsRefusedBeforeAnythingChanges) {
  ConfigureLogin();
  ScriptVersion("10.50.1600.1");
  const std::vector<Variant> codes = {Variant("BZ]; DROP TABLE x --"),
                                      Variant("BZ'"),
                                      Variant(""),
                                      Variant("B Z"),
                                      Variant("../BZ"),
                                      Variant("商贸"),
                                      Variant(std::string(51, 'A')),
                                      Variant::Null()};
  for (const Variant& code : codes) {
    SCOPED_TRACE(code.DebugString());
    server_.ClearRequests();
    int iReturn = 55;
    const CallResult result = ConnectDb(code, iReturn);
    EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
    EXPECT_FALSE(result.excepInfo.description.empty());
    EXPECT_EQ(Vocation(), "BZ");
    EXPECT_EQ(CatalogTableName(), "ValtoDataBaseBZ");
    EXPECT_EQ(TemplateBaseName(), "DataBaseBZ");
    EXPECT_TRUE(server_.Requests().empty());
  }
  // Codes of letters, digits and "_" are taken as they come.
  for (const char* code : {"SC", "bz", "X9_1"}) {
    SCOPED_TRACE(code);
    int iReturn = 55;
    const CallResult result = ConnectDb(Variant(code), iReturn);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(iReturn, 0);
    EXPECT_EQ(CatalogTableName(), std::string("ValtoDataBase") + code);
  }
}

TEST_F(ConnectDbTest, ASecondConnectDbStartsAgainOnMaster) {
  ConfigureLogin();
  ScriptVersion("10.50.1600.1");
  int iReturn = 55;
  ASSERT_EQ(ConnectDb(Variant("BZ"), iReturn).hr, com::S_OK);
  ASSERT_EQ(ChangeDataBase(Variant(test::kAccountSetDatabase), iReturn).hr, com::S_OK);
  ASSERT_EQ(iReturn, 0);
  ASSERT_EQ(module_->ADOConnection1().CurrentDatabase(), test::kAccountSetDatabase);

  const CallResult again = ConnectDb(Variant("FZ"), iReturn);
  ASSERT_EQ(again.hr, com::S_OK) << again.excepInfo.description;
  EXPECT_EQ(iReturn, 0);
  EXPECT_EQ(module_->ADOConnection1().CurrentDatabase(), "master");
  EXPECT_EQ(CatalogTableName(), "ValtoDataBaseFZ");
}

TEST_F(ConnectDbTest, ChangeDataBaseBindsTheModuleOrLeavesItWhereItWas) {
  struct Case {
    const char* label;
    Variant dbName;
    int expected;
    const char* database;  // the current database afterwards
  };
  const std::vector<Case> cases = {
      {"the account set", Variant(test::kAccountSetDatabase), 0, test::kAccountSetDatabase},
      {"back to master", Variant("master"), 0, "master"},
      {"spaces around", Variant("  QuorData01 \t"), 0, test::kAccountSetDatabase},
      {"empty", Variant(""), -1, test::kAccountSetDatabase},
      {"only spaces", Variant("   "), -1, test::kAccountSetDatabase},
      {"no such database", Variant("QuorData99"), -1, test::kAccountSetDatabase},
      {"a name with a bracket", Variant("master]; DROP DATABASE QuorData01 --"), -1,
       test::kAccountSetDatabase},
      {"a name with a quote", Variant("Quor'Data01"), -1, test::kAccountSetDatabase},
  };
  ConfigureLogin();
  ScriptVersion("10.50.1600.1");
  int iReturn = 55;
  ASSERT_EQ(ConnectDb(Variant("BZ"), iReturn).hr, com::S_OK);
  ASSERT_EQ(iReturn, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const CallResult result = ChangeDataBase(c.dbName, iReturn);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(iReturn, c.expected);
    EXPECT_EQ(module_->ADOConnection1().CurrentDatabase(), c.database);
    EXPECT_TRUE(module_->ADOConnection1().Connected());
  }
  // The driver sent the bracketed name as one quoted identifier.
  std::vector<std::string> uses;
  for (const test::Request& request : server_.Requests()) {
    if (request.text.find("DROP DATABASE") != std::string::npos) uses.push_back(request.text);
  }
  EXPECT_EQ(uses, std::vector<std::string>{"USE [master]]; DROP DATABASE QuorData01 --]"});

  // Bound to the account set, the module runs its procedures there.
  OutSlot nRet = Out(Variant::I4(55), com::VT_I4);
  std::vector<Variant> args = {Variant("00001"), Variant("00002"), Variant::I4(1)};
  for (int i = 0; i < 8; ++i) args.push_back(Variant::Null());
  args.push_back(nRet.ref);
  const CallResult log = Call("SystemWorkLog", args);
  ASSERT_EQ(log.hr, com::S_OK) << log.excepInfo.description;
  EXPECT_EQ(accountSet_.LastCall("AAAABAP").database, test::kAccountSetDatabase);
}

// With -MSDE the configuration is ignored: "(LOCAL)\VTSQLSERVER", "sa" and no
// password. The instance name is resolved through the browser on UDP 1434, so
// these tests hold the lock the other SQL suites take for that port.
class ConnectDbMsdeSwitch : public SessionTest {};

TEST_F(ConnectDbMsdeSwitch, LogsInAsSaWithoutPasswordToThePrivateInstance) {
  try {
    server_.StartBrowser(1434, "VTSQLSERVER");
  } catch (const std::runtime_error& error) {
    GTEST_SKIP() << "UDP port 1434 is taken here: " << error.what();
  }
  server_.AddLogin("sa", "");
  ScriptVersion("10.50.1600.1");
  // A configuration that would reach the stand-in too, as another user.
  WriteConfig(configkey::kServerName, "127.0.0.1," + std::to_string(server_.Port()));
  WriteConfig(configkey::kUserName, "configured");
  WriteConfig(configkey::kPassword, EncodePassword("configured"));
  server_.AddLogin("configured", "configured");
  StartupValues values = Startup();
  values.msdeSwitch = true;
  SetStartup(values);
  server_.ClearRequests();

  int iReturn = 55;
  const CallResult result = ConnectDb(Variant("BZ"), iReturn);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(iReturn, 0);
  const sql::ConnectionSettings& settings = module_->ADOConnection1().Settings();
  EXPECT_EQ(settings.dataSource, "(LOCAL)\\VTSQLSERVER");
  EXPECT_EQ(settings.userId, "sa");
  EXPECT_EQ(settings.password, "");
  EXPECT_FALSE(settings.integratedSecurity);
  const std::vector<test::Request> requests = server_.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.front().kind, test::RequestKind::Login);
  EXPECT_EQ(requests.front().user, "sa");
  EXPECT_EQ(requests.front().database, "master");
}

// Without SERVERNAME a client's connection goes to 127.0.0.1 (SQL Server's
// port 1433), whatever the connection dialog's default is. The stand-in takes
// TCP 1433, so this test holds the lock the other SQL suites take for it.
class ConnectDbDefaultServer : public ::testing::Test {};

TEST_F(ConnectDbDefaultServer, AMissingServerNameMeans127001) {
  test::SqlServerStandInOptions options;
  options.port = 1433;
  std::unique_ptr<test::SqlServerStandIn> server;
  try {
    server = std::make_unique<test::SqlServerStandIn>(options);
  } catch (const std::runtime_error& error) {
    GTEST_SKIP() << "port 1433 is taken here: " << error.what();
  }
  server->AddLogin("sa", "");
  test::Reply version;
  version.resultSets.push_back(
      {{{"Character_Value", test::SqlType::NVarChar, 256}}, {{"10.50.1600.1"}}});
  server->OnStatement("master.dbo.xp_msver ProductVersion", version);

  TempFolder folder;
  const StartupValues saved = Startup();
  StartupValues values = saved;
  values.msdeSwitch = false;
  SetStartup(values);
  SetConfigFilePath(folder.Path() / "QuorServerBZ.dat");
  ResetConfigCacheForTests();

  auto module = std::make_shared<TDataModuleServer>();
  com::DispId dispId = com::DISPID_UNKNOWN;
  ASSERT_EQ(module->GetIDsOfNames("ConnectDb", dispId), com::S_OK);
  auto iReturn = std::make_shared<Variant>(Variant::I4(55));
  const std::vector<Variant> args = {Variant::ByRef(iReturn, com::VT_I4), Variant("BZ")};
  com::ExcepInfo excepInfo;
  const com::HResult hr = module->Invoke(dispId, com::DISPATCH_METHOD, com::DispParams(args),
                                         nullptr, &excepInfo, nullptr);
  const std::string dataSource = module->ADOConnection1().Settings().dataSource;
  const std::vector<test::Request> requests = server->Requests();
  module.reset();
  SetStartup(saved);
  SetConfigFilePath({});
  ResetConfigCacheForTests();

  ASSERT_EQ(hr, com::S_OK) << excepInfo.description;
  EXPECT_EQ(iReturn->GetI4(), 0);
  EXPECT_EQ(dataSource, "127.0.0.1");
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.front().user, "sa");
}

}  // namespace
}  // namespace quor::testing
