#include "platform/service/ServiceRegistration.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/platform/service/FakeSystemCtl.h"

namespace quor::service {
namespace {

namespace fs = std::filesystem;
using testing::FakeSystemCtl;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class ServiceRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unitFolder_ = systemctl_.Folder() / "units";
    fs::create_directory(unitFolder_);
  }

  FakeSystemCtl systemctl_;
  fs::path unitFolder_;
};

TEST_F(ServiceRegistrationTest, InstallWritesAnEnabledUnitThatRunsTheProgramAsService) {
  InstallService({"NT_QuorServerBZ", "瓦拓商贸标准版服务器", "/opt/quor server/QuorServerBZ"},
                 unitFolder_);
  EXPECT_EQ(ReadFile(unitFolder_ / "NT_QuorServerBZ.service"),
            "[Unit]\n"
            "Description=瓦拓商贸标准版服务器\n"
            "After=network.target\n"
            "\n"
            "[Service]\n"
            "Type=simple\n"
            "ExecStart=\"/opt/quor server/QuorServerBZ\" -Service\n"
            "Restart=on-failure\n"
            "LimitNOFILE=65536\n"
            "TasksMax=16384\n"
            "LimitNICE=-1\n"
            "\n"
            "[Install]\n"
            "WantedBy=multi-user.target\n");
  EXPECT_EQ(systemctl_.Calls(),
            (std::vector<std::string>{"daemon-reload", "enable -- NT_QuorServerBZ.service"}));
  EXPECT_FALSE(fs::exists(unitFolder_ / "NT_QuorServerBZ.service.tmp"));
}

TEST_F(ServiceRegistrationTest, ProgramPathsAreQuotedSoSystemdReadsThemLiterally) {
  const std::pair<std::string, std::string> cases[] = {
      {"/opt/quor/QuorServerBZ", "\"/opt/quor/QuorServerBZ\""},
      {"/opt/100%/Q", "\"/opt/100%%/Q\""},
      {"/opt/$HOME/Q", "\"/opt/$$HOME/Q\""},
      {"/opt/a\"b\\c/Q", "\"/opt/a\\\"b\\\\c/Q\""},
  };
  for (const auto& [path, quoted] : cases) EXPECT_EQ(QuoteExecArgument(path), quoted) << path;
  EXPECT_NE(UnitFileText({"NT_X", "50% 瓦拓\nExecStart=/bin/evil", "/q"})
                .find("Description=50%% 瓦拓 ExecStart=/bin/evil\n"),
            std::string::npos)
      << "a description cannot add lines to the unit";
}

TEST_F(ServiceRegistrationTest, InstallReportsWhatSystemctlRefused) {
  systemctl_.SetScript(
      "[ \"$1\" = enable ] && { echo 'Failed to enable unit: Access denied' >&2; exit 1; }\n"
      "exit 0");
  try {
    InstallService({"NT_QuorServerBZ", "瓦拓", "/q"}, unitFolder_);
    FAIL() << "no error";
  } catch (const ServiceError& error) {
    EXPECT_NE(std::string(error.what()).find("Failed to enable unit: Access denied"),
              std::string::npos)
        << error.what();
  }
}

TEST_F(ServiceRegistrationTest, InstallFailsWhenTheUnitFolderIsMissing) {
  EXPECT_THROW(InstallService({"NT_QuorServerBZ", "瓦拓", "/q"}, unitFolder_ / "missing"),
               ServiceError);
  EXPECT_TRUE(systemctl_.Calls().empty());
}

TEST_F(ServiceRegistrationTest, RemoveDisablesAndDeletesTheUnit) {
  InstallService({"NT_QuorServerBZ", "瓦拓", "/q"}, unitFolder_);
  std::ofstream(unitFolder_ / "NT_Other.service") << "[Unit]\n";
  RemoveService("NT_QuorServerBZ", unitFolder_);
  EXPECT_FALSE(fs::exists(unitFolder_ / "NT_QuorServerBZ.service"));
  EXPECT_TRUE(fs::exists(unitFolder_ / "NT_Other.service"));
  EXPECT_EQ(systemctl_.Calls(),
            (std::vector<std::string>{"daemon-reload", "enable -- NT_QuorServerBZ.service",
                                      "disable -- NT_QuorServerBZ.service", "daemon-reload"}));
}

TEST_F(ServiceRegistrationTest, RemovingAServiceThatIsNotInstalledDoesNothing) {
  EXPECT_NO_THROW(RemoveService("NT_QuorServerBZ", unitFolder_));
  EXPECT_TRUE(systemctl_.Calls().empty());
}

TEST(UnitFolder, ComesFromTheEnvironmentForTests) {
  const char* old = std::getenv("QUOR_SYSTEMD_UNIT_DIR");
  std::string saved = old ? old : "";
  ::setenv("QUOR_SYSTEMD_UNIT_DIR", "/tmp/units", 1);
  EXPECT_EQ(UnitFolder(), fs::path("/tmp/units"));
  ::unsetenv("QUOR_SYSTEMD_UNIT_DIR");
  EXPECT_EQ(UnitFolder(), fs::path("/etc/systemd/system"));
  if (old) ::setenv("QUOR_SYSTEMD_UNIT_DIR", saved.c_str(), 1);
}

}  // namespace
}  // namespace quor::service
