#include "tests/support/catalogue/CatalogueInstance.h"

#include <algorithm>
#include <cctype>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace quor::testing {
namespace {

using test::Reply;
using test::ServerError;
using test::Value;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The text between `start` and the next `end` after it; throws when either is
// missing, which makes the stand-in answer with an error naming the batch.
std::string Between(const std::string& text, const std::string& start, const std::string& end) {
  const auto from = text.find(start);
  if (from == std::string::npos) throw std::runtime_error("batch lacks '" + start + "'");
  const auto begin = from + start.size();
  const auto to = text.find(end, begin);
  if (to == std::string::npos) throw std::runtime_error("batch lacks '" + end + "'");
  return text.substr(begin, to - begin);
}

// The contents of the parenthesis that opens at text[open].
std::string Parenthesised(const std::string& text, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth == 0) return text.substr(open + 1, i - open - 1);
  }
  throw std::runtime_error("unbalanced parentheses");
}

// Column definitions separated by commas outside parentheses.
std::vector<std::string> SplitDefinitions(const std::string& text) {
  std::vector<std::string> parts;
  std::string current;
  int depth = 0;
  for (const char c : text) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      parts.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!Trim(current).empty()) parts.push_back(Trim(current));
  return parts;
}

std::vector<std::string> SplitNames(const std::string& text) {
  std::vector<std::string> names;
  std::stringstream in(text);
  std::string name;
  while (std::getline(in, name, ',')) names.push_back(Trim(name));
  return names;
}

std::string ColumnName(const std::string& definition) {
  return Between(definition, "[", "]");
}

bool IsIdentity(const std::string& definition) {
  return Contains(Lower(definition), "identity");
}

// The value a new row or an added column takes without one given.
Value DefaultOf(const std::string& definition) {
  const std::string lower = Lower(definition);
  const auto at = lower.find("default");
  if (at == std::string::npos) return nullptr;
  const std::string expression = Trim(definition.substr(at + 7));
  if (expression == "('')") return "";
  if (Lower(expression) == "(getdate())") return CatalogueInstance::Now();
  if (expression.size() > 2 && expression.front() == '(' && expression.back() == ')') {
    return std::stoll(expression.substr(1, expression.size() - 2));
  }
  throw std::runtime_error("unknown default " + expression);
}

// The column a definition such as "[DBName] [varchar] (50) NULL" declares.
test::Column ColumnOf(const std::string& name, const std::string& definition) {
  const std::string type = Lower(Between(definition, "] [", "]"));
  if (type == "int") return {name, test::SqlType::Int};
  if (type == "datetime") return {name, test::SqlType::DateTime};
  if (type == "varchar") {
    return {name, test::SqlType::VarChar, std::stoi(Between(definition, "(", ")"))};
  }
  throw std::runtime_error("unknown column type " + type);
}

Reply Error(int number, int state, const std::string& message) {
  Reply reply;
  reply.error = ServerError{number, state, 16, message};
  return reply;
}

Reply Duplicate(const std::string& column, const std::string& table) {
  return Error(2705, 4,
               "Column names in each table must be unique. Column name '" + column +
                   "' in table '" + table + "' is specified more than once.");
}

}  // namespace

void CatalogueInstance::AddTable(const std::string& name, const std::vector<std::string>& columns,
                                 const std::vector<std::vector<Value>>& rows) {
  std::lock_guard guard(mutex_);
  Table table{name, columns, {}, {}, {}, 1};
  for (const std::string& column : columns) {
    table.definitions.push_back(column == "ID" ? "[ID] [int] IDENTITY (1, 1) NOT NULL"
                                               : "[" + column + "] [varchar] (50) NULL");
  }
  for (const auto& values : rows) {
    Row row;
    for (std::size_t i = 0; i < columns.size(); ++i) row[columns[i]] = values.at(i);
    if (row.count("ID") != 0) {
      table.nextIdentity = std::max<long long>(table.nextIdentity, row["ID"].AsInt() + 1);
    }
    table.rows.push_back(std::move(row));
  }
  tables_[Lower(name)] = std::move(table);
}

