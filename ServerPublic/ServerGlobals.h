// Process-wide values that start-up sets once and that modules on many threads
// read afterwards. ConnectDb overwrites Vocation and TemplateBaseName from client
// threads, so every value sits behind one lock rather than being a bare global.
#pragma once

#include <string>

namespace quor {

struct StartupValues {
  std::string vocation;          // trade edition code, e.g. "BZ"
  std::string startupVocation;   // the code found at start-up; never overwritten
  std::string caption;           // edition server caption, e.g. "…服务器"
  std::string productTitle;      // "瓦拓" + caption
  std::string catalogTableName;  // "ValtoDataBase" + vocation
  std::string templateBaseName = "DataBaseBZ";
  std::string configFileName;    // program file name with ".dat"
  std::string serviceName;       // "NT_" + program base name
  std::string programPath;       // full path of the running executable
  std::string programFolder;     // folder of the executable, with trailing '/'
  bool msdeSwitch = false;
};

// A copy of all values, consistent at the time of the call.
StartupValues Startup();
void SetStartup(const StartupValues& values);

std::string Vocation();
void SetVocation(const std::string& code);
std::string TemplateBaseName();
void SetTemplateBaseName(const std::string& name);
std::string ProductTitle();
std::string CatalogTableName();
void SetCatalogTableName(const std::string& name);
std::string ConfigFileName();
std::string ServiceName();
std::string ProgramFolder();
bool MsdeSwitch();

// The private engine instance "VTSQLSERVER" is in use (set by the console tools).
bool PrivateEngineMode();
void SetPrivateEngineMode(bool on);

// Command timeout in seconds of every remote data module created afterwards.
int CommandTimeoutSeconds();
void SetCommandTimeoutSeconds(int seconds);

// "@RETURN_VALUE" for SQL Server 2000 and later, "RETURN_VALUE" before.
std::string ReturnValueName();
void SetReturnValueName(const std::string& name);

}  // namespace quor
