// What the phone back end reads of the server settings when it starts: whether
// it listens, its port, the phones' account set, and the Linux limits that keep
// one phone from holding a thread, a disk or the file system hostage.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace quor::mobile {

struct MobileSettings {
  bool start = false;                      // "StartMobileAPP" is exactly "True"
  std::uint16_t port = 212;                // "MobilePort"
  std::string dataBase;                    // "MobileDataBase" as read; see IsMobileDataBaseChosen
  std::filesystem::path fileRoot;          // "MobileFileRoot": root of the file area
  std::uint64_t maxUpload = 0;             // "MobileMaxUpload": largest body a phone may send
  std::chrono::seconds ioTimeout{300};     // "MobileReadTimeout": per read and per write
  std::chrono::seconds idleTimeout{1800};  // "MobileIdleTimeout": between two commands
};

inline constexpr std::uint16_t kDefaultMobilePort = 212;
inline constexpr std::uint64_t kDefaultMaxUpload = 256ull * 1024 * 1024;
inline constexpr int kDefaultIoTimeoutSeconds = 300;
inline constexpr int kDefaultIdleTimeoutSeconds = 1800;
// The placeholder the console shows and stores while no account set is chosen.
inline constexpr const char* kNoMobileDataBase = "______________";

// The port a "MobilePort" text names: a decimal number from 1 to 65535, else 212.
std::uint16_t MobilePortFrom(const std::string& text);

// False for the empty text and the fourteen-underscore placeholder.
bool IsMobileDataBaseChosen(const std::string& dataBase);

// The settings as the server's configuration holds them; the file area
// defaults to UpDown/files below `programFolder`.
MobileSettings ReadMobileSettings(const std::filesystem::path& programFolder);

}  // namespace quor::mobile
