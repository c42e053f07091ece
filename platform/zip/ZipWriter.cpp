#include "platform/zip/ZipWriter.h"

#include <unistd.h>
#include <zip.h>

#include <atomic>
#include <fstream>
#include <system_error>

#include "platform/text/Encodings.h"

namespace quor::zip {
namespace {

namespace fs = std::filesystem;

std::atomic<unsigned> nextWriterSerial{0};

fs::path TemporaryBeside(const fs::path& target) {
  return fs::path(target).concat(".part-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(nextWriterSerial++));
}

// libzip writes no file at all for an archive without members, so the empty
// archive's one record (the end of the central directory) is written here.
void WriteEmptyArchive(const fs::path& file) {
  const char record[22] = {'P', 'K', 5, 6};
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(record, sizeof record);
  out.close();
  if (!out) throw ZipError(file.string() + ": cannot be written");
}

void RequireReadable(const fs::path& archive, const ZipMember& member) {
  std::error_code error;
  std::ifstream probe(member.source, std::ios::binary);
  if (!fs::is_regular_file(member.source, error) || !probe) {
    throw ZipError(archive.string() + ": member \"" + member.name +
                   "\": " + member.source.string() + " cannot be read");
  }
}

void AddMember(zip_t* handle, const fs::path& archive, const ZipMember& member) {
  RequireReadable(archive, member);
  std::string storedName;
  try {
    storedName = text::Utf8ToGbk(member.name, text::OnError::kThrow);
  } catch (const std::exception&) {
    throw ZipError(archive.string() + ": member \"" + member.name + "\" has no code page 936 name");
  }
  zip_source_t* source = zip_source_file(handle, member.source.c_str(), 0, 0);
  if (source == nullptr) {
    throw ZipError(archive.string() + ": member \"" + member.name + "\": " + zip_strerror(handle));
  }
  // Raw bytes without the UTF-8 flag: libzip stores a name it is told is
  // code page 437 exactly as given.
  const zip_int64_t index =
      zip_file_add(handle, storedName.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_CP437);
  if (index < 0) {
    zip_source_free(source);
    throw ZipError(archive.string() + ": member \"" + member.name + "\": " + zip_strerror(handle));
  }
  if (zip_set_file_compression(handle, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9) != 0) {
    throw ZipError(archive.string() + ": member \"" + member.name + "\": " + zip_strerror(handle));
  }
}

void WriteMembers(const fs::path& file, const fs::path& target,
                  const std::vector<ZipMember>& members) {
  int code = 0;
  zip_t* handle = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (handle == nullptr) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const std::string reason = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw ZipError(target.string() + ": " + reason);
  }
  try {
    for (const ZipMember& member : members) AddMember(handle, target, member);
  } catch (...) {
    zip_discard(handle);
    throw;
  }
  if (zip_close(handle) != 0) {
    const std::string reason = zip_strerror(handle);
    zip_discard(handle);
    throw ZipError(target.string() + ": " + reason);
  }
}

}  // namespace

PendingArchive::PendingArchive(fs::path target, fs::path temporary)
    : target_(std::move(target)), temporary_(std::move(temporary)) {}

PendingArchive::PendingArchive(PendingArchive&& other) noexcept
    : target_(std::move(other.target_)), temporary_(std::move(other.temporary_)) {
  other.temporary_.clear();
}

PendingArchive::~PendingArchive() {
  if (temporary_.empty()) return;
  std::error_code ignored;
  fs::remove(temporary_, ignored);
}

void PendingArchive::Commit() {
  std::error_code error;
  fs::rename(temporary_, target_, error);
  if (error) {
    fs::remove(temporary_, error);
    temporary_.clear();
    throw ZipError(target_.string() + ": " + error.message());
  }
  temporary_.clear();
}

PendingArchive BuildDeflateArchive(const fs::path& target, const std::vector<ZipMember>& members) {
  std::error_code error;
  // Found now rather than at the rename, so archives built together are all
  // refused before any of them replaces its old one.
  if (fs::exists(target, error) && !fs::is_regular_file(target, error)) {
    throw ZipError(target.string() + ": not a file, it cannot be replaced");
  }
  const fs::path temporary = TemporaryBeside(target);
  PendingArchive pending(target, temporary);
  if (members.empty()) {
    WriteEmptyArchive(temporary);
  } else {
    WriteMembers(temporary, target, members);
  }
  return pending;
}

}  // namespace quor::zip
