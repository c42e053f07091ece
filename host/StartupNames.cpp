#include "host/StartupNames.h"

#include <filesystem>

#include "ServerPublic/Edition.h"

namespace quor::host {

std::string ConfigFileNameFor(const std::string& fileName) {
  return std::filesystem::path(fileName).replace_extension(".dat").string();
}

std::string ServiceNameFor(const std::string& fileName) {
  return "NT_" + std::filesystem::path(fileName).stem().string();
}

std::string DesktopMutexName(const std::string& fileName) {
  std::string name = fileName + "_Mutex";
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

std::optional<StartupValues> StartupValuesFor(const ProgramLocation& program,
                                              const CommandLine& commandLine) {
  std::optional<Edition> edition = FindEdition(program.fileName);
  if (!edition) return std::nullopt;
  StartupValues values;
  values.vocation = edition->vocation;
  values.startupVocation = edition->vocation;
  values.caption = edition->caption;
  values.productTitle = "瓦拓" + edition->caption;
  values.catalogTableName = "ValtoDataBase" + edition->vocation;
  values.templateBaseName = "DataBaseBZ";
  values.configFileName = ConfigFileNameFor(program.fileName);
  values.serviceName = ServiceNameFor(program.fileName);
  values.programPath = program.path;
  values.programFolder = program.folder;
  values.msdeSwitch = commandLine.msde;
  return values;
}

}  // namespace quor::host
