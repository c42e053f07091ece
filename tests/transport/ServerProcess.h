// The built server run as a child process for the start-up tests: a chosen
// environment, standard error collected through a pipe, waits bounded by
// deadlines, and SIGTERM then SIGKILL for a child still running at the end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace quor::transport::testing {

class ServerProcess {
 public:
  ServerProcess(const std::string& program, const std::vector<std::string>& arguments,
                const std::map<std::string, std::string>& environment,
                const std::vector<std::string>& unset);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Reads standard error until it holds text; false at the deadline or when
  // the child closed it first.
  bool WaitForError(const std::string& text, std::chrono::milliseconds timeout);
  // SIGTERM and the exit status, or -1 when it did not end in time.
  int Stop(std::chrono::milliseconds timeout);
  const std::string& Error() const { return error_; }

 private:
  bool Pump(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int errFd_ = -1;
  std::string error_;
};

}  // namespace quor::transport::testing
