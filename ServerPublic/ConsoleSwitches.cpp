#include "ServerPublic/ConsoleSwitches.h"

#include <atomic>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"

namespace quor {
namespace {

// Written by the console's thread, read by every client thread; each switch
// stands alone, so atomics are all the guarding they need.
std::atomic<bool> userLoginIdentic{false};
std::atomic<bool> useClientAutoUpdate{false};
std::atomic<bool> useClientAutoSynchro{true};

bool ReadSwitch(const char* key, bool defaultValue) {
  return IsTrue(ReadConfig(key, ConfigBool(defaultValue)));
}

}  // namespace

void LoadConsoleSwitches() {
  userLoginIdentic.store(ReadSwitch(configkey::kUserLoginIdentic, false));
  useClientAutoUpdate.store(ReadSwitch(configkey::kUseClientAutoUpdate, false));
  useClientAutoSynchro.store(ReadSwitch(configkey::kUseClientAutoSynchro, true));
}

bool UserLoginIdentic() {
  return userLoginIdentic.load();
}
void SetUserLoginIdentic(bool on) {
  userLoginIdentic.store(on);
}
bool UseClientAutoUpdate() {
  return useClientAutoUpdate.load();
}
void SetUseClientAutoUpdate(bool on) {
  useClientAutoUpdate.store(on);
}
bool UseClientAutoSynchro() {
  return useClientAutoSynchro.load();
}
void SetUseClientAutoSynchro(bool on) {
  useClientAutoSynchro.store(on);
}

}  // namespace quor
