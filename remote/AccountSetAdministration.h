// Creating, deleting, backing up and restoring account sets: the statements
// SQL Server runs on the files of the program folder (Data for templates and
// database files, the backup folder for backups), guarded by the
// administrator check where the account set's existence is at stake.
#pragma once

#include <string>

namespace quor::remote {

// The special user name that passes the administrator check.
inline constexpr const char* kSilverKeeper = "SilverKeeper";

// Results of the members.
inline constexpr int kAdminDone = 0;
inline constexpr int kAdminNotDone = -1;
inline constexpr int kAlreadyCatalogued = -2;
inline constexpr int kDeleteRefused = -2;
inline constexpr int kCreateRefused = -222;

// The administrator check: "SilverKeeper"; with SQLUSERMODE 1 a successful
// integrated login to SERVERNAME; otherwise the configured USERNAME and
// decoded PASSWORD.
bool CheckSqlAdmin(const std::string& userName, const std::string& password);

// SQL Server's product version (its first five characters) as a number: the
// major version and the digits after its dot, so "10.50" is 10.5, "10.0." is
// 10 and "9.00." is 9, and "11.0.", "14.0." or "16.0." (SQL Server on Linux)
// are 11, 14 and 16, which take the newer template. Not a number: 0.
double ProductVersionNumber(const std::string& version);

}  // namespace quor::remote
