#include "tests/transport/ServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace quor::transport::testing {

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const std::map<std::string, std::string>& environment,
                             const std::vector<std::string>& unset) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool drop = environment.count(name) > 0;
    for (const std::string& removed : unset) drop = drop || removed == name;
    if (!drop) env.push_back(text);
  }
  for (const auto& [name, value] : environment) env.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argvText = arguments;
  std::vector<char*> argv;
  for (std::string& argument : argvText) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const int status =
      ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  errFd_ = pipeFds[0];
  if (status != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(status));
  }
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (errFd_ >= 0) ::close(errFd_);
}

bool ServerProcess::Pump(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  pollfd ready{errFd_, POLLIN, 0};
  if (::poll(&ready, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) <= 0) {
    return true;
  }
  char buffer[4096];
  const ssize_t got = ::read(errFd_, buffer, sizeof buffer);
  if (got <= 0) return false;
  error_.append(buffer, static_cast<std::size_t>(got));
  return true;
}

bool ServerProcess::WaitForError(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (error_.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline || !Pump(deadline)) {
      return error_.find(text) != std::string::npos;
    }
  }
  return true;
}

int ServerProcess::Stop(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    Pump(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      while (Pump(std::chrono::steady_clock::now())) {
        if (error_.empty()) break;
        pollfd ready{errFd_, POLLIN, 0};
        if (::poll(&ready, 1, 0) <= 0) break;
      }
      return status;
    }
  }
  return -1;
}

}  // namespace quor::transport::testing
