#include "ConnectionSettings.h"

#include <charconv>

#include "SqlError.h"
#include "detail/SqlText.h"
#include "platform/text/AsciiText.h"

namespace quor::sql {
namespace {

constexpr std::uint16_t kDefaultPort = 1433;

bool IsLocalName(std::string_view host) {
  return host.empty() || host == "." || text::EqualsIgnoringAsciiCase(host, "(local)") ||
         text::EqualsIgnoringAsciiCase(host, "localhost");
}

int ParseNumber(std::string_view text, std::string_view what, int low, int high) {
  text = text::TrimSpaces(text);
  int value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() || text.empty() ||
      value < low || value > high) {
    throw SqlError("Invalid " + std::string(what) + " '" + std::string(text) + "'");
  }
  return value;
}

bool IsFreeTds(const std::string& driver) {
  for (std::size_t i = 0; i + 7 <= driver.size(); ++i) {
    if (text::EqualsIgnoringAsciiCase(std::string_view(driver).substr(i, 7), "freetds"))
      return true;
  }
  return false;
}

// unixODBC reads braced values the standard way ("}}" is a brace), FreeTDS ends
// them at the first "}" followed by ";". The two only agree on values without a
// closing brace, so with FreeTDS such a value is refused; Microsoft's driver
// reads them the standard way, so there the brace is doubled.
std::string Quote(std::string_view keyword, std::string_view value, bool freeTds, bool braced) {
  if (value.find('\0') != std::string_view::npos) {
    throw SqlError("The connection setting " + std::string(keyword) + " contains a NUL character");
  }
  if (freeTds && value.find('}') != std::string_view::npos) {
    throw SqlError("The connection setting " + std::string(keyword) +
                   " contains '}', which the FreeTDS ODBC driver cannot take in a "
                   "connection string");
  }
  const bool plain = !braced && !value.empty() &&
                     value.find_first_of(";{}=") == std::string_view::npos &&
                     value.front() != ' ' && value.back() != ' ';
  if (plain) return std::string(value);
  std::string quoted = "{";
  for (const char c : value) {
    quoted += c;
    if (c == '}') quoted += '}';
  }
  quoted += '}';
  return quoted;
}

void Append(std::string& text, std::string_view keyword, std::string_view value, bool freeTds,
            bool braced = false) {
  text += keyword;
  text += '=';
  text += Quote(keyword, value, freeTds, braced);
  text += ';';
}

}  // namespace

DataSource ParseDataSource(std::string_view text) {
  text = text::TrimSpaces(text);
  if (text.size() >= 4 && text::EqualsIgnoringAsciiCase(text.substr(0, 4), "tcp:"))
    text.remove_prefix(4);
  DataSource source;
  std::string_view hostPart = text;
  const std::size_t comma = text.find(',');
  if (comma != std::string_view::npos) {
    source.port = static_cast<std::uint16_t>(ParseNumber(text.substr(comma + 1), "port", 1, 65535));
    hostPart = text.substr(0, comma);
  }
  const std::size_t backslash = hostPart.find('\\');
  if (backslash != std::string_view::npos) {
    source.instance = std::string(text::TrimSpaces(hostPart.substr(backslash + 1)));
    hostPart = hostPart.substr(0, backslash);
    if (source.instance.empty()) {
      throw SqlError("Invalid data source '" + std::string(text) + "': empty instance name");
    }
  }
  hostPart = text::TrimSpaces(hostPart);
  source.host = IsLocalName(hostPart) ? "127.0.0.1" : std::string(hostPart);
  if (source.port == 0 && source.instance.empty()) source.port = kDefaultPort;
  // With a port the instance name has no say, as with SQL Server's own clients.
  if (source.port != 0) source.instance.clear();
  return source;
}

