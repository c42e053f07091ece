// The catalogue batches against the SQL Server stand-in through the real
// driver: the stand-in keeps a small master database (CatalogueInstance) that
// answers the batches' existence tests and changes as their CREATE, ALTER,
// INSERT and DROP say, so a batch that does the wrong thing shows in the state.
#include "ServerPublic/MasterCatalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConnectionRecipe.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/SqlNames.h"
#include "platform/sql/Connection.h"
#include "platform/sql/SqlError.h"
#include "tests/support/catalogue/CatalogueInstance.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor {
namespace {

using testing::CatalogueInstance;
using testing::TempFolder;
using Value = test::Value;

// The batches as they must reach SQL Server, written out in full.

std::string CreateCatalogTable(const std::string& t) {
  return " if exists (select * from sysobjects where id = object_id(N'[dbo].[" + t +
         "]')\r\n"
         " and OBJECTPROPERTY(id, N'IsUserTable') = 1)  Return else \r\n"
         " begin \r\n"
         "   CREATE TABLE [dbo].[" +
         t +
         "] (\r\n"
         "    [ID] [int] IDENTITY (1, 1) NOT NULL,\r\n"
         "    [DBName] [varchar] (50) NULL,\r\n"
         "    [DBCaption] [varchar] (50) NULL,\r\n"
         "    [SetHide] [int] NULL,\r\n"
         "    [ShortcutKey] [varchar] (50) NULL,\r\n"
         "    [VirtualDir] [varchar] (50) NULL,\r\n"
         "    [CompanyCDB] [varchar] (100) NOT NULL DEFAULT (''),\r\n"
         "    [CompanyCID] [int] NOT NULL DEFAULT (0),\r\n"
         "    [CompanyKey] [varchar] (100) NOT NULL DEFAULT (''),\r\n"
         "    [AutoSynchro] [int] NOT NULL DEFAULT (0),\r\n"
         "    [CreateTime] [datetime] NOT NULL DEFAULT (GetDate()),\r\n"
         "    [Resouce] [varchar] (100) NOT NULL DEFAULT ('')\r\n"
         "   ) ON [PRIMARY]\r\n"
         " end ";
}

const std::string kCreateLoginUser =
    " if exists (select * from sysobjects where id = object_id(N'[dbo].[QuorLoginUser]')\r\n"
    " and OBJECTPROPERTY(id, N'IsUserTable') = 1)  Return else \r\n"
    " begin \r\n"
    "   CREATE TABLE [dbo].[QuorLoginUser] (\r\n"
    "    [TelePhone] [varchar] (50) NULL,\r\n"
    "    [DataName] [varchar] (50) NULL,\r\n"
    "    [UserName] [varchar] (50) NULL\r\n"
    "   ) ON [PRIMARY]\r\n"
    " end ";

const std::string kCreateUploadQueue =
    " if exists (select * from sysobjects where id = object_id(N'[dbo].[UploadAppServer]')\r\n"
    " and OBJECTPROPERTY(id, N'IsUserTable') = 1)  Return else \r\n"
    " begin \r\n"
    "   CREATE TABLE [dbo].[UploadAppServer] (\r\n"
    "    [IndexID] [int] IDENTITY (1, 1) NOT NULL,\r\n"
    "    [DataBase] [varchar] (50) NOT NULL DEFAULT (''),\r\n"
    "    [Vocation] [varchar] (50) NOT NULL DEFAULT (''),\r\n"
    "    [DataMode] [varchar] (10) NOT NULL DEFAULT (''),\r\n"
    "    [BillID] [int] NOT NULL DEFAULT (0),\r\n"
    "    [BillType] [int] NOT NULL DEFAULT (0),\r\n"
    "    [BasicDB] [varchar] (50) NOT NULL DEFAULT (''),\r\n"
    "    [SelfID] [varchar] (25) NOT NULL DEFAULT ('')\r\n"
    "   ) ON [PRIMARY]\r\n"
    "   ALTER TABLE [dbo].[UploadAppServer] WITH NOCHECK ADD CONSTRAINT [PK_UploadAppServer] "
    "PRIMARY KEY CLUSTERED ([IndexID]) ON [PRIMARY]\r\n"
    " end ";

std::string Upgrade(const std::string& t, const std::string& column, const std::string& added) {
  return " if Not exists(SELECT * FROM [Master].[dbo].SysObjects Tab inner join  "
         "[Master].[dbo].SysColumns Col ON Tab.id = Col.id And Tab.xtype = 'U'  Where "
         "Tab.ID=object_id('[Master].[dbo]." +
         t + "') And Col.Name In ('" + column + "'))\r\n ALTER TABLE [Master].[dbo]." + t +
         " ADD " + added;
}

std::string Migration(const std::string& t, const std::string& o) {
  return " if exists (select * from sysobjects where id = object_id(N'[dbo].[" + o +
         "]')\r\n"
         " and OBJECTPROPERTY(id, N'IsUserTable') = 1)  \r\n"
         " begin \r\n"
         "    INSERT INTO " +
         t +
         " (DBName, DBCaption, SetHide, ShortcutKey, VirtualDir)  \r\n"
         "    SELECT DBName, DBCaption, SetHide, ShortcutKey, VirtualDir FROM " +
         o +
         "\r\n"
         "    drop table [dbo].[" +
         o +
         "]     \r\n"
         " end ";
}

const std::string kQueryProcedureExists =
    " select * from sysobjects where id = object_id(N'[dbo].[P_QueryDataBase]') and "
    "OBJECTPROPERTY(id, N'IsProcedure') = 1";

// Lines joined with CR alone.
const std::string kCreateQueryProcedure =
    " CREATE PROCEDURE P_QueryDataBase ( @DbName \tVARCHAR(3000) ) \r"
    " AS                               \r"
    " set nocount off                  \r"
    " DECLARE @SQL\tVARCHAR(8000)      \r"
    " SET @SQL='SELECT * FROM '+@DbName\r"
    " EXEC(@SQL)                       \r"
    " return 0                         ";

const std::string kDropDeleteProcedure =
    " if exists (select * from sysobjects where id = object_id(N'[dbo].[P_DeleteDataBase]')\r\n"
    "   and OBJECTPROPERTY(id, N'IsProcedure') = 1) drop procedure [dbo].[P_DeleteDataBase]";

std::string CreateDeleteProcedure(const std::string& t) {
  return " CREATE  PROCEDURE P_DeleteDataBase \r"
         " (\t@ID int )AS                      \r"
         " set nocount on                     \r"
         " Declare @DBName VARCHAR(150)     \r"
         " Declare @EXECSQL VARCHAR(150)      \r"
         " Select @DBName=DBName From " +
         t +
         " where [ID]=@Id \r"
         " if @@RowCount<1 Return -1          \r"
         " SELECT @EXECSQL=' DROP DATABASE ' + @DBName \r"
         " EXEC (@EXECSQL)                    \r"
         " IF @@ERROR <> 0 Return -1          \r"
         " delete from " +
         t +
         " where [ID]=@Id \r"
         " Return 0                           ";
}

// Every batch of EnsureMasterCatalogue in order; the last one only runs when
// P_QueryDataBase is missing.
std::vector<std::string> EnsureBatches(const std::string& t, const std::string& o) {
  return {
      CreateCatalogTable(t),
      kCreateLoginUser,
      kCreateUploadQueue,
      Upgrade(t, "ShortcutKey", "[ShortcutKey] [varchar] (50) NULL"),
      Upgrade(t, "VirtualDir", "[VirtualDir] [varchar] (50) NULL"),
      Upgrade(t, "CompanyCID",
              "[CompanyCDB] [varchar] (100) NOT NULL DEFAULT (''), [CompanyCID] [int] NOT NULL "
              "DEFAULT (0), [CompanyKey] [varchar] (100) NOT NULL DEFAULT (''), [AutoSynchro] "
              "[int] NOT NULL DEFAULT (0)"),
      Upgrade(t, "CompanyCDB", "[CompanyCDB] [varchar] (100) NOT NULL DEFAULT ('')"),
      Upgrade(t, "CreateTime",
              "[CreateTime] [datetime] NOT NULL DEFAULT (GetDate()), [Resouce] [varchar] (100) "
              "NOT NULL DEFAULT ('')"),
      Migration(t, o),
      kQueryProcedureExists,
      kCreateQueryProcedure,
  };
}

std::vector<std::string> FirstOf(const std::vector<std::string>& batches, std::size_t count) {
  return {batches.begin(), batches.begin() + static_cast<std::ptrdiff_t>(count)};
}

const std::vector<std::string> kFullCatalogColumns = {
    "ID",         "DBName",     "DBCaption",  "SetHide",     "ShortcutKey", "VirtualDir",
    "CompanyCDB", "CompanyCID", "CompanyKey", "AutoSynchro", "CreateTime",  "Resouce"};

// A stand-in holding a CatalogueInstance that answers the batches for one
// trade code, and a module-like connection to it on master.
class Rig {
 public:
  explicit Rig(const std::string& code = "BZ")
      : table_("ValtoDataBase" + code), oldTable_("QuorDataBase" + code) {
    server.AddLogin("sa", "secret");
    instance.Serve(server, EnsureBatches(table_, oldTable_));
    instance.Serve(server, {kDropDeleteProcedure, CreateDeleteProcedure(table_)});
    connection.Open();
    server.ClearRequests();
  }

