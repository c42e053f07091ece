// The console's switches that client and phone threads consult at run time:
// one login per user, client self-upgrade and client-side synchronisation.
// Each mirrors a configuration key; start-up loads them and the console's menu
// items set them (and write their keys) afterwards.
#pragma once

namespace quor {

// Reads "UserLoginIdentic" ("False"), "UseClientAutoUpdate" ("False") and
// "UseClientAutoSynchro" ("True") from the configuration; only "True" is on.
void LoadConsoleSwitches();

// Until loaded: off, off, on, as the defaults say.
bool UserLoginIdentic();
void SetUserLoginIdentic(bool on);
bool UseClientAutoUpdate();
void SetUseClientAutoUpdate(bool on);
bool UseClientAutoSynchro();
void SetUseClientAutoSynchro(bool on);

}  // namespace quor
