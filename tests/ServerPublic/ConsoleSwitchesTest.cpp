#include "ServerPublic/ConsoleSwitches.h"

#include <gtest/gtest.h>

#include <string>

#include "ServerPublic/ConfigStore.h"
#include "tests/support/files/TempFolder.h"

namespace quor {
namespace {

using testing::TempFolder;
using testing::WriteText;

TEST(ConsoleSwitchesTest, StartUpReadsTheThreeKeysWithTheirDefaults) {
  const struct {
    const char* name;
    const char* file;  // nullptr: no configuration file
    bool userLoginIdentic, useClientAutoUpdate, useClientAutoSynchro;
  } cases[] = {
      {"no file", nullptr, false, false, true},
      {"all set",
       "[ServerConfig]\nUserLoginIdentic=True\nUseClientAutoUpdate=True\n"
       "UseClientAutoSynchro=False\n",
       true, true, false},
      {"only \"True\" is on",
       "[ServerConfig]\nUserLoginIdentic=TRUE\nUseClientAutoUpdate=1\n"
       "UseClientAutoSynchro=true\n",
       false, false, false},
      {"keys in any letter case", "[ServerConfig]\nuserloginidentic=True\n", true, false, true},
      {"other sections do not count", "[Other]\nUserLoginIdentic=True\n", false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    SetConfigFilePath(folder.Path() / "QuorServerBZ.dat");
    ResetConfigCacheForTests();
    if (c.file != nullptr) WriteText(folder.Path() / "QuorServerBZ.dat", c.file);
    // Start from the opposite of what the file says, so a switch left alone shows.
    SetUserLoginIdentic(!c.userLoginIdentic);
    SetUseClientAutoUpdate(!c.useClientAutoUpdate);
    SetUseClientAutoSynchro(!c.useClientAutoSynchro);

    LoadConsoleSwitches();
    EXPECT_EQ(UserLoginIdentic(), c.userLoginIdentic);
    EXPECT_EQ(UseClientAutoUpdate(), c.useClientAutoUpdate);
    EXPECT_EQ(UseClientAutoSynchro(), c.useClientAutoSynchro);
  }
  SetConfigFilePath({});
  ResetConfigCacheForTests();
  SetUserLoginIdentic(false);
  SetUseClientAutoUpdate(false);
  SetUseClientAutoSynchro(true);
}

TEST(ConsoleSwitchesTest, SettersChangeOnlyTheirOwnSwitch) {
  SetUserLoginIdentic(false);
  SetUseClientAutoUpdate(false);
  SetUseClientAutoSynchro(true);
  SetUseClientAutoUpdate(true);
  EXPECT_FALSE(UserLoginIdentic());
  EXPECT_TRUE(UseClientAutoUpdate());
  EXPECT_TRUE(UseClientAutoSynchro());
  SetUseClientAutoSynchro(false);
  EXPECT_FALSE(UserLoginIdentic());
  EXPECT_FALSE(UseClientAutoSynchro());
  SetUserLoginIdentic(true);
  EXPECT_TRUE(UserLoginIdentic());
  SetUserLoginIdentic(false);
  SetUseClientAutoUpdate(false);
  SetUseClientAutoSynchro(true);
}

}  // namespace
}  // namespace quor
