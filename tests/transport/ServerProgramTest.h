// A copy of the built server program in a folder of its own, with its own
// registry file, runtime folder and a stand-in systemctl, started as a child
// process with the environment it would have as a desktop program or service.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "tests/platform/service/FakeSystemCtl.h"
#include "tests/transport/ServerProcess.h"
#include "transport/PortSettings.h"

namespace quor::transport::testing {

// Generous: the sanitizer build starts slowly.
inline constexpr std::chrono::seconds kServerStartTimeout{60};

class ServerProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    systemctl_.AnswerShow("not-found", "inactive", "0");
    fs::create_directories(Folder() / "run");
    fs::create_directories(Folder() / "xdg");
    fs::permissions(Folder() / "xdg", fs::perms::owner_all);
    fs::copy_file(QUOR_SERVER_EXE, Folder() / "QuorServerBZ");
  }

  std::filesystem::path Folder() const { return systemctl_.Folder(); }
  registry::Registry Store() const { return registry::Registry(Folder() / "registry.reg"); }
  // Where the program keeps its configuration: its own name with ".dat".
  std::filesystem::path ConfigFile() const { return Folder() / "QuorServerBZ.dat"; }

  void ConfigurePorts(const std::vector<int>& ports) {
    registry::Registry store = Store();
    const std::string key = kSocketServerKey;
    if (ports.size() == 1) {
      store.WriteInteger(key + "\\Settings", "Port", ports[0]);
      return;
    }
    store.WriteInteger(key + "\\Settings", "ShowHost", 0);
    for (int port : ports) store.WriteInteger(key + "\\" + std::to_string(port), "Timeout", 0);
  }

  std::unique_ptr<ServerProcess> Start(std::vector<std::string> arguments = {}) {
    const std::string program = (Folder() / "QuorServerBZ").string();
    arguments.insert(arguments.begin(), program);
    return std::make_unique<ServerProcess>(
        program, arguments,
        std::map<std::string, std::string>{
            {"QT_QPA_PLATFORM", "offscreen"},
            {"XDG_RUNTIME_DIR", (Folder() / "xdg").string()},
            {"QUOR_RUNTIME_DIR", (Folder() / "run").string()},
            {"QUOR_REGISTRY_FILE", (Folder() / "registry.reg").string()},
            {"QUOR_SYSTEMD_UNIT_DIR", (Folder() / "units").string()},
        },
        std::vector<std::string>{"DISPLAY", "WAYLAND_DISPLAY"});
  }

  service::testing::FakeSystemCtl systemctl_;
};

}  // namespace quor::transport::testing
