#include "remote/AccountSetAdministration.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/MasterCatalogue.h"
#include "ServerPublic/PasswordScrambler.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/SqlNames.h"
#include "ServerPublic/SqlRoutines.h"
#include "platform/sql/ProcedureCache.h"
#include "platform/sql/SqlError.h"
#include "platform/text/AsciiText.h"
#include "remote/ClientArgument.h"
#include "remote/ClientPath.h"
#include "remote/SqlLiterals.h"
#include "remote/SqlServerPaths.h"
#include "remote/methods/AdministrationHandlers.h"
#include "remote/methods/CallPattern.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDeleteMarker = "[#Delete#]";
constexpr const char* kOfflineSuffix = "Offline";

bool BlankText(const std::string& text) {
  return text::TrimBlanks(text).empty();
}

// The catalogue table's name goes into the statements bare.
std::string CatalogueTable() {
  const std::string table = CatalogTableName();
  if (!IsPlainSqlName(table)) throw CatalogueNameError(table);
  return table;
}

// The backup folder for a client's folder name: the configured DataBackupPath,
// else that folder below the program folder. The name is checked before it
// can become the cached default of DataBackupPath.
std::optional<fs::path> BackupFolderOf(const com::Variant& serverDir) {
  const std::optional<std::string> text = TextArgument(serverDir);
  if (!text) return std::nullopt;
  const fs::path program = ProgramFolderPath();
  const std::optional<fs::path> below = ResolveClientPath({program}, *text, true);
  if (!below) return std::nullopt;
  const fs::path relative = below->lexically_relative(program);
  const std::string subfolder = relative == "." ? std::string() : relative.generic_string();
  return fs::path(BackupFolder(subfolder));
}

// Runs a statement on CreateGetZt; false when SQL Server refuses it.
bool RunAdminStatement(TDataModuleServer& module, const std::string& text, const char* member) {
  sql::Statement& statement = module.CreateGetZt();
  statement.Close();
  statement.Params().Clear();
  statement.SetText(text);
  try {
    statement.Execute();
    return true;
  } catch (const sql::SqlError& error) {
    std::cerr << member << ": " << error.what() << '\n';
    return false;
  }
}

// 1: the statement gave a row, 0: none, -1: it failed.
int AdminStatementHasRow(TDataModuleServer& module, const std::string& text, const char* member) {
  sql::Statement& statement = module.CreateGetZt();
  statement.Close();
  statement.Params().Clear();
  statement.SetText(text);
  try {
    return statement.Open().RecordCount() > 0 ? 1 : 0;
  } catch (const sql::SqlError& error) {
    std::cerr << member << ": " << error.what() << '\n';
    return -1;
  }
}

bool EndsWithText(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The restore of Algorithm "RestoreDatabase", from backup file `backup`.
int RestoreFrom(TDataModuleServer& module, const std::string& name, const fs::path& backup,
                const std::string& caption) {
  if (!IsRegularFile(backup)) return kAdminNotDone;
  const std::string table = CatalogueTable();
  const int catalogued = AdminStatementHasRow(
      module, "SELECT * FROM master.dbo." + table + " WHERE (DBName = " + QuotedLiteral(name) + ")",
      "RestoreDatabase");
  if (catalogued != 0) return catalogued > 0 ? kAlreadyCatalogued : kAdminNotDone;

  const fs::path data = DataFolder();
  const fs::path mdf = data / (name + ".mdf");
  const fs::path ldf = data / (name + ".ldf");
  const std::string templateName = TemplateBaseName();
  const std::string restore =
      " Restore Database " + BracketQuoted(name) +
      " from disk=" + QuotedLiteral(SqlServerPath(backup)) + " With move " +
      QuotedLiteral(templateName + "_Data") + " to " + QuotedLiteral(SqlServerPath(mdf)) + "," +
      " move " + QuotedLiteral(templateName + "_Log") + " to " + QuotedLiteral(SqlServerPath(ldf));
  const bool restored = RunAdminStatement(module, restore, "RestoreDatabase");
  // Whatever the server did, lists remembered for an earlier database of this
  // name are no longer its procedures.
  FlushParameterCache(module.ADOConnection1(), name);
  if (!restored || !IsRegularFile(mdf)) return kAdminNotDone;
  if (EndsWithText(name, kOfflineSuffix)) return kAdminDone;
  if (RunAdminStatement(module,
                        "insert into master.dbo." + table + "(DBName,DBCaption)values(" +
                            QuotedLiteral(name) + "," + QuotedLiteral(caption) + ")",
                        "RestoreDatabase")) {
    return kAdminDone;
  }
  std::cerr << "RestoreDatabase: database " << name << " was restored but has no row in " << table
            << "; add the row by hand or drop the database\n";
  return kAdminNotDone;
}

// Checks shared by both roads to a restore; the caption goes into the
// catalogue's DBCaption (varchar 50), so a wider one would leave a database
// without its row.
bool RestorableNames(const std::string& name, const std::string& caption) {
  constexpr std::size_t kCaptionWidth = 50;
  const std::optional<std::size_t> width = Cp936Width(caption);
  return IsDatabaseName(name) && IsStatementText(caption) && width && *width <= kCaptionWidth;
}

}  // namespace

bool CheckSqlAdmin(const std::string& userName, const std::string& password) {
  if (userName == kSilverKeeper) return true;
  if (ReadConfig(configkey::kSqlUserMode, "0") == "1") {
    return TestSqlLogin(1, ReadConfig(configkey::kServerName, "(LOCAL)"), "", "");
  }
  return userName == ReadConfig(configkey::kUserName, "sa") &&
         password == DecodePassword(ReadConfig(configkey::kPassword, ""));
}

