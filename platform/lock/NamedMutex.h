// Named mutexes shared between processes on one machine, as the server used them
// on Windows: a name either exists (some handle holds it) or not. Each name is a
// lock file in the runtime folder held with an advisory flock; the lock goes
// with the handle, so a crashed holder never leaves a stale mutex behind.
#pragma once

#include <filesystem>
#include <string>

namespace quor::lock {

// The mutex through which every copy of the server agrees which one listens on
// the socket ports.
inline constexpr const char* kSocketServerMutex = "SCKTSRVR";

// $QUOR_RUNTIME_DIR when set, else $XDG_RUNTIME_DIR/quor when that is set, else
// /run/quor for root, else /tmp/quor-<uid>. Not created here.
std::filesystem::path RuntimeFolder();

class NamedMutex {
 public:
  // Creates the mutex with this process as its owner, or finds it already held
  // by another handle (in this or another process); then AlreadyExisted() is
  // true and this handle owns nothing. Creates the runtime folder when needed.
  // Throws std::system_error when the folder or lock file cannot be used.
  explicit NamedMutex(std::string name, std::filesystem::path folder = RuntimeFolder());
  ~NamedMutex();

  NamedMutex(NamedMutex&& other) noexcept;
  NamedMutex& operator=(NamedMutex&& other) noexcept;
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  const std::string& Name() const { return name_; }
  bool AlreadyExisted() const { return alreadyExisted_; }
  bool Owned() const { return fd_ >= 0; }
  // Gives the mutex up early; the destructor does the same.
  void Release();

 private:
  std::string name_;
  bool alreadyExisted_ = false;
  int fd_ = -1;
};

// The lock file that stands for a mutex name: characters outside [A-Za-z0-9._-]
// are written as %XX so that no name can leave the folder.
std::filesystem::path LockFilePath(const std::filesystem::path& folder, const std::string& name);

}  // namespace quor::lock
