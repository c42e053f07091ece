#include "SqlServerStandIn.h"

#include <stdexcept>

// First published interface; the server behind it follows in the next commits.
namespace quor::test {

class SqlServerStandIn::Impl {};

namespace {
[[noreturn]] void NotYet() {
  throw std::logic_error("SqlServerStandIn: not implemented yet");
}
}  // namespace

const Value& ProcedureCall::operator[](std::string_view) const {
  NotYet();
}
bool ProcedureCall::WasSent(std::string_view) const {
  NotYet();
}
SqlServerStandIn::SqlServerStandIn() {
  NotYet();
}
SqlServerStandIn::SqlServerStandIn(SqlServerStandInOptions) {
  NotYet();
}
SqlServerStandIn::~SqlServerStandIn() = default;
std::uint16_t SqlServerStandIn::Port() const {
  NotYet();
}
std::string SqlServerStandIn::ConnectionString(const std::string&, const std::string&,
                                               const std::string&) const {
  NotYet();
}
void SqlServerStandIn::AddLogin(const std::string&, const std::string&) {
  NotYet();
}
void SqlServerStandIn::AddDatabase(const std::string&) {
  NotYet();
}
void SqlServerStandIn::DeclareProcedure(ProcedureDecl) {
  NotYet();
}
void SqlServerStandIn::OnProcedure(const std::string&, ProcedureHandler) {
  NotYet();
}
void SqlServerStandIn::OnProcedure(const std::string&, Reply) {
  NotYet();
}
void SqlServerStandIn::OnStatement(const std::string&, Reply) {
  NotYet();
}
void SqlServerStandIn::OnStatement(const std::string&, StatementHandler) {
  NotYet();
}
void SqlServerStandIn::OnStatementMatching(const std::regex&, Reply) {
  NotYet();
}
void SqlServerStandIn::OnStatementMatching(const std::regex&, StatementHandler) {
  NotYet();
}
std::vector<Request> SqlServerStandIn::Requests() const {
  NotYet();
}
void SqlServerStandIn::ClearRequests() {
  NotYet();
}
std::uint16_t SqlServerStandIn::StartBrowser(std::uint16_t, const std::string&) {
  NotYet();
}
void SqlServerStandIn::DropConnections() {
  NotYet();
}
std::size_t SqlServerStandIn::OpenConnections() const {
  NotYet();
}

}  // namespace quor::test
