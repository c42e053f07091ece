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
std::atomic<bool> useMobileDataBase{false};
std::atomic<bool> usePhoneToDataBase{false};

bool ReadSwitch(const char* key, bool defaultValue) {
  return IsTrue(ReadConfig(key, ConfigBool(defaultValue)));
}

}  // namespace

void LoadConsoleSwitches() {
  userLoginIdentic.store(ReadSwitch(configkey::kUserLoginIdentic, false));
  useClientAutoUpdate.store(ReadSwitch(configkey::kUseClientAutoUpdate, false));
  useClientAutoSynchro.store(ReadSwitch(configkey::kUseClientAutoSynchro, true));
  useMobileDataBase.store(ReadSwitch(configkey::kUseMobileDataBase, false));
  usePhoneToDataBase.store(ReadSwitch(configkey::kUsePhoneToDataBase, false));
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
bool UseMobileDataBase() {
  return useMobileDataBase.load();
}
void SetUseMobileDataBase(bool on) {
  useMobileDataBase.store(on);
}
bool UsePhoneToDataBase() {
  return usePhoneToDataBase.load();
}
void SetUsePhoneToDataBase(bool on) {
  usePhoneToDataBase.store(on);
}

}  // namespace quor
