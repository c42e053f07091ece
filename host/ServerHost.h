// Start-up of the server process: decides the edition from the program's name,
// sets the process-wide names, handles the command line, chooses service or
// desktop mode and creates the long-lived modules in their fixed order.
#pragma once

namespace quor::host {

// Exit statuses besides 0 (normal end, or nothing to do).
inline constexpr int kExitAlreadyRunning = 1;  // another desktop copy is running
inline constexpr int kExitFailure = 2;         // registration or start-up failed

// The whole life of the process; returns its exit status.
int RunServer(int argc, char* argv[]);

}  // namespace quor::host