double ProductVersionNumber(const std::string& version) {
  const std::string_view text = text::TrimBlanks(version);
  const std::size_t wholeEnd = std::min(text.find_first_not_of("0123456789"), text.size());
  if (wholeEnd == 0) return 0;
  std::size_t end = wholeEnd;
  if (end < text.size() && text[end] == '.') {
    const std::size_t fractionEnd =
        std::min(text.find_first_not_of("0123456789", end + 1), text.size());
    if (fractionEnd > end + 1) end = fractionEnd;
  }
  double number = 0;
  const std::string plain(text.substr(0, end));
  const auto [last, error] = std::from_chars(plain.data(), plain.data() + plain.size(), number);
  return error == std::errc() && last == plain.data() + plain.size() ? number : 0;
}

com::Variant CreateDataBase(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args) {
  args[6] = com::Variant::I4(kAdminNotDone);
  const std::optional<std::string> user = TextArgument(args[1]);
  const std::optional<std::string> password = TextArgument(args[2]);
  if (!user || !password || !CheckSqlAdmin(*user, *password)) {
    args[6] = com::Variant::I4(kCreateRefused);
    return {};
  }
  const std::optional<std::string> name = TextArgument(args[3]);
  const std::optional<std::string> caption = TextArgument(args[4]);
  if (!name || !caption || BlankText(*name) || !RestorableNames(*name, *caption)) return {};
  const bool sql2008 = ProductVersionNumber(ServerProductVersion(module.QryExecSQL())) >= 10.5;
  const std::string templateName = TemplateBaseName();
  if (!IsPlainSqlName(templateName)) return {};
  const fs::path templateFile = DataFolder() / (templateName + (sql2008 ? "2008.DB" : ".DB"));
  args[6] = com::Variant::I4(RestoreFrom(module, *name, templateFile, *caption));
  return {};
}

com::Variant DeleteDataBase(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args) {
  args[3] = com::Variant::I4(kAdminNotDone);
  const std::optional<std::string> user = TextArgument(args[0]);
  const std::optional<std::string> password = TextArgument(args[1]);
  if (!user || !password || !CheckSqlAdmin(*user, *password)) {
    args[3] = com::Variant::I4(kDeleteRefused);
    return {};
  }
  RebuildDeleteProcedure(module.CreateGetZt());
  // The procedure was just created anew, so a list remembered for it is not
  // to be trusted.
  sql::ProcedureCache::Shared().Drop(
      sql::ProcedureCache::KeyOf(module.ADOConnection1(), method.procedure));
  // The name is needed afterwards to forget the database's procedures.
  std::string name;
  sql::Statement& lookup = module.CreateGetZt();
  lookup.Close();
  lookup.Params().Clear();
  lookup.SetText("SELECT DBName FROM master.dbo." + CatalogueTable() +
                 " WHERE [ID]=" + std::to_string(args[2].ToI4()));
  try {
    sql::RecordSet& records = lookup.Open();
    if (records.RecordCount() > 0 && !records.FieldValue(0).IsNull()) {
      name = records.FieldValue(0).AsText();
    }
  } catch (const sql::SqlError& error) {
    std::cerr << "DeleteDataBase: " << error.what() << '\n';
  }
  lookup.Close();
  RunCallPattern(module, method, args);
  if (!name.empty()) FlushParameterCache(module.ADOConnection1(), name);
  return {};
}

com::Variant BackupDatabase(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args) {
  args[4] = com::Variant::I4(kAdminNotDone);
  const std::optional<std::string> name = TextArgument(args[1]);
  const std::optional<std::string> file = TextArgument(args[2]);
  if (!name || !file || BlankText(*name) || BlankText(*file)) return {};
  const std::optional<fs::path> folder = BackupFolderOf(args[3]);
  if (!folder) return {};
  const std::optional<fs::path> backup = ResolveClientPath({*folder}, *file);
  const bool deleting = *name == kDeleteMarker;
  if (!backup || (!deleting && !IsDatabaseName(*name))) return {};
  fs::create_directories(*folder);
  if (deleting) {
    std::error_code error;
    if (IsRegularFile(*backup) && fs::remove(*backup, error))
      args[4] = com::Variant::I4(kAdminDone);
    return {};
  }
  // An existing backup is never overwritten.
  if (EntryExists(*backup)) return {};
  if (!RunAdminStatement(module,
                         "Backup Database " + BracketQuoted(*name) +
                             " to disk=" + QuotedLiteral(SqlServerPath(*backup)),
                         "BackupDatabase")) {
    return {};
  }
  if (IsRegularFile(*backup)) args[4] = com::Variant::I4(kAdminDone);
  return {};
}

com::Variant RestoreDatabase(TDataModuleServer& module, const MethodDescription& method,
                             com::DispatchArgs& args) {
  args[5] = com::Variant::I4(kAdminNotDone);
  const std::optional<std::string> name = TextArgument(args[1]);
  const std::optional<std::string> file = TextArgument(args[2]);
  const std::optional<std::string> caption = TextArgument(args[3]);
  if (!name || !file || !caption || BlankText(*name) || BlankText(*file)) return {};
  if (!RestorableNames(*name, *caption)) return {};
  const std::optional<fs::path> folder = BackupFolderOf(args[4]);
  if (!folder) return {};
  // A bare name is looked up in the backup folder; a full path (the form
  // GetServerAppPath gives) may name the backup folder or the program folder.
  const std::optional<fs::path> backup = ResolveClientPath({*folder, ProgramFolderPath()}, *file);
  if (!backup) return {};
  args[5] = com::Variant::I4(RestoreFrom(module, *name, *backup, *caption));
  return {};
}

}  // namespace quor::remote
