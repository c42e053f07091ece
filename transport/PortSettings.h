// The socket server's settings in the registry substitute, under
// HKEY_LOCAL_MACHINE\SOFTWARE\Borland\Socket Server: one section (sub-key) per
// port, named by the port's number, and the section "Settings" with the
// switches and the port used when no per-port sections exist.
#pragma once

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
// A timeout is an idle time of day on the original platform, so 23:59 is the
// longest it can be; longer settings are clamped to it.
inline constexpr int kMaxTimeout = 1439;

struct PortSettings {
  int port = kDefaultPort;
  int threadCacheSize = kDefaultThreadCacheSize;
  std::string interceptGuid;      // class id in braces; empty for no interceptor
  int timeout = kDefaultTimeout;  // minutes without a block before a drop; 0 = never

  friend bool operator==(const PortSettings&, const PortSettings&) = default;
};

// Port number -1 reads the section "Settings" and its "Port" value; any other
// number reads the section named by it, and the port is that number.
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
