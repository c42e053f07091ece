#include "ConfigStore.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "ServerGlobals.h"
#include "platform/text/AsciiText.h"

namespace quor {
namespace {

constexpr const char* kPrivateInstanceSuffix = "\\VTSQLSERVER";

// INI keys ignore letter case, so the cache does too.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return text::AsciiUpper(x) < text::AsciiUpper(y);
    });
  }
};

// The cache and the file share one lock: client threads read while the console
// writes, and a reader that misses the cache must not store a value it read
// from the file just before a write replaced it.
struct ConfigState {
  std::shared_mutex mutex;
  std::map<std::string, std::string, CaseInsensitiveLess> cache;  // never holds ""
  std::filesystem::path fileOverride;
};

ConfigState& State() {
  static ConfigState state;
  return state;
}

std::filesystem::path FilePath(const ConfigState& state) {
  if (!state.fileOverride.empty()) return state.fileOverride;
  return std::filesystem::path(ProgramFolder() + ConfigFileName());
}

// "(local)", ".", "localhost" and the loopback address all name this machine,
// where the private engine runs as a named instance.
bool NamesThisMachine(const std::string& serverName) {
  const std::string upper = text::AsciiUpper(serverName);
  return upper.empty() || upper == "127.0.0.1" || upper == "(LOCAL)" || upper == "." ||
         upper == "LOCALHOST";
}

std::string WithServerNameRule(const std::string& key, std::string value) {
  if (text::AsciiUpper(key) == "SERVERNAME" && PrivateEngineMode() && NamesThisMachine(value)) {
    value += kPrivateInstanceSuffix;
  }
  return value;
}

}  // namespace

std::string ReadConfig(const std::string& key, const std::string& defaultValue) {
  ConfigState& state = State();
  std::string value;
  {
    std::shared_lock lock(state.mutex);
    const auto found = state.cache.find(key);
    if (found != state.cache.end()) return WithServerNameRule(key, found->second);
  }
  {
    std::unique_lock lock(state.mutex);
    const auto found = state.cache.find(key);
    if (found != state.cache.end()) {
      value = found->second;
    } else {
      value = IniFile(FilePath(state)).Read(kConfigSection, key).value_or(defaultValue);
      if (!value.empty()) state.cache.emplace(key, value);
    }
  }
  return WithServerNameRule(key, value);
}

void WriteConfig(const std::string& key, const std::string& value) {
  ConfigState& state = State();
  std::unique_lock lock(state.mutex);
  IniFile(FilePath(state)).Write(kConfigSection, key, value);
  if (value.empty()) {
    state.cache.erase(key);
  } else {
    state.cache.insert_or_assign(key, value);
  }
}

std::string ConfigBool(bool value) {
  return value ? "True" : "False";
}

bool IsTrue(const std::string& value) {
  return value == "True";
}

int ReadConfigInt(const std::string& key, const std::string& defaultText, int fallback) {
  const std::string text = ReadConfig(key, defaultText);
  int number = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  const auto [stop, error] = std::from_chars(begin, end, number);
  if (error != std::errc() || stop != end || begin == end) return fallback;
  return number;
}

// Windows builds this as folder + "\" + subfolder; on Linux the separator is
// '/', and ProgramFolder() already ends with it.
std::string BackupFolder(const std::string& subfolder) {
  std::string folder = ProgramFolder();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return ReadConfig("DataBackupPath", folder + subfolder);
}

std::filesystem::path ConfigFilePath() {
  ConfigState& state = State();
  std::shared_lock lock(state.mutex);
  return FilePath(state);
}

void SetConfigFilePath(const std::filesystem::path& file) {
  ConfigState& state = State();
  std::unique_lock lock(state.mutex);
  state.fileOverride = file;
}

void ResetConfigCacheForTests() {
  ConfigState& state = State();
  std::unique_lock lock(state.mutex);
  state.cache.clear();
}

}  // namespace quor
