// Runs systemctl, found on PATH, and collects what it prints. Tests put a fake
// systemctl first on PATH; the real one talks to systemd.
#pragma once

#include <string>
#include <vector>

namespace quor::service {

struct SystemCtlResult {
  bool started = false;  // false: no systemctl on PATH, or it could not be run
  int exitCode = -1;     // -1 when it did not end normally within the time allowed
  std::string output;
  std::string errorOutput;

  bool Succeeded() const { return started && exitCode == 0; }
  // One line for an error message: the error output, else the exit code.
  std::string Problem() const;
};

// Runs "systemctl <arguments>" directly (no shell), so names are never parsed
// as shell text, and waits at most timeoutMs for it to end.
SystemCtlResult RunSystemCtl(const std::vector<std::string>& arguments, int timeoutMs = 30000);

}  // namespace quor::service
