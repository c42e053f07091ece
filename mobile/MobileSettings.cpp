#include "mobile/MobileSettings.h"

#include <charconv>
#include <string_view>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "platform/text/AsciiText.h"

namespace quor::mobile {
namespace {

// A whole decimal number without sign; nothing for any other text.
bool ParseUnsignedSetting(std::string_view text, std::uint64_t& number) {
  text = text::TrimSpaces(text);
  if (text.empty()) return false;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && stop == text.data() + text.size();
}

// A number of seconds from 1 to a day; anything else gives the default.
std::chrono::seconds SecondsSetting(const char* key, int defaultSeconds) {
  std::uint64_t number = 0;
  if (ParseUnsignedSetting(ReadConfig(key, ""), number) && number > 0 && number <= 86400) {
    return std::chrono::seconds(number);
  }
  return std::chrono::seconds(defaultSeconds);
}

}  // namespace

std::uint16_t MobilePortFrom(const std::string& text) {
  std::uint64_t number = 0;
  if (!ParseUnsignedSetting(text, number) || number == 0 || number > 65535) {
    return kDefaultMobilePort;
  }
  return static_cast<std::uint16_t>(number);
}

bool IsMobileDataBaseChosen(const std::string& dataBase) {
  return !dataBase.empty() && dataBase != kNoMobileDataBase;
}

MobileSettings ReadMobileSettings(const std::filesystem::path& programFolder) {
  MobileSettings settings;
  settings.dataBase = ReadConfig(configkey::kMobileDataBase, "");
  settings.port = MobilePortFrom(ReadConfig(configkey::kMobilePort, "212"));
  settings.start = IsTrue(ReadConfig(configkey::kStartMobileApp, "False"));

  const std::string root = ReadConfig(configkey::kMobileFileRoot, "");
  if (root.empty()) {
    settings.fileRoot = programFolder / "UpDown" / "files";
  } else {
    const std::filesystem::path configured(root);
    settings.fileRoot = configured.is_relative() ? programFolder / configured : configured;
  }

  std::uint64_t number = 0;
  settings.maxUpload = ParseUnsignedSetting(ReadConfig(configkey::kMobileMaxUpload, ""), number)
                           ? number
                           : kDefaultMaxUpload;
  settings.ioTimeout = SecondsSetting(configkey::kMobileReadTimeout, kDefaultIoTimeoutSeconds);
  settings.idleTimeout = SecondsSetting(configkey::kMobileIdleTimeout, kDefaultIdleTimeoutSeconds);
  return settings;
}

}  // namespace quor::mobile
