// Creating, deleting, backing up and restoring account sets through the
// module, against a SQL Server instance on the stand-in that reads and writes
// the backup and database files in a temporary program folder: the results
// for every case that matters, the statements SQL Server receives, and names
// that could change a statement refused or quoted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "platform/sql/ProcedureCache.h"
#include "remote/AccountSetAdministration.h"
#include "remote/SqlServerPaths.h"
#include "tests/support/administration/AdministrationInstance.h"
#include "tests/support/files/TempFolder.h"

namespace quor::testing {
namespace {

namespace fs = std::filesystem;
using com::Variant;

class AdministrationTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    ConfigureLogin();
    instance_.AddDatabase(test::kAccountSetDatabase);
  }

  fs::path Program() const { return folder_.Path(); }

  // Calls `member` with `in` and one integer out argument; its value.
  int Result(const char* member, std::vector<Variant> in) {
    OutSlot result = Out(Variant::I4(77), com::VT_I4);
    in.push_back(result.ref);
    const CallResult call = Call(member, in);
    EXPECT_EQ(call.hr, com::S_OK) << member << ": " << call.excepInfo.description;
    return result.value->GetI4();
  }

  int Backup(const std::string& db, const std::string& file,
             const Variant& dir = Variant("Backup")) {
    return Result("BackupDatabase", {Variant("BZ"), Variant(db), Variant(file), dir});
  }

  int Restore(const std::string& db, const std::string& file, const std::string& caption,
              const Variant& dir = Variant("Backup")) {
    return Result("RestoreDatabase",
                  {Variant("BZ"), Variant(db), Variant(file), Variant(caption), dir});
  }

  int Create(const std::string& user, const std::string& password, const std::string& db,
             const std::string& caption) {
    return Result("CreateDataBase", {Variant("BZ"), Variant(user), Variant(password), Variant(db),
                                     Variant(caption), Variant("9.33")});
  }

  // Statements and procedure calls that reached SQL Server (logins aside).
  std::size_t SqlRequests() const {
    std::size_t count = 0;
    for (const test::Request& request : server_.Requests()) {
      if (request.kind != test::RequestKind::Login) ++count;
    }
    return count;
  }

  bool SentContaining(const std::string& part) const {
    const std::vector<std::string> statements = instance_.Statements();
    return std::any_of(statements.begin(), statements.end(), [&](const std::string& text) {
      return text.find(part) != std::string::npos;
    });
  }

  void WriteTemplates() {
    fs::create_directories(Program() / "Data");
    AdministrationInstance::WriteBackupFile(Program() / "Data" / "DataBaseBZ.DB", "DataBaseBZ");
    AdministrationInstance::WriteBackupFile(Program() / "Data" / "DataBaseBZ2008.DB", "DataBaseBZ");
  }

  AdministrationInstance instance_{server_, "ValtoDataBaseBZ"};
};

TEST_F(AdministrationTest, ABackupIsNeverOverwrittenAndItsDeletionCountsOnce) {
  EXPECT_EQ(Backup(test::kAccountSetDatabase, "monday.bak"), 0);
  const fs::path file = Program() / "Backup" / "monday.bak";
  ASSERT_TRUE(fs::is_regular_file(file));
  EXPECT_TRUE(SentContaining("Backup Database [QuorData01] to disk='" + file.string() + "'"));
  const std::string written = ReadText(file);

  server_.ClearRequests();
  EXPECT_EQ(Backup(test::kAccountSetDatabase, "monday.bak"), -1);
  EXPECT_EQ(ReadText(file), written);
  EXPECT_EQ(SqlRequests(), 0u);

  EXPECT_EQ(Backup("[#Delete#]", "monday.bak"), 0);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(Backup("[#Delete#]", "monday.bak"), -1);
  EXPECT_EQ(SqlRequests(), 0u);
}

TEST_F(AdministrationTest, ABackupOfAMissingDatabaseOrWithoutNamesFails) {
  EXPECT_EQ(Backup("NoSuchSet", "x.bak"), -1);
  EXPECT_FALSE(fs::exists(Program() / "Backup" / "x.bak"));
  EXPECT_EQ(Backup(" ", "x.bak"), -1);
  EXPECT_EQ(Backup(test::kAccountSetDatabase, "  "), -1);
}

