// Installs and removes the server's own systemd service: the console's
// "register auto-start service" command. The unit runs the program in the
// foreground with " -Service" and starts with the machine.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace quor::service {

class ServiceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ServiceDefinition {
  std::string name;         // ServiceName; the unit is UnitName(name)
  std::string displayName;  // ProductTitle, the unit's Description
  std::string programPath;  // full path of the executable
};

// $QUOR_SYSTEMD_UNIT_DIR when set, else /etc/systemd/system.
std::filesystem::path UnitFolder();

// The unit file's text.
std::string UnitFileText(const ServiceDefinition& service);

// Quotes one command-line word the way systemd reads ExecStart: in double
// quotes, with backslash, quote, "%" and "$" made literal.
std::string QuoteExecArgument(const std::string& word);

// Writes the unit file, then "systemctl daemon-reload" and "systemctl enable".
// Throws ServiceError naming what failed; a unit file already written stays.
void InstallService(const ServiceDefinition& service,
                    const std::filesystem::path& unitFolder = UnitFolder());

// "systemctl disable", deletes the unit file and reloads systemd. A service that
// is not installed is not an error.
void RemoveService(const std::string& name, const std::filesystem::path& unitFolder = UnitFolder());

}  // namespace quor::service
