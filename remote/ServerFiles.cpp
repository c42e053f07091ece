// Files below the program folder as clients see them: attachments and other
// files added, read, deleted and renamed by path, and a folder's listing with
// file times. Every path stays inside the program folder (ClientPath.h).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/com/SafeArray.h"
#include "platform/text/Encodings.h"
#include "remote/ClientArgument.h"
#include "remote/ClientPath.h"
#include "remote/methods/AdministrationHandlers.h"

namespace quor::remote {
namespace {

namespace fs = std::filesystem;

constexpr int kFileDone = 0;
constexpr int kFileNotDone = -1;

std::optional<fs::path> ProgramFolderEntry(const com::Variant& argument) {
  const std::optional<std::string> text = TextArgument(argument);
  if (!text) return std::nullopt;
  return ResolveClientPath({ProgramFolderPath()}, *text);
}

void WriteWholeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("OperateServerFile: cannot write " + path.string());
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("OperateServerFile: cannot write " + path.string());
}

std::vector<std::uint8_t> ReadWholeFile(const fs::path& path) {
  if (!IsRegularFile(path)) throw std::runtime_error("OperateServerFile: no file " + path.string());
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("OperateServerFile: cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Windows never renames onto an existing name; rename(2) would replace it.
bool RenameEntry(const fs::path& from, const fs::path& to) {
  if (EntryExists(to)) return false;
  std::error_code error;
  fs::rename(from, to, error);
  return !error;
}

std::string LocalTimeText(const fs::file_time_type& written) {
  const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
      std::chrono::file_clock::to_sys(written));
  const std::time_t seconds = std::chrono::system_clock::to_time_t(system);
  tm local{};
  localtime_r(&seconds, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

}  // namespace

com::Variant OperateServerFile(TDataModuleServer& module, const MethodDescription& method,
                               com::DispatchArgs& args) {
  args[5] = com::Variant::I4(kFileNotDone);
  const std::optional<std::string> command = TextArgument(args[1]);
  const std::optional<fs::path> target = ProgramFolderEntry(args[2]);
  if (!command || !target) return {};
  bool done = false;
  if (*command == "[ADD]") {
    const com::Variant& content = args[4].Deref();
    if (!content.IsArray()) {
      throw std::invalid_argument("OperateServerFile: vFileVariant is not a byte array");
    }
    WriteWholeFile(*target, content.GetArray().Bytes());
    done = true;
  } else if (*command == "[GET]") {
    args[4] = com::Variant::Bytes(ReadWholeFile(*target));
    done = true;
  } else if (*command == "[DEL]") {
    std::error_code error;
    done = IsRegularFile(*target) && fs::remove(*target, error) && !error;
  } else if (*command == "[DELD]") {
    std::error_code error;
    done = IsFolder(*target) && fs::remove_all(*target, error) > 0 && !error;
  } else if (*command == "[REN]" || *command == "[REND]") {
    const std::optional<fs::path> newName = ProgramFolderEntry(args[3]);
    const bool present = *command == "[REN]" ? IsRegularFile(*target) : IsFolder(*target);
    done = newName && present && RenameEntry(*target, *newName);
  }
  args[5] = com::Variant::I4(done ? kFileDone : kFileNotDone);
  return {};
}

com::Variant GetDirectoryFileList(TDataModuleServer& module, const MethodDescription& method,
                                  com::DispatchArgs& args) {
  args[2] = com::Variant::Null();
  const std::optional<fs::path> folder = ProgramFolderEntry(args[1]);
  if (!folder) return {};
  const fs::path program = ProgramFolderPath();
  fs::create_directories(program / EntrySpelledAsOnDisk(program, "Annex"));
  std::error_code made;
  fs::create_directories(*folder, made);
  if (!IsFolder(*folder)) return {};
  std::vector<std::pair<std::string, std::string>> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(*folder)) {
    std::error_code error;
    if (entry.is_directory(error)) continue;
    const fs::file_time_type written = entry.last_write_time(error);
    if (error) continue;
    entries.emplace_back(entry.path().filename().string(), LocalTimeText(written));
  }
  std::sort(entries.begin(), entries.end());
  std::string lines;
  for (const auto& [name, time] : entries) lines += name + "|" + time + "\r\n";
  const std::string bytes = text::Utf8ToGbk(lines, text::OnError::kReplace);
  args[2] = com::Variant::Bytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  return {};
}

}  // namespace quor::remote