void ConnectionSettings::SetProperty(std::string_view name, std::string_view value) {
  const std::string_view key = text::TrimSpaces(name);
  auto is = [&](std::string_view candidate) {
    return text::EqualsIgnoringAsciiCase(key, candidate);
  };
  if (is("Provider") || is("Persist Security Info")) return;
  if (is("Data Source") || is("Server")) {
    ParseDataSource(value);  // refuse a malformed source now, not at Open
    dataSource = std::string(value);
  } else if (is("Initial Catalog") || is("Database")) {
    initialCatalog = std::string(value);
  } else if (is("Integrated Security") || is("Trusted_Connection")) {
    const std::string_view v = text::TrimSpaces(value);
    integratedSecurity = text::EqualsIgnoringAsciiCase(v, "SSPI") ||
                         text::EqualsIgnoringAsciiCase(v, "true") ||
                         text::EqualsIgnoringAsciiCase(v, "yes");
  } else if (is("User Id") || is("User ID") || is("UID")) {
    userId = std::string(value);
  } else if (is("Password") || is("PWD")) {
    password = std::string(value);
  } else if (is("Connect Timeout") || is("Connection Timeout")) {
    connectTimeoutSeconds = ParseNumber(value, "connect timeout", 0, 65535);
  } else if (is("Command Timeout")) {
    commandTimeoutSeconds = ParseNumber(value, "command timeout", 0, 65535);
  } else if (is("Driver")) {
    driver = std::string(text::TrimSpaces(value));
  } else if (is("TDS Version") || is("TDS_Version")) {
    const std::string_view v = text::TrimSpaces(value);
    if (v != "7.3" && v != "7.4") {
      throw SqlError("TDS version '" + std::string(v) + "' is not supported (7.3 or 7.4)");
    }
    tdsVersion = std::string(v);
  } else if (is("Encryption")) {
    const std::string_view v = text::TrimSpaces(value);
    if (text::EqualsIgnoringAsciiCase(v, "off")) {
      encryption = Encryption::kOff;
    } else if (text::EqualsIgnoringAsciiCase(v, "request")) {
      encryption = Encryption::kRequest;
    } else if (text::EqualsIgnoringAsciiCase(v, "require")) {
      encryption = Encryption::kRequire;
    } else {
      throw SqlError("Encryption must be off, request or require, not '" + std::string(v) + "'");
    }
  } else {
    throw SqlError("Unknown connection property '" + std::string(name) + "'");
  }
}

std::string BuildConnectionString(const ConnectionSettings& settings) {
  const bool freeTds = IsFreeTds(settings.driver);
  const DataSource source = ParseDataSource(settings.dataSource);
  std::string text;
  Append(text, "Driver", settings.driver, freeTds, /*braced=*/true);
  if (freeTds) {
    if (source.instance.empty()) {
      Append(text, "Server", source.host, freeTds);
      Append(text, "Port", std::to_string(source.port), freeTds);
    } else {
      Append(text, "Server", source.host + "\\" + source.instance, freeTds);
    }
  } else if (source.instance.empty()) {
    Append(text, "Server", "tcp:" + source.host + "," + std::to_string(source.port), freeTds);
  } else {
    Append(text, "Server", source.host + "\\" + source.instance, freeTds);
  }
  if (!settings.initialCatalog.empty()) {
    Append(text, "Database", settings.initialCatalog, freeTds);
  }
  if (settings.integratedSecurity) {
    Append(text, "Trusted_Connection", "Yes", freeTds);
  } else {
    if (!settings.userId.empty()) Append(text, "UID", settings.userId, freeTds);
    if (!settings.password.empty()) Append(text, "PWD", settings.password, freeTds);
  }
  if (freeTds) {
    if (settings.tdsVersion != "7.3" && settings.tdsVersion != "7.4") {
      throw SqlError("TDS version '" + settings.tdsVersion + "' is not supported (7.3 or 7.4)");
    }
    Append(text, "TDS_Version", settings.tdsVersion, freeTds);
    static const char* const kEncryption[] = {"off", "request", "require"};
    Append(text, "Encryption", kEncryption[static_cast<int>(settings.encryption)], freeTds);
    Append(text, "ClientCharset", "UTF-8", freeTds);
  } else {
    Append(text, "Encrypt", settings.encryption == Encryption::kRequire ? "Mandatory" : "Optional",
           freeTds);
  }
  if (!settings.applicationName.empty()) Append(text, "APP", settings.applicationName, freeTds);
  return text;
}

}  // namespace quor::sql
