// How a connection reaches SQL Server, set from the ADO-style recipe properties
// the server has always used ("Data Source", "Initial Catalog", "User Id", ...)
// and turned into an ODBC connection string for the configured driver.
//
// Defaults, and why:
// - driver "FreeTDS" (Debian's tdsodbc); any other name is taken to be Microsoft's
//   ODBC driver for SQL Server and gets that driver's keywords.
// - TDS protocol 7.4; 7.3 is the lowest accepted, older ones lack the date and
//   max types and the UTF-16 login the layer relies on.
// - encryption "request": a real SQL Server encrypts at least the login with it
//   (and everything when the server forces encryption), while a server without
//   TLS, such as the test stand-in, is still reached. "require" refuses servers
//   without TLS; "off" never offers it and fails against forced encryption.
// - integrated security means Kerberos (GSSAPI) on Linux: it needs a ticket
//   (kinit or a keytab) and the server's SPN; without them the login fails and
//   the error says so.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quor::sql {

enum class Encryption { kOff, kRequest, kRequire };

// "Data Source" taken apart. Local names ("(LOCAL)", ".", "localhost", empty)
// become 127.0.0.1; without instance and port the port is 1433.
struct DataSource {
  std::string host;
  std::string instance;    // empty when none; found through SQL Server Browser (UDP 1434)
  std::uint16_t port = 0;  // 0 when an instance name is to be resolved
};

// Accepts host, host\instance, host,port, host\instance,port (the port wins, as
// with SQL Server's own clients) and an optional "tcp:" prefix; letter case is
// ignored. Throws SqlError for an empty instance or a port that is not 1..65535.
DataSource ParseDataSource(std::string_view text);

struct ConnectionSettings {
  std::string dataSource = "(LOCAL)";
  std::string initialCatalog;
  bool integratedSecurity = false;
  std::string userId;
  std::string password;            // sent only when not empty
  int connectTimeoutSeconds = 15;  // 0: wait as long as the network does
  int commandTimeoutSeconds = 30;  // 0: no limit
  std::string driver = "FreeTDS";
  std::string tdsVersion = "7.4";
  Encryption encryption = Encryption::kRequest;
  std::string applicationName = "QuorServer";

  // Sets one recipe property by its ADO name, without regard to letter case:
  // "Provider" (accepted, the driver setting stands in for it), "Data Source",
  // "Initial Catalog", "Integrated Security" ("SSPI", "true" or "yes" turn it on),
  // "Persist Security Info" (accepted, nothing is persisted anyway), "User Id",
  // "Password", "Connect Timeout", "Command Timeout", and the ODBC-side settings
  // "Driver", "TDS Version" and "Encryption" ("off", "request", "require").
  // Throws SqlError for an unknown name or a value out of range.
  void SetProperty(std::string_view name, std::string_view value);
};

// The ODBC connection string for the settings. Values that contain separators
// are braced; a value that the driver could not read back unchanged is refused
// with SqlError rather than sent, so a password can never add keywords.
std::string BuildConnectionString(const ConnectionSettings& settings);

}  // namespace quor::sql
