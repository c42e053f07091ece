#include "tests/host/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace quor::host::testing {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& argv,
                           const std::map<std::string, std::optional<std::string>>& environment) {
  std::vector<std::string> envStrings;
  for (char** entry = environ; *entry; ++entry) {
    std::string text = *entry;
    std::string name = text.substr(0, text.find('='));
    if (!environment.count(name)) envStrings.push_back(text);
  }
  for (const auto& [name, value] : environment) {
    if (value) envStrings.push_back(name + "=" + *value);
  }
  std::vector<char*> envp;
  for (auto& text : envStrings) envp.push_back(text.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (auto& text : args) argp.push_back(text.data());
  argp.push_back(nullptr);

  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  int result = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
  if (result != 0) {
    ::close(outFd_);
    ::close(errFd_);
    throw std::runtime_error("cannot start " + program);
  }
  pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  if (pidFd_ < 0) throw std::runtime_error("pidfd_open");
}

ChildProcess::~ChildProcess() {
  if (!status_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  for (int fd : {outFd_, errFd_, pidFd_}) {
    if (fd >= 0) ::close(fd);
  }
}

bool ChildProcess::Pump(Clock::time_point deadline) {
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (outFd_ < 0 && errFd_ < 0) return false;
  if (::poll(fds, 2, RemainingMs(deadline)) <= 0) return true;
  std::string* targets[2] = {&output_, &error_};
  int* owners[2] = {&outFd_, &errFd_};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[4096];
    ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
    if (got > 0) {
      targets[i]->append(buffer, static_cast<std::size_t>(got));
    } else {
      ::close(*owners[i]);
      *owners[i] = -1;
    }
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

bool ChildProcess::WaitForError(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (error_.find(text) == std::string::npos) {
    if (Clock::now() >= deadline || !Pump(deadline)) return error_.find(text) != std::string::npos;
  }
  return true;
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline && Pump(deadline)) {
  }
  if (status_) return status_;
  pollfd fd{pidFd_, POLLIN, 0};
  if (::poll(&fd, 1, RemainingMs(deadline)) <= 0) return std::nullopt;
  int status = 0;
  if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
  status_ = status;
  return status_;
}

bool ChildProcess::Running() {
  if (status_) return false;
  pollfd fd{pidFd_, POLLIN, 0};
  return ::poll(&fd, 1, 0) == 0;
}

void ChildProcess::Signal(int number) {
  if (!status_) ::kill(pid_, number);
}

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exited with " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

}  // namespace quor::host::testing
