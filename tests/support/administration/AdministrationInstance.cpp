#include "tests/support/administration/AdministrationInstance.h"

#include <fstream>
#include <iterator>
#include <regex>

#include "tests/support/tds/Declare.h"

namespace quor::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBackupHeader = "QUOR-TEST-BACKUP logical=";

std::string Lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return text;
}

test::Reply Error(int number, const std::string& message) {
  test::Reply reply;
  reply.error = test::ServerError{number, 1, 16, message};
  return reply;
}

test::Reply Done(long long rows = 0) {
  test::Reply reply;
  reply.rowsAffected = rows;
  return reply;
}

// A name between brackets with "]]" undone.
std::string Unbracket(const std::string& quoted) {
  std::string name;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    name += quoted[i];
    if (quoted[i] == ']' && quoted[i + 1] == ']') ++i;
  }
  return name;
}

std::optional<std::string> ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const fs::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

}  // namespace

std::vector<std::string> QuotedTexts(const std::string& text) {
  std::vector<std::string> texts;
  std::size_t pos = 0;
  while ((pos = text.find('\'', pos)) != std::string::npos) {
    std::string value;
    ++pos;
    while (pos < text.size()) {
      if (text[pos] == '\'') {
        if (pos + 1 < text.size() && text[pos + 1] == '\'') {
          value += '\'';
          pos += 2;
          continue;
        }
        break;
      }
      value += text[pos++];
    }
    ++pos;
    texts.push_back(value);
  }
  return texts;
}

AdministrationInstance::AdministrationInstance(test::SqlServerStandIn& server,
                                               std::string catalogueTable)
    : server_(server), table_(std::move(catalogueTable)) {
  server_.OnStatement(
      "Select Serverproperty('ProductVersion') As ProductVersion",
      [this](const test::StatementCall& call) {
        Note(call.text);
        std::lock_guard lock(mutex_);
        test::Reply reply;
        reply.resultSets.push_back(
            {{test::Col("ProductVersion", test::SqlType::NVarChar, 128)}, {{version_}}});
        return reply;
      });
  const auto serve = [this](const char* pattern, test::Reply (AdministrationInstance::*handler)(
                                                     const test::StatementCall&)) {
    server_.OnStatementMatching(std::regex(pattern),
                                [this, handler](const test::StatementCall& call) {
                                  Note(call.text);
                                  return (this->*handler)(call);
                                });
  };
  serve(R"(Backup Database [\s\S]*)", &AdministrationInstance::Backup);
  serve(R"(\s*Restore Database [\s\S]*)", &AdministrationInstance::Restore);
  serve(R"(SELECT \* FROM master\.dbo\.\w+ WHERE \(DBName = [\s\S]*)",
        &AdministrationInstance::SelectCatalogue);
  serve(R"(insert into master\.dbo\.\w+\(DBName,DBCaption\)values[\s\S]*)",
        &AdministrationInstance::InsertCatalogue);
  serve(R"(SELECT \[Name\] FROM Master\.dbo\.sysdatabases where [\s\S]*)",
        &AdministrationInstance::SelectDatabase);
  serve(R"(SELECT \* FROM Master\.dbo\.QuorLoginUser where [\s\S]*)",
        &AdministrationInstance::SelectPhone);
  serve(R"(SELECT DBName FROM master\.dbo\.\w+ WHERE \[ID\]=[\s\S]*)",
        &AdministrationInstance::LookupId);
  // RebuildDeleteProcedure's drop and create batches, and nothing that calls the procedure.
  server_.OnStatementMatching(
      std::regex(R"(\s*(if exists \(select|CREATE\s+PROCEDURE)[\s\S]*P_DeleteDataBase[\s\S]*)"),
      [this](const test::StatementCall& call) {
        Note(call.text);
        return Done();
      });
  server_.DeclareProcedure({"P_DeleteDataBase", {test::Param("@ID", test::SqlType::Int)}});
  server_.OnProcedure("P_DeleteDataBase",
                      [this](const test::ProcedureCall& call) { return DeleteDatabase(call); });
}

