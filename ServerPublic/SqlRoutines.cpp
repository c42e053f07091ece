#include "ServerPublic/SqlRoutines.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConnectionRecipe.h"
#include "ServerPublic/ServerGlobals.h"
#include "platform/registry/Registry.h"
#include "platform/service/ServiceStatus.h"
#include "platform/sql/Connection.h"
#include "platform/sql/SqlError.h"
#include "platform/text/AsciiText.h"
#include "platform/ui/MessageBoxes.h"

namespace quor {
namespace {

constexpr int kLoginTestTimeoutSeconds = 5;
constexpr auto kOpenerWait = std::chrono::seconds(10);

// A quoted SQL literal, or Null for the empty text. Doubling the quotes keeps the
// statement well formed whatever a password holds.
std::string LiteralOrNull(const std::string& text) {
  if (text.empty()) return "Null";
  std::string literal = "'";
  for (char c : text) {
    literal += c;
    if (c == '\'') literal += '\'';
  }
  return literal + "'";
}

// Opens `text` as a query on `statement`; false when it gave no result set.
bool OpenQuery(sql::Statement& statement, const std::string& text) {
  statement.Close();
  statement.SetText(text);
  try {
    statement.Open();
    return true;
  } catch (const sql::NoResultSetError&) {
    return false;
  }
}

// The text of the first row's field, or empty when the query gave no rows.
std::string FirstFieldText(sql::Statement& statement, const std::string& field) {
  sql::RecordSet& records = statement.Records();
  records.First();
  std::string value = records.Eof() ? std::string() : records.FieldByName(field).AsText();
  statement.Close();
  return value;
}

}  // namespace

bool TestSqlLogin(int mode, const std::string& server, const std::string& user,
                  const std::string& password) {
  SqlLogin login{server, mode == 1, user, password};
  try {
    sql::Connection connection(ConnectionRecipe(login, "master", kLoginTestTimeoutSeconds));
    connection.Open();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string SpPasswordStatement(const std::string& user, const std::string& oldPassword,
                                const std::string& newPassword) {
  return "EXEC sp_password " + LiteralOrNull(oldPassword) + "," + LiteralOrNull(newPassword) + "," +
         LiteralOrNull(user);
}

bool ChangeSqlPassword(const std::string& server, const std::string& user,
                       const std::string& oldPassword, const std::string& newPassword) {
  SqlLogin login{server, false, user, oldPassword};
  try {
    sql::Connection connection(ConnectionRecipe(login, "master"));
    connection.Open();
    connection.Execute(SpPasswordStatement(user, oldPassword, newPassword));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string NoResultSetMessage(const std::string& componentName) {
  return componentName + ": " + sql::kNoResultSetText;
}

int ExecSqlText(sql::Statement& statement, const std::string& text, bool open) {
  int result = kExecSqlFailed;
  statement.Close();
  statement.Params().Clear();
  statement.SetText(text);
  if (statement.Lines().empty()) return result;
  try {
    if (open) {
      statement.Open();
    } else {
      statement.Execute();
    }
    result = kExecSqlDone;
  } catch (const sql::NoResultSetError&) {
    result = kExecSqlNoRows;
  }
  return result;
}

void ProbeReturnValueName(sql::Statement& statement) {
  if (!OpenQuery(statement, "master.dbo.xp_msver ProductVersion")) return;
  const std::string version = FirstFieldText(statement, "Character_Value");
  const bool beforeSql2000 = !version.empty() && (version[0] == '6' || version[0] == '7');
  SetReturnValueName(beforeSql2000 ? "RETURN_VALUE" : "@RETURN_VALUE");
}

std::string ServerEdition(sql::Statement& statement) {
  if (!OpenQuery(statement, "Select Serverproperty('Edition') As SQLEdition")) return {};
  return FirstFieldText(statement, "SQLEdition");
}

std::string ServerProductVersion(sql::Statement& statement) {
  if (!OpenQuery(statement, "Select Serverproperty('ProductVersion') As ProductVersion")) {
    return {};
  }
  // Five bytes of an ASCII version text such as "10.50.1600.1".
  return FirstFieldText(statement, "ProductVersion").substr(0, 5);
}

bool IsDesktopEngine(sql::Statement& statement) {
  if (PrivateEngineMode()) return true;
  return text::TrimBlanks(ServerEdition(statement)) == "Desktop Engine";
}

bool SqlServerInstalled() {
  for (const char* name : {"MSSQLSERVER", "MSSQL", "mssql-server"}) {
    if (service::ServiceStatus(name) >= 0) return true;
  }
  return false;
}

std::string SqlProgramPath() {
  if (PrivateEngineMode()) {
    return ReadConfig(configkey::kPrivateEnginePath, configkey::kPrivateEnginePathDefault);
  }
  try {
    registry::Registry registry;
    auto path =
        registry.ReadString(std::string(registry::kLocalMachine) +
                                "\\Software\\Microsoft\\Microsoft SQL Server\\MSSQLServer\\Setup",
                            "SQLPath");
    if (path && !path->empty()) return *path;
  } catch (const registry::RegistryError& error) {
    std::cerr << "SqlProgramPath: " << error.what() << '\n';
  }
  std::string configured = ReadConfig(configkey::kSqlProgramPath, "");
  if (!configured.empty()) return configured;
  std::error_code ignored;
  if (std::filesystem::is_directory(configkey::kSqlProgramPathLinux, ignored)) {
    return configkey::kSqlProgramPathLinux;
  }
  return {};
}

bool RunDocument(const std::string& path) {
  bool opened = false;
  std::string program = "xdg-open";
  char* argv[] = {program.data(), const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) == 0) {
    // The opener hands the document to its program and ends; one still busy after
    // the wait did start it, and a thread of its own reaps it later.
    const auto deadline = std::chrono::steady_clock::now() + kOpenerWait;
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (done == 0) {
      std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
      opened = true;
    } else {
      opened = done == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
  }
  if (!opened) {
    ui::ActiveMessageBoxes()->Show("执行文件出错，系统资源不够或Windows安装不全。", "错误",
                                   ui::MessageIcon::Error);
  }
  return opened;
}

}  // namespace quor
