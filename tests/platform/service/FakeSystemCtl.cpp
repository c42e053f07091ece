#include "tests/platform/service/FakeSystemCtl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace quor::service::testing {

namespace fs = std::filesystem;

FakeSystemCtl::FakeSystemCtl() {
  std::string pattern = (fs::temp_directory_path() / "quor-systemctl-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  folder_ = pattern;
  fs::create_directory(folder_ / "bin");
  fs::create_directory(folder_ / "empty");
  if (const char* path = std::getenv("PATH")) oldPath_ = path;
  ::setenv("PATH", ((folder_ / "bin").string() + ":" + oldPath_).c_str(), 1);
  SetScript("exit 0");
}

FakeSystemCtl::~FakeSystemCtl() {
  ::setenv("PATH", oldPath_.c_str(), 1);
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

void FakeSystemCtl::SetScript(const std::string& body) {
  const fs::path script = folder_ / "bin" / "systemctl";
  const fs::path temporary = folder_ / "bin" / ".systemctl.new";
  {
    std::ofstream out(temporary);
    out << "#!/bin/sh\n"
        << "printf '%s\\n' \"$*\" >> '" << (folder_ / "calls.log").string() << "'\n"
        << body << "\n";
  }
  ::chmod(temporary.c_str(), 0755);
  fs::rename(temporary, script);
}

void FakeSystemCtl::AnswerShow(const std::string& loadState, const std::string& activeState,
                               const std::string& mainPid) {
  SetScript(
      "if [ \"$1\" = show ]; then\n"
      "  printf 'LoadState=%s\\nActiveState=%s\\nMainPID=%s\\n' '" +
      loadState + "' '" + activeState + "' \"" + mainPid +
      "\"\n"
      "fi\n"
      "exit 0");
}

void FakeSystemCtl::HideFromPath() {
  ::setenv("PATH", (folder_ / "empty").c_str(), 1);
}

std::vector<std::string> FakeSystemCtl::Calls() const {
  std::vector<std::string> calls;
  std::ifstream in(folder_ / "calls.log");
  for (std::string line; std::getline(in, line);) calls.push_back(line);
  return calls;
}

}  // namespace quor::service::testing
