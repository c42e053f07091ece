#include "remote/SchemaUpdate.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "ServerPublic/ConnectionRecipe.h"
#include "platform/sql/SqlError.h"
#include "platform/text/AsciiText.h"
#include "platform/text/Encodings.h"
#include "platform/zip/ZipArchive.h"
#include "remote/ClientArgument.h"
#include "remote/ClientPath.h"
#include "remote/methods/AdministrationHandlers.h"
#include "remote/methods/CallPattern.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

namespace fs = std::filesystem;

constexpr const char* kArchivePassword = "云海之门";
constexpr const char* kTempFolderName = "QuorSQLUpdateTemp";
constexpr int kUpdateConnectTimeoutSeconds = 15;

bool IsGoLine(std::string_view line) {
  return text::EqualsIgnoringAsciiCase(text::TrimBlanks(line), "GO");
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      ++end;
    }
    start = end + 1;
  }
  return lines;
}

std::optional<std::string> ReadScriptBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The shared folder in the system temporary folder, owned by this user and no
// link, so that another local user cannot steer where archives are unpacked.
fs::path PrivateTempRoot() {
  const fs::path root = fs::temp_directory_path() / kTempFolderName;
  ::mkdir(root.c_str(), 0700);
  struct stat info {};
  if (::lstat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    throw std::runtime_error(root.string() + " is not a folder of this server's own");
  }
  return root;
}

// A fresh folder named by a random number from 10000000 to 99999999.
fs::path FreshExtractionFolder() {
  const fs::path root = PrivateTempRoot();
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<int> number(10000000, 99999999);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path folder = root / std::to_string(number(random));
    if (::mkdir(folder.c_str(), 0700) == 0) return folder;
  }
  throw std::runtime_error("no fresh folder below " + root.string());
}

struct ScriptFile {
  int code = kUpdateDone;  // kUpdateDone when `path` names the script
  fs::path path{};
  std::string error{};
  bool extracted = false;
};

ScriptFile FindScript(const std::string& filePath, const std::string& fileName,
                      const std::string& extension) {
  const fs::path program = ProgramFolderPath();
  if (program.empty() || fileName.empty()) return {.code = kUpdateNoScript};
  // The folder is always taken below the program folder, as the program
  // folder's path was put in front of it.
  const std::string_view folder = std::string_view(filePath).substr(
      std::min(filePath.size(), filePath.find_first_not_of("\\/")));
  std::string relative(folder);
  if (!relative.empty()) relative += "\\";
  relative += fileName + "." + extension;
  const std::optional<fs::path> file = ResolveClientPath({program}, relative);
  if (!file || !IsRegularFile(*file)) return {.code = kUpdateNoScript};
  if (extension != "ZIP") return {.code = kUpdateDone, .path = *file};
  try {
    const fs::path target = FreshExtractionFolder();
    zip::ExtractAll(*file, target, ArchivePasswords());
    const std::optional<fs::path> script = ResolveClientPath({target}, fileName + ".Sql");
    if (!script || !IsRegularFile(*script)) {
      return {.code = kUpdateNotInArchive, .error = "the archive holds no " + fileName + ".Sql"};
    }
    return {.code = kUpdateDone, .path = *script, .extracted = true};
  } catch (const std::exception& failure) {
    return {.code = kUpdateNotInArchive, .error = failure.what()};
  }
}

}  // namespace

std::vector<std::string> ArchivePasswords() {
  std::vector<std::string> passwords{text::Utf8ToGbk(kArchivePassword)};
  passwords.emplace_back(kArchivePassword);
  return passwords;
}

std::optional<std::vector<std::string>> ScriptLines(const std::string& bytes) {
  std::string text;
  try {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
      text = text::Utf16ToUtf8(text::Utf16FromLeBytes(std::string_view(bytes).substr(2)));
    } else if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
      text = bytes.substr(3);
    } else {
      text = bytes;
    }
    if (!text::IsValidUtf8(text)) text = text::GbkToUtf8(text);
  } catch (const text::TextError&) {
    return std::nullopt;
  }
  if (text.find('\0') != std::string::npos) return std::nullopt;
  return SplitLines(text);
}

std::size_t RunScriptBatches(sql::Connection& connection, const std::vector<std::string>& lines) {
  std::vector<std::string> script = lines;
  if (script.empty() || !IsGoLine(script.back())) script.emplace_back("GO");
  std::size_t batches = 0;
  std::string batch;
  for (const std::string& line : script) {
    if (IsGoLine(line)) {
      ++batches;
      try {
        connection.Execute(batch);
      } catch (const sql::SqlError& error) {
        // A failing batch is reported and the script goes on, as upgrade
        // scripts are written to be run again over a partly upgraded set.
        std::cerr << "UpdateDataBase: batch " << batches << ": " << error.what() << '\n';
      }
      batch.clear();
    } else if (!line.empty()) {
      batch += line + "\r\n";
    }
  }
  return batches;
}

com::Variant UpdateDataBase(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args) {
  args[4] = com::Variant::I4(kUpdateNoScript);
  const std::optional<std::string> filePath = TextArgument(args[1]);
  const std::optional<std::string> fileName = TextArgument(args[2]);
  const std::optional<std::string> extension = TextArgument(args[3]);
  if (!filePath || !fileName || !extension) return {};
  const SqlLogin login = ConfiguredLogin("(LOCAL)", true);
  const ScriptFile script = FindScript(*filePath, *fileName, *extension);
  if (script.code != kUpdateDone) {
    args[4] = com::Variant::I4(script.code);
    if (!script.error.empty()) args[5] = com::Variant::String(script.error);
    return {};
  }
  const std::string database = module.ADOConnection1().CurrentDatabase();
  try {
    const std::optional<std::string> bytes = ReadScriptBytes(script.path);
    if (!bytes) throw std::runtime_error("cannot read " + script.path.string());
    const std::optional<std::vector<std::string>> lines = ScriptLines(*bytes);
    if (!lines) throw std::runtime_error(script.path.filename().string() + " is not a text file");
    sql::Connection connection(ConnectionRecipe(login, database, kUpdateConnectTimeoutSeconds));
    connection.Settings().commandTimeoutSeconds =
        module.ADOConnection1().Settings().commandTimeoutSeconds;
    connection.Open();
    RunScriptBatches(connection, *lines);
    args[4] = com::Variant::I4(kUpdateDone);
  } catch (const std::exception& error) {
    args[5] = com::Variant::String(error.what());
    args[4] = com::Variant::I4(kUpdateFailed);
  }
  if (script.extracted) {
    std::error_code ignored;
    fs::remove(script.path, ignored);
  }
  FlushParameterCache(module.ADOConnection1(), database);
  return {};
}

}  // namespace quor::remote
