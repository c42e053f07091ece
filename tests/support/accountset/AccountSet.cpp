#include "tests/support/accountset/AccountSet.h"

#include <stdexcept>
#include <utility>

namespace quor::test {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return lower;
}

std::string BareName(std::string_view name) {
  const std::size_t semicolon = name.find(';');
  return Lower(name.substr(0, semicolon));
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

AccountSet::AccountSet(SqlServerStandIn& server, std::string database)
    : server_(server), database_(std::move(database)) {
  server_.AddLogin(kAccountSetUser, kAccountSetPassword);
  server_.AddDatabase(database_);
  DeclareFrameProcedures(*this);
  DeclareBasicInformationProcedures(*this);
  DeclareBillProcedures(*this);
  DeclareSessionProcedures(*this);
  DeclareGenericSqlProcedures(*this);
  DeclareQueryReportProcedures(*this);
}

void AccountSet::OnSql(const std::string& text, Reply reply) {
  std::lock_guard lock(mutex_);
  sql_.emplace_back(Trimmed(text), std::move(reply));
}

void AccountSet::OnSqlMatching(const std::regex& pattern, Reply reply) {
  std::lock_guard lock(mutex_);
  sqlPatterns_.emplace_back(pattern, std::move(reply));
}

Reply AccountSet::AnswerSql(const std::string& text) const {
  const std::string wanted = Trimmed(text);
  std::lock_guard lock(mutex_);
  for (auto it = sql_.rbegin(); it != sql_.rend(); ++it) {
    if (it->first == wanted) return it->second;
  }
  for (auto it = sqlPatterns_.rbegin(); it != sqlPatterns_.rend(); ++it) {
    if (std::regex_match(wanted, it->first)) return it->second;
  }
  Reply reply;
  reply.error =
      ServerError{50000, 1, 16, "ExecSQL: the test account set has no answer for: " + wanted};
  return reply;
}

void AccountSet::Declare(ProcedureDecl decl, ProcedureHandler handler) {
  decl.database = database_;
  const std::string name = decl.name;
  server_.DeclareProcedure(std::move(decl));
  server_.OnProcedure(name, [this, name, handler = std::move(handler)](const ProcedureCall& call) {
    // The stand-in's handlers serve every database; the procedure exists only in this one.
    if (Lower(call.database) != Lower(database_)) {
      Reply missing;
      missing.error = ServerError{2812, 62, 16, "Could not find stored procedure '" + name + "'."};
      return missing;
    }
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(call);
    }
    return handler(call);
  });
}

std::vector<ProcedureCall> AccountSet::Calls(std::string_view procedure) const {
  const std::string wanted = BareName(procedure);
  std::lock_guard lock(mutex_);
  std::vector<ProcedureCall> calls;
  for (const ProcedureCall& call : calls_) {
    if (BareName(call.procedure) == wanted) calls.push_back(call);
  }
  return calls;
}

ProcedureCall AccountSet::LastCall(std::string_view procedure) const {
  std::vector<ProcedureCall> calls = Calls(procedure);
  if (calls.empty()) throw std::runtime_error(std::string(procedure) + " was not called");
  return calls.back();
}

void AccountSet::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void DeclareFrameProcedures(AccountSet& accountSet) {
  // "ExecSQL" runs the text of its first parameter and returns its rows.
  accountSet.Declare({"ExecSQL", {Param("@SqlText", SqlType::NVarChar, 4000)}},
                     [&accountSet](const ProcedureCall& call) {
                       return accountSet.AnswerSql(TextOf(call["@SqlText"]));
                     });
}

std::string TextOf(const Value& value) {
  if (value.IsNull()) return {};
  if (value.GetKind() == Value::Kind::Text) return value.AsText();
  if (value.GetKind() == Value::Kind::Decimal) return value.AsDecimalText();
  return value.ToString();
}

}  // namespace quor::test
