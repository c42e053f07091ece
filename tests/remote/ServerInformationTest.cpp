// What clients learn about the server: its local date and time, whether they
// should upgrade themselves, how to reach SQL Server directly, the server's
// folders, the engine's edition, who synchronises with the cloud, and the
// work log they write. The process runs in a time zone eight hours east of
// UTC here, so a date taken in UTC instead of local time shows.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ServerPublic/MachineAddress.h"
#include "SessionFixture.h"
#include "platform/com/OleDate.h"

namespace quor::testing {
namespace {

using com::Variant;

constexpr const char* kEdition = "Select Serverproperty('Edition') As SQLEdition";

class ServerInformationTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    const char* zone = std::getenv("TZ");
    if (zone != nullptr) savedZone_ = zone;
    // China Standard Time without tzdata: eight hours east, no daylight saving.
    setenv("TZ", "CST-8", 1);
    tzset();
  }
  void TearDown() override {
    if (savedZone_) {
      setenv("TZ", savedZone_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
    SessionTest::TearDown();
  }

  // The OLE date of a UTC instant as clocks eight hours east show it.
  static double ChinaOleDate(std::chrono::system_clock::time_point instant) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(instant) + 8 * 3600;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    return *com::EncodeOleDate(
        {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, 0});
  }

  // A client program whose last write is `hour` o'clock on the given day in
  // the server's (eight hours east) local time.
  std::filesystem::path PublishClient(const std::string& name, int year, int month, int day,
                                      int hour) {
    const std::filesystem::path file = folder_.Path() / name;
    WriteText(file, "MZ");
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour - 8;  // timegm carries a negative hour into the day before
    const std::time_t seconds = timegm(&utc);
    std::filesystem::last_write_time(
        file, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(seconds)));
    return file;
  }

  struct VersionAnswer {
    int iReturn = -9;
    int iAutoUpdate = -9;
  };
  VersionAnswer GetVersionNumber(const Variant& vocation, const Variant& version,
                                 const Variant& clientTime) {
    OutSlot autoUpdate = Out(Variant::I4(55), com::VT_I4);
    const CallResult result =
        Call("GetVersionNumber", {vocation, version, clientTime, autoUpdate.ref});
    EXPECT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    if (result.hr != com::S_OK) return {};
    return {result.value.GetI4(), autoUpdate.value->GetI4()};
  }

  std::optional<std::string> savedZone_;
};

TEST_F(ServerInformationTest, ServerDateIsTheLocalDateAndTimeAsAnOleDate) {
  const auto before = std::chrono::system_clock::now() - std::chrono::seconds(1);
  OutSlot date = Out(Variant::Date(0), com::VT_DATE);
  const CallResult result = Call("GetServerDate", {date.ref});
  const auto after = std::chrono::system_clock::now() + std::chrono::seconds(1);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  ASSERT_EQ(date.value->Type(), com::VT_DATE);
  EXPECT_GE(date.value->GetDate(), ChinaOleDate(before));
  EXPECT_LE(date.value->GetDate(), ChinaOleDate(after));
}

