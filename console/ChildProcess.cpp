#include "console/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace quor::console {
namespace {

using Clock = std::chrono::steady_clock;

// CLOSE_RANGE_CLOEXEC, spelled out for headers that predate it.
constexpr unsigned kCloseRangeCloexec = 1U << 2;

// After SIGKILL the kernel ends the program at once unless it sits in an
// uninterruptible wait (a hung disk); the console does not wait longer than this.
constexpr std::chrono::milliseconds kChildKillWait{5000};

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  const long fd = ::syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) {
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
  }
#endif
  (void)pid;
  return -1;
}

// Everything the child needs is prepared before fork: after it only
// async-signal-safe calls are allowed.
struct PreparedExec {
  std::vector<std::string> argvText;
  std::vector<std::string> envText;
  std::vector<char*> argv;
  std::vector<char*> envp;
};

PreparedExec Prepare(const ChildCommand& command) {
  PreparedExec prepared;
  prepared.argvText = command.argv;
  std::map<std::string, std::string> added = command.environment;
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string text = *entry;
    added.erase(text.substr(0, text.find('=')));
    prepared.envText.push_back(text);
  }
  for (const auto& [name, value] : added) prepared.envText.push_back(name + "=" + value);
  for (std::string& text : prepared.argvText) prepared.argv.push_back(text.data());
  prepared.argv.push_back(nullptr);
  for (std::string& text : prepared.envText) prepared.envp.push_back(text.data());
  prepared.envp.push_back(nullptr);
  return prepared;
}

// The child tells the parent why it could not run through a close-on-exec
// pipe: a successful exec closes it without a word.
struct ExecFailure {
  int stage;  // 1: working folder, 2: exec
  int error;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const ChildCommand& command) {
  if (command.argv.empty() || command.argv[0].empty()) throw ChildStartError("no program named");
  PreparedExec prepared = Prepare(command);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    throw ChildStartError(std::string("pipe: ") + std::strerror(errno));
  }
  const char* folder = command.workingFolder.empty() ? nullptr : command.workingFolder.c_str();
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    throw ChildStartError(std::string("fork: ") + std::strerror(error));
  }
  if (pid == 0) {
    // Its own group, so a stop reaches the helpers the engine starts itself.
    ::setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // Ignored signals stay ignored across exec; the program gets its own
    // defaults, not the console's choices.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int number = 1; number < NSIG; ++number) ::sigaction(number, &byDefault, nullptr);
#ifdef SYS_close_range
    // The console's sockets (the client ports among them) are not the
    // program's: had it inherited them, it would hold them after the console ended.
    ::syscall(SYS_close_range, 3U, ~0U, kCloseRangeCloexec);
#endif
    ExecFailure failure{0, 0};
    if (folder && ::chdir(folder) != 0) {
      failure = {1, errno};
    } else {
      ::execve(prepared.argv[0], prepared.argv.data(), prepared.envp.data());
      failure = {2, errno};
    }
    ssize_t ignored = ::write(pipeFds[1], &failure, sizeof failure);
    (void)ignored;
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  ::setpgid(pid, pid);  // also here, so the group exists before anyone signals it
  std::unique_ptr<ChildProcess> child(new ChildProcess(pid, OpenPidFd(pid)));
  ExecFailure failure{0, 0};
  ssize_t got;
  do {
    got = ::read(pipeFds[0], &failure, sizeof failure);
  } while (got < 0 && errno == EINTR);
  ::close(pipeFds[0]);
  if (got == static_cast<ssize_t>(sizeof failure)) {
    child->Reap(true);
    const std::string what = failure.stage == 1 ? "cannot enter " + command.workingFolder
                                                : "cannot run " + command.argv[0];
    throw ChildStartError(what + ": " + std::strerror(failure.error));
  }
  return child;
}

ChildProcess::~ChildProcess() {
  Stop(std::chrono::milliseconds(5000));
  if (pidFd_ >= 0) ::close(pidFd_);
}

bool ChildProcess::Reap(bool block) {
  if (status_) return true;
  int status = 0;
  pid_t done;
  do {
    done = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done == pid_) {
    status_ = status;
    return true;
  }
  if (done < 0 && errno == ECHILD) {
    // Reaped elsewhere (a SIGCHLD handler set to ignore): it is gone all the same.
    status_ = 0;
    return true;
  }
  return false;
}

bool ChildProcess::Running() {
  return !Reap(false);
}

bool ChildProcess::Exited(std::chrono::milliseconds limit) {
  if (status_) return true;
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    siginfo_t info{};
    // WNOWAIT leaves the program a zombie: its pid, and with it its group's
    // id, stays reserved until the console has signalled the group.
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
      if (errno == EINTR) continue;
      return Reap(false);
    }
    if (info.si_pid == pid_) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    if (pidFd_ >= 0) {
      pollfd entry{pidFd_, POLLIN, 0};
      ::poll(&entry, 1, static_cast<int>(left.count()));
    } else {
      std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(20)));
    }
  }
}

bool ChildProcess::WaitFor(std::chrono::milliseconds limit) {
  if (!Exited(limit)) return false;
  // Helpers the program left behind end with it: they would hold its ports
  // and the descriptors it shared with them. The group is signalled while
  // the program is still a zombie, so its id cannot have been reused.
  ::kill(-pid_, SIGKILL);
  return Reap(true);
}

bool ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (status_) return true;
  bool onItsOwn = true;
  if (!Exited(std::chrono::milliseconds(0))) {
    ::kill(pid_, SIGTERM);
    onItsOwn = Exited(grace);
  }
  // Helpers of the program that outlived it go with it; the leader, if it
  // still runs, too.
  ::kill(-pid_, SIGKILL);
  if (!onItsOwn) {
    ::kill(pid_, SIGKILL);
    Exited(kChildKillWait);
  }
  if (!Reap(false)) {
    // Stuck in the kernel past the last wait: reaped when it ends, never left behind.
    std::fprintf(stderr, "console: process %d did not end after SIGKILL\n", static_cast<int>(pid_));
  }
  return onItsOwn;
}

std::string DescribeWaitStatus(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "wait status " + std::to_string(status);
}

}  // namespace quor::console
