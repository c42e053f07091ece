// Where SQL Server, which reads and writes the backup, template and database
// files itself, finds the files of this server's program folder. By default it
// runs on this machine and sees the same paths; a SQL Server in a container or
// on another machine sees the program folder under another path, which the
// setting SQLServerProgramFolder names.
#pragma once

#include <filesystem>
#include <string>

namespace quor::remote {

inline constexpr const char* kSqlServerProgramFolderKey = "SQLServerProgramFolder";

// `local` as SQL Server names it: below the program folder, the program folder
// is replaced by SQLServerProgramFolder when that is set; otherwise unchanged.
std::string SqlServerPath(const std::filesystem::path& local);

// The program folder's "Data" folder (as spelled on disk, made when missing),
// which holds the templates and the account sets' database files.
std::filesystem::path DataFolder();

}  // namespace quor::remote
