#include "mobile/PhoneNames.h"

#include <algorithm>

namespace quor::mobile {

std::string FolderNameOf(const std::string& clientAddress) {
  std::string name = clientAddress;
  std::replace_if(
      name.begin(), name.end(), [](char c) { return c == '.' || c == ':'; }, '_');
  return name;
}

std::string SessionNameOf(std::uint64_t connectionNumber) {
  return "Android_" + std::to_string(connectionNumber);
}

std::filesystem::path ExchangeFolderOf(const std::filesystem::path& programFolder,
                                       const std::string& folderName) {
  return programFolder / "UpDown" / folderName;
}

std::filesystem::path DownloadFileOf(const std::filesystem::path& exchangeFolder,
                                     std::uint64_t connectionNumber) {
  return exchangeFolder / (std::to_string(connectionNumber) + "down_bills.db");
}

std::string UploadFileNameOf(int number) {
  return "A" + std::to_string(number) + "upload_bills.db";
}

}  // namespace quor::mobile
