#include "tests/console/WebShutdownFixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/ServerGlobals.h"

namespace quor::console::testing {

namespace fs = std::filesystem;

void WebShutdownFixture::SetUp() {
  program_ = folder_.Path() / "program";
  configFolder_ = folder_.Path() / "conf-available";
  fs::create_directories(program_);
  fs::create_directories(configFolder_);
  SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
  ::setenv("QUOR_REGISTRY_FILE", (folder_.Path() / "registry.reg").c_str(), 1);
  StartupValues values;
  values.vocation = values.startupVocation = "BZ";
  values.productTitle = "瓦拓商贸标准版服务器";
  values.catalogTableName = "ValtoDataBaseBZ";
  values.serviceName = "NT_QuorServerBZ";
  values.configFileName = "QuorServerBZ.dat";
  values.programFolder = program_.string() + "/";
  values.programPath = values.programFolder + "QuorServerBZ";
  SetStartup(values);
  WriteConfigFile("");
}

void WebShutdownFixture::TearDown() {
  ::unsetenv("QUOR_REGISTRY_FILE");
  SetConfigFilePath({});
  ResetConfigCacheForTests();
  SetUseClientAutoUpdate(false);
}

void WebShutdownFixture::WriteConfigFile(const std::string& lines) {
  std::ofstream(folder_.Path() / "QuorServerBZ.dat") << "[ServerConfig]\r\n" << lines;
  ResetConfigCacheForTests();
}

std::string WebShutdownFixture::Stored(const char* key) {
  ResetConfigCacheForTests();
  return ReadConfig(key, "(none)");
}

void WebShutdownFixture::FakeProgram(const std::string& name, const std::string& body) {
  const fs::path script = systemctl_.Folder() / "bin" / name;
  {
    std::ofstream out(script);
    out << "#!/bin/sh\n"
        << "printf '%s\\n' \"" << name << " $*\" >> '"
        << (systemctl_.Folder() / "programs.log").string() << "'\n"
        << body << "\n";
  }
  ::chmod(script.c_str(), 0755);
}

std::vector<std::string> WebShutdownFixture::ProgramCalls() const {
  std::vector<std::string> calls;
  std::ifstream in(systemctl_.Folder() / "programs.log");
  for (std::string line; std::getline(in, line);) calls.push_back(line);
  return calls;
}

void WebShutdownFixture::OnlyFakeProgramsOnPath() {
  ::setenv("PATH", (systemctl_.Folder() / "bin").c_str(), 1);
}

std::unique_ptr<TfrmMainForm> WebShutdownFixture::MakeMainForm(MainFormEnvironment environment) {
  environment.sessions = &sessions_;
  environment.serviceStatus = [](const std::string&) { return -1; };
  environment.trayAvailable = [] { return false; };
  environment.quit = [] {};
  return std::make_unique<TfrmMainForm>(std::move(environment));
}

}  // namespace quor::console::testing
