#include "ServerPublic/MasterCatalogue.h"

#include <iterator>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/SqlNames.h"
#include "platform/sql/RecordSet.h"

namespace quor {
namespace {

// The line break between the pieces of one batch, as the statement component
// joins its lines.
constexpr std::string_view kLineBreak = "\r\n";

constexpr std::string_view kCatalogPrefix = "ValtoDataBase";
// The catalogue's name before the cloud columns came: migrated and dropped.
constexpr std::string_view kOldCatalogPrefix = "QuorDataBase";

struct ColumnDefinition {
  std::string_view name;
  std::string_view definition;
};

// The catalogue table's columns in creation order; the upgrade steps add the
// same definitions to older tables.
constexpr ColumnDefinition kCatalogColumns[] = {
    {"ID", "[ID] [int] IDENTITY (1, 1) NOT NULL"},
    {"DBName", "[DBName] [varchar] (50) NULL"},
    {"DBCaption", "[DBCaption] [varchar] (50) NULL"},
    {"SetHide", "[SetHide] [int] NULL"},
    {"ShortcutKey", "[ShortcutKey] [varchar] (50) NULL"},
    {"VirtualDir", "[VirtualDir] [varchar] (50) NULL"},
    {"CompanyCDB", "[CompanyCDB] [varchar] (100) NOT NULL DEFAULT ('')"},
    {"CompanyCID", "[CompanyCID] [int] NOT NULL DEFAULT (0)"},
    {"CompanyKey", "[CompanyKey] [varchar] (100) NOT NULL DEFAULT ('')"},
    {"AutoSynchro", "[AutoSynchro] [int] NOT NULL DEFAULT (0)"},
    {"CreateTime", "[CreateTime] [datetime] NOT NULL DEFAULT (GetDate())"},
    {"Resouce", "[Resouce] [varchar] (100) NOT NULL DEFAULT ('')"},
};

constexpr ColumnDefinition kLoginUserColumns[] = {
    {"TelePhone", "[TelePhone] [varchar] (50) NULL"},
    {"DataName", "[DataName] [varchar] (50) NULL"},
    {"UserName", "[UserName] [varchar] (50) NULL"},
};

constexpr ColumnDefinition kUploadColumns[] = {
    {"IndexID", "[IndexID] [int] IDENTITY (1, 1) NOT NULL"},
    {"DataBase", "[DataBase] [varchar] (50) NOT NULL DEFAULT ('')"},
    {"Vocation", "[Vocation] [varchar] (50) NOT NULL DEFAULT ('')"},
    {"DataMode", "[DataMode] [varchar] (10) NOT NULL DEFAULT ('')"},
    {"BillID", "[BillID] [int] NOT NULL DEFAULT (0)"},
    {"BillType", "[BillType] [int] NOT NULL DEFAULT (0)"},
    {"BasicDB", "[BasicDB] [varchar] (50) NOT NULL DEFAULT ('')"},
    {"SelfID", "[SelfID] [varchar] (25) NOT NULL DEFAULT ('')"},
};

constexpr std::string_view kUploadPrimaryKey =
    "   ALTER TABLE [dbo].[UploadAppServer] WITH NOCHECK ADD CONSTRAINT [PK_UploadAppServer] "
    "PRIMARY KEY CLUSTERED ([IndexID]) ON [PRIMARY]";

// Each upgrade step tests one column and adds the columns that came with it.
struct UpgradeStep {
  std::string_view testedColumn;
  std::vector<std::string_view> addedColumns;
};

const std::vector<UpgradeStep>& UpgradeSteps() {
  static const std::vector<UpgradeStep> steps = {
      {"ShortcutKey", {"ShortcutKey"}},
      {"VirtualDir", {"VirtualDir"}},
      {"CompanyCID", {"CompanyCDB", "CompanyCID", "CompanyKey", "AutoSynchro"}},
      {"CompanyCDB", {"CompanyCDB"}},
      {"CreateTime", {"CreateTime", "Resouce"}},
  };
  return steps;
}

constexpr std::string_view kProcedureExistsQuery =
    " select * from sysobjects where id = object_id(N'[dbo].[P_QueryDataBase]') and "
    "OBJECTPROPERTY(id, N'IsProcedure') = 1";

// Procedure lines are joined with CR alone, as this system has always created
// them; SQL Server keeps a procedure's text exactly as it was sent.
constexpr std::string_view kProcedureLineBreak = "\r";

constexpr std::string_view kQueryProcedureLines[] = {
    " CREATE PROCEDURE P_QueryDataBase ( @DbName \tVARCHAR(3000) ) ",
    " AS                               ",
    " set nocount off                  ",
    " DECLARE @SQL\tVARCHAR(8000)      ",
    " SET @SQL='SELECT * FROM '+@DbName",
    " EXEC(@SQL)                       ",
    " return 0                         ",
};

constexpr std::string_view kDropDeleteProcedure =
    " if exists (select * from sysobjects where id = object_id(N'[dbo].[P_DeleteDataBase]')"
    "\r\n"
    "   and OBJECTPROPERTY(id, N'IsProcedure') = 1) drop procedure [dbo].[P_DeleteDataBase]";

template <typename Piece>
std::string Join(const std::vector<Piece>& pieces, std::string_view separator) {
  std::string text;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) text += separator;
    text += pieces[i];
  }
  return text;
}

