// A SQL Server instance on the stand-in as the account-set administration
// sees it: databases, the trade's catalogue rows and the phones table of
// master, and the files SQL Server itself reads and writes for BACKUP and
// RESTORE (on this machine, as SQL Server on the same machine does). It
// answers the statements of the administration members as SQL Server would
// and keeps every statement text for the tests.
//
//   test::SqlServerStandIn server;
//   testing::AdministrationInstance instance(server, "ValtoDataBaseBZ");
//   instance.AddDatabase("QuorData01");
//   ... RestoreDatabase, BackupDatabase ...
//   instance.CatalogueRows()   // {{1, "QuorData01", "总公司"}, ...}
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::testing {

struct CatalogueRow {
  int id = 0;
  std::string dbName;
  std::string caption;
  bool operator==(const CatalogueRow&) const = default;
};

class AdministrationInstance {
 public:
  AdministrationInstance(test::SqlServerStandIn& server, std::string catalogueTable);
  AdministrationInstance(const AdministrationInstance&) = delete;
  AdministrationInstance& operator=(const AdministrationInstance&) = delete;

  // What SERVERPROPERTY('ProductVersion') gives ("10.50.1600.1", "9.00.5000.00").
  void SetProductVersion(const std::string& version);
  void AddDatabase(const std::string& name);
  bool HasDatabase(const std::string& name) const;
  void AddCatalogueRow(const std::string& dbName, const std::string& caption);
  std::vector<CatalogueRow> CatalogueRows() const;
  // The catalogue insert fails (as a full disk or a missing table would).
  void FailCatalogueInsert(bool fail);
  void AddPhone(const std::string& telephone, const std::string& dataName,
                const std::string& userName);

  // A backup file as BACKUP writes it, holding the logical file names
  // `logicalName`_Data and `logicalName`_Log (templates are such files).
  static void WriteBackupFile(const std::filesystem::path& file, const std::string& logicalName);

  // The statement texts received, oldest first.
  std::vector<std::string> Statements() const;

 private:
  test::Reply Backup(const test::StatementCall& call);
  test::Reply Restore(const test::StatementCall& call);
  test::Reply SelectCatalogue(const test::StatementCall& call);
  test::Reply InsertCatalogue(const test::StatementCall& call);
  test::Reply SelectDatabase(const test::StatementCall& call);
  test::Reply SelectPhone(const test::StatementCall& call);
  test::Reply LookupId(const test::StatementCall& call);
  test::Reply DeleteDatabase(const test::ProcedureCall& call);
  void Note(const std::string& text);

  test::SqlServerStandIn& server_;
  std::string table_;
  mutable std::mutex mutex_;  // handlers run on the stand-in's connection threads
  std::string version_ = "10.50.1600.1";
  std::set<std::string> databases_;  // lower case
  std::vector<CatalogueRow> rows_;
  int nextId_ = 1;
  bool failInsert_ = false;
  std::map<std::string, std::pair<std::string, std::string>> phones_;
  std::vector<std::string> statements_;
};

// The texts of the single-quoted literals in `text`, with doubled quotes undone.
std::vector<std::string> QuotedTexts(const std::string& text);

}  // namespace quor::testing
