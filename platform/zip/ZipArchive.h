// Reading ZIP archives (libzip), as the schema upgrade receives its scripts:
// members stored or deflated, plain or with the traditional ("ZipCrypto")
// encryption. Extraction never writes outside the folder it is given.
//
//   std::vector<std::filesystem::path> files =
//       zip::ExtractAll("update.zip", "/tmp/quor-x", {password936, passwordUtf8});
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace quor::zip {

// Why an archive could not be extracted; the text names the archive or member.
class ZipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// More than this many bytes in all is refused, so a small archive cannot
// fill the disk.
inline constexpr std::uint64_t kMaxExtractedBytes = 512ull * 1024 * 1024;

// Extracts every member below `folder` (made when missing), recreating the
// archive's folders and replacing files of the same name. An encrypted member
// is read with the first of `passwords` that decrypts it (its check sum
// decides). Member names are taken as UTF-8 when they are, else as code page
// 936; "\" counts as a separator. Before anything is written the whole archive
// is checked: a member named absolutely, with a drive letter or with a ".."
// part, or a total above kMaxExtractedBytes, refuses the archive. Returns the
// files written. Throws ZipError.
std::vector<std::filesystem::path> ExtractAll(const std::filesystem::path& archive,
                                              const std::filesystem::path& folder,
                                              const std::vector<std::string>& passwords);

}  // namespace quor::zip
