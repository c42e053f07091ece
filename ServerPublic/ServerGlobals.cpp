#include "ServerGlobals.h"

#include <atomic>
#include <mutex>

namespace quor {
namespace {

std::mutex& Lock() {
  static std::mutex mutex;
  return mutex;
}

StartupValues& Values() {
  static StartupValues values;
  return values;
}

std::string& ReturnValue() {
  static std::string name = "@RETURN_VALUE";
  return name;
}

std::atomic<bool> privateEngineMode{false};
std::atomic<int> commandTimeoutSeconds{300};

template <typename Member>
std::string Read(Member member) {
  std::lock_guard guard(Lock());
  return Values().*member;
}

}  // namespace

StartupValues Startup() {
  std::lock_guard guard(Lock());
  return Values();
}

void SetStartup(const StartupValues& values) {
  std::lock_guard guard(Lock());
  Values() = values;
}

std::string Vocation() { return Read(&StartupValues::vocation); }
std::string TemplateBaseName() { return Read(&StartupValues::templateBaseName); }
std::string ProductTitle() { return Read(&StartupValues::productTitle); }
std::string CatalogTableName() { return Read(&StartupValues::catalogTableName); }
std::string ConfigFileName() { return Read(&StartupValues::configFileName); }
std::string ServiceName() { return Read(&StartupValues::serviceName); }
std::string ProgramFolder() { return Read(&StartupValues::programFolder); }

void SetVocation(const std::string& code) {
  std::lock_guard guard(Lock());
  Values().vocation = code;
}

void SetTemplateBaseName(const std::string& name) {
  std::lock_guard guard(Lock());
  Values().templateBaseName = name;
}

void SetCatalogTableName(const std::string& name) {
  std::lock_guard guard(Lock());
  Values().catalogTableName = name;
}

bool MsdeSwitch() {
  std::lock_guard guard(Lock());
  return Values().msdeSwitch;
}

bool PrivateEngineMode() { return privateEngineMode.load(); }
void SetPrivateEngineMode(bool on) { privateEngineMode.store(on); }

int CommandTimeoutSeconds() { return commandTimeoutSeconds.load(); }
void SetCommandTimeoutSeconds(int seconds) { commandTimeoutSeconds.store(seconds); }

std::string ReturnValueName() {
  std::lock_guard guard(Lock());
  return ReturnValue();
}

void SetReturnValueName(const std::string& name) {
  std::lock_guard guard(Lock());
  ReturnValue() = name;
}

}  // namespace quor