TEST_F(AdministrationTest, TheBackupFolderKeepsTheLetterCaseFoundOnDisk) {
  fs::create_directories(Program() / "backup");
  EXPECT_EQ(Backup(test::kAccountSetDatabase, "a.bak", Variant("BACKUP")), 0);
  EXPECT_TRUE(fs::is_regular_file(Program() / "backup" / "a.bak"));
  EXPECT_FALSE(fs::exists(Program() / "Backup"));
}

TEST_F(AdministrationTest, RestoreTakesABareNameFromTheBackupFolderAndAFullPathAsItIs) {
  fs::create_directories(Program() / "Backup");
  fs::create_directories(Program() / "Archive");
  AdministrationInstance::WriteBackupFile(Program() / "Backup" / "bare.bak", "DataBaseBZ");
  AdministrationInstance::WriteBackupFile(Program() / "Archive" / "full.bak", "DataBaseBZ");
  std::string full = (Program() / "Archive" / "full.bak").string();
  std::replace(full.begin(), full.end(), '/', '\\');

  EXPECT_EQ(Restore("SetOne", "bare.bak", "总公司"), 0);
  EXPECT_TRUE(SentContaining(
      " Restore Database [SetOne] from disk='" + (Program() / "Backup" / "bare.bak").string() +
      "' With move 'DataBaseBZ_Data' to '" + (Program() / "Data" / "SetOne.mdf").string() +
      "', move 'DataBaseBZ_Log' to '" + (Program() / "Data" / "SetOne.ldf").string() + "'"));
  EXPECT_EQ(Restore("SetTwo", full, "分店"), 0);
  EXPECT_TRUE(SentContaining("from disk='" + (Program() / "Archive" / "full.bak").string() + "'"));
  EXPECT_TRUE(fs::is_regular_file(Program() / "Data" / "SetTwo.mdf"));
  EXPECT_EQ(instance_.CatalogueRows(),
            (std::vector<CatalogueRow>{{1, "SetOne", "总公司"}, {2, "SetTwo", "分店"}}));

  // Catalogued already: -2, before any restore is tried.
  EXPECT_EQ(Restore("setone", "bare.bak", "again"), -2);
  // No such backup: -1 without asking SQL Server.
  server_.ClearRequests();
  EXPECT_EQ(Restore("SetThree", "missing.bak", "x"), -1);
  EXPECT_EQ(SqlRequests(), 0u);
}

TEST_F(AdministrationTest, AnOfflineSetIsRestoredWithoutACatalogueRow) {
  fs::create_directories(Program() / "Backup");
  AdministrationInstance::WriteBackupFile(Program() / "Backup" / "b.bak", "DataBaseBZ");
  EXPECT_EQ(Restore("ShopOffline", "b.bak", "门店"), 0);
  EXPECT_TRUE(instance_.HasDatabase("ShopOffline"));
  EXPECT_TRUE(instance_.CatalogueRows().empty());
  EXPECT_FALSE(SentContaining("insert into"));
}

TEST_F(AdministrationTest, AFailedCatalogueInsertReportsMinusOneAndDropsNothing) {
  fs::create_directories(Program() / "Backup");
  AdministrationInstance::WriteBackupFile(Program() / "Backup" / "b.bak", "DataBaseBZ");
  instance_.FailCatalogueInsert(true);
  EXPECT_EQ(Restore("Orphan", "b.bak", "x"), -1);
  EXPECT_TRUE(instance_.HasDatabase("Orphan"));
  EXPECT_TRUE(fs::is_regular_file(Program() / "Data" / "Orphan.mdf"));
  EXPECT_FALSE(SentContaining("DROP"));
}

