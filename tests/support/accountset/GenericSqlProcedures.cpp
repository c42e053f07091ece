// The account set's procedures that run a client's statement text (ExecuteSQL,
// AccExecuteQuerySQL, AccExecuteUpdateSQL) or list a table with a condition
// (QX_QueryBasicAnyTable): each answers as the text would, from the texts the
// test scripted with OnSql, and returns 0.
#include "tests/support/accountset/AccountSet.h"

namespace quor::test {

void DeclareGenericSqlProcedures(AccountSet& accountSet) {
  const auto runsText = [&accountSet](const char* parameter) {
    return [&accountSet, parameter](const ProcedureCall& call) {
      return accountSet.AnswerSql(TextOf(call[parameter]));
    };
  };
  accountSet.Declare({"AAAAAPU", {Param("@szSql", SqlType::VarChar, 8000)}}, runsText("@szSql"));
  accountSet.Declare({"AAAABED", {Param("@szSql", SqlType::VarChar, 8000)}}, runsText("@szSql"));
  accountSet.Declare({"AAAABEE", {Param("@szSQL", SqlType::VarChar, 8000)}}, runsText("@szSQL"));
  accountSet.Declare(
      {"AAAABRF",
       {Param("@OperatorID", SqlType::VarChar, 50), Param("@CompanyID", SqlType::VarChar, 50),
        Param("@TableName", SqlType::VarChar, 100), Param("@Condition", SqlType::VarChar, 2000)}},
      [&accountSet](const ProcedureCall& call) {
        return accountSet.AnswerSql("SELECT * FROM " + TextOf(call["@TableName"]) + " WHERE " +
                                    TextOf(call["@Condition"]));
      });
}

}  // namespace quor::test