  const std::string& Table() const { return table_; }
  const std::string& OldTable() const { return oldTable_; }

  // The batches the stand-in received, in order; each must have run on master.
  std::vector<std::string> Batches() const {
    std::vector<std::string> texts;
    for (const auto& request : server.Requests()) {
      if (request.kind != test::RequestKind::Batch) continue;
      EXPECT_EQ(request.database, "master");
      texts.push_back(request.text);
    }
    return texts;
  }

  test::SqlServerStandIn server;
  CatalogueInstance instance;
  sql::Connection connection{ConnectionRecipe(
      SqlLogin{"127.0.0.1," + std::to_string(server.Port()), false, "sa", "secret"}, "master", 5)};
  sql::Statement statement{connection, "CreateGetZt"};

 private:
  std::string table_;
  std::string oldTable_;
};

class MasterCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    ResetConfigCacheForTests();
  }
  void TearDown() override {
    SetConfigFilePath({});
    ResetConfigCacheForTests();
  }

  TempFolder folder_;
};

TEST_F(MasterCatalogueTest,
       EmptyInstanceGetsTheTablesAndListingProcedureAndASecondRunChangesNothing) {
  Rig rig;
  EnsureMasterCatalogue(rig.statement, rig.Table());

  const auto all = EnsureBatches(rig.Table(), rig.OldTable());
  EXPECT_EQ(rig.Batches(), all);
  const auto catalog = rig.instance.FindTable("ValtoDataBaseBZ");
  ASSERT_TRUE(catalog.has_value());
  EXPECT_EQ(catalog->columns, kFullCatalogColumns);
  EXPECT_TRUE(catalog->constraints.empty()) << "the catalogue has no primary key";
  const auto logins = rig.instance.FindTable("QuorLoginUser");
  ASSERT_TRUE(logins.has_value());
  EXPECT_EQ(logins->columns, (std::vector<std::string>{"TelePhone", "DataName", "UserName"}));
  const auto queue = rig.instance.FindTable("UploadAppServer");
  ASSERT_TRUE(queue.has_value());
  EXPECT_EQ(queue->columns, (std::vector<std::string>{"IndexID", "DataBase", "Vocation", "DataMode",
                                                      "BillID", "BillType", "BasicDB", "SelfID"}));
  EXPECT_EQ(queue->constraints,
            (std::vector<std::string>{"PK_UploadAppServer PRIMARY KEY CLUSTERED (IndexID)"}));
  EXPECT_EQ(rig.instance.ProcedureText("P_QueryDataBase"), kCreateQueryProcedure);
  EXPECT_EQ(rig.instance.ProcedureText("P_QueryDataBase")->find('\n'), std::string::npos)
      << "the procedure's lines are joined with CR alone";

  const std::string before = rig.instance.Describe();
  rig.server.ClearRequests();
  EnsureMasterCatalogue(rig.statement, rig.Table());
  EXPECT_EQ(rig.instance.Describe(), before);
  EXPECT_EQ(rig.Batches(), FirstOf(all, all.size() - 1)) << "the procedure exists already";
}

