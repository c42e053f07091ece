// Connecting a module to SQL Server, binding it to an account set, and listing
// the account sets.
#include <iostream>
#include <stdexcept>
#include <string>

#include "ServerPublic/ConnectionRecipe.h"
#include "ServerPublic/MasterCatalogue.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/SqlNames.h"
#include "ServerPublic/SqlRoutines.h"
#include "platform/sql/SqlError.h"
#include "platform/text/AsciiText.h"
#include "remote/methods/CallPattern.h"
#include "remote/methods/SessionHandlers.h"
#include "remote/methods/TradeCode.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

constexpr int kDone = 0;
constexpr int kNotDone = -1;
constexpr int kConnectTimeoutSeconds = 10;
// Clients' connections take this server when SERVERNAME is not configured.
constexpr const char* kClientServerDefault = "127.0.0.1";

}  // namespace

com::Variant ConnectDb(TDataModuleServer& module, const MethodDescription& method,
                       com::DispatchArgs& args) {
  args[1] = com::Variant::I4(kNotDone);
  const std::string vocation = args[0].ToString();
  // The code becomes part of the catalogue's table name for every client, so
  // a code that could carry SQL is refused before anything changes.
  if (!IsTradeCode(vocation)) {
    throw std::invalid_argument("ConnectDb: '" + vocation + "' is not a trade code");
  }
  SetVocation(vocation);
  module.SetTradeCode(vocation);
  SetTemplateBaseName("DataBase" + vocation);
  SetCatalogTableName("ValtoDataBase" + vocation);

  const SqlLogin login = MsdeSwitch() ? MsdeLogin() : ConfiguredLogin(kClientServerDefault, true);
  sql::Connection& connection = module.ADOConnection1();
  sql::ConnectionSettings settings = ConnectionRecipe(login, "master", kConnectTimeoutSeconds);
  settings.SetProperty("Provider", "sqloledb.1");
  // The command timeout the module was created with stays.
  settings.commandTimeoutSeconds = connection.Settings().commandTimeoutSeconds;
  connection.Close();
  connection.Settings() = settings;
  try {
    connection.Open();
  } catch (const sql::SqlError& error) {
    // A server that is away or a refused login is an answer, not a failure.
    std::cerr << "ConnectDb: cannot connect to " << login.server << ": " << error.what() << '\n';
  }
  if (!connection.Connected()) return {};
  args[1] = com::Variant::I4(kDone);
  ProbeReturnValueName(module.QryExecSQL());
  return {};
}

com::Variant ChangeDataBase(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args) {
  args[1] = com::Variant::I4(kNotDone);
  const std::string name = std::string(text::TrimBlanks(args[0].ToString()));
  if (name.empty()) return {};
  try {
    // The driver quotes the name itself, so it never reaches SQL text unquoted;
    // on failure the connection stays on the database it was on.
    module.ADOConnection1().ChangeDatabase(name);
  } catch (const sql::SqlError& error) {
    std::cerr << "ChangeDataBase: cannot switch to " << name << ": " << error.what() << '\n';
    return {};
  }
  args[1] = com::Variant::I4(kDone);
  return {};
}

com::Variant QueryDataBase(TDataModuleServer& module, const MethodDescription& method,
                           com::DispatchArgs& args) {
  // P_QueryDataBase pastes the name into "SELECT * FROM " and runs it, so
  // anything but a plain table name is refused before the procedure sees it.
  const std::string table = args[0].ToString();
  if (!IsPlainObjectName(table)) {
    throw std::invalid_argument("QueryDataBase: '" + table + "' is not a table name");
  }
  EnsureMasterCatalogue(module.CreateGetZt());
  return RunCallPattern(module, method, args);
}

}  // namespace quor::remote