void CatalogueInstance::AddProcedure(const std::string& name, const std::string& text) {
  std::lock_guard guard(mutex_);
  procedures_[Lower(name)] = text;
}

std::optional<CatalogueInstance::Table> CatalogueInstance::FindTable(
    const std::string& name) const {
  std::lock_guard guard(mutex_);
  const auto found = tables_.find(Lower(name));
  if (found == tables_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> CatalogueInstance::ProcedureText(const std::string& name) const {
  std::lock_guard guard(mutex_);
  const auto found = procedures_.find(Lower(name));
  if (found == procedures_.end()) return std::nullopt;
  return found->second;
}

std::string CatalogueInstance::Describe() const {
  std::lock_guard guard(mutex_);
  std::ostringstream out;
  for (const auto& [key, table] : tables_) {
    out << "table " << table.name << " next " << table.nextIdentity << "\n";
    for (const std::string& definition : table.definitions) out << "  " << definition << "\n";
    for (const std::string& constraint : table.constraints)
      out << "  constraint " << constraint << "\n";
    for (const Row& row : table.rows) {
      out << "  row";
      for (const auto& [column, value] : row) out << " " << column << "=" << value.ToString();
      out << "\n";
    }
  }
  for (const auto& [key, text] : procedures_) out << "procedure " << key << "\n" << text << "\n";
  return out.str();
}

void CatalogueInstance::Serve(test::SqlServerStandIn& server,
                              const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    server.OnStatement(text, [this](const test::StatementCall& call) { return Apply(call.text); });
  }
}

void CatalogueInstance::ServeAnyBatch(test::SqlServerStandIn& server) {
  // The regex reads the whole text; batches are short enough for its recursion.
  static const std::regex kCatalogueBatch(
      R"(\s*(if exists \(select \* from sysobjects|if Not exists\(SELECT \* FROM \[Master\])"
      R"(|select \* from sysobjects|CREATE\s+PROCEDURE)[\s\S]*)");
  server.OnStatementMatching(kCatalogueBatch,
                             [this](const test::StatementCall& call) { return Apply(call.text); });
}

void CatalogueInstance::ServeQueryProcedure(test::SqlServerStandIn& server) {
  server.DeclareProcedure({"P_QueryDataBase", {{"@DbName", test::SqlType::VarChar, 3000}}});
  server.OnProcedure("P_QueryDataBase", [this](const test::ProcedureCall& call) {
    {
      std::lock_guard guard(mutex_);
      if (procedures_.count("p_querydatabase") == 0) {
        return Error(2812, 62, "Could not find stored procedure 'P_QueryDataBase'.");
      }
    }
    return SelectAll(call["@DbName"].IsNull() ? std::string() : call["@DbName"].AsText());
  });
}

Reply CatalogueInstance::SelectAll(const std::string& objectName) const {
  std::string name = objectName.substr(objectName.rfind('.') + 1);
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  std::lock_guard guard(mutex_);
  const auto found = tables_.find(Lower(name));
  if (found == tables_.end()) return Error(208, 1, "Invalid object name '" + objectName + "'.");
  const Table& table = found->second;
  test::ResultSet rows;
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    rows.columns.push_back(ColumnOf(table.columns[c], table.definitions[c]));
  }
  for (const Row& row : table.rows) {
    std::vector<Value> values;
    for (const std::string& column : table.columns) {
      const auto value = row.find(column);
      values.push_back(value == row.end() ? Value() : value->second);
    }
    rows.rows.push_back(std::move(values));
  }
  Reply reply;
  reply.resultSets.push_back(std::move(rows));
  return reply;
}

CatalogueInstance::Table* CatalogueInstance::Find(const std::string& name) {
  const auto found = tables_.find(Lower(name));
  return found == tables_.end() ? nullptr : &found->second;
}

