// What the stand-in knows and remembers: logins, databases, declared procedures, the scripted
// answers to procedures and statements, and the log of requests. One lock guards it all; the
// lock is never held while a test's handler runs.
#pragma once

#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::test::tds {

// A procedure name as a request spells it: "[db].[dbo].[Name];1" -> database "db", key "name".
struct ProcedureName {
  std::string database;  // empty unless the name carries one
  std::string key;       // lower case, without owner, brackets and group number
  std::string bare;      // the same in the case it was written
};
ProcedureName ParseProcedureName(std::string_view name);
std::string Lower(std::string_view text);
// SQL LIKE with %, _ and [...] classes, without regard to case.
bool LikeMatch(std::string_view text, std::string_view pattern);

struct StatementMatch {
  StatementHandler handler;
  std::vector<std::string> captures;
};

class ScriptBook {
 public:
  void AddLogin(const std::string& user, const std::string& password);
  // The login's canonical user name when the password matches.
  std::optional<std::string> CheckLogin(const std::string& user, const std::string& password) const;
  void AddDatabase(const std::string& name);
  std::optional<std::string> FindDatabase(std::string_view name) const;

  void DeclareProcedure(ProcedureDecl decl);
  std::optional<ProcedureDecl> FindProcedure(const ProcedureName& name,
                                             const std::string& database) const;
  // Declared procedures of a database whose names are LIKE the pattern (";n" removed).
  std::vector<ProcedureDecl> ProceduresLike(std::string_view pattern,
                                            const std::string& database) const;
  void SetProcedureHandler(const std::string& name, ProcedureHandler handler);
  ProcedureHandler FindProcedureHandler(const ProcedureName& name) const;

  void AddStatement(const std::string& text, StatementHandler handler);
  void AddStatementPattern(const std::regex& pattern, StatementHandler handler);
  std::optional<StatementMatch> FindStatement(const std::string& text) const;

  void SetTransactionHandler(TransactionHandler handler);
  TransactionHandler FindTransactionHandler() const;

  void Record(Request request);
  std::vector<Request> Requests() const;
  void ClearRequests();

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> logins_;
  std::vector<std::string> databases_{"master"};
  std::vector<ProcedureDecl> procedures_;
  std::vector<std::pair<std::string, ProcedureHandler>> procedureHandlers_;
  std::vector<std::pair<std::string, StatementHandler>> statements_;
  std::vector<std::pair<std::regex, StatementHandler>> patterns_;
  std::vector<Request> requests_;
  TransactionHandler transactionHandler_;
};

std::string Trim(std::string_view text);

}  // namespace quor::test::tds
