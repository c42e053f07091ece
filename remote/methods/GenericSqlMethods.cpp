// Statement text and procedures of the client's choice in the account set the
// module is bound to. Three members hand the text to a procedure of the
// account set, AdoExecSQL runs it on QryExecSQL itself, and ExecProcEx calls
// any procedure with up to 21 arguments by position. The interface gave these
// members no DISPIDs; this family's are this server's own, from 301.
#include "remote/methods/AdministrationHandlers.h"
#include "remote/methods/MethodCatalogue.h"

namespace quor::remote {

const std::vector<MethodDescription>& GenericSqlMethods() {
  static const std::vector<MethodDescription> kMethods = {
      {.name = "ExecuteSQL",
       .dispId = 301,
       .component = Component::kQueryProc2,
       .procedure = "AAAAAPU;1",
       .arguments = {In("Param1").To("@szSql"), Ret("Param2")}},
      {.name = "AccExecuteQuerySQL",
       .dispId = 302,
       .component = Component::kQueryProc2,
       .procedure = "AAAABED",
       .arguments = {In("Param1").To("@szSql"), Ret("Param2")}},
      {.name = "AccExecuteUpdateSQL",
       .dispId = 303,
       .component = Component::kInsertProc,
       .procedure = "AAAABEE",
       .arguments = {In("Param1").To("@szSQL"), Ret("Param2")}},
      {.name = "AdoExecSQL",
       .dispId = 304,
       .component = Component::kQryExecSQL,
       .arguments = {In("szSQL"), In("bOpen"), Out("nRet", ArgType::kInteger)},
       .handler = &AdoExecSQL},
      {.name = "ExecProcEx",
       .dispId = 305,
       .component = Component::kQueryProc,
       .arguments = {In("ProcName"),
                     In("Param1"),
                     In("Param2"),
                     In("Param3"),
                     In("Param4"),
                     In("Param5"),
                     In("Param6"),
                     In("Param7"),
                     In("Param8"),
                     In("Param9"),
                     In("Param10"),
                     In("Param11"),
                     In("Param12"),
                     In("Param13"),
                     In("Param14"),
                     In("Param15"),
                     In("Param16"),
                     In("Param17"),
                     In("Param18"),
                     In("Param19"),
                     In("Param20"),
                     In("Param21"),
                     RetVal("Value", ArgType::kInteger)},
       .handler = &ExecProcEx},
      {.name = "QX_QueryBasicAnyTable",
       .dispId = 306,
       .component = Component::kQueryProc,
       .procedure = "AAAABRF;1",
       .arguments = {kOperatorId, kCompanyId, In("TableName"), In("Condition"), Ret("nRet")}},
  };
  return kMethods;
}

}  // namespace quor::remote
