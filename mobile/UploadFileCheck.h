// The whole-file check an uploaded phone file passes before anything of it is
// written anywhere: an SQLite file that reads without damage and holds every
// table and column the upload processing reads or writes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quor::mobile {

// Nothing when the file is fit for processing; otherwise why it is not.
std::optional<std::string> UploadFileFault(const std::filesystem::path& file);

}  // namespace quor::mobile