void AdministrationInstance::SetProductVersion(const std::string& version) {
  std::lock_guard lock(mutex_);
  version_ = version;
}

void AdministrationInstance::AddDatabase(const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    databases_.insert(Lower(name));
  }
  server_.AddDatabase(name);
}

bool AdministrationInstance::HasDatabase(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return databases_.count(Lower(name)) > 0;
}

void AdministrationInstance::AddCatalogueRow(const std::string& dbName,
                                             const std::string& caption) {
  std::lock_guard lock(mutex_);
  rows_.push_back({nextId_++, dbName, caption});
}

std::vector<CatalogueRow> AdministrationInstance::CatalogueRows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

void AdministrationInstance::FailCatalogueInsert(bool fail) {
  std::lock_guard lock(mutex_);
  failInsert_ = fail;
}

void AdministrationInstance::AddPhone(const std::string& telephone, const std::string& dataName,
                                      const std::string& userName) {
  std::lock_guard lock(mutex_);
  phones_[telephone] = {dataName, userName};
}

void AdministrationInstance::WriteBackupFile(const fs::path& file, const std::string& logicalName) {
  WriteFile(file, kBackupHeader + logicalName + "\n");
}

std::vector<std::string> AdministrationInstance::Statements() const {
  std::lock_guard lock(mutex_);
  return statements_;
}

void AdministrationInstance::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  statements_.push_back(text);
}

test::Reply AdministrationInstance::Backup(const test::StatementCall& call) {
  static const std::regex kBackup(
      R"(Backup Database (\[(?:[^\]]|\]\])*\]) to disk='((?:[^']|'')*)')");
  std::smatch match;
  if (!std::regex_match(call.text, match, kBackup)) return Error(102, "Incorrect syntax");
  const std::string name = Unbracket(match[1]);
  const std::string file = QuotedTexts(call.text).at(0);
  std::lock_guard lock(mutex_);
  if (databases_.count(Lower(name)) == 0) {
    return Error(911, "Database '" + name +
                          "' does not exist. Make sure that the name is entered correctly.");
  }
  // SQL Server on Linux takes only full paths here (and its "D:\\" paths are no
  // files of this machine's tests).
  if (file.empty() || file.front() != '/') {
    return Error(3201, "Cannot open backup device '" + file + "'. Operating system error 2.");
  }
  // SQL Server appends a backup set to an existing file; the member never lets it.
  std::ofstream out(file, std::ios::binary | std::ios::app);
  out << kBackupHeader << "DataBaseBZ\n";
  if (!out)
    return Error(3201, "Cannot open backup device '" + file + "'. Operating system error 2.");
  return Done();
}

test::Reply AdministrationInstance::Restore(const test::StatementCall& call) {
  static const std::regex kRestore(
      R"( Restore Database (\[(?:[^\]]|\]\])*\]) from disk='(?:[^']|'')*' With move '(?:[^']|'')*' to '(?:[^']|'')*', move '(?:[^']|'')*' to '(?:[^']|'')*')");
  if (!std::regex_match(call.text, kRestore)) return Error(102, "Incorrect syntax near 'Restore'.");
  std::smatch match;
  std::regex_search(call.text, match, std::regex(R"(\[(?:[^\]]|\]\])*\])"));
  const std::string name = Unbracket(match[0]);
  const std::vector<std::string> texts = QuotedTexts(call.text);
  const std::string& backup = texts.at(0);
  const std::optional<std::string> content = ReadFile(backup);
  if (!content) {
    return Error(3201, "Cannot open backup device '" + backup + "'. Operating system error 2.");
  }
  const std::string logical =
      content->substr(content->find('=') + 1, content->find('\n') - content->find('=') - 1);
  if (texts.at(1) != logical + "_Data" || texts.at(3) != logical + "_Log") {
    return Error(3234,
                 "Logical file '" + texts.at(1) + "' is not part of database '" + name + "'.");
  }
  {
    std::lock_guard lock(mutex_);
    if (databases_.count(Lower(name)) > 0) {
      return Error(3154, "The backup set holds a backup of a database other than the existing '" +
                             name + "' database.");
    }
  }
  for (const std::string& file : {texts.at(2), texts.at(4)}) {
    if (!WriteFile(file, "database file of " + name + "\n")) {
      return Error(5133, "Directory lookup for the file \"" + file + "\" failed.");
    }
  }
  AddDatabase(name);
  return Done();
}

