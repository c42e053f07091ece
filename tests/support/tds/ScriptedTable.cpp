#include "tests/support/tds/ScriptedTable.h"

#include <regex>
#include <stdexcept>

#include "tests/support/tds/Declare.h"
#include "tests/support/tds/ScriptBook.h"

namespace quor::test {
namespace {

std::string Escape(const std::string& text) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(text, special, R"(\$&)");
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return parts;
    start = at + separator.size();
  }
}

// "@P3" -> the third parameter's value.
const Value& Marker(const StatementCall& call, const std::string& marker) {
  if (marker.size() < 3 || marker.compare(0, 2, "@P") != 0) {
    throw std::runtime_error("not a parameter marker: " + marker);
  }
  const std::size_t index = std::stoul(marker.substr(2));
  if (index == 0 || index > call.params.size()) {
    throw std::runtime_error("no parameter " + marker);
  }
  return call.params[index - 1].value;
}

bool IsNumber(const Value& value) {
  return value.GetKind() == Value::Kind::Integer || value.GetKind() == Value::Kind::Float ||
         value.GetKind() == Value::Kind::Decimal;
}

// SQL Server's "=": NULL equals nothing; numbers compare by value.
bool SqlEquals(const Value& a, const Value& b) {
  if (a.IsNull() || b.IsNull()) return false;
  if (IsNumber(a) && IsNumber(b)) return a.AsDouble() == b.AsDouble();
  return a == b;
}

}  // namespace

ScriptedTable::ScriptedTable(SqlServerStandIn& server, std::string schema, std::string name,
                             std::vector<Column> columns, std::vector<Row> rows)
    : schema_(std::move(schema)),
      name_(std::move(name)),
      columns_(std::move(columns)),
      rows_(std::move(rows)) {
  const std::string table = Escape("[" + schema_ + "].[" + name_ + "]");
  server.OnStatementMatching(
      std::regex(R"(SELECT OBJECT_SCHEMA_NAME\(OBJECT_ID\(@P1\)\) AS SchemaName, )"
                 R"(OBJECT_NAME\(OBJECT_ID\(@P2\)\) AS TableName)"),
      [this](const StatementCall& call) {
        const std::string asked = tds::Lower(call.params.at(0).value.AsText());
        const std::string bare = tds::Lower(name_);
        const std::string owner = tds::Lower(schema_);
        const bool known = asked == bare || asked == "[" + bare + "]" ||
                           asked == owner + "." + bare || asked == "[" + owner + "].[" + bare + "]";
        Reply reply;
        reply.resultSets.push_back(
            {{Col("SchemaName", SqlType::NVarChar, 128), Col("TableName", SqlType::NVarChar, 128)},
             {known ? Row{schema_, name_} : Row{nullptr, nullptr}}});
        return reply;
      });
  server.OnStatementMatching(
      std::regex("INSERT INTO " + table + R"( (\(.*\) VALUES \(.*\)|DEFAULT VALUES))"),
      [this](const StatementCall& call) { return Insert(call); });
  server.OnStatementMatching(std::regex("UPDATE " + table + " SET .*"),
                             [this](const StatementCall& call) { return Update(call); });
  server.OnStatementMatching(std::regex("DELETE FROM " + table + "( WHERE .*)?"),
                             [this](const StatementCall& call) { return Delete(call); });
  server.OnTransaction([this](const std::string& text) { Transaction(text); });
}

Reply ScriptedTable::Select() const {
  std::lock_guard lock(mutex_);
  Reply reply;
  reply.resultSets.push_back({columns_, rows_});
  return reply;
}

std::vector<ScriptedTable::Row> ScriptedTable::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

void ScriptedTable::Replace(std::vector<Row> rows) {
  std::lock_guard lock(mutex_);
  rows_ = std::move(rows);
  statements_.clear();
}

void ScriptedTable::Set(std::size_t row, const std::string& column, Value value) {
  const std::size_t index = ColumnIndex("[" + column + "]");
  std::lock_guard lock(mutex_);
  rows_.at(row).at(index) = std::move(value);
}

std::vector<std::string> ScriptedTable::Statements() const {
  std::lock_guard lock(mutex_);
  return statements_;
}