Reply CatalogueInstance::Apply(const std::string& text) {
  std::lock_guard guard(mutex_);
  const std::string batch = Trim(text);
  if (batch.starts_with("if exists (select * from sysobjects where id = object_id(N'[dbo].[")) {
    const std::string name = Between(batch, "object_id(N'[dbo].[", "]')");
    if (Contains(batch, "N'IsUserTable') = 1)") && Contains(batch, "CREATE TABLE")) {
      return CreateTable(batch, name);
    }
    if (Contains(batch, "N'IsUserTable') = 1)") && Contains(batch, "INSERT INTO")) {
      return Migrate(batch, name);
    }
    if (Contains(batch, "N'IsProcedure') = 1) drop procedure [dbo].[" + name + "]")) {
      procedures_.erase(Lower(name));
      return {};
    }
  }
  if (batch.starts_with("if Not exists(SELECT * FROM [Master].[dbo].SysObjects Tab")) {
    return AddColumns(batch);
  }
  if (batch.starts_with("select * from sysobjects where id = object_id(N'[dbo].[")) {
    return ProcedureQuery(batch);
  }
  if (batch.starts_with("CREATE") && Contains(batch.substr(0, 20), "PROCEDURE")) {
    return CreateProcedure(text);
  }
  throw std::runtime_error("the catalogue instance cannot read this batch");
}

Reply CatalogueInstance::CreateTable(const std::string& batch, const std::string& guardName) {
  if (Find(guardName) != nullptr) return {};  // "Return": the table exists
  const std::string head = "CREATE TABLE [dbo].[";
  const std::string name = Between(batch, head, "]");
  if (Find(name) != nullptr) {
    return Error(2714, 6, "There is already an object named '" + name + "' in the database.");
  }
  const std::size_t open = batch.find('(', batch.find(head) + head.size() + name.size());
  Table table{name, {}, {}, {}, {}, 1};
  for (const std::string& definition : SplitDefinitions(Parenthesised(batch, open))) {
    const std::string column = ColumnName(definition);
    if (std::find(table.columns.begin(), table.columns.end(), column) != table.columns.end()) {
      return Duplicate(column, name);
    }
    table.columns.push_back(column);
    table.definitions.push_back(definition);
  }
  const std::string rest = batch.substr(open);
  if (Contains(rest, "ALTER TABLE [dbo].[" + name + "] WITH NOCHECK ADD CONSTRAINT [")) {
    const std::string constraint = Between(rest, "ADD CONSTRAINT [", "]");
    const std::string key = Between(rest, "PRIMARY KEY CLUSTERED ([", "])");
    if (std::find(table.columns.begin(), table.columns.end(), key) == table.columns.end()) {
      return Error(1911, 1,
                   "Column name '" + key + "' does not exist in the target table or view.");
    }
    table.constraints.push_back(constraint + " PRIMARY KEY CLUSTERED (" + key + ")");
  }
  tables_[Lower(name)] = std::move(table);
  return {};
}

Reply CatalogueInstance::AddColumns(const std::string& batch) {
  const std::string guarded = Between(batch, "Where Tab.ID=object_id('[Master].[dbo].", "')");
  const std::string tested = Between(batch, "And Col.Name In ('", "'))");
  if (const Table* table = Find(guarded)) {
    const auto& columns = table->columns;
    if (std::find(columns.begin(), columns.end(), tested) != columns.end()) return {};
  }
  const std::string name = Between(batch, "ALTER TABLE [Master].[dbo].", " ADD ");
  Table* table = Find(name);
  if (table == nullptr) {
    return Error(4902, 1,
                 "Cannot find the object \"" + name +
                     "\" because it does not exist or you do not have permissions.");
  }
  const auto definitions = SplitDefinitions(batch.substr(batch.find(" ADD ") + 5));
  std::vector<std::string> added;
  for (const std::string& definition : definitions) {
    const std::string column = ColumnName(definition);
    const bool present =
        std::find(table->columns.begin(), table->columns.end(), column) != table->columns.end() ||
        std::find(added.begin(), added.end(), column) != added.end();
    if (present) return Duplicate(column, table->name);
    const std::string lower = Lower(definition);
    if (!table->rows.empty() && Contains(lower, "not null") && !Contains(lower, "default") &&
        !IsIdentity(definition)) {
      return Error(4901, 1,
                   "ALTER TABLE only allows columns to be added that can contain nulls, or have "
                   "a DEFAULT definition specified. Column '" +
                       column + "' cannot be added to non-empty table '" + table->name +
                       "' because it does not satisfy these conditions.");
    }
    added.push_back(column);
  }
  for (const std::string& definition : definitions) {
    const std::string column = ColumnName(definition);
    table->columns.push_back(column);
    table->definitions.push_back(definition);
    for (Row& row : table->rows) row[column] = DefaultOf(definition);
  }
  return {};
}

