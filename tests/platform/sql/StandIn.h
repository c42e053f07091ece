// Shared set-up of the tests that reach the SQL Server stand-in through the
// real FreeTDS driver: a stand-in with the usual login and account-set database,
// and connection settings that point at it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ConnectionSettings.h"
#include "tests/support/tds/Declare.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::sql::testing {

inline constexpr const char* kUser = "sa";
inline constexpr const char* kPassword = "Secret#1";
inline constexpr const char* kAccountSet = "QuorData01";

inline std::unique_ptr<quor::test::SqlServerStandIn> MakeStandIn(
    quor::test::SqlServerStandInOptions options = {}) {
  auto server = std::make_unique<quor::test::SqlServerStandIn>(std::move(options));
  server->AddLogin(kUser, kPassword);
  server->AddDatabase(kAccountSet);
  return server;
}

inline ConnectionSettings SettingsFor(const quor::test::SqlServerStandIn& server,
                                      const std::string& catalog = "master") {
  ConnectionSettings settings;
  settings.dataSource = "127.0.0.1," + std::to_string(server.Port());
  settings.initialCatalog = catalog;
  settings.userId = kUser;
  settings.password = kPassword;
  settings.connectTimeoutSeconds = 5;
  return settings;
}

using quor::test::Col;
using quor::test::Output;
using quor::test::Param;

inline quor::test::ParamDecl WithDefault(quor::test::ParamDecl decl, quor::test::Value value) {
  decl.defaultValue = std::move(value);
  return decl;
}

inline quor::test::ProcedureDecl Procedure(std::string name,
                                           std::vector<quor::test::ParamDecl> params) {
  quor::test::ProcedureDecl decl;
  decl.name = std::move(name);
  decl.params = std::move(params);
  return decl;
}

inline quor::test::ResultSet Rows(std::vector<quor::test::Column> columns,
                                  std::vector<std::vector<quor::test::Value>> rows) {
  quor::test::ResultSet result;
  result.columns = std::move(columns);
  result.rows = std::move(rows);
  return result;
}

}  // namespace quor::sql::testing
