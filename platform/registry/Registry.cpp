#include "Registry.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "FileLock.h"
#include "RegDocument.h"
#include "platform/registry/WholeFile.h"

namespace quor::registry {
namespace {

constexpr const char* kDefaultFile = "/var/lib/quor/registry.reg";

[[noreturn]] void FailOn(const std::filesystem::path& file, const char* doing, int error) {
  throw RegistryError(std::string("cannot ") + doing + " " + file.string() + ": " +
                      std::strerror(error));
}

// The whole file, or nullopt when it does not exist.
std::optional<std::string> ReadFile(const std::filesystem::path& file) {
  std::string text;
  if (const int error = ReadWholeFile(file, text)) {
    if (error == ENOENT) return std::nullopt;
    FailOn(file, "read", error);
  }
  return text;
}

RegDocument Load(const std::filesystem::path& file) {
  const auto text = ReadFile(file);
  return text ? RegDocument::Parse(*text, file) : RegDocument();
}

// Readers never lock: the replacement is atomic, so they see the old text or
// the new.
void ReplaceOrFail(const std::filesystem::path& file, const std::string& text) {
  if (const int error = ReplaceWholeFile(file, text)) FailOn(file, "write", error);
}

template <typename Change>
auto Modify(const std::filesystem::path& file, Change change) {
  std::error_code error;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
  if (error) {
    throw RegistryError("cannot create folder " + file.parent_path().string() + ": " +
                        error.message());
  }
  FileLock lock(file.string() + ".lock");
  RegDocument document = Load(file);
  auto result = change(document);
  if (document.Changed()) ReplaceOrFail(file, document.Serialize());
  return result;
}

}  // namespace

std::filesystem::path Registry::DefaultPath() {
  const char* fromEnvironment = std::getenv("QUOR_REGISTRY_FILE");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
  return kDefaultFile;
}

Registry::Registry(std::filesystem::path file) : file_(std::move(file)) {}

bool Registry::KeyExists(const std::string& key) const {
  return Load(file_).KeyExists(ParseKeyPath(key));
}

void Registry::CreateKey(const std::string& key) {
  const KeyPath path = ParseKeyPath(key);
  Modify(file_, [&](RegDocument& document) {
    document.CreateKey(path);
    return true;
  });
}

std::vector<std::string> Registry::SubKeys(const std::string& key) const {
  return Load(file_).SubKeys(ParseKeyPath(key));
}

bool Registry::DeleteKey(const std::string& key) {
  const KeyPath path = ParseKeyPath(key);
  return Modify(file_, [&](RegDocument& document) { return document.DeleteKey(path); });
}

std::optional<std::string> Registry::ReadString(const std::string& key,
                                                const std::string& name) const {
  const KeyPath path = ParseKeyPath(key);
  const RegDocument document = Load(file_);
  const RegValue* value = document.FindValue(path, name);
  if (value == nullptr) return std::nullopt;
  if (value->isDword) return std::to_string(static_cast<std::int32_t>(value->dword));
  return value->text;
}

std::optional<long long> Registry::ReadInteger(const std::string& key,
                                               const std::string& name) const {
  const KeyPath path = ParseKeyPath(key);
  const RegDocument document = Load(file_);
  const RegValue* value = document.FindValue(path, name);
  if (value == nullptr) return std::nullopt;
  if (value->isDword) return static_cast<std::int32_t>(value->dword);
  long long number = 0;
  const char* begin = value->text.data();
  const char* end = begin + value->text.size();
  const auto [stop, error] = std::from_chars(begin, end, number);
  if (error != std::errc() || stop != end || begin == end) return std::nullopt;
  return number;
}

void Registry::WriteString(const std::string& key, const std::string& name,
                           const std::string& value) {
  const KeyPath path = ParseKeyPath(key);
  Modify(file_, [&](RegDocument& document) {
    document.SetString(path, name, value);
    return true;
  });
}

void Registry::WriteInteger(const std::string& key, const std::string& name, long long value) {
  if (value < INT32_MIN || value > INT32_MAX) {
    throw RegistryError("integer " + std::to_string(value) + " for value \"" + name +
                        "\" does not fit a dword");
  }
  const KeyPath path = ParseKeyPath(key);
  Modify(file_, [&](RegDocument& document) {
    document.SetDword(path, name, static_cast<std::uint32_t>(static_cast<std::int32_t>(value)));
    return true;
  });
}

bool Registry::DeleteValue(const std::string& key, const std::string& name) {
  const KeyPath path = ParseKeyPath(key);
  return Modify(file_, [&](RegDocument& document) { return document.DeleteValue(path, name); });
}

}  // namespace quor::registry
