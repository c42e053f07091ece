// The server program itself serving phones: QuorServerBZ started as a desktop
// copy without a display, with its settings file, the account set on the SQL
// Server stand-in and a systemctl stand-in, as an operator would run it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "ServerPublic/PasswordScrambler.h"
#include "tests/host/ChildProcess.h"
#include "tests/mobile/PhoneClient.h"
#include "tests/platform/service/FakeSystemCtl.h"
#include "tests/support/accountset/AccountSet.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::mobile::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using host::testing::ChildProcess;

constexpr auto kProgramWait = 30s;  // the sanitizer build starts slowly

class PhoneServerProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = systemctl_.Folder() / "server";
    fs::create_directories(folder_ / "Data");
    fs::create_directories(systemctl_.Folder() / "xdg");
    fs::permissions(systemctl_.Folder() / "xdg", fs::perms::owner_all);
    fs::copy_file(QUOR_SERVER_EXE, folder_ / "QuorServerBZ");
    fs::copy_file(QUOR_TEST_DOWNLOAD_TEMPLATE, folder_ / "Data" / "jxcdatabase.db");
    systemctl_.AnswerShow("not-found", "inactive", "0");
  }

  void WriteSettings(const std::string& lines) {
    std::ofstream(folder_ / "QuorServerBZ.dat")
        << "[ServerConfig]\r\n"
        << "SERVERNAME=127.0.0.1," << sqlServer_.Port() << "\r\n"
        << "USERNAME=" << quor::test::kAccountSetUser << "\r\n"
        << "PASSWORD=" << EncodePassword(quor::test::kAccountSetPassword) << "\r\n"
        << "SQLENCRYPTION=off\r\n"
        << "MobileDataBase=" << quor::test::kAccountSetDatabase << "\r\n"
        << lines;
  }

  std::unique_ptr<ChildProcess> Start() {
    const fs::path program = folder_ / "QuorServerBZ";
    return std::make_unique<ChildProcess>(
        program.string(), std::vector<std::string>{program.string()},
        std::map<std::string, std::optional<std::string>>{
            {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt},
            {"QT_QPA_PLATFORM", "offscreen"},
            {"XDG_RUNTIME_DIR", (systemctl_.Folder() / "xdg").string()},
            {"QUOR_RUNTIME_DIR", (systemctl_.Folder() / "run").string()},
            {"QUOR_REGISTRY_FILE", (systemctl_.Folder() / "registry.reg").string()},
            {"QUOR_SYSTEMD_UNIT_DIR", (systemctl_.Folder() / "units").string()},
        });
  }

  void Stop(ChildProcess& child) {
    child.Signal(SIGTERM);
    const std::optional<int> status = child.WaitForExit(kProgramWait);
    ASSERT_TRUE(status) << child.Error();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << host::testing::DescribeStatus(*status) << "\n"
        << child.Error();
  }

  service::testing::FakeSystemCtl systemctl_;
  fs::path folder_;
  quor::test::SqlServerStandIn sqlServer_;
  quor::test::AccountSet accountSet_{sqlServer_};
};

