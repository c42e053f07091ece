// The process-wide names derived from the program's file name at start-up: the
// edition, the product title, the catalogue table, the configuration file, the
// service and the single-instance mutex.
#pragma once

#include <optional>
#include <string>

#include "ServerPublic/ServerGlobals.h"
#include "host/CommandLine.h"
#include "host/ProgramLocation.h"

namespace quor::host {

// "QuorServerBZ.exe" -> "QuorServerBZ.dat"; "QuorServerBZ" -> "QuorServerBZ.dat".
std::string ConfigFileNameFor(const std::string& fileName);
// "QuorServerBZ.exe" -> "NT_QuorServerBZ".
std::string ServiceNameFor(const std::string& fileName);
// "QuorServerBZ.exe" -> "QUORSERVERBZ.EXE_MUTEX".
std::string DesktopMutexName(const std::string& fileName);

// All start-up values for this program, or nothing when its name carries no
// edition code (the program then ends without doing anything).
std::optional<StartupValues> StartupValuesFor(const ProgramLocation& program,
                                              const CommandLine& commandLine);

}  // namespace quor::host
