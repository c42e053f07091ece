// A systemctl stand-in for the tests: a shell script placed in a temporary
// folder that is put first on PATH. It appends each call's arguments to a log
// and answers "show" with the unit state the test sets; "$PPID" in a state
// stands for the process that ran systemctl.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quor::service::testing {

class FakeSystemCtl {
 public:
  FakeSystemCtl();
  ~FakeSystemCtl();
  FakeSystemCtl(const FakeSystemCtl&) = delete;
  FakeSystemCtl& operator=(const FakeSystemCtl&) = delete;

  // The body of the script after the call is logged ("$1" is the command).
  void SetScript(const std::string& body);
  // "show" prints these lines; other commands succeed silently.
  void AnswerShow(const std::string& loadState, const std::string& activeState,
                  const std::string& mainPid);
  // Makes systemctl unreachable: PATH holds only an empty folder.
  void HideFromPath();

  std::vector<std::string> Calls() const;
  const std::filesystem::path& Folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  std::string oldPath_;
};

}  // namespace quor::service::testing
