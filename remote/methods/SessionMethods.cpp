// Session and server information: connecting the module, binding it to an
// account set, the desktop login and its keep-alive, and what a client learns
// about the server. The interface gave these members no DISPIDs; the ones here
// (101 to 113) are this server's and clients find them by name.
#include "remote/methods/MethodCatalogue.h"
#include "remote/methods/SessionHandlers.h"

namespace quor::remote {

const std::vector<MethodDescription>& SessionMethods() {
  static const std::vector<MethodDescription> kMethods = {
      {.name = "ConnectDb",
       .dispId = 101,
       .component = Component::kQryExecSQL,
       .arguments = {In("Vocation"), Out("iReturn", ArgType::kInteger)},
       .handler = &ConnectDb},
      {.name = "ChangeDataBase",
       .dispId = 102,
       .arguments = {In("dbName"), Out("iReturn", ArgType::kInteger), NotSent("sVersion")},
       .handler = &ChangeDataBase},
      {.name = "UpdateNetConnectTime",
       .dispId = 103,
       .arguments = {In("szGUID")},
       .handler = &UpdateNetConnectTime},
      {.name = "NetClientDisconnect",
       .dispId = 104,
       .arguments = {In("szGUID")},
       .handler = &NetClientDisconnect},
      {.name = "CheckNetConnectCollide",
       .dispId = 105,
       .arguments = {In("szGUID"), RetVal("Collide", ArgType::kInteger)},
       .handler = &CheckNetConnectCollide},
      {.name = "GetServerDate",
       .dispId = 106,
       .arguments = {Out("DateTime", ArgType::kDate)},
       .handler = &GetServerDate},
      {.name = "GetVersionNumber",
       .dispId = 107,
       .arguments = {In("Vocation"), In("sVersion"), In("sClientTime"),
                     Out("iAutoUpdate", ArgType::kInteger), RetVal("iReturn", ArgType::kInteger)},
       .handler = &GetVersionNumber},
      // sPort is declared [in] BSTR* and written like an output: by reference
      // both ways, so a client's value stays when the server name has no suffix.
      {.name = "GetSQLServerConfig",
       .dispId = 108,
       .arguments = {Out("sServer", ArgType::kWideString), InOut("sPort", ArgType::kWideString),
                     Out("sLoginUser", ArgType::kWideString),
                     Out("sPassword", ArgType::kWideString)},
       .handler = &GetSQLServerConfig},
      {.name = "GetServerAppPath",
       .dispId = 109,
       .arguments = {In("iMode").Typed(ArgType::kInteger), Out("sPath")},
       .handler = &GetServerAppPath},
      {.name = "GetSQLEditionIsMSDE",
       .dispId = 110,
       .component = Component::kQryExecSQL,
       .arguments = {RetVal("IsMSDE", ArgType::kBoolean)},
       .handler = &GetSQLEditionIsMSDE},
      {.name = "GetIsClientAutoSynchro",
       .dispId = 111,
       .arguments = {Out("iReturn", ArgType::kInteger)},
       .handler = &GetIsClientAutoSynchro},
      {.name = "SystemWorkLog",
       .dispId = 112,
       .component = Component::kQueryProc,
       .procedure = "AAAABAP;1",
       .arguments = {kOperatorId, kCompanyId, In("cMode"), In("ComputerName"), In("ComputerIP"),
                     In("LoginDate"), In("ModuleName"), In("ModuleEvent"), In("WorkContent"),
                     In("StartDateTime"), In("EndDateTime"), Ret("nRet")}},
      // The desktop login: the six values of the online table's entry; iReturn
      // 0 entered, -5 refused by the one-login-per-user policy, with the
      // refusal's text in sMessage (empty otherwise).
      {.name = "NetClientLogin",
       .dispId = 113,
       .arguments = {In("szGUID"), In("DataBase"), In("LoginID"), In("ComputerName"),
                     In("ComputerAddr"), In("LoginUserName"), Out("iReturn", ArgType::kInteger),
                     Out("sMessage", ArgType::kWideString)},
       .handler = &NetClientLogin},
  };
  return kMethods;
}

}  // namespace quor::remote