std::string_view DefinitionOf(std::string_view column) {
  for (const ColumnDefinition& c : kCatalogColumns) {
    if (c.name == column) return c.definition;
  }
  throw std::logic_error("no definition for catalogue column " + std::string(column));
}

template <std::size_t N>
std::string CreateTableBatch(const std::string& table, const ColumnDefinition (&columns)[N],
                             std::string_view afterCreate = {}) {
  std::vector<std::string> pieces = {
      " if exists (select * from sysobjects where id = object_id(N'[dbo].[" + table + "]')",
      " and OBJECTPROPERTY(id, N'IsUserTable') = 1)  Return else ",
      " begin ",
      "   CREATE TABLE [dbo].[" + table + "] (",
  };
  for (std::size_t i = 0; i < N; ++i) {
    pieces.push_back("    " + std::string(columns[i].definition) + (i + 1 < N ? "," : ""));
  }
  pieces.emplace_back("   ) ON [PRIMARY]");
  if (!afterCreate.empty()) pieces.emplace_back(afterCreate);
  pieces.emplace_back(" end ");
  return Join(pieces, kLineBreak);
}

std::string UpgradeBatch(const std::string& table, const UpgradeStep& step) {
  std::vector<std::string_view> definitions;
  for (std::string_view column : step.addedColumns) definitions.push_back(DefinitionOf(column));
  return " if Not exists(SELECT * FROM [Master].[dbo].SysObjects Tab inner join  "
         "[Master].[dbo].SysColumns Col ON Tab.id = Col.id And Tab.xtype = 'U'  Where "
         "Tab.ID=object_id('[Master].[dbo]." +
         table + "') And Col.Name In ('" + std::string(step.testedColumn) + "'))" +
         std::string(kLineBreak) + " ALTER TABLE [Master].[dbo]." + table + " ADD " +
         Join(definitions, ", ");
}

std::string MigrationBatch(const std::string& table, const std::string& oldTable) {
  const std::vector<std::string> pieces = {
      " if exists (select * from sysobjects where id = object_id(N'[dbo].[" + oldTable + "]')",
      " and OBJECTPROPERTY(id, N'IsUserTable') = 1)  ",
      " begin ",
      "    INSERT INTO " + table + " (DBName, DBCaption, SetHide, ShortcutKey, VirtualDir)  ",
      "    SELECT DBName, DBCaption, SetHide, ShortcutKey, VirtualDir FROM " + oldTable,
      "    drop table [dbo].[" + oldTable + "]     ",
      " end ",
  };
  return Join(pieces, kLineBreak);
}

