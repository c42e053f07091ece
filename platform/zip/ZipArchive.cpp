#include "platform/zip/ZipArchive.h"

#include <zip.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/text/Encodings.h"

namespace quor::zip {
namespace {

namespace fs = std::filesystem;

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ArchiveHandle = std::unique_ptr<zip_t, ArchiveCloser>;

struct MemberCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using MemberHandle = std::unique_ptr<zip_file_t, MemberCloser>;

struct Member {
  zip_uint64_t index = 0;
  fs::path relative;
  bool folder = false;
  bool encrypted = false;
};

ArchiveHandle OpenArchive(const fs::path& archive) {
  int code = 0;
  zip_t* handle = zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (handle == nullptr) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const std::string reason = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw ZipError(archive.string() + ": " + reason);
  }
  return ArchiveHandle(handle);
}

// The member's name as this machine writes it, or nothing when it would
// leave the extraction folder.
std::optional<fs::path> SafeRelativeName(std::string name) {
  if (!text::IsValidUtf8(name)) name = text::GbkToUtf8(name, text::OnError::kReplace);
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.empty() || name.front() == '/' || name.find(':') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  fs::path relative;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string_view part = std::string_view(name).substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") relative /= std::string(part);
    start = end + 1;
  }
  if (relative.empty()) return std::nullopt;
  return relative;
}

std::vector<Member> CheckedMembers(zip_t* archive, const fs::path& path) {
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0) throw ZipError(path.string() + ": " + zip_strerror(archive));
  std::vector<Member> members;
  std::uint64_t total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (raw == nullptr || zip_stat_index(archive, index, 0, &stat) != 0) {
      throw ZipError(path.string() + ": " + zip_strerror(archive));
    }
    const std::string name = raw;
    const std::optional<fs::path> relative = SafeRelativeName(name);
    if (!relative)
      throw ZipError(path.string() + ": member \"" + name + "\" lies outside its folder");
    total += (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
    if (total > kMaxExtractedBytes) throw ZipError(path.string() + ": members too large");
    const bool folder = !name.empty() && (name.back() == '/' || name.back() == '\\');
    members.push_back(
        {index, *relative, folder,
         (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE});
  }
  return members;
}

// The member's bytes, or nothing when `password` does not decrypt it.
std::optional<std::string> ReadMember(zip_t* archive, const Member& member, const char* password,
                                      std::string& reason) {
  MemberHandle file(zip_fopen_index_encrypted(archive, member.index, 0, password));
  if (!file) {
    reason = zip_strerror(archive);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const zip_int64_t got = zip_fread(file.get(), buffer, sizeof buffer);
    if (got < 0) {
      reason = zip_file_strerror(file.get());
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
    if (bytes.size() > kMaxExtractedBytes) {
      reason = "member too large";
      return std::nullopt;
    }
  }
  return bytes;
}

}  // namespace

std::vector<fs::path> ExtractAll(const fs::path& archive, const fs::path& folder,
                                 const std::vector<std::string>& passwords) {
  ArchiveHandle handle = OpenArchive(archive);
  const std::vector<Member> members = CheckedMembers(handle.get(), archive);
  fs::create_directories(folder);
  std::vector<fs::path> written;
  for (const Member& member : members) {
    const fs::path target = folder / member.relative;
    if (member.folder) {
      fs::create_directories(target);
      continue;
    }
    std::string reason;
    std::optional<std::string> bytes;
    if (member.encrypted) {
      for (const std::string& password : passwords) {
        bytes = ReadMember(handle.get(), member, password.c_str(), reason);
        if (bytes) break;
      }
    } else {
      bytes = ReadMember(handle.get(), member, nullptr, reason);
    }
    if (!bytes) {
      throw ZipError(archive.string() + ": member \"" + member.relative.string() + "\": " + reason);
    }
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    out.close();
    if (!out) throw ZipError(target.string() + ": cannot be written");
    written.push_back(target);
  }
  return written;
}

}  // namespace quor::zip
