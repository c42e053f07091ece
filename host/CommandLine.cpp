#include "host/CommandLine.h"

#include <strings.h>

namespace quor::host {

bool IsSwitch(const std::string& argument, const std::string& name) {
  if (argument.size() != name.size() + 1) return false;
  if (argument[0] != '-' && argument[0] != '/') return false;
  return ::strncasecmp(argument.c_str() + 1, name.c_str(), name.size()) == 0;
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  for (const std::string& argument : arguments) {
    line.msde = line.msde || argument == "-MSDE";
    line.service = line.service || IsSwitch(argument, "Service");
    line.regServer = line.regServer || IsSwitch(argument, "RegServer");
    line.unregServer = line.unregServer || IsSwitch(argument, "UnregServer");
    line.installService = line.installService || argument == "--install-service";
    line.removeService = line.removeService || argument == "--remove-service";
    line.version = line.version || argument == "--version";
    line.help = line.help || argument == "--help";
  }
  return line;
}

std::string UsageText(const std::string& fileName) {
  return "Usage: " + fileName +
         " [-MSDE] [-Service] [-RegServer | -UnregServer]\n"
         "       [--install-service | --remove-service] [--version] [--help]\n"
         "\n"
         "The trade edition comes from the program's file name (" +
         fileName +
         ");\n"
         "a name without an edition code ends the program at once.\n"
         "\n"
         "  -MSDE          engine-only console (exactly this spelling)\n"
         "  -Service       run as the systemd service NT_<name>; only systemd starts it\n"
         "  -RegServer     register the COM class in the registry file, then exit\n"
         "  -UnregServer   remove that registration, then exit\n"
         "  --install-service  write and enable the systemd unit NT_<name> that runs\n"
         "                 this program with -Service at boot, then exit\n"
         "  --remove-service   disable and delete that unit, then exit\n"
         "  --version      print the product title, edition code and version, then exit\n"
         "  --help         print this text, then exit\n"
         "\n"
         "Switches take - or / and any letter case. Other arguments are ignored.\n"
         "Without -Service the server runs as a desktop program until it gets\n"
         "SIGTERM or SIGINT; only one desktop copy of a program name runs at a time.\n"
         "\n"
         "Exit status: 0 normally (also when nothing was to be done), 1 when another\n"
         "desktop copy is running, 2 when registration fails or start-up fails.\n"
         "\n"
         "Environment: QUOR_REGISTRY_FILE (registry file), QUOR_RUNTIME_DIR (lock\n"
         "files), QUOR_SYSTEMD_UNIT_DIR (where the service unit is written).\n";
}

}  // namespace quor::host
