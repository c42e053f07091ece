// The files web publishing puts below the program folder: the web stamp
// "Web/WebUpdate.txt", the browser client's package "Web/ValtoClient<T>.Zip",
// the report package "Web/Report.Zip", and the client upgrade folder
// "AutoUpdate/" with the client program and its "Update<T>.inf".
#pragma once

#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace quor::console {

inline constexpr const char* kMakerWord = "Valto";

// Why files could not be published; the text says which file and why.
class WebFilesError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The trade code as it may appear in a file name: ASCII letters and digits.
// The code comes from clients (ConnectDb), so anything else is refused.
bool IsFileNameTradeCode(const std::string& code);

// The program folder's "Web" folder.
std::filesystem::path WebFolder(const std::filesystem::path& programFolder);
// The program folder's "AutoUpdate" folder.
std::filesystem::path UpgradeFolder(const std::filesystem::path& programFolder);

// The five files of the browser client's package, by their names in the
// program folder (and in the archive).
std::vector<std::string> ClientPackageFiles(const std::string& tradeCode);

// "生成 Web文件": builds both packages, then writes the stamp with `now`
// (local time, "YYYY-MM-DD hh:mm:ss"). Everything is built under temporary
// names first; a missing or unreadable file, a folder that cannot be written
// or a bad trade code throws WebFilesError and leaves the published files as
// they were.
void GenerateWebFiles(const std::filesystem::path& programFolder, const std::string& tradeCode,
                      std::time_t now);

// Copies the client program "ValtoClient<T>.exe" into `folder` (made with its
// parents when missing) and writes "Update<T>.inf" beside it: section
// "AutoUpgrader", "#url0" = the program's file name, "#date" = its local
// last-write date "YYYY-MM-DD". Throws WebFilesError.
void RefreshUpgradeFolder(const std::filesystem::path& programFolder,
                          const std::filesystem::path& folder, const std::string& tradeCode);

// "YYYY-MM-DD hh:mm:ss" and "YYYY-MM-DD" of a moment in local time.
std::string LocalDateTimeText(std::time_t moment);
std::string LocalDateText(std::time_t moment);

}  // namespace quor::console
