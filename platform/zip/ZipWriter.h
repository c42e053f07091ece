// Writing deflate-compressed ZIP archives (libzip), as web publishing packs the
// browser client and its reports. An archive is built under a temporary name
// beside its place and only then renamed over it, so a reader never meets half
// an archive and a failure leaves the old one as it was.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/zip/ZipArchive.h"

namespace quor::zip {

// One member: its name inside the archive (UTF-8, "/" between folders) and
// the file its bytes come from.
struct ZipMember {
  std::string name;
  std::filesystem::path source;
};

// An archive built but not yet in its place: Commit renames it over the
// target; destroying it uncommitted removes the temporary file. Several
// archives that belong together are all built first and committed last.
class PendingArchive {
 public:
  PendingArchive(std::filesystem::path target, std::filesystem::path temporary);
  ~PendingArchive();
  PendingArchive(PendingArchive&& other) noexcept;
  PendingArchive& operator=(PendingArchive&&) = delete;
  PendingArchive(const PendingArchive&) = delete;
  PendingArchive& operator=(const PendingArchive&) = delete;

  const std::filesystem::path& Target() const { return target_; }
  // Throws ZipError when the rename fails; the temporary file is removed then.
  void Commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
};

// Builds an archive of `members`, each deflated at the best compression and
// dated by its file's modification time. Names are stored in code page 936
// without the UTF-8 flag, which is how the Windows clients that unpack these
// archives read them (a name with no code page 936 form is refused). An empty
// member list gives an empty archive. Throws ZipError naming the archive and
// the member when a file cannot be read, the archive cannot be written, or
// its place holds something other than a file.
PendingArchive BuildDeflateArchive(const std::filesystem::path& target,
                                   const std::vector<ZipMember>& members);

}  // namespace quor::zip
