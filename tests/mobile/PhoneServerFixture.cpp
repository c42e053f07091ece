#include "tests/mobile/PhoneServerFixture.h"

#include <algorithm>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/OnlineSessionTable.h"
#include "ServerPublic/PasswordScrambler.h"

namespace quor::mobile::testing {

namespace fs = std::filesystem;

void PhoneServerFixture::SetUp() {
  ResetConfigCacheForTests();
  SetConfigFilePath(ProgramFolder() / "QuorServerBZ.dat");
  previousBoxes_ = ui::ActiveMessageBoxes();
  boxes_ = std::make_shared<ui::ScriptedMessageBoxes>();
  ui::SetMessageBoxes(boxes_);
  port_ = FreeLoopbackPort();
}

void PhoneServerFixture::TearDown() {
  server_.reset();
  for (const OnlineSession& session : OnlineSessions().Snapshot()) {
    OnlineSessions().RemoveSession(session.guid, "", "");
  }
  SetUserLoginIdentic(false);
  ui::SetMessageBoxes(previousBoxes_);
  SetConfigFilePath({});
  ResetConfigCacheForTests();
}

void PhoneServerFixture::WriteSettings(const std::map<std::string, std::string>& changes) {
  std::map<std::string, std::string> settings{
      {"StartMobileAPP", "True"},
      {"MobilePort", std::to_string(port_)},
      {"MobileDataBase", quor::test::kAccountSetDatabase},
      {"MobileReadTimeout", "3"},
      {"MobileIdleTimeout", "120"},
      {"SERVERNAME", "127.0.0.1," + std::to_string(sqlServer_.Port())},
      {"USERNAME", quor::test::kAccountSetUser},
      {"PASSWORD", EncodePassword(quor::test::kAccountSetPassword)},
      {"SQLENCRYPTION", "off"},
  };
  for (const auto& [key, value] : changes) settings[key] = value;
  std::string text = "[ServerConfig]\r\n";
  for (const auto& [key, value] : settings) {
    if (!value.empty()) text += key + "=" + value + "\r\n";
  }
  quor::testing::WriteText(ProgramFolder() / "QuorServerBZ.dat", text);
  ResetConfigCacheForTests();
}

void PhoneServerFixture::StartServer() {
  server_ = std::make_unique<TDataLocalServer>(ProgramFolder());
}

std::vector<std::string> PhoneServerFixture::FilesLeft() const {
  std::vector<std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(ProgramFolder())) {
    // Links count as what they are, not as what they point to.
    if (!fs::is_regular_file(entry.symlink_status()) ||
        entry.path().filename() == "QuorServerBZ.dat") {
      continue;
    }
    files.push_back(fs::relative(entry.path(), ProgramFolder()).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace quor::mobile::testing