TEST_F(AdministrationTest, ARestoreForgetsTheParameterListsRememberedForThatDatabase) {
  fs::create_directories(Program() / "Backup");
  AdministrationInstance::WriteBackupFile(Program() / "Backup" / "b.bak", "DataBaseBZ");
  sql::ProcedureCache& cache = sql::ProcedureCache::Shared();
  const std::string server = module_->ADOConnection1().Settings().dataSource;
  const std::string key = sql::ProcedureCache::KeyOf(server, "Fresh", "AAAAASN;1");
  const std::string other = sql::ProcedureCache::KeyOf(server, "Other", "AAAAASN;1");
  sql::Parameters declaration;
  declaration.Add(sql::Parameter("@RETURN_VALUE", sql::ParamDirection::kReturnValue));
  cache.Store(key, declaration);
  cache.Store(other, declaration);
  EXPECT_EQ(Restore("Fresh", "b.bak", "x"), 0);
  EXPECT_FALSE(cache.Find(key).has_value());
  EXPECT_TRUE(cache.Find(other).has_value());
}

TEST_F(AdministrationTest, CreateChoosesTheTemplateByTheServersVersion) {
  WriteTemplates();
  struct Case {
    const char* version;
    const char* templateFile;
  };
  int index = 0;
  for (const Case& c : std::vector<Case>{{"10.50.1600.1", "DataBaseBZ2008.DB"},
                                         {"16.0.4135.4", "DataBaseBZ2008.DB"},
                                         {"10.0.1600.22", "DataBaseBZ.DB"},
                                         {"9.00.5000.00", "DataBaseBZ.DB"}}) {
    SCOPED_TRACE(c.version);
    instance_.SetProductVersion(c.version);
    const std::string name = "NewSet" + std::to_string(++index);
    EXPECT_EQ(Create(test::kAccountSetUser, test::kAccountSetPassword, name, "新账套"), 0);
    EXPECT_TRUE(SentContaining(" Restore Database [" + name + "] from disk='" +
                               (Program() / "Data" / c.templateFile).string() + "'"));
    EXPECT_TRUE(instance_.HasDatabase(name));
  }
  EXPECT_EQ(instance_.CatalogueRows().size(), 4u);
  EXPECT_EQ(Create("SilverKeeper", "anything", "NewSet1", "x"), -2);
}

TEST(ProductVersion, TheFirstFiveCharactersReadAsMajorVersionAndItsFraction) {
  struct Case {
    const char* text;
    double number;
  };
  for (const Case& c : std::vector<Case>{{"10.50", 10.5},
                                         {"10.0.", 10},
                                         {"9.00.", 9},
                                         {"11.0.", 11},
                                         {"16.0.", 16},
                                         {"", 0},
                                         {"abc", 0},
                                         {".50", 0}}) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(remote::ProductVersionNumber(c.text), c.number);
  }
}

TEST_F(AdministrationTest, CreateAndDeleteRefuseAWrongAdministratorWithoutAnyStatement) {
  WriteTemplates();
  instance_.AddCatalogueRow("Victim", "x");
  server_.ClearRequests();
  EXPECT_EQ(Create(test::kAccountSetUser, "wrong", "NewSet", "x"), -222);
  EXPECT_EQ(Create("someone", test::kAccountSetPassword, "NewSet", "x"), -222);
  EXPECT_EQ(Result("DeleteDataBase", {Variant("sa"), Variant("wrong"), Variant::I4(1)}), -2);
  EXPECT_EQ(SqlRequests(), 0u);
  EXPECT_EQ(instance_.CatalogueRows().size(), 1u);
}

TEST_F(AdministrationTest, DeleteDropsACataloguedSetAndAnUnknownIdGivesMinusOne) {
  instance_.AddDatabase("Gone");
  instance_.AddCatalogueRow("Gone", "x");
  EXPECT_EQ(Result("DeleteDataBase", {Variant("SilverKeeper"), Variant(""), Variant::I4(1)}), 0);
  EXPECT_FALSE(instance_.HasDatabase("Gone"));
  EXPECT_TRUE(instance_.CatalogueRows().empty());
  EXPECT_TRUE(SentContaining("P_DeleteDataBase"));
  EXPECT_EQ(Result("DeleteDataBase", {Variant(test::kAccountSetUser),
                                      Variant(test::kAccountSetPassword), Variant::I4(9)}),
            -1);
}

