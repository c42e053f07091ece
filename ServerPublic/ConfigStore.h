// The server's settings: section "ServerConfig" of the INI file next to the
// program, behind one process-wide cache that every module and thread shares.
// The first read of a key fixes its value for the process until a write changes it.
#pragma once

#include <filesystem>
#include <string>

#include "IniFile.h"

namespace quor {

inline constexpr const char* kConfigSection = "ServerConfig";

// The cached value, else the file's value, else defaultValue (a value the file
// holds, even an empty one, wins over the default). A non-empty result is
// cached; key names compare without regard to case. For SERVERNAME in private
// engine mode a local server name gets the private instance appended.
std::string ReadConfig(const std::string& key, const std::string& defaultValue);

// Writes the file, then the cache; an empty value empties the key in the file
// and drops it from the cache. Throws IniFileError (naming the file and the
// reason) when the file cannot be written; the cache is then unchanged.
void WriteConfig(const std::string& key, const std::string& value);

// Booleans are stored as exactly "True" or "False"; only "True" reads as true.
std::string ConfigBool(bool value);
bool IsTrue(const std::string& value);

// ReadConfig converted to a decimal integer; a value that is not one (empty
// included) gives the reader's fallback number.
int ReadConfigInt(const std::string& key, const std::string& defaultText, int fallback);

// "DataBackupPath", by default the program folder + subfolder.
std::string BackupFolder(const std::string& subfolder);

// ProgramFolder() + ConfigFileName() unless overridden.
std::filesystem::path ConfigFilePath();
// For tools and tests; an empty path returns to the default.
void SetConfigFilePath(const std::filesystem::path& file);

// For tests only: the cache lives for the whole process, so tests that need a
// cold cache empty it here. The server itself never clears it.
void ResetConfigCacheForTests();

}  // namespace quor
