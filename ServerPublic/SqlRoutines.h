// The small SQL Server routines the server's modules share: testing a login,
// changing the administrator password, running a client's statement text,
// probing the server's version and edition, and finding SQL Server on this machine.
#pragma once

#include <string>

#include "platform/sql/Statement.h"

namespace quor {

// Opens a throw-away connection to "master" (mode 1: integrated security, any
// other: SQL login) with a 5-second connect timeout; true when it opens.
bool TestSqlLogin(int mode, const std::string& server, const std::string& user,
                  const std::string& password);

// The sp_password statement ChangeSqlPassword runs. Quotes inside the values are
// doubled, so a password with a quote is changed rather than breaking the text.
std::string SpPasswordStatement(const std::string& user, const std::string& oldPassword,
                                const std::string& newPassword);

// Logs in as `user` with `oldPassword` and runs SpPasswordStatement; true on success.
bool ChangeSqlPassword(const std::string& server, const std::string& user,
                       const std::string& oldPassword, const std::string& newPassword);

// Results of ExecSqlText.
inline constexpr int kExecSqlFailed = -100;
inline constexpr int kExecSqlDone = 0;
inline constexpr int kExecSqlNoRows = 100;

// Replaces the component's text by `text` and opens it (`open`) or executes it:
// 0 when it ran, 100 when it was opened but gave no result set. Every other error
// is passed on. A text of no lines runs nothing and gives -100.
int ExecSqlText(sql::Statement& statement, const std::string& text, bool open);

// The error text a caller reports for a statement without rows: "%s: %s" with the
// component's name.
std::string NoResultSetMessage(const std::string& componentName);

// Sets ReturnValueName from "master.dbo.xp_msver ProductVersion": "RETURN_VALUE"
// for major versions 6 and 7, "@RETURN_VALUE" for later ones.
void ProbeReturnValueName(sql::Statement& statement);

// SERVERPROPERTY('Edition'); empty when the statement gives no result set.
std::string ServerEdition(sql::Statement& statement);
// The first five characters of SERVERPROPERTY('ProductVersion'); empty likewise.
std::string ServerProductVersion(sql::Statement& statement);
// True in private engine mode, else when the edition is "Desktop Engine".
bool IsDesktopEngine(sql::Statement& statement);

// A SQL Server service is installed on this machine (systemd knows a unit
// "MSSQLSERVER", "MSSQL" or "mssql-server").
bool SqlServerInstalled();

// The folder holding SQL Server's "LOG" folder; empty when none is known.
std::string SqlProgramPath();

// Opens a program, document or address with the desktop's opener; on failure
// shows "执行文件出错，系统资源不够或Windows安装不全。" (caption "错误").
// True when the opener started.
bool RunDocument(const std::string& path);

}  // namespace quor
