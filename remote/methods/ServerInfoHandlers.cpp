// What a client learns about the server: its clock, whether the client should
// upgrade itself, how to reach SQL Server directly, the server's folders, the
// engine's edition and who synchronises with the cloud.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/MachineAddress.h"
#include "ServerPublic/PasswordScrambler.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/ServerVersion.h"
#include "ServerPublic/SqlRoutines.h"
#include "platform/com/OleDate.h"
#include "platform/text/AsciiText.h"
#include "remote/methods/SessionHandlers.h"
#include "remote/methods/TradeCode.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

constexpr int kBackupFolderMode = 2;
constexpr const char* kBackupSubfolder = "Backup";

std::string DateText(int year, int month, int day) {
  // Room for any int, so the compiler can see nothing is cut.
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

// "YYYY-MM-DD" of a client's date (a date, or a text a date converts from).
std::string ClientDateText(const com::Variant& value) {
  const std::optional<com::DateParts> parts = com::DecodeOleDate(value.ToDate());
  if (!parts) throw std::invalid_argument("GetVersionNumber: sClientTime is not a date");
  return DateText(parts->year, parts->month, parts->day);
}

tm LocalTime(std::time_t seconds) {
  tm local{};
  if (localtime_r(&seconds, &local) == nullptr) throw std::runtime_error("localtime_r failed");
  return local;
}

// The local last-write date of the client program "ValtoClient" + code +
// ".exe" in the program folder, where the console publishes it from; nothing
// when there is no such file (or the code could name another file).
std::optional<std::string> ClientProgramDate(const std::string& tradeCode) {
  if (!IsTradeCode(tradeCode)) return std::nullopt;
  const std::filesystem::path file =
      std::filesystem::path(ProgramFolder()) / ("ValtoClient" + tradeCode + ".exe");
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  const std::filesystem::file_time_type written = std::filesystem::last_write_time(file, error);
  if (error) return std::nullopt;
  const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
      std::chrono::file_clock::to_sys(written));
  const tm local = LocalTime(std::chrono::system_clock::to_time_t(system));
  return DateText(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

// A server folder in the form clients use for paths: they run on Windows and
// append their own "\"-separated parts; the server's file methods translate
// such paths back.
std::string ClientPathForm(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace

com::Variant GetServerDate(TDataModuleServer& module, const MethodDescription& method,
                           com::DispatchArgs& args) {
  const auto now = std::chrono::system_clock::now();
  const tm local = LocalTime(std::chrono::system_clock::to_time_t(now));
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const std::optional<double> date = com::EncodeOleDate(
      {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
       std::min(local.tm_sec, 59), static_cast<int>(milliseconds)});
  if (!date) throw std::runtime_error("GetServerDate: the clock is outside the date range");
  args[0] = com::Variant::Date(*date);
  return {};
}

com::Variant GetVersionNumber(TDataModuleServer& module, const MethodDescription& method,
                              com::DispatchArgs& args) {
  const std::string tradeCode = args[0].ToString();
  int upgrade = args[1].ToString() != kServerVersion ? 1 : 0;
  const bool autoUpdate = UseClientAutoUpdate();
  args[3] = com::Variant::I4(autoUpdate ? 1 : 0);
  if (autoUpdate) {
    // Both dates as "YYYY-MM-DD" texts, whose order is the dates' order.
    const std::optional<std::string> published = ClientProgramDate(tradeCode);
    if (published && ClientDateText(args[2]) < *published) upgrade = 1;
  }
  return com::Variant::I4(upgrade);
}

com::Variant GetSQLServerConfig(TDataModuleServer& module, const MethodDescription& method,
                                com::DispatchArgs& args) {
  // Never a loopback address: a client would take it for its own machine.
  args[0] = com::Variant::String(MachineAddress());
  const std::string server =
      std::string(text::TrimBlanks(ReadConfig(configkey::kServerName, "127.0.0.1")));
  if (const auto comma = server.find(','); comma != std::string::npos) {
    args[1] = com::Variant::String(server.substr(comma));
  } else if (const auto backslash = server.find('\\'); backslash != std::string::npos) {
    args[1] = com::Variant::String(server.substr(backslash));
  }
  args[2] = com::Variant::String(ReadConfig(configkey::kUserName, "sa"));
  args[3] = com::Variant::String(DecodePassword(ReadConfig(configkey::kPassword, "")));
  return {};
}

com::Variant GetServerAppPath(TDataModuleServer& module, const MethodDescription& method,
                              com::DispatchArgs& args) {
  std::string path;
  if (args[0].ToI4() == kBackupFolderMode) {
    path = BackupFolder(kBackupSubfolder);
  } else {
    path = ProgramFolder();
    if (path.empty() || path.back() != '/') path += '/';
  }
  args[1] = com::Variant::String(ClientPathForm(path));
  return {};
}

com::Variant GetSQLEditionIsMSDE(TDataModuleServer& module, const MethodDescription& method,
                                 com::DispatchArgs& args) {
  return com::Variant::Bool(IsDesktopEngine(module.QryExecSQL()));
}

com::Variant GetIsClientAutoSynchro(TDataModuleServer& module, const MethodDescription& method,
                                    com::DispatchArgs& args) {
  args[0] = com::Variant::I4(UseClientAutoSynchro() ? 1 : 0);
  return {};
}

}  // namespace quor::remote
