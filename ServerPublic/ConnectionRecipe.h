// How every SQL Server connection of the server is configured from the settings:
// the server name, the login (Windows integrated security or an SQL login), the
// initial database and the connect timeout, plus the ODBC driver settings that
// stand in for the OLE DB provider.
#pragma once

#include <string>

#include "platform/sql/ConnectionSettings.h"

namespace quor {

// The login data a connection uses.
struct SqlLogin {
  std::string server;
  bool integratedSecurity = false;
  std::string user;
  std::string password;  // decoded
};

// The configured login: SERVERNAME (read with `serverDefault`, the server-name
// rule applied), SQLUSERMODE (only when `honourUserMode`; "1" means integrated
// security), USERNAME (default "sa") and the decoded PASSWORD.
SqlLogin ConfiguredLogin(const std::string& serverDefault, bool honourUserMode);

// The login every connection takes while the -MSDE switch is set.
SqlLogin MsdeLogin();

// Recipe properties for `login` on `catalog`. A connect timeout of 0 keeps the
// provider's default. The driver, TDS version and encryption come from the
// settings SQLDRIVER, SQLTDSVERSION and SQLENCRYPTION.
sql::ConnectionSettings ConnectionRecipe(const SqlLogin& login, const std::string& catalog,
                                         int connectTimeoutSeconds = 0);

}  // namespace quor
