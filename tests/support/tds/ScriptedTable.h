// A table of a database on the SQL Server stand-in that answers what a client
// writing single rows sends: the name lookup "SELECT OBJECT_SCHEMA_NAME(
// OBJECT_ID(@P1)) ...", "INSERT INTO [schema].[name] ([a], [b]) VALUES (@P1,
// @P2)", "UPDATE [schema].[name] SET [a] = @P1, [b] = NULL WHERE [c] = @P2 AND
// [d] IS NULL" and "DELETE FROM [schema].[name] WHERE ...", with the rows each
// touches as the count, inside transactions that commit or roll back. Rows()
// shows what a later SELECT would see.
//
//   test::ScriptedTable goods(server, "dbo", "Goods", {Col("ID", SqlType::Int), ...}, rows);
//   server.OnStatement("select ID, Name from Goods", [&](auto&) { return goods.Select(); });
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::test {

class ScriptedTable {
 public:
  using Row = std::vector<Value>;

  ScriptedTable(SqlServerStandIn& server, std::string schema, std::string name,
                std::vector<Column> columns, std::vector<Row> rows);
  ScriptedTable(const ScriptedTable&) = delete;
  ScriptedTable& operator=(const ScriptedTable&) = delete;

  // Every row with every column, as "SELECT * FROM" it gives them.
  Reply Select() const;
  std::vector<Row> Rows() const;
  // Starts over with these rows and no statements answered.
  void Replace(std::vector<Row> rows);
  // Changes a value as another client would, outside any transaction.
  void Set(std::size_t row, const std::string& column, Value value);
  // Statements (INSERT/UPDATE/DELETE texts) this table answered, in order.
  std::vector<std::string> Statements() const;

 private:
  Reply Insert(const StatementCall& call);
  Reply Update(const StatementCall& call);
  Reply Delete(const StatementCall& call);
  void Transaction(const std::string& text);
  std::size_t ColumnIndex(const std::string& quotedName) const;
  bool Matches(const Row& row, const std::string& where, const StatementCall& call) const;

  std::string schema_;
  std::string name_;
  std::vector<Column> columns_;
  mutable std::mutex mutex_;  // guards the members below
  std::vector<Row> rows_;
  std::optional<std::vector<Row>> beforeTransaction_;
  std::vector<std::string> statements_;
};

}  // namespace quor::test
