// Whole-file reads and replacements for the small text stores (the registry
// file, the INI configuration files). A replacement is written to a temporary
// file in the same folder and renamed over the old one, so a reader, a crash
// or a full disk sees the old text or the new, never half of either.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quor::registry {

// 0 with the file's bytes in `content`, or the errno (ENOENT when there is no
// such file) with `content` empty.
int ReadWholeFile(const std::filesystem::path& file, std::string& content);

// 0 once `content` replaced the file (its permission bits kept, 0644 for a new
// one, the data synced before the rename), or the errno with the old file left
// as it was and no temporary file behind.
int ReplaceWholeFile(const std::filesystem::path& file, std::string_view content);

}  // namespace quor::registry
