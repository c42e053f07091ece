// The names a phone connection goes by: its folder name and session name in
// the online table, and the files of its exchange folder below UpDown/.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace quor::mobile {

// The client address with every "." (and, for an IPv6 peer, every ":")
// replaced by "_": 10.0.0.5 gives 10_0_0_5.
std::string FolderNameOf(const std::string& clientAddress);

// "Android_" followed by the connection number.
std::string SessionNameOf(std::uint64_t connectionNumber);

// UpDown/<folder name>/ below the program folder.
std::filesystem::path ExchangeFolderOf(const std::filesystem::path& programFolder,
                                       const std::string& folderName);

// <connection number>down_bills.db in the exchange folder.
std::filesystem::path DownloadFileOf(const std::filesystem::path& exchangeFolder,
                                     std::uint64_t connectionNumber);

// "A" + number + "upload_bills.db"; the number runs from 10000 to 99999.
std::string UploadFileNameOf(int number);

}  // namespace quor::mobile
