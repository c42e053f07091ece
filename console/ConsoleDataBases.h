// What the console's database tools share: their connection to master with
// the configured login, and the list of account-set databases without
// SQL Server's own and sample databases.
#pragma once

#include <string>
#include <vector>

#include "platform/sql/Connection.h"

namespace quor::console {

// The statement that lists the databases of the server.
inline constexpr const char* kDataBaseListQuery =
    " SELECT [name], [dbid], [sid] FROM [master].[dbo].[sysdatabases]  WHERE [name] not in "
    "('Master','Model','msdb','pubs','tempdb','Northwind')";

// master on ReadConfig("ServerName", "(LOCAL)") with the configured login:
// the SQL login always, or, with `honourUserMode`, integrated security when
// SQLUSERMODE is "1". Connecting gives up after a bounded time.
sql::ConnectionSettings ConsoleMasterRecipe(bool honourUserMode);

// The names the list query returns, in its order. A server with a
// case-sensitive collation would let "master" and "model" through the query's
// own test; they are left out here whatever their letter case.
std::vector<std::string> ListAccountSetDatabases(sql::Connection& connection);

bool IsSystemDataBaseName(const std::string& name);

// "[name]" with "]" doubled, for a database name inside SQL text.
std::string BracketName(const std::string& name);

inline constexpr int kConsoleConnectTimeoutSeconds = 10;

}  // namespace quor::console
