#include "console/WebPublisher.h"

#include <unistd.h>

#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "platform/service/SystemCtl.h"

namespace quor::console {
namespace {

namespace fs = std::filesystem;

// The first line of every file this server writes; listing reads it back, so
// files an administrator wrote by hand are never taken for ours.
constexpr const char* kHeaderWord = "# quor-virtual-directory ";

struct ProgramRun {
  bool finished = false;
  int exitCode = -1;
  std::string problem;
};

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      int waitMs) {
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  QProcess process;
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(QString::fromStdString(program), list);
  ProgramRun run;
  if (!process.waitForStarted(waitMs)) {
    run.problem = program + " cannot be run";
    return run;
  }
  if (!process.waitForFinished(waitMs)) {
    process.kill();
    process.waitForFinished(1000);
    run.problem = program + " did not finish within " + std::to_string(waitMs / 1000) + " s";
    return run;
  }
  run.finished = process.exitStatus() == QProcess::NormalExit;
  run.exitCode = run.finished ? process.exitCode() : -1;
  if (run.exitCode != 0) {
    std::string text = process.readAllStandardError().toStdString();
    if (const auto end = text.find('\n'); end != std::string::npos) text.resize(end);
    run.problem = text.empty() ? program + " exited with status " + std::to_string(run.exitCode)
                               : program + ": " + text;
  }
  return run;
}

std::optional<std::string> ReadWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Written under a temporary name and renamed, so the server never reads half a file.
void WriteWhole(const fs::path& file, const std::string& text) {
  const fs::path temporary = fs::path(file).concat(".part-" + std::to_string(::getpid()));
  std::error_code error;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      fs::remove(temporary, error);
      throw WebPublishError("不能写入WEB服务器配置 " + file.string());
    }
  }
  fs::rename(temporary, file, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw WebPublishError("不能写入WEB服务器配置 " + file.string() + ": " + error.message());
  }
}

// Puts a file back as it was before (or removes it when it did not exist);
// used while undoing, so it never throws.
void RestoreFile(const fs::path& file, const std::optional<std::string>& before) {
  try {
    if (before) {
      WriteWhole(file, *before);
    } else {
      std::error_code ignored;
      fs::remove(file, ignored);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "console: %s not restored: %s\n", file.string().c_str(), error.what());
  }
}