TEST_F(PhoneServerProgramTest, TheProgramServesPhonesOnTheConfiguredPortUntilItStops) {
  const std::uint16_t port = FreeLoopbackPort();
  WriteSettings("StartMobileAPP=True\r\nMobilePort=" + std::to_string(port) + "\r\n");
  sqlServer_.OnStatement("SELECT SelfID, CompanyID FROM AAAAADG WHERE IndexID = 99",
                         quor::test::Reply{{quor::test::ResultSet{
                             {quor::test::Col("SelfID", quor::test::SqlType::VarChar, 25)}, {}}}});
  for (const char* table : {"AAAACAX", "AAAAAAN", "AAAAAAX"}) {
    sqlServer_.OnStatementMatching(
        std::regex(std::string(".*FROM ") + table + " D.*"),
        quor::test::Reply{
            {quor::test::ResultSet{{quor::test::Col("_ID", quor::test::SqlType::BigInt)}, {}}}});
  }
  auto server = Start();
  ASSERT_TRUE(server->WaitForError("running in desktop mode", kProgramWait)) << server->Error();
  EXPECT_NE(server->Error().find("listening for phones on port " + std::to_string(port)),
            std::string::npos)
      << server->Error();

  {
    PhoneClient phone(port, "127.0.6.1");
    EXPECT_EQ(phone.Login("01", "张三"), "<QUORSERVER>");
    EXPECT_TRUE(fs::is_directory(folder_ / "UpDown" / "127_0_6_1"));
    phone.SendLine("<ListDirFiles>");
    phone.SendLine("");
    EXPECT_EQ(phone.ReadLine(), "\\\\");
    EXPECT_EQ(phone.ReadLine(), "");
    phone.SendLine("<DownBills>");
    phone.SendLine("99");
    phone.SendLine("2024-02-01");
    phone.SendLine("2024-02-29");
    EXPECT_EQ(phone.ReadLine(), "<Success>");
    EXPECT_TRUE(phone.ReadToEnd().starts_with("SQLite format 3"));
  }
  EXPECT_TRUE(fs::is_empty(folder_ / "UpDown" / "127_0_6_1")) << "the download file is gone";

  PhoneClient stillConnected(port, "127.0.6.2");
  EXPECT_EQ(stillConnected.Login("02", "李四"), "<QUORSERVER>");
  Stop(*server);
  EXPECT_TRUE(stillConnected.ClosedByServer());
  std::ifstream settings(folder_ / "QuorServerBZ.dat");
  const std::string text((std::istreambuf_iterator<char>(settings)), {});
  EXPECT_NE(text.find("FirstTimeUse=True"), std::string::npos) << text;
}

TEST_F(PhoneServerProgramTest, WithoutStartMobileAppTheProgramRunsWithoutPhones) {
  const std::uint16_t port = FreeLoopbackPort();
  WriteSettings("MobilePort=" + std::to_string(port) + "\r\n");
  auto server = Start();
  ASSERT_TRUE(server->WaitForError("running in desktop mode", kProgramWait)) << server->Error();
  EXPECT_THROW(PhoneClient{port}, std::runtime_error);
  EXPECT_EQ(server->Error().find("listening for phones"), std::string::npos) << server->Error();
  Stop(*server);
}

TEST_F(PhoneServerProgramTest, APortInUseIsReportedAndTheProgramRunsOn) {
  // A first copy holds the port; the second, a program of another edition
  // name with the same settings, reports it and starts all the same.
  const std::uint16_t port = FreeLoopbackPort();
  WriteSettings("StartMobileAPP=True\r\nMobilePort=" + std::to_string(port) + "\r\n");
  auto first = Start();
  ASSERT_TRUE(first->WaitForError("listening for phones", kProgramWait)) << first->Error();
  fs::copy_file(folder_ / "QuorServerBZ.dat", folder_ / "QuorServerQX.dat");
  fs::create_symlink("QuorServerBZ", folder_ / "QuorServerQX");
  const fs::path other = folder_ / "QuorServerQX";
  ChildProcess second(other.string(), {other.string()},
                      {{"DISPLAY", std::nullopt},
                       {"WAYLAND_DISPLAY", std::nullopt},
                       {"QT_QPA_PLATFORM", "offscreen"},
                       {"XDG_RUNTIME_DIR", (systemctl_.Folder() / "xdg").string()},
                       {"QUOR_RUNTIME_DIR", (systemctl_.Folder() / "run").string()},
                       {"QUOR_REGISTRY_FILE", (systemctl_.Folder() / "registry.reg").string()},
                       {"QUOR_SYSTEMD_UNIT_DIR", (systemctl_.Folder() / "units").string()}});
  ASSERT_TRUE(second.WaitForError("running in desktop mode", kProgramWait)) << second.Error();
  EXPECT_NE(second.Error().find("因为212端口被占用，手机后台服务启动失败，继续启动其它服务。"),
            std::string::npos)
      << second.Error();
  Stop(second);
  Stop(*first);
}

}  // namespace
}  // namespace quor::mobile::testing
