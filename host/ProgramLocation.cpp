#include "host/ProgramLocation.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace quor::host {
namespace {

namespace fs = std::filesystem;

// A bare name was found on PATH by whoever started us; look it up the same way.
fs::path SearchPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    fs::path candidate = fs::path(folder.empty() ? "." : folder) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return fs::absolute(candidate).lexically_normal();
  }
  return {};
}

}  // namespace

ProgramLocation LocateProgram(const std::string& argv0) {
  std::error_code error;
  fs::path executable = fs::read_symlink("/proc/self/exe", error);
  fs::path started;
  if (argv0.find('/') != std::string::npos) {
    started = fs::absolute(argv0, error).lexically_normal();
  } else if (!argv0.empty()) {
    started = SearchPath(argv0);
  }
  if (started.empty()) started = executable;
  if (executable.empty()) executable = started;

  ProgramLocation location;
  location.path = started.string();
  location.fileName = started.filename().string();
  location.folder = executable.parent_path().string();
  if (location.folder.empty() || location.folder.back() != '/') location.folder += '/';
  return location;
}

}  // namespace quor::host
