#include "ServerPublic/ConnectionRecipe.h"

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/PasswordScrambler.h"

namespace quor {

SqlLogin ConfiguredLogin(const std::string& serverDefault, bool honourUserMode) {
  SqlLogin login;
  login.server = ReadConfig(configkey::kServerName, serverDefault);
  if (honourUserMode) {
    login.integratedSecurity =
        ReadConfigInt(configkey::kSqlUserMode, "0", configkey::kSqlUserModeFallback) == 1;
  }
  login.user = ReadConfig(configkey::kUserName, "sa");
  login.password = DecodePassword(ReadConfig(configkey::kPassword, ""));
  return login;
}

SqlLogin MsdeLogin() {
  return SqlLogin{"(LOCAL)\\VTSQLSERVER", false, "sa", ""};
}

sql::ConnectionSettings ConnectionRecipe(const SqlLogin& login, const std::string& catalog,
                                         int connectTimeoutSeconds) {
  sql::ConnectionSettings settings;
  settings.SetProperty("Driver", ReadConfig(configkey::kSqlDriver, configkey::kSqlDriverDefault));
  settings.SetProperty("TDS Version",
                       ReadConfig(configkey::kSqlTdsVersion, configkey::kSqlTdsVersionDefault));
  settings.SetProperty("Encryption",
                       ReadConfig(configkey::kSqlEncryption, configkey::kSqlEncryptionDefault));
  settings.SetProperty("Data Source", login.server);
  settings.SetProperty("Initial Catalog", catalog);
  if (login.integratedSecurity) {
    settings.SetProperty("Integrated Security", "SSPI");
    settings.SetProperty("Persist Security Info", "False");
  } else {
    settings.SetProperty("User Id", login.user);
    if (!login.password.empty()) settings.SetProperty("PASSWORD", login.password);
  }
  if (connectTimeoutSeconds > 0) {
    settings.SetProperty("Connect Timeout", std::to_string(connectTimeoutSeconds));
  }
  return settings;
}

}  // namespace quor
