#include "mobile/FileArea.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/text/Utf8.h"

namespace quor::mobile {
namespace {

bool IsPhoneSeparator(char c) {
  return c == '\\' || c == '/';
}

// Control characters (NUL included) and ':' (drive letters, alternate streams
// of the phone's world) never belong in a part of a path here.
bool IsRefusedPathCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f || c == ':';
}

bool IsAcceptablePart(std::string_view part) {
  if (part.empty() || part == "." || part == "..") return false;
  for (char c : part) {
    if (IsRefusedPathCharacter(c) || IsPhoneSeparator(c)) return false;
  }
  return true;
}

bool IsUtf8Text(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = text::Utf8SequenceLength(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

bool IsIncomingName(std::string_view name) {
  return name.starts_with(kIncomingPrefix) && name.ends_with(kIncomingSuffix);
}

}  // namespace

std::optional<std::vector<std::string>> FileArea::FolderParts(const std::string& folder) {
  // A leading separator names the root of a drive or, doubled, another
  // machine: the phone's folders are always relative to the area.
  if (!folder.empty() && IsPhoneSeparator(folder.front())) return std::nullopt;
  std::vector<std::string> parts;
  std::size_t begin = 0;
  while (begin <= folder.size()) {
    std::size_t end = begin;
    while (end < folder.size() && !IsPhoneSeparator(folder[end])) ++end;
    const std::string_view part(folder.data() + begin, end - begin);
    if (!part.empty()) {
      if (!IsAcceptablePart(part)) return std::nullopt;
      parts.emplace_back(part);
    }
    begin = end + 1;
  }
  return parts;
}

bool FileArea::IsPlainName(const std::string& name) {
  return IsAcceptablePart(name);
}

ScopedFd FileArea::OpenFolder(const std::vector<std::string>& parts, bool create) const {
  if (create) {
    std::error_code error;
    std::filesystem::create_directories(root_, error);
  }
  ScopedFd current(::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (const std::string& part : parts) {
    if (!current.Valid() || !IsAcceptablePart(part)) return ScopedFd();
    if (create && ::mkdirat(current.Get(), part.c_str(), 0755) != 0 && errno != EEXIST) {
      return ScopedFd();
    }
    // O_NOFOLLOW: a link placed in the area, pointing anywhere, is not entered.
    current = ScopedFd(
        ::openat(current.Get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return current;
}

ScopedFd OpenPlainFileIn(const ScopedFd& folder, const std::string& name) {
  if (!folder.Valid() || !FileArea::IsPlainName(name)) return ScopedFd();
  ScopedFd file(::openat(folder.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  if (!file.Valid() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return ScopedFd();
  }
  return file;
}

bool MayWritePlainFileIn(const ScopedFd& folder, const std::string& name) {
  if (!folder.Valid() || !FileArea::IsPlainName(name)) return false;
  struct stat status {};
  if (::fstatat(folder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT;
  }
  return S_ISREG(status.st_mode);
}

std::vector<std::string> PlainFileNamesIn(const ScopedFd& folder) {
  std::vector<std::string> names;
  if (!folder.Valid()) return names;
  const int listFd = ::openat(folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return names;
  DIR* directory = ::fdopendir(listFd);
  if (directory == nullptr) {
    ::close(listFd);
    return names;
  }
  while (const dirent* entry = ::readdir(directory)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == ".." || IsIncomingName(name)) continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat status {};
      regular = ::fstatat(listFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(status.st_mode);
    }
    if (!regular || !IsUtf8Text(name) || name.find_first_of("\r\n") != std::string_view::npos) {
      continue;
    }
    names.emplace_back(name);
  }
  ::closedir(directory);
  return names;
}

IncomingFile::IncomingFile(const ScopedFd& folder, std::string name)
    : folder_(folder.Get()), name_(std::move(name)) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100 && !file_.Valid(); ++attempt) {
    hiddenName_ = kIncomingPrefix + std::to_string(random()) + kIncomingSuffix;
    file_ = ScopedFd(::openat(folder_, hiddenName_.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file_.Valid() && errno != EEXIST) break;
  }
  if (!file_.Valid()) {
    throw std::system_error(errno, std::generic_category(), "cannot create a file for " + name_);
  }
}

IncomingFile::~IncomingFile() {
  if (!committed_) {
    file_.Reset();
    ::unlinkat(folder_, hiddenName_.c_str(), 0);
  }
}

bool IncomingFile::Commit() {
  // A failing close can be the first report of a write that did not reach
  // the disk; such a file is not put in place.
  if (::close(file_.Release()) != 0) return false;
  if (::renameat(folder_, hiddenName_.c_str(), folder_, name_.c_str()) != 0) return false;
  committed_ = true;
  return true;
}

}  // namespace quor::mobile