std::string QueryProcedureText() {
  return Join(std::vector<std::string_view>(std::begin(kQueryProcedureLines),
                                            std::end(kQueryProcedureLines)),
              kProcedureLineBreak);
}

std::string DeleteProcedureText(const std::string& table) {
  const std::vector<std::string> lines = {
      " CREATE  PROCEDURE P_DeleteDataBase ",
      " (\t@ID int )AS                      ",
      " set nocount on                     ",
      " Declare @DBName VARCHAR(150)     ",
      " Declare @EXECSQL VARCHAR(150)      ",
      " Select @DBName=DBName From " + table + " where [ID]=@Id ",
      " if @@RowCount<1 Return -1          ",
      " SELECT @EXECSQL=' DROP DATABASE ' + @DBName ",
      " EXEC (@EXECSQL)                    ",
      " IF @@ERROR <> 0 Return -1          ",
      " delete from " + table + " where [ID]=@Id ",
      " Return 0                           ",
  };
  return Join(lines, kProcedureLineBreak);
}

// The trade code part of the catalogue table's name; throws when the name
// could carry anything but a plain identifier into the batches.
std::string_view TradeCodeOf(const std::string& table) {
  if (!IsPlainSqlName(table) || !table.starts_with(kCatalogPrefix)) {
    throw CatalogueNameError(table);
  }
  return std::string_view(table).substr(kCatalogPrefix.size());
}

// The text goes out as one piece so that its line breaks reach the server as
// written; no text here has parameter markers.
void Prepare(sql::Statement& statement, const std::string& text) {
  statement.Close();
  statement.Params().Clear();
  statement.SetLines({text});
}

void Run(sql::Statement& statement, const std::string& text) {
  Prepare(statement, text);
  statement.Execute();
}

bool HasRows(sql::Statement& statement, const std::string& query) {
  Prepare(statement, query);
  const bool found = statement.Open().RecordCount() > 0;
  statement.Close();
  return found;
}

}  // namespace

CatalogueNameError::CatalogueNameError(const std::string& tableName)
    : std::invalid_argument("Invalid catalogue table name '" + tableName + "'") {}

void EnsureMasterCatalogue(sql::Statement& statement) {
  EnsureMasterCatalogue(statement, CatalogTableName());
}

void EnsureMasterCatalogue(sql::Statement& statement, const std::string& catalogTableName) {
  // The old table's name is made from the catalogue's own name, not from a
  // second read of Vocation, so that a ConnectDb of another trade in between
  // cannot pair this trade's catalogue with another trade's old table.
  const std::string oldTable =
      std::string(kOldCatalogPrefix) + std::string(TradeCodeOf(catalogTableName));

  Run(statement, CreateTableBatch(catalogTableName, kCatalogColumns));
  Run(statement, CreateTableBatch("QuorLoginUser", kLoginUserColumns));
  Run(statement, CreateTableBatch("UploadAppServer", kUploadColumns, kUploadPrimaryKey));
  for (const UpgradeStep& step : UpgradeSteps()) {
    Run(statement, UpgradeBatch(catalogTableName, step));
  }
  Run(statement, MigrationBatch(catalogTableName, oldTable));
  if (!HasRows(statement, std::string(kProcedureExistsQuery))) {
    Run(statement, QueryProcedureText());
  }
}

void RebuildDeleteProcedure(sql::Statement& statement) {
  RebuildDeleteProcedure(statement, CatalogTableName());
}

void RebuildDeleteProcedure(sql::Statement& statement, const std::string& catalogTableName) {
  TradeCodeOf(catalogTableName);
  Run(statement, std::string(kDropDeleteProcedure));
  Run(statement, DeleteProcedureText(catalogTableName));
}

}  // namespace quor
