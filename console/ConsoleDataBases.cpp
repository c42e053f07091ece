#include "console/ConsoleDataBases.h"

#include "ServerPublic/ConnectionRecipe.h"
#include "platform/sql/RecordSet.h"
#include "platform/sql/Statement.h"
#include "platform/text/AsciiText.h"

namespace quor::console {

sql::ConnectionSettings ConsoleMasterRecipe(bool honourUserMode) {
  return ConnectionRecipe(ConfiguredLogin("(LOCAL)", honourUserMode), "master",
                          kConsoleConnectTimeoutSeconds);
}

bool IsSystemDataBaseName(const std::string& name) {
  const std::string upper = text::AsciiUpper(name);
  for (const char* system : {"MASTER", "MODEL", "MSDB", "PUBS", "TEMPDB", "NORTHWIND"}) {
    if (upper == system) return true;
  }
  return false;
}

std::vector<std::string> ListAccountSetDatabases(sql::Connection& connection) {
  sql::Statement statement(connection, "DataBaseList");
  statement.SetText(kDataBaseListQuery);
  sql::RecordSet& records = statement.Open();
  std::vector<std::string> names;
  for (; !records.Eof(); records.Next()) {
    const std::string name = records.FieldByName("Name").AsText();
    if (!IsSystemDataBaseName(name)) names.push_back(name);
  }
  return names;
}

std::string BracketName(const std::string& name) {
  std::string quoted = "[";
  for (char c : name) {
    quoted += c;
    if (c == ']') quoted += ']';
  }
  return quoted + "]";
}

}  // namespace quor::console
