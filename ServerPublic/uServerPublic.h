// The shared server routines in one include: process-wide values, the
// configuration store, SQL Server connections and routines, the master
// catalogue, the online session table and the console switches.
#pragma once

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConnectionRecipe.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/Edition.h"
#include "ServerPublic/MachineAddress.h"
#include "ServerPublic/MasterCatalogue.h"
#include "ServerPublic/OnlineSessionTable.h"
#include "ServerPublic/PasswordScrambler.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/ServerVersion.h"
#include "ServerPublic/SqlNames.h"
#include "ServerPublic/SqlRoutines.h"
