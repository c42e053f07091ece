// The file area phones exchange files with. Folder and file names come from
// the phone; each is checked, then opened below the root one part at a time
// without following links, so no name a phone sends reaches the disk outside
// the area: "..", absolute paths, drive letters, separators inside a file name,
// control characters and links are refused before anything is created.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "mobile/ScopedFd.h"

namespace quor::mobile {

class FileArea {
 public:
  explicit FileArea(std::filesystem::path root) : root_(std::move(root)) {}

  const std::filesystem::path& Root() const { return root_; }

  // The parts of a phone's folder text; backslashes (the phone's separator) and
  // slashes both separate, and empty parts after the first are dropped, so
  // "photos\2024\" is {"photos", "2024"} and "" is the root itself. Nothing for
  // a refused text.
  static std::optional<std::vector<std::string>> FolderParts(const std::string& folder);
  // A name for a file in a folder: not empty, not "." or "..", without
  // separators, ':' or control characters.
  static bool IsPlainName(const std::string& name);

  // The folder below the root, created with its missing parts (the root too)
  // when `create`; an invalid handle when refused, missing or not a folder.
  ScopedFd OpenFolder(const std::vector<std::string>& parts, bool create) const;

 private:
  std::filesystem::path root_;
};

// A regular file of `folder` opened for reading, never through a link; an
// invalid handle otherwise.
ScopedFd OpenPlainFileIn(const ScopedFd& folder, const std::string& name);

// Whether a file `name` may be written in `folder`: it does not exist yet or
// is a regular file. A link (wherever it points), a folder or a device is never
// written over.
bool MayWritePlainFileIn(const ScopedFd& folder, const std::string& name);

// The names of the regular files of `folder` in the order the file system
// gives them; names a phone could not read back as one line (not UTF-8, line
// breaks) and unfinished uploads are left out.
std::vector<std::string> PlainFileNamesIn(const ScopedFd& folder);

// A file being received into `folder`: written under a hidden name of its own
// (created exclusively) and put in place under `name` by Commit, so a reader
// never sees half a file and a failed transfer leaves nothing behind.
class IncomingFile {
 public:
  IncomingFile(const ScopedFd& folder, std::string name);  // throws std::system_error
  ~IncomingFile();  // removes the hidden file unless committed
  IncomingFile(const IncomingFile&) = delete;
  IncomingFile& operator=(const IncomingFile&) = delete;

  int Fd() const { return file_.Get(); }
  // Closes the file and renames it to `name`; false when that failed (the
  // hidden file is then removed).
  bool Commit();

 private:
  int folder_;
  std::string name_;
  std::string hiddenName_;
  ScopedFd file_;
  bool committed_ = false;
};

// The prefix and suffix of the hidden names IncomingFile writes under.
inline constexpr const char* kIncomingPrefix = ".~incoming-";
inline constexpr const char* kIncomingSuffix = ".part";

}  // namespace quor::mobile
