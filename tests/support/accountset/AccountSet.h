// An account-set database on the SQL Server stand-in: the login, the database
// and the stored procedures the remote methods call, declared as the real
// account set declares them and answering as it would (return codes, output
// parameters, rows). Every call is logged so tests can see what arrived.
//
//   quor::test::SqlServerStandIn server;
//   quor::test::AccountSet accountSet(server);
//   accountSet.OnSql("select 1 as One", reply);       // what "ExecSQL" answers
//   ... call the server ...
//   accountSet.LastCall("AAAAARN")["@Mode"]            // "I"
//
// Each method family adds its procedures in a file of its own here
// (<Family>Procedures.cpp) and one line to the constructor.
#pragma once

#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/tds/Declare.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::test {

inline constexpr const char* kAccountSetUser = "sa";
inline constexpr const char* kAccountSetPassword = "Secret#1";
inline constexpr const char* kAccountSetDatabase = "QuorData01";

class AccountSet {
 public:
  explicit AccountSet(SqlServerStandIn& server, std::string database = kAccountSetDatabase);
  AccountSet(const AccountSet&) = delete;
  AccountSet& operator=(const AccountSet&) = delete;

  SqlServerStandIn& Server() { return server_; }
  const std::string& Database() const { return database_; }

  // What the account set's "ExecSQL" answers for a statement text (surrounding
  // white space ignored; the latest registration wins). Unscripted texts fail
  // with a server error naming them.
  void OnSql(const std::string& text, Reply reply);
  void OnSqlMatching(const std::regex& pattern, Reply reply);
  // The answer for a text, as "ExecSQL" gives it.
  Reply AnswerSql(const std::string& text) const;

  // Declares a procedure of this database and answers it with `handler`; every
  // call is logged first.
  void Declare(ProcedureDecl decl, ProcedureHandler handler);

  // Calls of one procedure (name without ";1", any case), oldest first.
  std::vector<ProcedureCall> Calls(std::string_view procedure) const;
  // Throws std::runtime_error when the procedure was not called.
  ProcedureCall LastCall(std::string_view procedure) const;
  void ClearCalls();

 private:
  SqlServerStandIn& server_;
  std::string database_;
  mutable std::mutex mutex_;  // guards the three members below
  std::vector<std::pair<std::string, Reply>> sql_;
  std::vector<std::pair<std::regex, Reply>> sqlPatterns_;
  std::vector<ProcedureCall> calls_;
};

// Declarations by family (called by the constructor).
void DeclareFrameProcedures(AccountSet& accountSet);
void DeclareBasicInformationProcedures(AccountSet& accountSet);
void DeclareBillProcedures(AccountSet& accountSet);
void DeclareSessionProcedures(AccountSet& accountSet);
void DeclareGenericSqlProcedures(AccountSet& accountSet);
void DeclareQueryReportProcedures(AccountSet& accountSet);

// Rows the account set holds, for comparing what clients receive.
// Goods (table "AAAAAFT"): text, Chinese text, money, dates, NULLs and a blob.
ResultSet SampleGoods();
// The header of bill 1001, as "AAAAAVB" lists it.
ResultSet SampleBillMaster();

// Building blocks for declarations.
// A value's text; NULL reads as "".
std::string TextOf(const Value& value);

}  // namespace quor::test
