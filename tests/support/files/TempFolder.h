// A fresh folder under /tmp for one test, removed with everything in it, plus
// small file helpers the configuration tests share.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace quor::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string ReadText(const std::filesystem::path& file);
void WriteText(const std::filesystem::path& file, const std::string& text);

// Runs check as an unprivileged user (in a child process when the tests run as
// root, since root writes into read-only folders) and returns its exit status;
// 0 means the check passed.
int RunUnprivileged(const std::function<int()>& check);

}  // namespace quor::testing