std::size_t ScriptedTable::ColumnIndex(const std::string& quotedName) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (tds::Lower("[" + columns_[i].name + "]") == tds::Lower(quotedName)) return i;
  }
  throw std::runtime_error("Invalid column name '" + quotedName + "'.");
}

bool ScriptedTable::Matches(const Row& row, const std::string& where,
                            const StatementCall& call) const {
  if (where.empty()) return true;
  for (const std::string& condition : Split(where, " AND ")) {
    static const std::regex isNull(R"((\[[^\]]+\]) IS NULL)");
    static const std::regex equals(R"((\[[^\]]+\]) = (@P[0-9]+))");
    std::smatch m;
    if (std::regex_match(condition, m, isNull)) {
      if (!row[ColumnIndex(m[1])].IsNull()) return false;
    } else if (std::regex_match(condition, m, equals)) {
      if (!SqlEquals(row[ColumnIndex(m[1])], Marker(call, m[2]))) return false;
    } else {
      throw std::runtime_error("condition not understood: " + condition);
    }
  }
  return true;
}

Reply ScriptedTable::Insert(const StatementCall& call) {
  Row row(columns_.size());
  static const std::regex values(R"(.* \((.*)\) VALUES \((.*)\))");
  std::smatch m;
  if (std::regex_match(call.text, m, values)) {
    const std::vector<std::string> names = Split(m[1], ", ");
    const std::vector<std::string> markers = Split(m[2], ", ");
    if (names.size() != markers.size()) throw std::runtime_error("column and value counts differ");
    for (std::size_t i = 0; i < names.size(); ++i) {
      row[ColumnIndex(names[i])] = Marker(call, markers[i]);
    }
  }
  std::lock_guard lock(mutex_);
  statements_.push_back(call.text);
  rows_.push_back(std::move(row));
  Reply reply;
  reply.rowsAffected = 1;
  return reply;
}

Reply ScriptedTable::Update(const StatementCall& call) {
  static const std::regex shape(R"(.* SET (.*?)(?: WHERE (.*))?)");
  std::smatch m;
  if (!std::regex_match(call.text, m, shape)) throw std::runtime_error("UPDATE not understood");
  const std::string where = m[2];
  std::vector<std::pair<std::size_t, Value>> sets;
  for (const std::string& item : Split(m[1], ", ")) {
    static const std::regex assign(R"((\[[^\]]+\]) = (NULL|@P[0-9]+))");
    std::smatch a;
    if (!std::regex_match(item, a, assign)) throw std::runtime_error("SET not understood: " + item);
    sets.emplace_back(ColumnIndex(a[1]), a[2] == "NULL" ? Value() : Marker(call, a[2]));
  }
  std::lock_guard lock(mutex_);
  statements_.push_back(call.text);
  std::int64_t touched = 0;
  for (Row& row : rows_) {
    if (!Matches(row, where, call)) continue;
    for (const auto& [index, value] : sets) row[index] = value;
    ++touched;
  }
  Reply reply;
  reply.rowsAffected = touched;
  return reply;
}

Reply ScriptedTable::Delete(const StatementCall& call) {
  static const std::regex shape(R"(DELETE FROM \S+(?: WHERE (.*))?)");
  std::smatch m;
  if (!std::regex_match(call.text, m, shape)) throw std::runtime_error("DELETE not understood");
  const std::string where = m[1];
  std::lock_guard lock(mutex_);
  statements_.push_back(call.text);
  std::int64_t touched = 0;
  for (auto it = rows_.begin(); it != rows_.end();) {
    if (Matches(*it, where, call)) {
      it = rows_.erase(it);
      ++touched;
    } else {
      ++it;
    }
  }
  Reply reply;
  reply.rowsAffected = touched;
  return reply;
}

void ScriptedTable::Transaction(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (text == "BEGIN TRAN") {
    beforeTransaction_ = rows_;
  } else if (text == "ROLLBACK TRAN") {
    if (beforeTransaction_) rows_ = *beforeTransaction_;
    beforeTransaction_.reset();
  } else if (text == "COMMIT TRAN") {
    beforeTransaction_.reset();
  }
}

}  // namespace quor::test