// Folder names go into the server's configuration between quotes; anything
// that could end the quotes, start a variable or a new line is refused.
bool IsSafeFolderText(const std::string& text) {
  return !text.empty() && text.front() == '/' && std::none_of(text.begin(), text.end(), [](char c) {
    return c == '"' || c == '\\' || c == '$' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
}

std::string FolderText(const fs::path& folder) {
  std::string text = folder.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

std::string ApacheText(const VirtualDirectory& directory, const std::string& folder) {
  return kHeaderWord + ("\"" + directory.alias + "\" \"" + folder + "\"\n") +
         "# Written by the server console; published again, it is replaced.\n"
         "Alias \"/" +
         directory.alias + "\" \"" + folder +
         "\"\n"
         "<Directory \"" +
         folder +
         "\">\n"
         "    Options -Indexes -ExecCGI -Includes\n"
         "    AllowOverride None\n"
         "    DirectoryIndex " +
         Joined(directory.defaultPages) +
         "\n"
         "    <LimitExcept GET HEAD POST OPTIONS>\n"
         "        Require all denied\n"
         "    </LimitExcept>\n"
         "    Require all granted\n"
         "</Directory>\n";
}

std::string NginxText(const VirtualDirectory& directory, const std::string& folder) {
  return kHeaderWord + ("\"" + directory.alias + "\" \"" + folder + "\"\n") +
         "# Written by the server console; published again, it is replaced.\n"
         "location = /" +
         directory.alias +
         " {\n"
         "    return 301 /" +
         directory.alias +
         "/;\n"
         "}\n"
         "location /" +
         directory.alias +
         "/ {\n"
         "    alias \"" +
         folder +
         "/\";\n"
         "    index " +
         Joined(directory.defaultPages) +
         ";\n"
         "    autoindex off;\n"
         "    limit_except GET POST { deny all; }\n"
         "}\n";
}

// The alias and folder of a file of ours; nothing for any other file.
std::optional<std::pair<std::string, std::string>> ReadHeader(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!std::getline(in, line) || line.rfind(kHeaderWord, 0) != 0) return std::nullopt;
  const std::string rest = line.substr(std::string(kHeaderWord).size());
  const auto q1 = rest.find('"');
  const auto q2 = rest.find('"', q1 + 1);
  const auto q3 = rest.find('"', q2 + 1);
  const auto q4 = rest.find('"', q3 + 1);
  if (q1 != 0 || q2 == std::string::npos || q3 == std::string::npos || q4 == std::string::npos) {
    return std::nullopt;
  }
  return std::make_pair(rest.substr(q1 + 1, q2 - q1 - 1), rest.substr(q3 + 1, q4 - q3 - 1));
}

class IncludeFilePublisher : public WebPublisher {
 public:
  explicit IncludeFilePublisher(IncludeFileSettings settings) : settings_(std::move(settings)) {}

  void Publish(const std::string& replacedAlias, const VirtualDirectory& directory) override {
    if (!IsPlainAlias(directory.alias)) {
      throw WebPublishError("虚拟目录别名 \"" + directory.alias +
                            "\" 只能由字母、数字、'_'、'-' 和 '.' 组成");
    }
    RequireConfigFolder();
    const std::string folder = FolderText(directory.folder);
    if (!IsSafeFolderText(folder)) {
      throw WebPublishError("虚拟目录位置 \"" + folder + "\" 不能写入WEB服务器配置");
    }
    const fs::path file = FileOf(directory.alias);
    const std::optional<std::string> before = ReadWhole(file);

    std::optional<fs::path> replacedFile;
    std::optional<std::string> replacedBefore;
    if (!replacedAlias.empty() && replacedAlias != directory.alias && IsPlainAlias(replacedAlias)) {
      replacedFile = FileOf(replacedAlias);
      replacedBefore = ReadWhole(*replacedFile);
      if (replacedBefore) {
        Disable(replacedAlias);
        std::error_code ignored;
        fs::remove(*replacedFile, ignored);
      }
    }
    const auto undo = [&] {
      RestoreFile(file, before);
      if (!before) Disable(directory.alias);
      if (replacedFile && replacedBefore) {
        RestoreFile(*replacedFile, replacedBefore);
        Enable(replacedAlias);
      }
    };

    try {
      WriteWhole(file, settings_.kind == WebServerKind::kApache ? ApacheText(directory, folder)
                                                                : NginxText(directory, folder));
      if (const std::string problem = Enable(directory.alias); !problem.empty()) {
        throw WebPublishError(problem);
      }
      if (const std::string problem = Reload(); !problem.empty()) throw WebPublishError(problem);
    } catch (...) {
      undo();
      throw;
    }
  }

  std::vector<std::string> AliasesOf(const fs::path& folder) const override {
    RequireConfigFolder();
    const std::string wanted = FolderText(folder);
    std::vector<std::string> aliases;
    std::error_code error;
    for (fs::directory_iterator it(settings_.configFolder, error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.rfind("quor-", 0) != 0 || it->path().extension() != ".conf") continue;
      const auto header = ReadHeader(it->path());
      if (header && header->second == wanted && FileOf(header->first) == it->path()) {
        aliases.push_back(header->first);
      }
    }
    std::sort(aliases.begin(), aliases.end());
    return aliases;
  }

 private:
  fs::path FileOf(const std::string& alias) const {
    return settings_.configFolder / ("quor-" + alias + ".conf");
  }

  void RequireConfigFolder() const {
    std::error_code error;
    if (!fs::is_directory(settings_.configFolder, error)) {
      throw WebServerMissing(settings_.configFolder.string() + ": 没有这个WEB服务器配置文件夹");
    }
  }

  // Empty when done (or nothing to do), else what went wrong.
  std::string Enable(const std::string& alias) {
    if (settings_.enableProgram.empty()) return {};
    return RunProgram(settings_.enableProgram, {"-q", "quor-" + alias}, settings_.waitMs).problem;
  }

  void Disable(const std::string& alias) {
    if (settings_.disableProgram.empty()) return;
    RunProgram(settings_.disableProgram, {"-q", "quor-" + alias}, settings_.waitMs);
  }

  // A server that is not running takes the file when it starts; a running
  // one reloads gracefully, so its open connections are served to the end.
  std::string Reload() {
    if (settings_.reloadUnit.empty()) return {};
    const service::SystemCtlResult result = service::RunSystemCtl(
        {"try-reload-or-restart", "--", settings_.reloadUnit}, settings_.waitMs);
    if (result.Succeeded()) return {};
    return "systemctl try-reload-or-restart " + settings_.reloadUnit + ": " + result.Problem();
  }

  IncludeFileSettings settings_;
};

}  // namespace

bool IsPlainAlias(const std::string& alias) {
  return !alias.empty() && alias.size() <= 64 && alias.front() != '.' &&
         std::all_of(alias.begin(), alias.end(), [](char c) {
           return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '.';
         });
}

IncludeFileSettings ConfiguredIncludeFileSettings() {
  IncludeFileSettings settings;
  const std::string server = ReadConfig(configkey::kWebServer, configkey::kWebServerDefault);
  const bool nginx = server == "nginx";
  settings.kind = nginx ? WebServerKind::kNginx : WebServerKind::kApache;
  settings.configFolder =
      ReadConfig(configkey::kWebConfigFolder,
                 nginx ? configkey::kWebConfigFolderNginx : configkey::kWebConfigFolderApache);
  settings.enableProgram =
      ReadConfig(configkey::kWebEnableCommand, nginx ? "" : configkey::kWebEnableCommandApache);
  settings.disableProgram =
      ReadConfig(configkey::kWebDisableCommand, nginx ? "" : configkey::kWebDisableCommandApache);
  settings.reloadUnit = ReadConfig(configkey::kWebReloadUnit, nginx ? "nginx" : "apache2");
  return settings;
}

std::unique_ptr<WebPublisher> MakeIncludeFilePublisher(IncludeFileSettings settings) {
  return std::make_unique<IncludeFilePublisher>(std::move(settings));
}

std::unique_ptr<WebPublisher> MakeConfiguredWebPublisher() {
  return MakeIncludeFilePublisher(ConfiguredIncludeFileSettings());
}

}  // namespace quor::console
