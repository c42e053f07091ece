// The connection recipe: data source forms, recipe properties and the ODBC
// connection string, which must never let a value add or change keywords.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ConnectionSettings.h"
#include "SqlError.h"
#include "detail/SqlText.h"

namespace quor::sql {
namespace {

TEST(DataSource, LocalNamesInstancesAndPortsAreRecognisedInAnyLetterCase) {
  struct Case {
    const char* text;
    const char* host;
    const char* instance;
    int port;
  };
  const Case cases[] = {
      {"(LOCAL)", "127.0.0.1", "", 1433},
      {"(local)", "127.0.0.1", "", 1433},
      {".", "127.0.0.1", "", 1433},
      {"localhost", "127.0.0.1", "", 1433},
      {"LocalHost", "127.0.0.1", "", 1433},
      {"127.0.0.1", "127.0.0.1", "", 1433},
      {"", "127.0.0.1", "", 1433},
      {"dbhost", "dbhost", "", 1433},
      {"(LOCAL)\\VTSQLSERVER", "127.0.0.1", "VTSQLSERVER", 0},
      {".\\SQLEXPRESS", "127.0.0.1", "SQLEXPRESS", 0},
      {"localhost\\inst", "127.0.0.1", "inst", 0},
      {"dbhost\\inst", "dbhost", "inst", 0},
      {"127.0.0.1,1533", "127.0.0.1", "", 1533},
      {"(local),2000", "127.0.0.1", "", 2000},
      {"dbhost, 1434", "dbhost", "", 1434},
      {"tcp:dbhost,1500", "dbhost", "", 1500},
      {"TCP:(LOCAL)", "127.0.0.1", "", 1433},
      {"dbhost\\inst,1600", "dbhost", "", 1600},
      {"  dbhost  ", "dbhost", "", 1433},
  };
  for (const Case& c : cases) {
    const DataSource source = ParseDataSource(c.text);
    EXPECT_EQ(source.host, c.host) << c.text;
    EXPECT_EQ(source.instance, c.instance) << c.text;
    EXPECT_EQ(source.port, c.port) << c.text;
  }
}

TEST(DataSource, MalformedPortsAndEmptyInstancesAreRefused) {
  for (const char* text : {"host,", "host,0", "host,65536", "host,12a", "host\\", "host\\,1433x"}) {
    EXPECT_THROW(ParseDataSource(text), SqlError) << text;
  }
}

// unixODBC reads a braced value up to a "}" that is not doubled.
std::map<std::string, std::string> ParseStandard(const std::string& text) {
  std::map<std::string, std::string> result;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t equals = text.find('=', pos);
    if (equals == std::string::npos) break;
    const std::string key = text.substr(pos, equals - pos);
    std::string value;
    pos = equals + 1;
    if (pos < text.size() && text[pos] == '{') {
      ++pos;
      while (pos < text.size()) {
        if (text[pos] == '}') {
          if (pos + 1 < text.size() && text[pos + 1] == '}') {
            value += '}';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        value += text[pos++];
      }
      if (pos < text.size() && text[pos] == ';') ++pos;
    } else {
      const std::size_t end = std::min(text.find(';', pos), text.size());
      value = text.substr(pos, end - pos);
      pos = end + 1;
    }
    result[key] = value;
  }
  return result;
}

// FreeTDS reads a braced value up to the first "}" followed by ";" or the end.
std::map<std::string, std::string> ParseFreeTds(const std::string& text) {
  std::map<std::string, std::string> result;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t equals = text.find('=', pos);
    if (equals == std::string::npos) break;
    const std::string key = text.substr(pos, equals - pos);
    pos = equals + 1;
    std::size_t end;
    std::string value;
    if (pos < text.size() && text[pos] == '{') {
      ++pos;
      end = pos;
      while ((end = text.find('}', end)) != std::string::npos) {
        if (end + 1 == text.size() || text[end + 1] == ';') break;
        ++end;
      }
      if (end == std::string::npos) end = text.size();
      value = text.substr(pos, end - pos);
      pos = std::min(end + 2, text.size());
    } else {
      end = std::min(text.find(';', pos), text.size());
      value = text.substr(pos, end - pos);
      pos = end + 1;
    }
    result[key] = value;
  }
  return result;
}

TEST(ConnectionString, ValuesWithSeparatorsReachBothParsersUnchangedAndAddNoKeywords) {
  const char* const passwords[] = {"secret", "a;b",         "a=b",       "{x",        " lead",
                                   "trail ", "x;PWD=y",     "a{b;c",     "中文;密码", "a;Port=1",
                                   "=;={",   "p;Driver=x;", "p;Server=1"};
  for (const char* password : passwords) {
    ConnectionSettings settings;
    settings.dataSource = "dbhost,1500";
    settings.initialCatalog = "Quor;Data";
    settings.userId = "sa";
    settings.password = password;
    const std::string text = BuildConnectionString(settings);
    for (const auto& parsed : {ParseStandard(text), ParseFreeTds(text)}) {
      EXPECT_EQ(parsed.at("PWD"), password) << text;
      EXPECT_EQ(parsed.at("Database"), "Quor;Data") << text;
      EXPECT_EQ(parsed.at("Port"), "1500") << text;
      EXPECT_EQ(parsed.at("Server"), "dbhost") << text;
      EXPECT_EQ(parsed.at("Driver"), "FreeTDS") << text;
      EXPECT_EQ(parsed.size(), 10u) << text;  // Driver Server Port Database UID PWD TDS_Version
                                              // Encryption ClientCharset APP
    }
  }
}

TEST(ConnectionString, ClosingBracesAreRefusedForFreeTdsAndDoubledForOtherDrivers) {
  ConnectionSettings settings;
  settings.userId = "sa";
  settings.password = "a};UID=evil";
  EXPECT_THROW(BuildConnectionString(settings), SqlError);

  settings.driver = "ODBC Driver 18 for SQL Server";
  const std::string text = BuildConnectionString(settings);
  const auto parsed = ParseStandard(text);
  EXPECT_EQ(parsed.at("PWD"), "a};UID=evil") << text;
  EXPECT_EQ(parsed.at("UID"), "sa") << text;
  EXPECT_EQ(parsed.at("Server"), "tcp:127.0.0.1,1433") << text;
  EXPECT_EQ(parsed.at("Driver"), "ODBC Driver 18 for SQL Server") << text;
}

TEST(ConnectionString, LoginModesAndOptionsFollowTheRecipe) {
  struct Case {
    const char* name;
    ConnectionSettings settings;
    std::map<std::string, std::string> present;
    std::vector<std::string> absent;
  };
  auto with = [](auto change) {
    ConnectionSettings settings;
    settings.userId = "sa";
    change(settings);
    return settings;
  };
  const Case cases[] = {
      {"empty password is not sent",
       with([](ConnectionSettings&) {}),
       {{"UID", "sa"},
        {"Server", "127.0.0.1"},
        {"Port", "1433"},
        {"TDS_Version", "7.4"},
        {"Encryption", "request"}},
       {"PWD", "Trusted_Connection", "Database"}},
      {"integrated security sends no login",
       with([](ConnectionSettings& s) {
         s.integratedSecurity = true;
         s.password = "x";
       }),
       {{"Trusted_Connection", "Yes"}},
       {"UID", "PWD"}},
      {"instance is resolved by the driver",
       with([](ConnectionSettings& s) { s.dataSource = "(local)\\VTSQLSERVER"; }),
       {{"Server", "127.0.0.1\\VTSQLSERVER"}},
       {"Port"}},
      {"protocol and encryption are settings",
       with([](ConnectionSettings& s) {
         s.tdsVersion = "7.3";
         s.encryption = Encryption::kRequire;
         s.initialCatalog = "master";
       }),
       {{"TDS_Version", "7.3"}, {"Encryption", "require"}, {"Database", "master"}},
       {}},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseStandard(BuildConnectionString(c.settings));
    for (const auto& [key, value] : c.present) {
      ASSERT_TRUE(parsed.count(key)) << c.name << ": " << key;
      EXPECT_EQ(parsed.at(key), value) << c.name << ": " << key;
    }
    for (const std::string& key : c.absent)
      EXPECT_FALSE(parsed.count(key)) << c.name << ": " << key;
  }
}

TEST(RecipeProperties, AdoNamesSetTheSettingsWithoutRegardToCase) {
  ConnectionSettings settings;
  settings.SetProperty("Provider", "SQLOLEDB.1");
  settings.SetProperty("data source", "dbhost\\inst");
  settings.SetProperty("Initial Catalog", "master");
  settings.SetProperty("USER ID", "sa");
  settings.SetProperty("PASSWORD", "pw");
  settings.SetProperty("Persist Security Info", "False");
  settings.SetProperty("Connect Timeout", "5");
  settings.SetProperty("Command Timeout", "120");
  settings.SetProperty("Encryption", "Off");
  EXPECT_EQ(settings.dataSource, "dbhost\\inst");
  EXPECT_EQ(settings.initialCatalog, "master");
  EXPECT_EQ(settings.userId, "sa");
  EXPECT_EQ(settings.password, "pw");
  EXPECT_EQ(settings.connectTimeoutSeconds, 5);
  EXPECT_EQ(settings.commandTimeoutSeconds, 120);
  EXPECT_EQ(settings.encryption, Encryption::kOff);
  EXPECT_FALSE(settings.integratedSecurity);
  settings.SetProperty("Integrated Security", "sspi");
  EXPECT_TRUE(settings.integratedSecurity);
}

TEST(RecipeProperties, UnknownNamesAndBadValuesAreRefused) {
  struct Case {
    const char* name;
    const char* value;
  };
  const Case cases[] = {{"Colour", "blue"},         {"Connect Timeout", "-1"},
                        {"Connect Timeout", "ten"}, {"TDS Version", "7.2"},
                        {"Encryption", "maybe"},    {"Data Source", "host,99999"}};
  for (const Case& c : cases) {
    ConnectionSettings settings;
    EXPECT_THROW(settings.SetProperty(c.name, c.value), SqlError) << c.name << "=" << c.value;
  }
}

}  // namespace
}  // namespace quor::sql
