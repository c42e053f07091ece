// Runs the built server as a child process for the tests: chosen argv[0] and
// environment, standard output and error collected through pipes, and every
// wait bounded by a deadline. A child still running at the end is killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quor::host::testing {

class ChildProcess {
 public:
  // program: the file to run; argv[0] is what the child sees as its name.
  // environment: variables to set (a value of nullopt removes the variable).
  ChildProcess(const std::string& program, const std::vector<std::string>& argv,
               const std::map<std::string, std::optional<std::string>>& environment);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads output until standard error contains text; false at the deadline or
  // when the child closed its output first.
  bool WaitForError(const std::string& text, std::chrono::milliseconds timeout);
  // Reads all output and waits for the child to end; the raw wait status, or
  // nothing at the deadline.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  bool Running();
  void Signal(int number);

  const std::string& Output() const { return output_; }
  const std::string& Error() const { return error_; }
  pid_t Pid() const { return pid_; }

 private:
  // Reads whatever is ready; false when both pipes are closed.
  bool Pump(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int pidFd_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::optional<int> status_;
  std::string output_;
  std::string error_;
};

// "exited with 0", "killed by signal 9", ... for failure messages.
std::string DescribeStatus(int status);

}  // namespace quor::host::testing
