#include "ConfigStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ConfigKeys.h"
#include "PasswordScrambler.h"
#include "ServerGlobals.h"
#include "tests/support/files/TempFolder.h"

namespace quor {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TempFolder;
using testing::WriteText;

class ConfigStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetConfigFilePath(file_);
    ResetConfigCacheForTests();
    SetPrivateEngineMode(false);
  }
  void TearDown() override {
    ResetConfigCacheForTests();
    SetConfigFilePath({});
    SetPrivateEngineMode(false);
  }

  TempFolder folder_;
  fs::path file_ = folder_.Path() / "QuorServerBZ.dat";
};

TEST_F(ConfigStoreTest, WithoutAFileTheFirstReadersDefaultIsCached) {
  const struct {
    const char* firstReader;
    const char* firstDefault;
    const char* laterDefault;
  } cases[] = {
      {"connection dialog first", "(LOCAL)", "127.0.0.1"},
      {"client connection first", "127.0.0.1", "(LOCAL)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.firstReader);
    ResetConfigCacheForTests();
    EXPECT_EQ(ReadConfig(configkey::kServerName, c.firstDefault), c.firstDefault);
    EXPECT_EQ(ReadConfig("ServerName", c.laterDefault), c.firstDefault);
    EXPECT_EQ(ReadConfig(configkey::kSqlUserMode, "0"), "0");
    EXPECT_EQ(ReadConfig(configkey::kUserName, "sa"), "sa");
    EXPECT_EQ(DecodePassword(ReadConfig(configkey::kPassword, "")), "");
  }
  EXPECT_FALSE(fs::exists(file_)) << "reading must not create the file";
}

TEST_F(ConfigStoreTest, KeysAreFoundWhateverTheirLetterCase) {
  WriteText(file_, "[serverconfig]\r\nserverName=db-host\r\nSms_Exc_Marker=*\r\n");
  EXPECT_EQ(ReadConfig("SERVERNAME", "(LOCAL)"), "db-host");
  EXPECT_EQ(ReadConfig(configkey::kSmsExcMarker, "#"), "*");
  WriteConfig("ServerName", "other-host");
  EXPECT_EQ(ReadText(file_), "[serverconfig]\r\nserverName=other-host\r\nSms_Exc_Marker=*\r\n");
  EXPECT_EQ(ReadConfig("servername", "(LOCAL)"), "other-host");
}

TEST_F(ConfigStoreTest, PrivateEngineModeNamesTheLocalInstance) {
  const struct {
    std::string stored;
    bool privateEngine;
    std::string expected;
  } cases[] = {
      {"localhost", true, "localhost\\VTSQLSERVER"},
      {"LocalHost", true, "LocalHost\\VTSQLSERVER"},
      {"127.0.0.1", true, "127.0.0.1\\VTSQLSERVER"},
      {"(local)", true, "(local)\\VTSQLSERVER"},
      {"(LOCAL)", true, "(LOCAL)\\VTSQLSERVER"},
      {".", true, ".\\VTSQLSERVER"},
      {"", true, "\\VTSQLSERVER"},
      {"db-host", true, "db-host"},
      {"127.0.0.2", true, "127.0.0.2"},
      {"localhost2", true, "localhost2"},
      {"localhost\\OTHER", true, "localhost\\OTHER"},
      {"localhost", false, "localhost"},
      {"", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("stored \"" + c.stored + "\", private engine " + (c.privateEngine ? "on" : "off"));
    ResetConfigCacheForTests();
    WriteText(file_, "[ServerConfig]\nSERVERNAME=" + c.stored + "\n");
    SetPrivateEngineMode(c.privateEngine);
    EXPECT_EQ(ReadConfig("SERVERNAME", "(LOCAL)"), c.expected);
    EXPECT_EQ(ReadConfig("ServerName", "(LOCAL)"), c.expected) << "second read, from the cache";
    SetPrivateEngineMode(false);
    EXPECT_EQ(ReadConfig("SERVERNAME", "(LOCAL)"), c.stored) << "the cache keeps the bare name";
  }
  SetPrivateEngineMode(true);
  WriteText(file_, "[ServerConfig]\nUSERNAME=localhost\n");
  EXPECT_EQ(ReadConfig("USERNAME", "sa"), "localhost") << "only SERVERNAME follows the rule";
}

TEST_F(ConfigStoreTest, AWrittenValueIsReadFromTheCacheWithoutTouchingTheFile) {
  WriteConfig(configkey::kAutoShutDown, ConfigBool(false));
  EXPECT_EQ(ReadText(file_), "[ServerConfig]\nAutoShutDown=False\n");
  WriteText(file_, "[ServerConfig]\nAutoShutDown=True\n");
  EXPECT_EQ(ReadConfig(configkey::kAutoShutDown, "True"), "False");
  fs::remove(file_);
  EXPECT_EQ(ReadConfig("autoshutdown", "True"), "False");
}

TEST_F(ConfigStoreTest, OnlyTheExactTextTrueIsTrue) {
  WriteText(file_, "[ServerConfig]\nAutoShutDown=TRUE\nSMS_AutoStart=True\n");
  EXPECT_FALSE(IsTrue(ReadConfig(configkey::kAutoShutDown, "False")));
  EXPECT_TRUE(IsTrue(ReadConfig(configkey::kSmsAutoStart, "False")));
  const struct {
    const char* text;
    bool value;
  } cases[] = {{"True", true},   {"TRUE", false}, {"true", false}, {"", false},
               {"False", false}, {"1", false},    {"True ", false}};
  for (const auto& c : cases) EXPECT_EQ(IsTrue(c.text), c.value) << "text: \"" << c.text << "\"";
  EXPECT_EQ(ConfigBool(true), "True");
  EXPECT_EQ(ConfigBool(false), "False");
}

TEST_F(ConfigStoreTest, AnEmptyValueIsNotCachedSoTheNextReadGoesToTheFile) {
  WriteConfig(configkey::kMobileDataBase, "acct");
  WriteConfig(configkey::kMobileDataBase, "");
  EXPECT_EQ(ReadText(file_), "[ServerConfig]\nMobileDataBase=\n");
  EXPECT_EQ(ReadConfig(configkey::kMobileDataBase, "______________"), "")
      << "the file's empty value wins over the default";
  WriteText(file_, "[ServerConfig]\nMobileDataBase=changed-behind\n");
  EXPECT_EQ(ReadConfig(configkey::kMobileDataBase, "______________"), "changed-behind");
}

TEST_F(ConfigStoreTest, NonNumericValuesFallBackToTheReadersNumber) {
  WriteText(file_,
            "[ServerConfig]\nTIMEOUT=\nMobilePort=21x\nAppSynchroInterval=15\nSMS_Rate= 4800 \n"
            "SMS_SendSpeed=-2\nSQLUSERMODE=yes\n");
  const struct {
    const char* key;
    const char* defaultText;
    int fallback;
    int expected;
  } cases[] = {
      {configkey::kTimeout, "", configkey::kTimeoutFallback, 300},
      {configkey::kMobilePort, "212", configkey::kMobilePortFallback, 212},
      {configkey::kAppSynchroInterval, "10", configkey::kAppSynchroIntervalFallback, 15},
      {configkey::kSmsRate, "9600", configkey::kSmsRateFallback, 4800},
      {configkey::kSmsSendSpeed, "1", configkey::kSmsSendSpeedFallback, -2},
      {configkey::kSqlUserMode, "0", configkey::kSqlUserModeFallback, 0},
      {"NotInTheFile", "77", 5, 77},
      {"TooBig", "99999999999", 5, 5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadConfigInt(c.key, c.defaultText, c.fallback), c.expected) << "key: " << c.key;
  }
}

TEST_F(ConfigStoreTest, BackupFolderDefaultsToTheProgramFolder) {
  const StartupValues saved = Startup();
  StartupValues values = saved;
  values.programFolder = "/opt/quor/";
  SetStartup(values);
  EXPECT_EQ(BackupFolder("Backup"), "/opt/quor/Backup");
  ResetConfigCacheForTests();
  WriteText(file_, "[ServerConfig]\nDataBackupPath=/srv/backups\n");
  EXPECT_EQ(BackupFolder("Backup"), "/srv/backups");
  SetStartup(saved);
}

TEST_F(ConfigStoreTest, TheFileLivesInTheProgramFolderUnlessOverridden) {
  const StartupValues saved = Startup();
  StartupValues values = saved;
  values.programFolder = folder_.Path().string() + "/";
  values.configFileName = "QuorServerYY.dat";
  SetStartup(values);
  SetConfigFilePath({});
  EXPECT_EQ(ConfigFilePath(), folder_.Path() / "QuorServerYY.dat");
  WriteConfig(configkey::kSmsPort, "/dev/ttyUSB0");
  EXPECT_EQ(ReadText(folder_.Path() / "QuorServerYY.dat"),
            "[ServerConfig]\nSMS_Port=/dev/ttyUSB0\n");
  SetStartup(saved);
}

TEST_F(ConfigStoreTest, AFailedWriteRaisesAndLeavesTheCacheAlone) {
  WriteConfig(configkey::kStartMobileApp, "False");
  const fs::path notAFolder = folder_.Path() / "plain-file";
  WriteText(notAFolder, "");
  SetConfigFilePath(notAFolder / "QuorServerBZ.dat");
  try {
    WriteConfig(configkey::kStartMobileApp, "True");
    ADD_FAILURE() << "no IniFileError";
  } catch (const IniFileError& error) {
    EXPECT_NE(std::string(error.what()).find((notAFolder / "QuorServerBZ.dat").string()),
              std::string::npos)
        << error.what();
    EXPECT_NE(std::string(error.what()).find("Not a directory"), std::string::npos) << error.what();
  }
  EXPECT_EQ(ReadConfig(configkey::kStartMobileApp, "False"), "False");
}

TEST_F(ConfigStoreTest, StoredPasswordSurvivesTheFileAndAColdCache) {
  const std::string password = "密码 with \"quotes\" = ;";
  WriteConfig(configkey::kPassword, EncodePassword(password));
  EXPECT_EQ(ReadText(file_).find("密码"), std::string::npos);
  ResetConfigCacheForTests();
  EXPECT_EQ(DecodePassword(ReadConfig(configkey::kPassword, "")), password);
}

TEST_F(ConfigStoreTest, ReadersSeeWholeValuesWhileTheConsoleWrites) {
  WriteConfig(configkey::kServerName, "alpha-host");
  WriteConfig(configkey::kMobileDataBase, "acct");
  std::atomic<bool> writing{true};
  std::atomic<int> anomalies{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (writing.load()) {
        const std::string server = ReadConfig("ServerName", "(LOCAL)");
        if (server != "alpha-host" && server != "beta-host-with-a-longer-name") ++anomalies;
        const std::string database = ReadConfig(configkey::kMobileDataBase, "none");
        if (database != "acct" && !database.empty()) ++anomalies;
      }
    });
  }
  for (int i = 0; i < 50; ++i) {
    WriteConfig(configkey::kServerName, i % 2 ? "alpha-host" : "beta-host-with-a-longer-name");
    WriteConfig(configkey::kMobileDataBase, i % 2 ? "acct" : "");
  }
  writing = false;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(anomalies.load(), 0);
  EXPECT_EQ(ReadConfig(configkey::kServerName, "(LOCAL)"), "alpha-host");
  ResetConfigCacheForTests();
  EXPECT_EQ(ReadConfig(configkey::kServerName, "(LOCAL)"), "alpha-host");
  EXPECT_EQ(ReadConfig(configkey::kMobileDataBase, "none"), "acct");
}

}  // namespace
}  // namespace quor