Reply CatalogueInstance::Migrate(const std::string& batch, const std::string& oldName) {
  const Table* source = Find(oldName);
  if (source == nullptr) return {};
  const std::string targetName = Between(batch, "INSERT INTO ", " (");
  Table* target = Find(targetName);
  if (target == nullptr) return Error(208, 1, "Invalid object name '" + targetName + "'.");
  const auto targetColumns = SplitNames(Between(batch, "INSERT INTO " + targetName + " (", ")"));
  const auto sourceColumns = SplitNames(Between(batch, "SELECT ", " FROM "));
  const std::string fromName = Trim(Between(batch, " FROM ", "\r\n"));
  if (Lower(fromName) != Lower(oldName) || targetColumns.size() != sourceColumns.size()) {
    throw std::runtime_error("the migration reads another table or column list");
  }
  for (std::size_t i = 0; i < targetColumns.size(); ++i) {
    const auto& inTarget = target->columns;
    const auto& inSource = source->columns;
    if (std::find(inTarget.begin(), inTarget.end(), targetColumns[i]) == inTarget.end()) {
      return Error(207, 1, "Invalid column name '" + targetColumns[i] + "'.");
    }
    if (std::find(inSource.begin(), inSource.end(), sourceColumns[i]) == inSource.end()) {
      return Error(207, 1, "Invalid column name '" + sourceColumns[i] + "'.");
    }
  }
  const std::string dropped = Between(batch, "drop table [dbo].[", "]");
  if (Find(dropped) == nullptr) {
    return Error(3701, 5,
                 "Cannot drop the table '" + dropped +
                     "', because it does not exist or you do not have permission.");
  }
  for (const Row& old : source->rows) {
    Row row;
    for (std::size_t c = 0; c < target->columns.size(); ++c) {
      const std::string& column = target->columns[c];
      row[column] = IsIdentity(target->definitions[c]) ? Value(target->nextIdentity++)
                                                       : DefaultOf(target->definitions[c]);
    }
    for (std::size_t i = 0; i < targetColumns.size(); ++i) {
      const auto value = old.find(sourceColumns[i]);
      row[targetColumns[i]] = value == old.end() ? Value() : value->second;
    }
    target->rows.push_back(std::move(row));
  }
  Reply reply;
  reply.rowsAffected = static_cast<std::int64_t>(source->rows.size());
  tables_.erase(Lower(dropped));
  return reply;
}

Reply CatalogueInstance::ProcedureQuery(const std::string& batch) const {
  const std::string name = Between(batch, "object_id(N'[dbo].[", "]')");
  if (!Contains(batch, "OBJECTPROPERTY(id, N'IsProcedure') = 1")) {
    throw std::runtime_error("the query does not ask for a procedure");
  }
  test::ResultSet objects{{{"name", test::SqlType::NVarChar, 128},
                           {"id", test::SqlType::Int},
                           {"xtype", test::SqlType::Char, 2}},
                          {}};
  if (procedures_.count(Lower(name)) != 0) objects.rows.push_back({name, 1977058079, "P "});
  Reply reply;
  reply.resultSets.push_back(std::move(objects));
  return reply;
}

Reply CatalogueInstance::CreateProcedure(const std::string& text) {
  std::istringstream in(text);
  std::string create, procedure, name;
  in >> create >> procedure >> name;
  if (Lower(procedure) != "procedure") throw std::runtime_error("not a CREATE PROCEDURE");
  if (procedures_.count(Lower(name)) != 0) {
    return Error(2714, 3, "There is already an object named '" + name + "' in the database.");
  }
  procedures_[Lower(name)] = text;
  return {};
}

}  // namespace quor::testing
