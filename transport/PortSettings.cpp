#include "transport/PortSettings.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>

namespace quor::transport {
namespace {

std::string SectionKey(const std::string& section) {
  return std::string(kSocketServerKey) + "\\" + section;
}

int ReadInt(const registry::Registry& store, const std::string& section, const char* name,
            int fallback) {
  const std::optional<long long> value = store.ReadInteger(SectionKey(section), name);
  if (!value || *value < std::numeric_limits<int>::min() ||
      *value > std::numeric_limits<int>::max()) {
    return fallback;
  }
  return static_cast<int>(*value);
}

// A limit that is not a positive number would switch the protection off or
// refuse everything; either is a typing slip, so the default stands.
int ReadLimit(const registry::Registry& store, const std::string& section, const char* name,
              int fallback) {
  const int value = ReadInt(store, section, name, fallback);
  return value > 0 ? value : fallback;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

std::optional<int> SectionPort(const std::string& name) {
  int port = 0;
  const char* end = name.data() + name.size();
  const auto [stop, error] = std::from_chars(name.data(), end, port);
  if (error != std::errc() || stop != end || name.empty()) return std::nullopt;
  return port;
}

}  // namespace

PortSettings LoadPortSettings(int portNumber, const registry::Registry& store) {
  PortSettings settings;
  std::string section;
  if (portNumber == -1) {
    section = kSettingsSection;
    settings.port = ReadInt(store, section, "Port", kDefaultPort);
  } else {
    section = std::to_string(portNumber);
    settings.port = portNumber;
  }
  settings.threadCacheSize = ReadInt(store, section, "ThreadCacheSize", kDefaultThreadCacheSize);
  settings.interceptGuid =
      store.ReadString(SectionKey(section), "InterceptGUID").value_or(std::string());
  settings.timeout = ReadInt(store, section, "Timeout", kDefaultTimeout);
  settings.maxConnections = ReadLimit(store, section, "MaxConnections", kDefaultMaxConnections);
  settings.maxObjects = ReadLimit(store, section, "MaxObjects", kDefaultMaxObjects);
  settings.maxReferences = ReadLimit(store, section, "MaxReferences", kDefaultMaxReferences);
  settings.frameTimeout =
      std::chrono::seconds(ReadLimit(store, section, "FrameTimeout", kDefaultFrameTimeout));
  settings.writeTimeout =
      std::chrono::seconds(ReadLimit(store, section, "WriteTimeout", kDefaultWriteTimeout));
  return settings;
}

void SavePortSettings(const PortSettings& settings, registry::Registry& store) {
  const std::string key = SectionKey(std::to_string(settings.port));
  store.WriteInteger(key, "Port", settings.port);
  store.WriteInteger(key, "ThreadCacheSize", settings.threadCacheSize);
  store.WriteString(key, "InterceptGUID", settings.interceptGuid);
  store.WriteInteger(key, "Timeout", settings.timeout);
}

std::vector<PortSettings> LoadAllPortSettings(registry::Registry& store) {
  store.CreateKey(kSocketServerKey);
  const std::vector<std::string> sections = store.SubKeys(kSocketServerKey);
  std::vector<PortSettings> ports;
  if (sections.size() < 2) {
    ports.push_back(LoadPortSettings(-1, store));
    return ports;
  }
  for (const std::string& section : sections) {
    if (EqualsIgnoringCase(section, kSettingsSection)) continue;
    const std::optional<int> port = SectionPort(section);
    if (!port || *port == -1) {
      std::fprintf(stderr, "socket settings: section \"%s\" names no port; left out\n",
                   section.c_str());
      continue;
    }
    ports.push_back(LoadPortSettings(*port, store));
  }
  return ports;
}

int EffectiveTimeout(int configuredMinutes) {
  return std::clamp(configuredMinutes, 0, kMaxTimeout);
}

SocketSwitches LoadSocketSwitches(const registry::Registry& store) {
  SocketSwitches switches;
  switches.showHost = ReadInt(store, kSettingsSection, "ShowHost", 0) != 0;
  switches.registeredOnly = ReadInt(store, kSettingsSection, "RegisteredOnly", 1) != 0;
  const int maxFrameSize = ReadInt(store, kSettingsSection, "MaxFrameSize", 0);
  if (maxFrameSize > 0) switches.maxFrameSize = static_cast<std::size_t>(maxFrameSize);
  return switches;
}

void SaveSocketSwitches(const SocketSwitches& switches, registry::Registry& store) {
  const std::string key = SectionKey(kSettingsSection);
  store.WriteInteger(key, "ShowHost", switches.showHost ? 1 : 0);
  store.WriteInteger(key, "RegisteredOnly", switches.registeredOnly ? 1 : 0);
  const std::size_t largest = std::numeric_limits<std::int32_t>::max();
  store.WriteInteger(key, "MaxFrameSize",
                     static_cast<long long>(std::min(switches.maxFrameSize, largest)));
}

}  // namespace quor::transport
