// Upgrading the module's account set from a script the client has placed
// below the program folder, plain or in a password-protected ZIP archive. The
// script runs in batches separated by "GO" lines over a connection of its own
// to the module's current database, with the server's configured login.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/sql/Connection.h"

namespace quor::remote {

// Results of UpdateDataBase.
inline constexpr int kUpdateDone = 0;
inline constexpr int kUpdateNoScript = -100;
inline constexpr int kUpdateNotInArchive = -101;
inline constexpr int kUpdateFailed = -104;

// The archives' password, "云海之门", as code page 936 bytes and as UTF-8:
// archives made on Chinese Windows carry the former, others the latter.
std::vector<std::string> ArchivePasswords();

// A script file's lines: UTF-16 (with its byte-order mark), UTF-8 (with or
// without one) or else code page 936. Nothing for bytes that are none of these
// or hold NUL (not a script).
std::optional<std::vector<std::string>> ScriptLines(const std::string& bytes);

// Runs `lines` batch by batch: a line that is "GO" (trimmed, any case) ends a
// batch, a last "GO" is implied, empty lines are left out, and a batch that
// fails does not stop the ones after it. Returns the number of batches run.
std::size_t RunScriptBatches(sql::Connection& connection, const std::vector<std::string>& lines);

}  // namespace quor::remote
