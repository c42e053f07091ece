// The socket server's settings in the registry substitute, under
// HKEY_LOCAL_MACHINE\SOFTWARE\Borland\Socket Server: one section (sub-key) per
// port, named by the port's number, and the section "Settings" with the
// switches and the port used when no per-port sections exist.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "transport/Protocol.h"

namespace quor::transport {

inline constexpr const char* kSocketServerKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland\\Socket Server";
inline constexpr const char* kSettingsSection = "Settings";

inline constexpr int kDefaultPort = 211;
inline constexpr int kDefaultThreadCacheSize = 100;
inline constexpr int kDefaultTimeout = 60;  // minutes
// A connection's timeout is a span within one day (the port's minutes as
// hours and minutes), so 23:59 is the longest it can be; longer settings are
// clamped to it.
inline constexpr int kMaxTimeout = 1439;

// What one client may cost the server on a port; see the README's limits.
inline constexpr int kDefaultMaxConnections = 4096;
inline constexpr int kDefaultMaxObjects = 1000;
inline constexpr int kDefaultMaxReferences = 1000;
inline constexpr int kDefaultFrameTimeout = 60;  // seconds
inline constexpr int kDefaultWriteTimeout = 60;  // seconds

struct PortSettings {
  int port = kDefaultPort;
  int threadCacheSize = kDefaultThreadCacheSize;
  std::string interceptGuid;      // class id in braces; empty for no interceptor
  int timeout = kDefaultTimeout;  // minutes without a block before a drop; 0 = never
  // "MaxConnections": connections served at once; one more is closed at once.
  int maxConnections = kDefaultMaxConnections;
  // "MaxObjects": objects one client may hold (its modules, mostly).
  int maxObjects = kDefaultMaxObjects;
  // "MaxReferences": object references one block may carry.
  int maxReferences = kDefaultMaxReferences;
  // "FrameTimeout" (seconds): once a frame has begun, all of it must arrive
  // within this time, whatever the idle timeout.
  std::chrono::milliseconds frameTimeout{std::chrono::seconds(kDefaultFrameTimeout)};
  // "WriteTimeout" (seconds): how long a reply may wait for a client that
  // reads nothing before the client is dropped.
  std::chrono::milliseconds writeTimeout{std::chrono::seconds(kDefaultWriteTimeout)};

  friend bool operator==(const PortSettings&, const PortSettings&) = default;
};

// Port number -1 reads the section "Settings" and its "Port" value; any other
// number reads the section named by it, and the port is that number. Limits
// that are missing, zero or negative keep their defaults.
PortSettings LoadPortSettings(int portNumber, const registry::Registry& store);
// Writes the section named by the port: "Port", "ThreadCacheSize",
// "InterceptGUID" and "Timeout".
void SavePortSettings(const PortSettings& settings, registry::Registry& store);

// The ports to listen on, in section order: one per section that is not
// "Settings" (in any letter case), or the single port of "Settings" when
// there are fewer than two sections. Creates the key when it is missing. A
// section whose name is not a number is left out with a line on stderr.
std::vector<PortSettings> LoadAllPortSettings(registry::Registry& store);

// The timeout a connection thread uses: negative values mean never (0),
// values beyond kMaxTimeout are clamped to it.
int EffectiveTimeout(int configuredMinutes);

struct SocketSwitches {
  bool showHost = false;       // "ShowHost"
  bool registeredOnly = true;  // "RegisteredOnly"
  // "MaxFrameSize": the largest payload accepted from a client, in bytes; a
  // missing, zero or negative value means the default.
  std::size_t maxFrameSize = kDefaultMaxFrameSize;

  friend bool operator==(const SocketSwitches&, const SocketSwitches&) = default;
};

SocketSwitches LoadSocketSwitches(const registry::Registry& store);
void SaveSocketSwitches(const SocketSwitches& switches, registry::Registry& store);

}  // namespace quor::transport
