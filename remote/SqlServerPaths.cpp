#include "remote/SqlServerPaths.h"

#include <string_view>

#include "ServerPublic/ConfigStore.h"
#include "platform/text/AsciiText.h"
#include "remote/ClientPath.h"

namespace quor::remote {

namespace fs = std::filesystem;

std::string SqlServerPath(const fs::path& local) {
  std::string mapped(text::TrimBlanks(ReadConfig(kSqlServerProgramFolderKey, "")));
  if (mapped.empty()) return local.string();
  const fs::path relative = local.lexically_normal().lexically_relative(ProgramFolderPath());
  if (relative.empty() || relative.begin()->string() == "..") return local.string();
  const bool windowsForm = mapped.find('\\') != std::string::npos;
  const char separator = windowsForm ? '\\' : '/';
  while (!mapped.empty() && (mapped.back() == '/' || mapped.back() == '\\')) mapped.pop_back();
  for (const fs::path& part : relative) {
    if (part == ".") continue;
    mapped += separator;
    mapped += part.string();
  }
  return mapped;
}

fs::path DataFolder() {
  const fs::path program = ProgramFolderPath();
  const fs::path folder = program / EntrySpelledAsOnDisk(program, "Data");
  fs::create_directories(folder);
  return folder;
}

}  // namespace quor::remote
