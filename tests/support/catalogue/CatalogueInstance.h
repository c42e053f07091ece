// The objects of a SQL Server database as far as the catalogue batches touch
// them: user tables with their columns, constraints and rows, and procedures
// with their texts. Serve() scripts a stand-in to answer the given batch texts
// as SQL Server would, reading the existence tests, CREATE, ALTER, INSERT ...
// SELECT and DROP in them and changing the state accordingly; any other text
// stays unscripted and fails with error 208. ServeQueryProcedure() adds the
// listing procedure the catalogue creates.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::testing {

class CatalogueInstance {
 public:
  using Row = std::map<std::string, test::Value>;  // column name -> value

  struct Table {
    std::string name;
    std::vector<std::string> columns;      // in table order
    std::vector<std::string> definitions;  // per column, as created or added
    std::vector<std::string> constraints;
    std::vector<Row> rows;
    long long nextIdentity = 1;
  };

  // A table whose columns are plain names (an identity column "ID" and "int"
  // or "varchar" as the definitions) with rows given as values in column
  // order; the identity continues after the largest ID.
  void AddTable(const std::string& name, const std::vector<std::string>& columns,
                const std::vector<std::vector<test::Value>>& rows = {});
  void AddProcedure(const std::string& name, const std::string& text);

  std::optional<Table> FindTable(const std::string& name) const;
  std::optional<std::string> ProcedureText(const std::string& name) const;
  // The whole state in a readable, ordered form, for before-and-after checks.
  std::string Describe() const;

  // Answers each of `texts` (exact text) on `server` from this state.
  void Serve(test::SqlServerStandIn& server, const std::vector<std::string>& texts);
  // Answers every batch that begins as the catalogue's batches do, for tests
  // of callers that need not spell each text out.
  void ServeAnyBatch(test::SqlServerStandIn& server);
  // Declares P_QueryDataBase (@DbName varchar(3000)) on `server` and answers
  // it as its text says, with every row of the table @DbName names ("T",
  // "master..T", "[dbo].[T]"), once the procedure was created here; before
  // that the call fails as an unknown procedure does (2812).
  void ServeQueryProcedure(test::SqlServerStandIn& server);

  // What GetDate() gives here, so that the state stays comparable.
  static test::DateTime Now() { return {2024, 3, 5, 10, 20, 30, 0}; }

 private:
  test::Reply Apply(const std::string& text);
  test::Reply CreateTable(const std::string& text, const std::string& guardName);
  test::Reply AddColumns(const std::string& text);
  test::Reply Migrate(const std::string& text, const std::string& oldName);
  test::Reply ProcedureQuery(const std::string& text) const;
  test::Reply CreateProcedure(const std::string& text);
  test::Reply SelectAll(const std::string& objectName) const;
  Table* Find(const std::string& name);

  mutable std::mutex mutex_;             // handlers run on the stand-in's connection threads
  std::map<std::string, Table> tables_;  // by lower-case name
  std::map<std::string, std::string> procedures_;  // lower-case name -> text
};

}  // namespace quor::testing