TEST_F(MasterCatalogueTest, OlderCatalogueLayoutsGainTheMissingColumnsInOrder) {
  const std::vector<std::string> oldest = {"ID", "DBName", "DBCaption", "SetHide"};
  const std::vector<std::string> withDirectory = {"ID",      "DBName",      "DBCaption",
                                                  "SetHide", "ShortcutKey", "VirtualDir"};
  std::vector<std::string> withCloud = withDirectory;
  withCloud.insert(withCloud.end(), {"CompanyCDB", "CompanyCID", "CompanyKey", "AutoSynchro"});
  std::vector<std::string> halfCloud = withDirectory;
  halfCloud.push_back("CompanyCDB");

  const struct {
    const char* name;
    std::vector<std::string> columns;
    int expectedError;  // 0: every column ends up present in order
    std::size_t batchesSent;
  } cases[] = {
      {"oldest layout", oldest, 0, 11},
      {"with shortcut and web directory", withDirectory, 0, 11},
      {"with the cloud columns", withCloud, 0, 11},
      {"complete", kFullCatalogColumns, 0, 11},
      // Step three adds CompanyCDB again and fails; nothing after it runs.
      {"CompanyCDB without CompanyCID", halfCloud, 2705, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    std::vector<std::vector<Value>> rows;
    for (int id = 1; id <= 2; ++id) {
      std::vector<Value> row = {id, "QuorData0" + std::to_string(id), "账套" + std::to_string(id)};
      row.resize(c.columns.size());
      rows.push_back(row);
    }
    rig.instance.AddTable(rig.Table(), c.columns, rows);

    if (c.expectedError == 0) {
      EnsureMasterCatalogue(rig.statement, rig.Table());
      const auto table = rig.instance.FindTable(rig.Table());
      ASSERT_TRUE(table.has_value());
      EXPECT_EQ(table->columns, kFullCatalogColumns);
      ASSERT_EQ(table->rows.size(), 2u);
      const auto& row = table->rows[0];
      EXPECT_EQ(row.at("DBName"), Value("QuorData01"));
      if (c.columns.size() < 7) {
        EXPECT_EQ(row.at("CompanyCDB"), Value(""));
        EXPECT_EQ(row.at("CompanyCID"), Value(0));
        EXPECT_EQ(row.at("AutoSynchro"), Value(0));
      }
      if (c.columns.size() < 12) {
        EXPECT_EQ(row.at("CreateTime"), Value(CatalogueInstance::Now()));
        EXPECT_EQ(row.at("Resouce"), Value(""));
      }
    } else {
      try {
        EnsureMasterCatalogue(rig.statement, rig.Table());
        ADD_FAILURE() << "the upgrade should have failed";
      } catch (const sql::SqlError& error) {
        EXPECT_EQ(error.NativeError(), c.expectedError);
        EXPECT_NE(std::string(error.what()).find("CompanyCDB"), std::string::npos) << error.what();
      }
      EXPECT_EQ(rig.instance.FindTable(rig.Table())->columns, c.columns);
    }
    EXPECT_EQ(rig.Batches(), FirstOf(EnsureBatches(rig.Table(), rig.OldTable()), c.batchesSent));
  }
}

TEST_F(MasterCatalogueTest, OldNamedCatalogueIsAppendedToTheCatalogueAndDropped) {
  const std::vector<std::string> oldColumns = {"ID",      "DBName",      "DBCaption",
                                               "SetHide", "ShortcutKey", "VirtualDir"};
  const std::vector<std::vector<Value>> oldRows = {
      {1, "QuorDataA", "甲公司", 0, "A", "WebA"},
      {2, "QuorDataB", "乙公司", 1, "B", nullptr},
      {3, "QuorDataC", "丙公司", 0, nullptr, "WebC"},
  };
  const struct {
    const char* name;
    bool catalogueExists;  // in the oldest layout with two rows
    long long firstNewId;
  } cases[] = {
      {"catalogue created first", false, 1},
      {"catalogue in the oldest layout", true, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.instance.AddTable(rig.OldTable(), oldColumns, oldRows);
    if (c.catalogueExists) {
      rig.instance.AddTable(rig.Table(), {"ID", "DBName", "DBCaption", "SetHide"},
                            {{1, "QuorData01", "一", 0}, {2, "QuorData02", "二", 0}});
    }
    EnsureMasterCatalogue(rig.statement, rig.Table());

    EXPECT_FALSE(rig.instance.FindTable(rig.OldTable()).has_value()) << "old table dropped";
    const auto table = rig.instance.FindTable(rig.Table());
    ASSERT_TRUE(table.has_value());
    const std::size_t kept = c.catalogueExists ? 2 : 0;
    ASSERT_EQ(table->rows.size(), kept + 3);
    for (std::size_t i = 0; i < 3; ++i) {
      const auto& row = table->rows[kept + i];
      EXPECT_EQ(row.at("ID"), Value(c.firstNewId + static_cast<long long>(i))) << "a new id";
      for (std::size_t k = 1; k < oldColumns.size(); ++k) {
        EXPECT_EQ(row.at(oldColumns[k]), oldRows[i][k]) << oldColumns[k] << " of row " << i;
      }
      EXPECT_EQ(row.at("CompanyCDB"), Value(""));
      EXPECT_EQ(row.at("CompanyCID"), Value(0));
      EXPECT_EQ(row.at("CreateTime"), Value(CatalogueInstance::Now()));
    }

    const std::string after = rig.instance.Describe();
    EnsureMasterCatalogue(rig.statement, rig.Table());
    EXPECT_EQ(rig.instance.Describe(), after) << "nothing left to migrate";
  }
}

TEST_F(MasterCatalogueTest, AFailingBatchStopsTheSequenceAndItsErrorReachesTheCaller) {
  const struct {
    const char* name;
    std::size_t failing;  // index into the batches
  } cases[] = {
      {"creating the catalogue", 0},    {"creating the upload queue", 2},
      {"adding VirtualDir", 4},         {"adding CreateTime", 7},
      {"migrating the old table", 8},   {"asking for P_QueryDataBase", 9},
      {"creating P_QueryDataBase", 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    const auto all = EnsureBatches(rig.Table(), rig.OldTable());
    test::Reply refusal;
    refusal.error =
        test::ServerError{262, 1, 14, "CREATE TABLE permission denied in database 'master'."};
    rig.server.OnStatement(all[c.failing], refusal);

    try {
      EnsureMasterCatalogue(rig.statement, rig.Table());
      ADD_FAILURE() << "the error should reach the caller";
    } catch (const sql::SqlError& error) {
      EXPECT_EQ(error.NativeError(), 262);
      EXPECT_STREQ(error.what(), "CREATE TABLE permission denied in database 'master'.");
    }
    EXPECT_EQ(rig.Batches(), FirstOf(all, c.failing + 1));
  }
}

TEST_F(MasterCatalogueTest, DeleteProcedureIsDroppedAndCreatedForTheCurrentCatalogue) {
  const struct {
    const char* name;
    std::string code;
    bool existsBefore;  // created earlier for the BZ catalogue
  } cases[] = {
      {"first deletion", "BZ", false},
      {"existing procedure of another trade", "FZ", true},
      {"existing procedure of the same trade", "BZ", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(c.code);
    if (c.existsBefore) {
      rig.instance.AddProcedure("P_DeleteDataBase", CreateDeleteProcedure("ValtoDataBaseBZ"));
    }
    RebuildDeleteProcedure(rig.statement, rig.Table());
    EXPECT_EQ(rig.Batches(),
              (std::vector<std::string>{kDropDeleteProcedure, CreateDeleteProcedure(rig.Table())}));
    EXPECT_EQ(rig.instance.ProcedureText("P_DeleteDataBase"), CreateDeleteProcedure(rig.Table()));
  }
}

TEST_F(MasterCatalogueTest, CreatingTheDeleteProcedureOverAnUndroppedOneFails) {
  Rig rig;
  rig.instance.AddProcedure("P_DeleteDataBase", CreateDeleteProcedure(rig.Table()));
  test::Reply denied;
  denied.error = test::ServerError{3701, 1, 14,
                                   "Cannot drop the procedure 'P_DeleteDataBase', because it does "
                                   "not exist or you do not have permission."};
  rig.server.OnStatement(kDropDeleteProcedure, denied);
  EXPECT_THROW(RebuildDeleteProcedure(rig.statement, rig.Table()), sql::SqlError);
  EXPECT_EQ(rig.Batches(), (std::vector<std::string>{kDropDeleteProcedure}));
}

TEST_F(MasterCatalogueTest, WithoutATableNameTheProcessWideCatalogueAndTradeAreUsed) {
  // Start-up values are process-wide: put them back however the test ends.
  struct RestoreStartup {
    StartupValues saved = Startup();
    ~RestoreStartup() { SetStartup(saved); }
  } restore;
  StartupValues values = restore.saved;
  values.vocation = "FZ";
  values.catalogTableName = "ValtoDataBaseFZ";
  SetStartup(values);
  Rig rig("FZ");
  rig.instance.AddTable("QuorDataBaseFZ",
                        {"ID", "DBName", "DBCaption", "SetHide", "ShortcutKey", "VirtualDir"},
                        {{1, "QuorDataFZ", "汽配", 0, nullptr, nullptr}});

  EnsureMasterCatalogue(rig.statement);
  RebuildDeleteProcedure(rig.statement);

  auto expected = EnsureBatches("ValtoDataBaseFZ", "QuorDataBaseFZ");
  expected.push_back(kDropDeleteProcedure);
  expected.push_back(CreateDeleteProcedure("ValtoDataBaseFZ"));
  EXPECT_EQ(rig.Batches(), expected);
  EXPECT_FALSE(rig.instance.FindTable("QuorDataBaseFZ").has_value());
  EXPECT_EQ(rig.instance.FindTable("ValtoDataBaseFZ")->rows.size(), 1u);
}

TEST_F(MasterCatalogueTest, CatalogueNamesThatCouldCarryMoreThanATradeCodeAreRefusedUnsent) {
  const char* const names[] = {
      "ValtoDataBaseBZ]; DROP TABLE [dbo].[QuorLoginUser]--",
      "ValtoDataBaseBZ') DROP DATABASE QuorData01--",
      "ValtoDataBase BZ",
      "ValtoDataBase账套",
      "ValtoDataBaseBZ\r\nGO",
      "OtherTableBZ",
      "",
  };
  Rig rig;
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_THROW(EnsureMasterCatalogue(rig.statement, name), CatalogueNameError);
    EXPECT_THROW(RebuildDeleteProcedure(rig.statement, name), CatalogueNameError);
  }
  EXPECT_TRUE(rig.Batches().empty());
}

TEST(SqlNamesTest, OnlyPlainNamesPass) {
  const struct {
    const char* name;
    bool plainName;
    bool plainObject;
  } cases[] = {
      {"ValtoDataBaseBZ", true, true},
      {"_x1", true, true},
      {"1abc", false, false},
      {"", false, false},
      {"a b", false, false},
      {"a'b", false, false},
      {"a;b", false, false},
      {"a--", false, false},
      {"[ValtoDataBaseBZ]", false, true},
      {"dbo.ValtoDataBaseBZ", false, true},
      {"master.dbo.ValtoDataBaseBZ", false, true},
      {"[master].[dbo].[ValtoDataBaseBZ]", false, true},
      {"master..ValtoDataBaseBZ", false, true},
      {"a.b.c.d", false, true},
      {"a.b.c.d.e", false, false},
      {"dbo.", false, false},
      {"[a]]b]", false, false},
      {"[a b]", false, false},
      {"ValtoDataBaseBZ; DROP DATABASE x", false, false},
      {"ValtoDataBaseBZ WHERE 1=1", false, false},
      {"表", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPlainSqlName(c.name), c.plainName) << c.name;
    EXPECT_EQ(IsPlainObjectName(c.name), c.plainObject) << c.name;
  }
  EXPECT_TRUE(IsPlainSqlName(std::string(128, 'a')));
  EXPECT_FALSE(IsPlainSqlName(std::string(129, 'a')));
}

}  // namespace
}  // namespace quor