test::Reply AdministrationInstance::SelectCatalogue(const test::StatementCall& call) {
  const std::string name = QuotedTexts(call.text).at(0);
  test::ResultSet rows{
      {test::Col("ID", test::SqlType::Int), test::Col("DBName", test::SqlType::VarChar, 50),
       test::Col("DBCaption", test::SqlType::VarChar, 50)},
      {}};
  std::lock_guard lock(mutex_);
  for (const CatalogueRow& row : rows_) {
    if (Lower(row.dbName) == Lower(name)) rows.rows.push_back({row.id, row.dbName, row.caption});
  }
  test::Reply reply;
  reply.resultSets.push_back(rows);
  return reply;
}

test::Reply AdministrationInstance::InsertCatalogue(const test::StatementCall& call) {
  const std::vector<std::string> values = QuotedTexts(call.text);
  std::lock_guard lock(mutex_);
  if (failInsert_ || values.size() != 2) {
    return Error(8152, "String or binary data would be truncated.");
  }
  rows_.push_back({nextId_++, values[0], values[1]});
  return Done(1);
}

test::Reply AdministrationInstance::SelectDatabase(const test::StatementCall& call) {
  const std::string name = QuotedTexts(call.text).at(0);
  test::ResultSet rows{{test::Col("Name", test::SqlType::NVarChar, 128)}, {}};
  std::lock_guard lock(mutex_);
  if (databases_.count(Lower(name)) > 0) rows.rows.push_back({name});
  test::Reply reply;
  reply.resultSets.push_back(rows);
  return reply;
}

test::Reply AdministrationInstance::SelectPhone(const test::StatementCall& call) {
  const std::string telephone = QuotedTexts(call.text).at(0);
  test::ResultSet rows{{test::Col("TelePhone", test::SqlType::VarChar, 50),
                        test::Col("DataName", test::SqlType::VarChar, 50),
                        test::Col("UserName", test::SqlType::VarChar, 50)},
                       {}};
  std::lock_guard lock(mutex_);
  const auto found = phones_.find(telephone);
  if (found != phones_.end()) {
    rows.rows.push_back({telephone, found->second.first, found->second.second});
  }
  test::Reply reply;
  reply.resultSets.push_back(rows);
  return reply;
}

test::Reply AdministrationInstance::LookupId(const test::StatementCall& call) {
  const int id = std::stoi(call.text.substr(call.text.rfind('=') + 1));
  test::ResultSet rows{{test::Col("DBName", test::SqlType::VarChar, 50)}, {}};
  std::lock_guard lock(mutex_);
  for (const CatalogueRow& row : rows_) {
    if (row.id == id) rows.rows.push_back({row.dbName});
  }
  test::Reply reply;
  reply.resultSets.push_back(rows);
  return reply;
}

test::Reply AdministrationInstance::DeleteDatabase(const test::ProcedureCall& call) {
  const long long id = call["@ID"].IsNull() ? -1 : call["@ID"].AsInt();
  std::lock_guard lock(mutex_);
  test::Reply reply;
  reply.returnStatus = -1;
  for (auto row = rows_.begin(); row != rows_.end(); ++row) {
    if (row->id == id) {
      databases_.erase(Lower(row->dbName));
      rows_.erase(row);
      reply.returnStatus = 0;
      break;
    }
  }
  return reply;
}

}  // namespace quor::testing
