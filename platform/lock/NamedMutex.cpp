#include "platform/lock/NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace quor::lock {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// A private folder under /tmp could be planted by another user before we make
// it; refuse one that is a link or is not ours, or anyone could take our locks.
void EnsureFolder(const std::filesystem::path& folder) {
  std::error_code error;
  if (folder.has_parent_path()) std::filesystem::create_directories(folder.parent_path(), error);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    ThrowErrno("runtime folder " + folder.string());
  }
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) ThrowErrno("runtime folder " + folder.string());
  if (!S_ISDIR(info.st_mode)) {
    throw std::system_error(ENOTDIR, std::generic_category(), "runtime folder " + folder.string());
  }
  if (info.st_uid != ::geteuid() && info.st_uid != 0) {
    throw std::system_error(EPERM, std::generic_category(),
                            "runtime folder " + folder.string() + " belongs to another user");
  }
}

}  // namespace

std::filesystem::path RuntimeFolder() {
  if (std::string dir = Env("QUOR_RUNTIME_DIR"); !dir.empty()) return dir;
  if (std::string dir = Env("XDG_RUNTIME_DIR"); !dir.empty()) {
    return std::filesystem::path(dir) / "quor";
  }
  if (::geteuid() == 0) return "/run/quor";
  return "/tmp/quor-" + std::to_string(::geteuid());
}

std::filesystem::path LockFilePath(const std::filesystem::path& folder, const std::string& name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string file;
  for (unsigned char c : name) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '_' || c == '-';
    if (plain) {
      file += static_cast<char>(c);
    } else {
      file += '%';
      file += kHex[c >> 4];
      file += kHex[c & 0x0F];
    }
  }
  // "." and ".." are the only plain names that would not be files of their own.
  if (file.empty() || file == "." || file == "..") file = "%" + file;
  return folder / (file + ".lock");
}

NamedMutex::NamedMutex(std::string name, std::filesystem::path folder) : name_(std::move(name)) {
  EnsureFolder(folder);
  const std::filesystem::path path = LockFilePath(folder, name_);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) ThrowErrno("lock file " + path.string());
  // flock conflicts between open file descriptions, so a second handle in this
  // same process finds the mutex existing too, as a second CreateMutex would.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    if (error != EWOULDBLOCK) {
      throw std::system_error(error, std::generic_category(), "lock " + path.string());
    }
    alreadyExisted_ = true;
    return;
  }
  fd_ = fd;
}

NamedMutex::~NamedMutex() {
  Release();
}

NamedMutex::NamedMutex(NamedMutex&& other) noexcept
    : name_(std::move(other.name_)),
      alreadyExisted_(other.alreadyExisted_),
      fd_(std::exchange(other.fd_, -1)) {}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    Release();
    name_ = std::move(other.name_);
    alreadyExisted_ = other.alreadyExisted_;
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

// The lock file stays: removing it would let a newcomer lock a fresh file while
// a waiter still holds the old one.
void NamedMutex::Release() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace quor::lock