TEST_F(AdministrationTest, HostileNamesNeverReachAStatement) {
  WriteTemplates();
  fs::create_directories(Program() / "Backup");
  AdministrationInstance::WriteBackupFile(Program() / "Backup" / "b.bak", "DataBaseBZ");
  const std::vector<std::string> names = {"x'; DROP DATABASE master --",
                                          "x]; DROP DATABASE master --",
                                          "a;b",
                                          "a b",
                                          "a/b",
                                          "..",
                                          "1abc",
                                          std::string(51, 'n'),
                                          std::string("a\0b", 3),
                                          "\xff"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    server_.ClearRequests();
    EXPECT_EQ(Backup(name, "n.bak"), -1);
    EXPECT_EQ(Restore(name, "b.bak", "caption"), -1);
    EXPECT_EQ(Create("SilverKeeper", "", name, "caption"), -1);
    EXPECT_EQ(SqlRequests(), 0u);
  }
  for (const char* file : {"..\\n.bak", "\\etc\\n.bak", "C:\\n.bak", "sub\\..\\..\\n.bak"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(Backup(test::kAccountSetDatabase, file), -1);
    EXPECT_EQ(Restore("Safe", file, "x"), -1);
  }
  for (const char* dir : {"..", "..\\..\\tmp", "\\etc", "D:\\Backup"}) {
    SCOPED_TRACE(dir);
    EXPECT_EQ(Backup(test::kAccountSetDatabase, "n.bak", Variant(dir)), -1);
    EXPECT_EQ(Restore("Safe", "b.bak", "x", Variant(dir)), -1);
  }
  EXPECT_EQ(Restore("Safe", "b.bak", std::string(51, 'c')), -1);
  EXPECT_FALSE(instance_.HasDatabase("Safe"));
  EXPECT_EQ(fs::exists(Program().parent_path() / "n.bak"), false);
}

TEST_F(AdministrationTest, QuotesInCaptionsArriveDoubledAndAreStoredAsTyped) {
  fs::create_directories(Program() / "Backup");
  AdministrationInstance::WriteBackupFile(Program() / "Backup" / "b.bak", "DataBaseBZ");
  EXPECT_EQ(Restore("Quoted", "b.bak", "O'Brien's; --"), 0);
  EXPECT_TRUE(SentContaining("values('Quoted','O''Brien''s; --')"));
  EXPECT_EQ(instance_.CatalogueRows().back().caption, "O'Brien's; --");
}

TEST_F(AdministrationTest, SqlServerSeesTheProgramFolderUnderTheConfiguredPath) {
  WriteConfig(remote::kSqlServerProgramFolderKey, "/var/opt/mssql/quor/");
  Backup(test::kAccountSetDatabase, "mapped.bak");
  EXPECT_TRUE(SentContaining("to disk='/var/opt/mssql/quor/Backup/mapped.bak'"));
  WriteConfig(remote::kSqlServerProgramFolderKey, "D:\\Quor");
  Backup(test::kAccountSetDatabase, "mapped2.bak");
  EXPECT_TRUE(SentContaining("to disk='D:\\Quor\\Backup\\mapped2.bak'"));
}

TEST_F(AdministrationTest, AConfiguredBackupFolderTakesTheBackupsWhateverTheClientsFolder) {
  TempFolder elsewhere;
  WriteConfig(configkey::kDataBackupPath, (elsewhere.Path() / "dumps").string());
  EXPECT_EQ(Backup(test::kAccountSetDatabase, "a.bak", Variant("Backup")), 0);
  EXPECT_TRUE(fs::is_regular_file(elsewhere.Path() / "dumps" / "a.bak"));
  EXPECT_EQ(Restore("FromDumps", "a.bak", "x"), 0);
  EXPECT_FALSE(fs::exists(Program() / "Backup"));
}

TEST_F(AdministrationTest, SystemDataClearSendsItsSwitchesToTheClearingProcedure) {
  accountSet_.Declare({"AAAABAN",
                       {test::Param("@OperatorID", test::SqlType::VarChar, 20),
                        test::Param("@CompanyID", test::SqlType::VarChar, 20),
                        test::Param("@lBeginPeriod", test::SqlType::Int),
                        test::Param("@iBillDetailDraft", test::SqlType::Int),
                        test::Param("@lBasicinfo", test::SqlType::Int),
                        test::Param("@lOrderBill", test::SqlType::Int),
                        test::Param("@lVipCard", test::SqlType::Int)}},
                      [](const test::ProcedureCall&) {
                        test::Reply reply;
                        reply.returnStatus = 3;
                        return reply;
                      });
  EXPECT_EQ(
      Result("SystemDataClear", {Variant("00001"), Variant("00002"), Variant::I4(1), Variant::I4(2),
                                 Variant::I4(3), Variant::I4(4), Variant::I4(5)}),
      3);
  const test::ProcedureCall call = accountSet_.LastCall("AAAABAN");
  EXPECT_EQ(test::TextOf(call["@OperatorID"]), "00001");
  EXPECT_EQ(test::TextOf(call["@CompanyID"]), "00002");
  EXPECT_EQ(call["@lBeginPeriod"].AsInt(), 1);
  EXPECT_EQ(call["@iBillDetailDraft"].AsInt(), 2);
  EXPECT_EQ(call["@lBasicinfo"].AsInt(), 3);
  EXPECT_EQ(call["@lOrderBill"].AsInt(), 4);
  EXPECT_EQ(call["@lVipCard"].AsInt(), 5);
}

TEST_F(AdministrationTest, GetDataBaseCountsTheDatabasesOfThatName) {
  EXPECT_EQ(Result("GetDataBase", {Variant(test::kAccountSetDatabase)}), 1);
  EXPECT_EQ(Result("GetDataBase", {Variant("NoSuchSet")}), 0);
  EXPECT_EQ(Result("GetDataBase", {Variant("x' or '1'='1")}), 0);
  EXPECT_TRUE(SentContaining("where [Name]='x'' or ''1''=''1'"));
}

TEST_F(AdministrationTest, PhonesFindTheirAccountSetOnlyWhileTheSwitchIsOn) {
  instance_.AddPhone("13912345678", "QuorData01", "张三");
  instance_.AddPhone("1' or '1'='1", "Wrong", "Wrong");
  const auto ask = [this](const std::string& phone) {
    OutSlot on = Out(Variant::I4(7), com::VT_I4);
    OutSlot data = Out(Variant("stale"), com::VT_BSTR);
    OutSlot user = Out(Variant("stale"), com::VT_BSTR);
    const CallResult call =
        Call("GetPhoneToDataBase", {Variant(phone), on.ref, data.ref, user.ref});
    EXPECT_EQ(call.hr, com::S_OK) << call.excepInfo.description;
    return std::vector<std::string>{std::to_string(on.value->GetI4()), data.value->GetString(),
                                    user.value->GetString()};
  };
  EXPECT_EQ(ask("13912345678"), (std::vector<std::string>{"0", "", ""}));
  WriteConfig(configkey::kUsePhoneToDataBase, "True");
  EXPECT_EQ(ask("13912345678"), (std::vector<std::string>{"1", "QuorData01", "张三"}));
  EXPECT_EQ(ask("13800000000"), (std::vector<std::string>{"1", "", ""}));
  EXPECT_EQ(ask("1' or '1'='1"), (std::vector<std::string>{"1", "Wrong", "Wrong"}));
  EXPECT_TRUE(SentContaining("where [TelePhone]='1'' or ''1''=''1'"));
}

TEST_F(AdministrationTest, GetMobileDataBaseReportsTheSwitchAndTheName) {
  const auto ask = [this] {
    OutSlot on = Out(Variant::I4(7), com::VT_I4);
    OutSlot name = Out(Variant("stale"), com::VT_BSTR);
    const CallResult call = Call("GetMobileDataBase", {on.ref, name.ref});
    EXPECT_EQ(call.hr, com::S_OK) << call.excepInfo.description;
    return std::make_pair(on.value->GetI4(), name.value->GetString());
  };
  EXPECT_EQ(ask(), std::make_pair(0, std::string()));
  WriteConfig(configkey::kUseMobileDataBase, "True");
  WriteConfig(configkey::kMobileDataBase, "QuorData01");
  EXPECT_EQ(ask(), std::make_pair(1, std::string("QuorData01")));
}

}  // namespace
}  // namespace quor::testing
