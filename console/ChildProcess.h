// A program the console starts and owns: started in a process group of its
// own, watched through a pidfd, asked to end with SIGTERM, killed when it does
// not end in time, and always reaped, so it never outlives this object as a
// zombie or as an orphan the console forgot.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quor::console {

// Why a start failed, with the system's reason ("No such file or directory").
class ChildStartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ChildCommand {
  std::vector<std::string> argv;  // argv[0] is the program's path
  std::string workingFolder;      // empty: the console's own
  // Added to the console's environment; a name set there already keeps its value.
  std::map<std::string, std::string> environment;
};

class ChildProcess {
 public:
  // Returns once the program runs (exec succeeded); a program that cannot be
  // executed, or a working folder that cannot be entered, throws ChildStartError.
  static std::unique_ptr<ChildProcess> Start(const ChildCommand& command);

  // Ends the program as Stop() does.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // Readable once the program has ended; -1 on kernels without pidfd_open.
  int PidFd() const { return pidFd_; }

  // Reaps the program when it has ended; true while it runs.
  bool Running();
  // The wait status once reaped.
  std::optional<int> WaitStatus() const { return status_; }
  // Waits at most `limit` for the program to end; true when it has, and then
  // whatever is left of its process group is killed.
  bool WaitFor(std::chrono::milliseconds limit);

  // SIGTERM to the program, then at most `grace` for it to end, then SIGKILL
  // to its whole group and a last bounded wait. True when it ended on its own
  // within the grace period (or had already ended).
  bool Stop(std::chrono::milliseconds grace);

 private:
  ChildProcess(pid_t pid, int pidFd) : pid_(pid), pidFd_(pidFd) {}
  bool Reap(bool block);
  // True once the program has ended, without reaping it.
  bool Exited(std::chrono::milliseconds limit);

  pid_t pid_ = -1;
  int pidFd_ = -1;
  std::optional<int> status_;
};

// "exit status 3", "killed by signal 9": a wait status for messages and logs.
std::string DescribeWaitStatus(int status);

}  // namespace quor::console
