// quorcall: a command-line client of the socket transport for operators and
// client developers. It connects like a desktop client, creates the remote
// data module (or any class) and calls its members by name with typed
// arguments, shows a provider's rows as a table, and lists the servers.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quor::tools {

// Exit statuses.
inline constexpr int kCallOk = 0;
inline constexpr int kCallFailed = 1;    // the server refused or a call failed
inline constexpr int kUsageError = 2;    // the command line could not be read
inline constexpr int kNoConnection = 3;  // the server could not be reached

// Runs one command line (without the program name); output to out, errors
// and diagnostics to err.
int RunQuorCall(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

std::string QuorCallUsage();

}  // namespace quor::tools