TEST_F(ServerInformationTest, VersionNumberAsksForAnUpgradeByVersionAndByTheClientProgramsDate) {
  // Written at 02:00 local time on 2024-05-10, which is still 2024-05-09 in UTC.
  PublishClient("ValtoClientBZ.exe", 2024, 5, 10, 2);
  // A file a path in the trade code could reach.
  std::filesystem::create_directory(folder_.Path() / "ValtoClient");
  PublishClient("ValtoClientQX.exe", 2030, 1, 1, 12);
  struct Case {
    const char* label;
    bool autoUpdate;
    Variant vocation;
    Variant version;
    Variant clientTime;
    int iReturn;
    int iAutoUpdate;
  };
  const std::vector<Case> cases = {
      {"same version, switch off", false, Variant("BZ"), Variant("9.33"), Variant("2020-01-01"), 0,
       0},
      {"other version, switch off", false, Variant("BZ"), Variant("9.32"), Variant("2030-01-01"), 1,
       0},
      {"version as a number", false, Variant("BZ"), Variant::R8(9.33), Variant("2020-01-01"), 0, 0},
      {"client older than the program", true, Variant("BZ"), Variant("9.33"), Variant("2024-05-09"),
       1, 1},
      {"client of the same day", true, Variant("BZ"), Variant("9.33"), Variant("2024-05-10 23:59"),
       0, 1},
      {"client newer", true, Variant("BZ"), Variant("9.33"), Variant("2024-05-11"), 0, 1},
      {"client date as a date", true, Variant("BZ"), Variant("9.33"),
       Variant::Date(*com::EncodeOleDate({2024, 5, 9, 18, 0, 0, 0})), 1, 1},
      {"client date with slashes", true, Variant("BZ"), Variant("9.33"), Variant("2024/5/9"), 1, 1},
      {"other version, client newer", true, Variant("BZ"), Variant("9.40"), Variant("2025-01-01"),
       1, 1},
      {"no program for the trade", true, Variant("FZ"), Variant("9.33"), Variant("2000-01-01"), 0,
       1},
      {"a path in the trade code", true, Variant("/../ValtoClientQX"), Variant("9.33"),
       Variant("2024-05-10"), 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SetUseClientAutoUpdate(c.autoUpdate);
    const VersionAnswer answer = GetVersionNumber(c.vocation, c.version, c.clientTime);
    EXPECT_EQ(answer.iReturn, c.iReturn);
    EXPECT_EQ(answer.iAutoUpdate, c.iAutoUpdate);
  }
}

TEST_F(ServerInformationTest, SqlServerConfigGivesThePortOrInstanceSuffixAndTheLogin) {
  struct Case {
    const char* label;
    const char* serverName;  // nullptr: not configured
    const char* user;        // nullptr: not configured
    const char* password;
    const char* sPort;  // the client passed "keep"
    const char* sLoginUser;
  };
  const std::vector<Case> cases = {
      {"host and port", "10.0.0.5,1455", "quor", "p@ss", ",1455", "quor"},
      {"host and instance", "SRV\\INST", "sa", "", "\\INST", "sa"},
      {"instance and port: the comma first", "SRV\\INST,1500", "sa", "x", ",1500", "sa"},
      {"spaces around", "  SRV,1455  ", "sa", "x", ",1455", "sa"},
      {"host alone", "SRV", "sa", "x", "keep", "sa"},
      {"nothing configured", nullptr, nullptr, "", "keep", "sa"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ResetConfigCacheForTests();
    std::filesystem::remove(ConfigFilePath());
    if (c.serverName != nullptr) WriteConfig(configkey::kServerName, c.serverName);
    if (c.user != nullptr) WriteConfig(configkey::kUserName, c.user);
    WriteConfig(configkey::kPassword, EncodePassword(c.password));
    OutSlot sServer = Out(Variant("stale"), com::VT_BSTR);
    OutSlot sPort = Out(Variant("keep"), com::VT_BSTR);
    OutSlot sLoginUser = Out(Variant("stale"), com::VT_BSTR);
    OutSlot sPassword = Out(Variant("stale"), com::VT_BSTR);
    const CallResult result =
        Call("GetSQLServerConfig", {sServer.ref, sPort.ref, sLoginUser.ref, sPassword.ref});
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(sPort.value->GetString(), c.sPort);
    EXPECT_EQ(sLoginUser.value->GetString(), c.sLoginUser);
    EXPECT_EQ(sPassword.value->GetString(), c.password);
    // The machine's IPv4 address, never a loopback one a client would take
    // for its own machine; nothing when the machine has no other.
    const std::string address = sServer.value->GetString();
    in_addr parsed{};
    EXPECT_TRUE(address.empty() || inet_pton(AF_INET, address.c_str(), &parsed) == 1) << address;
    EXPECT_FALSE(IsLoopbackAddress(address)) << address;
  }
}

TEST_F(ServerInformationTest, SqlServerConfigReportsTheConfiguredServerAddress) {
  ResetConfigCacheForTests();
  std::filesystem::remove(ConfigFilePath());
  WriteConfig(configkey::kServerName, "SRV\\INST");
  WriteConfig(configkey::kServerAddress, "192.0.2.44");
  OutSlot sServer = Out(Variant("stale"), com::VT_BSTR);
  OutSlot sPort = Out(Variant("keep"), com::VT_BSTR);
  OutSlot sLoginUser = Out(Variant("stale"), com::VT_BSTR);
  OutSlot sPassword = Out(Variant("stale"), com::VT_BSTR);
  const CallResult result =
      Call("GetSQLServerConfig", {sServer.ref, sPort.ref, sLoginUser.ref, sPassword.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(sServer.value->GetString(), "192.0.2.44");
  EXPECT_EQ(sPort.value->GetString(), "\\INST");
}

TEST_F(ServerInformationTest, ServerAppPathGivesTheFoldersInTheClientsForm) {
  std::string clientForm = folder_.Path().string();
  for (char& c : clientForm) c = c == '/' ? '\\' : c;
  struct Case {
    const char* label;
    int iMode;
    const char* backupPath;  // DataBackupPath, nullptr: not configured
    std::string sPath;
  };
  const std::vector<Case> cases = {
      {"program folder", 0, nullptr, clientForm + "\\"},
      {"any other mode", 7, nullptr, clientForm + "\\"},
      {"backup folder by default", 2, nullptr, clientForm + "\\Backup"},
      {"configured backup folder", 2, "/srv/quor/backups", "\\srv\\quor\\backups"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ResetConfigCacheForTests();
    std::filesystem::remove(ConfigFilePath());
    if (c.backupPath != nullptr) WriteConfig(configkey::kDataBackupPath, c.backupPath);
    OutSlot sPath = Out();
    const CallResult result = Call("GetServerAppPath", {Variant::I4(c.iMode), sPath.ref});
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(*sPath.value, Variant(c.sPath));
  }
}

TEST_F(ServerInformationTest, EditionIsMsdeForTheDesktopEngineAndInPrivateEngineMode) {
  auto edition = [](const char* name) {
    test::Reply reply;
    reply.resultSets.push_back({{{"SQLEdition", test::SqlType::NVarChar, 128}}, {{name}}});
    return reply;
  };
  struct Case {
    const char* label;
    std::optional<test::Reply> reply;  // none: the server is not asked
    bool privateEngine;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"desktop engine", edition("Desktop Engine"), false, true},
      {"desktop engine with spaces", edition(" Desktop Engine  "), false, true},
      {"standard edition", edition("Standard Edition"), false, false},
      {"express edition", edition("Express Edition (64-bit)"), false, false},
      {"no result set", test::Reply{}, false, false},
      {"private engine", std::nullopt, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SetPrivateEngineMode(c.privateEngine);
    server_.ClearRequests();
    if (c.reply) server_.OnStatement(kEdition, *c.reply);
    const CallResult result = Call("GetSQLEditionIsMSDE", {});
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    ASSERT_EQ(result.value.Type(), com::VT_BOOL);
    EXPECT_EQ(result.value.GetVariantBool(), c.expected ? -1 : 0);
    if (!c.reply) {
      for (const test::Request& request : server_.Requests()) EXPECT_NE(request.text, kEdition);
    }
  }
}

TEST_F(ServerInformationTest, ClientAutoSynchroFollowsTheConsoleSwitch) {
  for (const bool on : {true, false}) {
    SCOPED_TRACE(on);
    SetUseClientAutoSynchro(on);
    OutSlot iReturn = Out(Variant::I4(55), com::VT_I4);
    const CallResult result = Call("GetIsClientAutoSynchro", {iReturn.ref});
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(*iReturn.value, Variant::I4(on ? 1 : 0));
  }
}

TEST_F(ServerInformationTest, WorkLogSendsEveryArgumentToItsParameterAndReturnsTheResult) {
  struct Case {
    const char* operatorId;
    int nRet;
  };
  for (const Case& c : {Case{"00001", 0}, Case{"", -1}}) {
    SCOPED_TRACE(c.operatorId);
    OutSlot nRet = Out(Variant::I4(55), com::VT_I4);
    const double loginDate = *com::EncodeOleDate({2024, 5, 10, 8, 30, 0, 0});
    const double startDate = *com::EncodeOleDate({2024, 5, 10, 8, 31, 0, 0});
    const double endDate = *com::EncodeOleDate({2024, 5, 10, 8, 32, 0, 0});
    const CallResult result =
        Call("SystemWorkLog",
             {Variant(c.operatorId), Variant("00002"), Variant::I4(3), Variant("PC-01"),
              Variant("192.168.1.20"), Variant::Date(loginDate), Variant("销售单"), Variant("保存"),
              Variant("单据 XS-0001"), Variant::Date(startDate), Variant::Date(endDate), nRet.ref});
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(*nRet.value, Variant::I4(c.nRet));
    const test::ProcedureCall call = accountSet_.LastCall("AAAABAP");
    EXPECT_EQ(call["@OperatorID"], test::Value(c.operatorId));
    EXPECT_EQ(call["@CompanyID"], test::Value("00002"));
    EXPECT_EQ(call["@cMode"], test::Value(3));
    EXPECT_EQ(call["@ComputerName"], test::Value("PC-01"));
    EXPECT_EQ(call["@ComputerIP"], test::Value("192.168.1.20"));
    EXPECT_EQ(call["@LoginDate"], test::Value(test::DateTime{2024, 5, 10, 8, 30, 0, 0}));
    EXPECT_EQ(call["@ModuleName"], test::Value("销售单"));
    EXPECT_EQ(call["@ModuleEvent"], test::Value("保存"));
    EXPECT_EQ(call["@WorkContent"], test::Value("单据 XS-0001"));
    EXPECT_EQ(call["@StartDateTime"], test::Value(test::DateTime{2024, 5, 10, 8, 31, 0, 0}));
    EXPECT_EQ(call["@EndDateTime"], test::Value(test::DateTime{2024, 5, 10, 8, 32, 0, 0}));
  }
}

}  // namespace
}  // namespace quor::testing
