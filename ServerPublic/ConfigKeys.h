// The keys of section "ServerConfig", with the defaults their first readers use
// and the numbers that non-numeric values fall back to. Keys are spelled as
// operators know them; reads ignore letter case.
#pragma once

namespace quor::configkey {

inline constexpr const char* kSqlUserMode = "SQLUSERMODE";    // "0"; "1" = integrated login
inline constexpr const char* kServerName = "SERVERNAME";      // "(LOCAL)"; "127.0.0.1" for clients
inline constexpr const char* kUserName = "USERNAME";          // "sa"
inline constexpr const char* kPassword = "PASSWORD";          // "", stored scrambled
inline constexpr const char* kTimeout = "TIMEOUT";            // "", read as 300 seconds
inline constexpr const char* kAutoShutDown = "AutoShutDown";  // "False"
inline constexpr const char* kShutDownTime = "ShutDownTime";  // "00:00:00"
inline constexpr const char* kUserLoginIdentic = "UserLoginIdentic";          // "False"
inline constexpr const char* kUseMobileDataBase = "UseMobileDataBase";        // "False"
inline constexpr const char* kUsePhoneToDataBase = "UsePhoneToDataBase";      // "False"
inline constexpr const char* kUseClientAutoUpdate = "UseClientAutoUpdate";    // "False"
inline constexpr const char* kUseClientAutoSynchro = "UseClientAutoSynchro";  // "True"
inline constexpr const char* kAutoStartMiniSql = "AutoStartMiniSQL";          // "True"
inline constexpr const char* kMobileDataBase = "MobileDataBase";  // "______________" = none chosen
inline constexpr const char* kMobilePort = "MobilePort";          // "212"
inline constexpr const char* kStartMobileApp = "StartMobileAPP";  // "False"
inline constexpr const char* kFirstTimeUse = "FirstTimeUse";      // "False"
inline constexpr const char* kDataBackupPath = "DataBackupPath";  // see BackupFolder
inline constexpr const char* kAppSynchroInterval = "AppSynchroInterval";          // "10" minutes
inline constexpr const char* kStartAutoSynchro = "StartAutoSynchro";              // "False"
inline constexpr const char* kAutoBillTransfer = "AutoBillTransfer";              // "True"
inline constexpr const char* kSkipClientPriceTracker = "SkipClientPriceTracker";  // "False"
inline constexpr const char* kSmsPort = "SMS_Port";                               // "COM1"
inline constexpr const char* kSmsRate = "SMS_Rate";                               // "9600"
inline constexpr const char* kSmsSendSpeed = "SMS_SendSpeed";                     // "1"
inline constexpr const char* kSmsExcMarker = "SMS_EXC_Marker";                    // "#"
inline constexpr const char* kSmsAutoStart = "SMS_AutoStart";                     // "False"
inline constexpr const char* kSmsDataBase = "SMS_DataBase";                       // ""
inline constexpr const char* kSmsTelLimit = "SMS_TelLimit";                       // "False"

// The ODBC side of every SQL Server connection, standing in for the OLE DB
// provider: the driver name as unixODBC knows it (or a driver library path), the
// TDS protocol version (7.3 or later) and TLS ("off", "request" or "require").
inline constexpr const char* kSqlDriver = "SQLDRIVER";
inline constexpr const char* kSqlDriverDefault = "FreeTDS";
inline constexpr const char* kSqlTdsVersion = "SQLTDSVERSION";
inline constexpr const char* kSqlTdsVersionDefault = "7.4";
inline constexpr const char* kSqlEncryption = "SQLENCRYPTION";
inline constexpr const char* kSqlEncryptionDefault = "request";
// Where SQL Server keeps its log folder "LOG" on this machine, used when the
// registry names no "SQLPath"; unset, SQL Server's Linux folder when it exists.
inline constexpr const char* kSqlProgramPath = "SQLProgramPath";
inline constexpr const char* kSqlProgramPathLinux = "/var/opt/mssql/";
// The private engine: SQL Server on Linux run by the console. Its folder (the
// working folder of the engine, holding its "log" folder), the command line
// that starts it, the TCP port it is told to listen on, and how long a stop
// waits for its shutdown before killing it.
inline constexpr const char* kPrivateEnginePath = "PrivateEnginePath";
inline constexpr const char* kPrivateEnginePathDefault = "/var/opt/mssql/";
inline constexpr const char* kPrivateEngineCommand = "PrivateEngineCommand";
inline constexpr const char* kPrivateEngineCommandDefault = "/opt/mssql/bin/sqlservr";
inline constexpr const char* kPrivateEnginePort = "PrivateEnginePort";
inline constexpr int kPrivateEnginePortFallback = 49157;
inline constexpr const char* kPrivateEngineStopSeconds = "PrivateEngineStopSeconds";
inline constexpr int kPrivateEngineStopSecondsFallback = 30;
// The UDP port on which the console answers instance queries for the private
// engine while it runs ("0": not at all, when a browser service does it).
inline constexpr const char* kPrivateEngineBrowserPort = "PrivateEngineBrowserPort";
inline constexpr int kPrivateEngineBrowserPortFallback = 1434;

// The address clients are told to reach this machine at (GetSQLServerConfig,
// the console); unset, the address of the interface that carries the default
// route. For machines with several networks or behind address translation.
inline constexpr const char* kServerAddress = "ServerAddress";

// Web publishing: the web server that shows the web edition and the client
// upgrade folder ("apache" or "nginx"), the folder its include files go to,
// the programs that enable and disable an Apache include file, and the
// systemd unit reloaded afterwards (defaults follow the server kind).
inline constexpr const char* kWebServer = "WebServer";
inline constexpr const char* kWebServerDefault = "apache";
inline constexpr const char* kWebConfigFolder = "WebConfigFolder";
inline constexpr const char* kWebConfigFolderApache = "/etc/apache2/conf-available";
inline constexpr const char* kWebConfigFolderNginx = "/etc/nginx/quor.d";
inline constexpr const char* kWebEnableCommand = "WebEnableCommand";
inline constexpr const char* kWebEnableCommandApache = "a2enconf";
inline constexpr const char* kWebDisableCommand = "WebDisableCommand";
inline constexpr const char* kWebDisableCommandApache = "a2disconf";
inline constexpr const char* kWebReloadUnit = "WebReloadUnit";
// The scheduled shutdown's power-off request: "logind" (org.freedesktop.login1
// PowerOff through busctl) or "systemctl" (systemctl poweroff).
inline constexpr const char* kPowerOffMethod = "PowerOffMethod";
inline constexpr const char* kPowerOffMethodDefault = "logind";

// The cloud business service: its host (no default: without it the synchroniser
// makes no request), its port and the connect and whole-exchange time-out of
// every request in seconds.
inline constexpr const char* kCloudHost = "CloudHost";
inline constexpr const char* kCloudPort = "CloudPort";                      // "8080"
inline constexpr const char* kCloudTimeoutSeconds = "CloudTimeoutSeconds";  // "30"

// The phone back end on Linux: the root of the file area phones exchange files
// with (default: UpDown/files below the program folder), the largest body one
// command may carry in bytes (default 256 MiB), how many seconds one read or
// write inside a command may wait (default 300), and how many seconds a phone
// may stay silent between two commands (default 1800).
inline constexpr const char* kMobileFileRoot = "MobileFileRoot";
inline constexpr const char* kMobileMaxUpload = "MobileMaxUpload";
inline constexpr const char* kMobileReadTimeout = "MobileReadTimeout";
inline constexpr const char* kMobileIdleTimeout = "MobileIdleTimeout";

// What ReadConfigInt falls back to when the text is not a number.
inline constexpr int kTimeoutFallback = 300;
inline constexpr int kMobilePortFallback = 212;
inline constexpr int kAppSynchroIntervalFallback = 10;
inline constexpr int kSmsRateFallback = 9600;
inline constexpr int kSmsSendSpeedFallback = 1;
inline constexpr int kSqlUserModeFallback = 0;
inline constexpr int kCloudPortFallback = 8080;
inline constexpr int kCloudTimeoutSecondsFallback = 30;

}  // namespace quor::configkey
