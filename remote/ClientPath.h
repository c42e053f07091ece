// Paths that clients send are Windows paths ("Annex\1001\a.jpg"): they are
// translated to this machine's form and resolved inside the folder they are
// meant for, and anything that could leave it is refused before the disk is
// touched. Letter case follows the entries that exist, since clients written
// for Windows spell "Annex", "Backup" or "Data" as they please.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace quor::remote {

// The longest client path accepted, in bytes.
inline constexpr std::size_t kMaxClientPathBytes = 1024;

// `clientPath` resolved inside one of `roots` (existing folders or folders
// still to be made). A relative path is taken below roots[0]; an absolute one
// ("\srv\quor\Annex\x", the form GetServerAppPath gives) must lie below one of
// the roots. Refused (nothing): an empty path unless `allowEmpty` (it then
// names roots[0]), more than kMaxClientPathBytes, text that is not UTF-8, NUL
// or other control characters, ":" (drive letters, streams), a ".." part, and
// a path whose existing part leads out of its root through a link.
std::optional<std::filesystem::path> ResolveClientPath(
    const std::vector<std::filesystem::path>& roots, std::string_view clientPath,
    bool allowEmpty = false);

// One existing entry of `folder` whose name equals `name` ignoring ASCII letter
// case (the exact spelling first); `name` itself when there is none.
std::filesystem::path EntrySpelledAsOnDisk(const std::filesystem::path& folder,
                                           const std::string& name);

// Without following a last link for EntryExists; false on any error.
bool IsRegularFile(const std::filesystem::path& path);
bool IsFolder(const std::filesystem::path& path);
bool EntryExists(const std::filesystem::path& path);

// The program folder as a path (no trailing separator).
std::filesystem::path ProgramFolderPath();

}  // namespace quor::remote
