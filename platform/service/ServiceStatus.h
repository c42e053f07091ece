// Whether an NT-style service of this machine is installed and running, asked of
// systemd. The server's services are systemd units named <service name>.service.
//
// How the service control manager's answers map onto systemd:
//   -1  systemctl cannot be run or fails, or LoadState is anything but "loaded"
//       ("not-found", "masked", "error", ...): not installed or not accessible.
//    1  ActiveState "active" or "reloading" with a MainPID other than this
//       process: the service is running in another process.
//    0  everything else: "inactive", "failed", "deactivating", "activating"
//       (start-pending), and a unit whose MainPID is this very process. systemd
//       marks a Type=simple unit active as soon as it forks, so the service
//       process itself, still starting, sees what Windows showed it: not yet
//       running.
// A process started with -Service goes on only when the status is 0 and
// systemd named it the unit's main process (IsUnitMainProcess): that is the
// start-pending state in which the service control manager launched the
// original, and a hand-started copy is not the service.
#pragma once

#include <optional>
#include <string>

#include <sys/types.h>

namespace quor::service {

// What "systemctl show -p LoadState,ActiveState,MainPID" says of a unit.
struct UnitState {
  std::string loadState;
  std::string activeState;
  pid_t mainPid = 0;
};

// The unit name of a service: the name with characters that systemd does not
// allow in unit names written as \xNN (as systemd-escape does), plus ".service".
std::string UnitName(const std::string& serviceName);

// Nothing when systemctl cannot answer.
std::optional<UnitState> QueryUnit(const std::string& serviceName);

// The mapping above for a unit state seen from process `self`.
int StatusOf(const std::optional<UnitState>& state, pid_t self);

// -1 / 0 / 1 as described above, seen from this process.
int ServiceStatus(const std::string& serviceName);

// True when systemd started this process as the unit's main process.
bool IsUnitMainProcess(const std::optional<UnitState>& state, pid_t self);

}  // namespace quor::service
