#include "console/WebPackages.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <system_error>

#include "ServerPublic/IniFile.h"
#include "platform/zip/ZipWriter.h"

namespace quor::console {
namespace {

namespace fs = std::filesystem;

tm LocalParts(std::time_t moment) {
  tm local{};
  if (localtime_r(&moment, &local) == nullptr) throw WebFilesError("the clock cannot be read");
  return local;
}

std::string FormatLocal(std::time_t moment, const char* format) {
  const tm local = LocalParts(moment);
  char text[32];
  std::strftime(text, sizeof text, format, &local);
  return text;
}

void RequireTradeCode(const std::string& code) {
  if (!IsFileNameTradeCode(code)) {
    throw WebFilesError("交易代码 \"" + code + "\" 不能用于文件名");
  }
}

void MakeFolder(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error || !fs::is_directory(folder, error)) {
    throw WebFilesError(folder.string() + ": " + (error ? error.message() : "不是文件夹"));
  }
}

// Every file below Report/, named "Report/..." in the archive, in a stable order.
std::vector<zip::ZipMember> ReportMembers(const fs::path& programFolder) {
  const fs::path reports = programFolder / "Report";
  std::error_code error;
  if (!fs::is_directory(reports, error)) {
    throw WebFilesError(reports.string() + ": 报表文件夹不存在");
  }
  std::vector<zip::ZipMember> members;
  for (fs::recursive_directory_iterator it(reports, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const fs::path relative = fs::relative(it->path(), programFolder, error);
    if (error) break;
    members.push_back({relative.generic_string(), it->path()});
  }
  if (error) throw WebFilesError(reports.string() + ": " + error.message());
  std::sort(members.begin(), members.end(),
            [](const zip::ZipMember& a, const zip::ZipMember& b) { return a.name < b.name; });
  return members;
}

zip::PendingArchive BuildArchive(const fs::path& target,
                                 const std::vector<zip::ZipMember>& members) {
  try {
    return zip::BuildDeflateArchive(target, members);
  } catch (const zip::ZipError& error) {
    throw WebFilesError(error.what());
  }
}

std::time_t LastWriteTime(const fs::path& file) {
  std::error_code error;
  const fs::file_time_type written = fs::last_write_time(file, error);
  if (error) throw WebFilesError(file.string() + ": " + error.message());
  const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
      std::chrono::file_clock::to_sys(written));
  return std::chrono::system_clock::to_time_t(system);
}

void WriteIniValue(const fs::path& file, const char* section, const char* key,
                   const std::string& value) {
  try {
    IniFile(file).Write(section, key, value);
  } catch (const IniFileError& error) {
    throw WebFilesError(error.what());
  }
}

// The copy is made under a temporary name and renamed into place, so a client
// fetching the program meanwhile gets the old one or the new one whole.
void CopyInto(const fs::path& source, const fs::path& target) {
  std::error_code error;
  if (!fs::is_regular_file(source, error)) throw WebFilesError(source.string() + ": 文件不存在");
  const fs::path temporary = fs::path(target).concat(".part-" + std::to_string(::getpid()));
  fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, error);
  if (!error) fs::last_write_time(temporary, fs::last_write_time(source), error);
  if (!error) fs::rename(temporary, target, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw WebFilesError(target.string() + ": " + error.message());
  }
}

}  // namespace

bool IsFileNameTradeCode(const std::string& code) {
  return !code.empty() && code.size() <= 16 && std::all_of(code.begin(), code.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

fs::path WebFolder(const fs::path& programFolder) {
  return programFolder / "Web";
}

fs::path UpgradeFolder(const fs::path& programFolder) {
  return programFolder / "AutoUpdate";
}

std::vector<std::string> ClientPackageFiles(const std::string& tradeCode) {
  const std::string maker = kMakerWord;
  return {maker + "Client" + tradeCode + ".ocx", maker + "Client" + tradeCode + ".ico",
          maker + "Graphics" + tradeCode + ".dll", maker + "Login" + tradeCode + ".Jpg",
          maker + "Client" + tradeCode + ".Jpg"};
}

std::string LocalDateTimeText(std::time_t moment) {
  return FormatLocal(moment, "%Y-%m-%d %H:%M:%S");
}

std::string LocalDateText(std::time_t moment) {
  return FormatLocal(moment, "%Y-%m-%d");
}

void GenerateWebFiles(const fs::path& programFolder, const std::string& tradeCode,
                      std::time_t now) {
  RequireTradeCode(tradeCode);
  const fs::path web = WebFolder(programFolder);
  MakeFolder(web);
  std::vector<zip::ZipMember> clientMembers;
  for (const std::string& name : ClientPackageFiles(tradeCode)) {
    clientMembers.push_back({name, programFolder / name});
  }
  zip::PendingArchive client =
      BuildArchive(web / (std::string(kMakerWord) + "Client" + tradeCode + ".Zip"), clientMembers);
  zip::PendingArchive report = BuildArchive(web / "Report.Zip", ReportMembers(programFolder));
  const std::string stamp = LocalDateTimeText(now);
  try {
    client.Commit();
    report.Commit();
  } catch (const zip::ZipError& error) {
    throw WebFilesError(error.what());
  }
  WriteIniValue(web / "WebUpdate.txt", "WebFileInfo", "FileDateTime", stamp);
}

void RefreshUpgradeFolder(const fs::path& programFolder, const fs::path& folder,
                          const std::string& tradeCode) {
  RequireTradeCode(tradeCode);
  const std::string program = std::string(kMakerWord) + "Client" + tradeCode + ".exe";
  const fs::path source = programFolder / program;
  const std::string date = LocalDateText(LastWriteTime(source));
  MakeFolder(folder);
  CopyInto(source, folder / program);
  const fs::path info = folder / ("Update" + tradeCode + ".inf");
  WriteIniValue(info, "AutoUpgrader", "#url0", program);
  WriteIniValue(info, "AutoUpgrader", "#date", date);
}

}  // namespace quor::console
