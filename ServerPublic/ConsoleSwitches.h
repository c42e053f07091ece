// The console's switches that client and phone threads consult at run time:
// one login per user, client self-upgrade and client-side synchronisation.
// Each mirrors a configuration key; start-up loads them and the console's menu
// items set them (and write their keys) afterwards.
#pragma once

namespace quor {

// Reads "UserLoginIdentic" ("False"), "UseClientAutoUpdate" ("False"),
// "UseClientAutoSynchro" ("True"), "UseMobileDataBase" ("False") and
// "UsePhoneToDataBase" ("False") from the configuration; only "True" is on.
void LoadConsoleSwitches();

// Until loaded: off, off, on, as the defaults say.
bool UserLoginIdentic();
void SetUserLoginIdentic(bool on);
bool UseClientAutoUpdate();
void SetUseClientAutoUpdate(bool on);
bool UseClientAutoSynchro();
void SetUseClientAutoSynchro(bool on);
// The phones' account-set choice: the server's chosen account set, and the
// account set matched by the phone's number.
bool UseMobileDataBase();
void SetUseMobileDataBase(bool on);
bool UsePhoneToDataBase();
void SetUsePhoneToDataBase(bool on);

}  // namespace quor
