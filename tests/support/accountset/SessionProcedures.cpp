// Procedures of the session methods: the clients' work log.
#include "tests/support/accountset/AccountSet.h"

namespace quor::test {
namespace {

// The account set's own code for a log line without an operator.
constexpr int kNoOperator = -1;

}  // namespace

void DeclareSessionProcedures(AccountSet& accountSet) {
  accountSet.Declare(
      {"AAAABAP",
       {Param("@OperatorID", SqlType::VarChar, 25), Param("@CompanyID", SqlType::VarChar, 25),
        Param("@cMode", SqlType::Int), Param("@ComputerName", SqlType::VarChar, 50),
        Param("@ComputerIP", SqlType::VarChar, 50), Param("@LoginDate", SqlType::DateTime),
        Param("@ModuleName", SqlType::VarChar, 100), Param("@ModuleEvent", SqlType::VarChar, 100),
        Param("@WorkContent", SqlType::VarChar, 500), Param("@StartDateTime", SqlType::DateTime),
        Param("@EndDateTime", SqlType::DateTime)}},
      [](const ProcedureCall& call) {
        Reply reply;
        if (TextOf(call["@OperatorID"]).empty()) reply.returnStatus = kNoOperator;
        return reply;
      });
}

}  // namespace quor::test
