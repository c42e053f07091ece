// The phone back end as a test meets it: a program folder of its own with the
// server's settings file, the account set on the SQL Server stand-in, message
// boxes that record what they show, and TDataLocalServer started on a free
// port. The online table is the process's own and is emptied after each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mobile/uDataLocalServer.h"
#include "platform/ui/ScriptedMessageBoxes.h"
#include "tests/mobile/PhoneClient.h"
#include "tests/support/accountset/AccountSet.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::mobile::testing {

class PhoneServerFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The settings file: the phones on, the free port, the stand-in's account
  // set and a short read deadline, with `changes` written over them (an empty
  // value leaves the key out).
  void WriteSettings(const std::map<std::string, std::string>& changes = {});
  void StartServer();

  const std::filesystem::path& ProgramFolder() const { return folder_.Path(); }
  std::filesystem::path FileRoot() const { return ProgramFolder() / "UpDown" / "files"; }
  // Every regular file below the program folder but the settings file, as
  // paths relative to it, sorted.
  std::vector<std::string> FilesLeft() const;

  quor::testing::TempFolder folder_;
  quor::test::SqlServerStandIn sqlServer_;
  quor::test::AccountSet accountSet_{sqlServer_};
  std::shared_ptr<ui::ScriptedMessageBoxes> boxes_;
  std::shared_ptr<ui::MessageBoxes> previousBoxes_;
  std::uint16_t port_ = 0;
  std::unique_ptr<TDataLocalServer> server_;
};

}  // namespace quor::mobile::testing
