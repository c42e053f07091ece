// The command line the server understands. Windows-style switches take "-" or
// "/" and any letter case; "-MSDE" must be written exactly so. Anything else is
// ignored, as it always was, so old shortcuts with extra words keep working.
#pragma once

#include <string>
#include <vector>

namespace quor::host {

struct CommandLine {
  bool msde = false;            // "-MSDE": the console's engine-only mode
  bool service = false;         // "-Service": run as the systemd service
  bool regServer = false;       // "-RegServer": register the COM class and exit
  bool unregServer = false;     // "-UnregServer": unregister the COM class and exit
  bool installService = false;  // "--install-service": write and enable the systemd unit
  bool removeService = false;   // "--remove-service": disable and delete it
  bool version = false;         // "--version"
  bool help = false;            // "--help"
};

// arguments: argv[1] to the last.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// True for "-name" or "/name" in any letter case.
bool IsSwitch(const std::string& argument, const std::string& name);

// The text of "--help" for a program started under fileName.
std::string UsageText(const std::string& fileName);

}  // namespace quor::host
