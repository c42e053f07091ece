#include "tests/support/files/TempFolder.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quor::testing {

TempFolder::TempFolder() {
  char pattern[] = "/tmp/quor-test-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  // Other users must reach into it for the unprivileged checks.
  std::filesystem::permissions(path_, std::filesystem::perms(0755));
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    if (entry.is_directory(ignored)) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

int RunUnprivileged(const std::function<int()>& check) {
  if (::geteuid() != 0) return check();
  const pid_t pid = ::fork();
  if (pid < 0) return 100;
  if (pid == 0) {
    constexpr uid_t kNobody = 65534;
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(101);
    int status = 102;
    try {
      status = check();
    } catch (...) {
      status = 103;
    }
    ::_exit(status);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 104;
  return WEXITSTATUS(status);
}

}  // namespace quor::testing
