// The built server run as a real process, under the names the editions use,
// with a private runtime folder, registry file and a systemctl stand-in.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/lock/NamedMutex.h"
#include "platform/registry/Registry.h"
#include "tests/host/ChildProcess.h"
#include "tests/platform/service/FakeSystemCtl.h"
#include "tests/transport/TestBed.h"
#include "transport/PortSettings.h"
#include "transport/SocketClient.h"

namespace quor::host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using service::testing::FakeSystemCtl;
using testing::ChildProcess;
using testing::DescribeStatus;

constexpr auto kStartTimeout = 30s;  // generous: the sanitizer build starts slowly
constexpr const char* kClassKey =
    "HKEY_CLASSES_ROOT\\CLSID\\{C1C424E1-600A-461D-8759-8D739C78CBDC}";
constexpr const char* kSecondCopyWarning =
    "瓦拓网络服务器: 你已经启动了服务程序,不能在同一台机器上再次启动本程序。";

class ServerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = systemctl_.Folder() / "server";
    fs::create_directories(folder_);
    fs::create_directories(systemctl_.Folder() / "xdg");
    fs::permissions(systemctl_.Folder() / "xdg", fs::perms::owner_all);
    fs::copy_file(QUOR_SERVER_EXE, folder_ / "QuorServerBZ");
    systemctl_.AnswerShow("not-found", "inactive", "0");
  }

  // Another edition is the same file under another name.
  fs::path Named(const std::string& name) {
    fs::path link = folder_ / name;
    if (!fs::exists(link)) fs::create_symlink("QuorServerBZ", link);
    return link;
  }

  std::unique_ptr<ChildProcess> Start(const std::string& name,
                                      std::vector<std::string> arguments = {},
                                      fs::path runtimeDir = {}) {
    fs::path program = name == "QuorServerBZ" ? folder_ / name : Named(name);
    arguments.insert(arguments.begin(), program.string());
    return std::make_unique<ChildProcess>(
        program.string(), arguments,
        std::map<std::string, std::optional<std::string>>{
            {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt},
            {"QT_QPA_PLATFORM", "offscreen"},
            {"XDG_RUNTIME_DIR", (systemctl_.Folder() / "xdg").string()},
            {"QUOR_RUNTIME_DIR", (runtimeDir.empty() ? RuntimeDir() : runtimeDir).string()},
            {"QUOR_REGISTRY_FILE", RegistryFile().string()},
            {"QUOR_SYSTEMD_UNIT_DIR", (systemctl_.Folder() / "units").string()},
        });
  }

  // Runs to the end and returns the wait status.
  int RunToEnd(ChildProcess& child) {
    std::optional<int> status = child.WaitForExit(kStartTimeout);
    EXPECT_TRUE(status) << "still running; stderr: " << child.Error();
    return status.value_or(-1);
  }

  fs::path RuntimeDir() const { return systemctl_.Folder() / "run"; }
  fs::path RegistryFile() const { return systemctl_.Folder() / "registry.reg"; }

  FakeSystemCtl systemctl_;
  fs::path folder_;
};

bool ExitedWith(int status, int code) {
  return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// The soft and hard "Max open files" of a running process.
std::pair<std::string, std::string> OpenFileLimits(pid_t pid) {
  std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
  std::string line;
  while (std::getline(limits, line)) {
    if (line.rfind("Max open files", 0) != 0) continue;
    std::istringstream fields(line.substr(std::string("Max open files").size()));
    std::string soft, hard;
    fields >> soft >> hard;
    return {soft, hard};
  }
  return {};
}

// The process's own soft limit, lowered for a test and put back after it.
class LoweredOpenFileLimit {
 public:
  explicit LoweredOpenFileLimit(rlim_t soft) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~LoweredOpenFileLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  LoweredOpenFileLimit(const LoweredOpenFileLimit&) = delete;
  LoweredOpenFileLimit& operator=(const LoweredOpenFileLimit&) = delete;

 private:
  rlimit saved_{};
};

// The integer a member wrote into the by-reference output at `outAt`.
int CallForInteger(transport::SocketClient& client, const com::DispatchPtr& module,
                   const std::string& member, std::vector<com::Variant> args, std::size_t outAt,
                   std::string* message = nullptr) {
  auto out = std::make_shared<com::Variant>(com::Variant::I4(55));
  auto text = std::make_shared<com::Variant>(com::Variant::String(""));
  args.insert(args.begin() + static_cast<std::ptrdiff_t>(outAt),
              com::Variant::ByRef(out, com::VT_I4));
  if (message != nullptr) args.push_back(com::Variant::ByRef(text, com::VT_BSTR));
  client.Call(module, member, std::move(args));
  if (message != nullptr) *message = text->ToString();
  return out->GetI4();
}

TEST_F(ServerProcessTest, VersionShowsTheEditionOfTheProgramName) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"QuorServerBZ", "瓦拓商贸标准版服务器 BZ 9.33\n"},
      {"QuorServerQX", "瓦拓汽车维修版服务器 QX 9.33\n"},
      {"quorserverqx.exe", "瓦拓汽车维修版服务器 QX 9.33\n"},
      {"QuorServerALL", "瓦拓内部测试用 BZ 9.33\n"},
      {"QuorServerQX.BZ.1.exe", "瓦拓商贸标准版服务器 BZ 9.33\n"},
  };
  for (const Case& c : cases) {
    auto child = Start(c.name, {"--version"});
    int status = RunToEnd(*child);
    EXPECT_TRUE(ExitedWith(status, 0)) << c.name << ": " << DescribeStatus(status);
    EXPECT_EQ(child->Output(), c.expected) << c.name;
    EXPECT_EQ(child->Error(), "") << c.name;
  }
}

TEST_F(ServerProcessTest, HelpDescribesTheSwitchesAndExits) {
  auto child = Start("QuorServerBZ", {"--help", "-Service"});
  int status = RunToEnd(*child);
  EXPECT_TRUE(ExitedWith(status, 0)) << DescribeStatus(status);
  for (const char* text : {"Usage: QuorServerBZ", "-MSDE", "-Service", "-RegServer", "-UnregServer",
                           "Other arguments are ignored"}) {
    EXPECT_NE(child->Output().find(text), std::string::npos) << text;
  }
  EXPECT_TRUE(systemctl_.Calls().empty()) << "help starts nothing";
}

TEST_F(ServerProcessTest, NameWithoutEditionCodeEndsSilentlyAtOnce) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
  };
  const Case cases[] = {
      {"QuorServer", {}},
      {"QuorServerXX.exe", {}},
      {"QuorServerBZ2", {"--version"}},
      {"QuorServer", {"-Service"}},
      {"QuorServer", {"/RegServer"}},
  };
  for (const Case& c : cases) {
    auto child = Start(c.name, c.arguments);
    int status = RunToEnd(*child);
    EXPECT_TRUE(ExitedWith(status, 0)) << c.name << ": " << DescribeStatus(status);
    EXPECT_EQ(child->Output(), "") << c.name;
    EXPECT_EQ(child->Error(), "") << c.name;
  }
  EXPECT_TRUE(systemctl_.Calls().empty());
  EXPECT_FALSE(fs::exists(RegistryFile()));
  EXPECT_FALSE(fs::exists(RuntimeDir()));
}

TEST_F(ServerProcessTest, RegServerAndUnregServerChangeTheRegistrationAndExit) {
  auto reg = Start("QuorServerQX", {"/regserver"});
  int status = RunToEnd(*reg);
  ASSERT_TRUE(ExitedWith(status, 0)) << DescribeStatus(status) << " " << reg->Error();
  {
    registry::Registry registry(RegistryFile());
    EXPECT_EQ(registry.ReadString(kClassKey, "Sockets"), "1");
    EXPECT_EQ(registry.ReadString(kClassKey, "Web"), "1");
    EXPECT_EQ(registry.ReadString(std::string(kClassKey) + "\\LocalServer32", ""),
              (folder_ / "QuorServerQX").string());
    EXPECT_EQ(registry.ReadString("HKEY_CLASSES_ROOT\\QuorServerAll.DataModuleServer\\CLSID", ""),
              "{C1C424E1-600A-461D-8759-8D739C78CBDC}");
  }
  EXPECT_TRUE(systemctl_.Calls().empty()) << "registration starts no server";

  auto unreg = Start("QuorServerQX", {"-UnRegServer"});
  status = RunToEnd(*unreg);
  ASSERT_TRUE(ExitedWith(status, 0)) << DescribeStatus(status) << " " << unreg->Error();
  registry::Registry registry(RegistryFile());
  EXPECT_FALSE(registry.KeyExists(kClassKey));
  EXPECT_FALSE(registry.KeyExists("HKEY_CLASSES_ROOT\\QuorServerAll.DataModuleServer"));
}

TEST_F(ServerProcessTest, RegServerReportsARegistryItCannotWrite) {
  fs::create_directory(RegistryFile());  // a folder where the file should be
  for (const char* argument : {"-RegServer", "/UNREGSERVER"}) {
    auto child = Start("QuorServerBZ", {argument});
    int status = RunToEnd(*child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0)
        << argument << ": " << DescribeStatus(status);
    EXPECT_NE(child->Error().find("failed"), std::string::npos) << argument << child->Error();
  }
}

TEST_F(ServerProcessTest, InstallServiceWritesAndEnablesTheUnitAndRemoveServiceUndoesIt) {
  fs::create_directories(systemctl_.Folder() / "units");
  const fs::path unit = systemctl_.Folder() / "units" / "NT_QuorServerQX.service";
  auto install = Start("QuorServerQX", {"--install-service"});
  int status = RunToEnd(*install);
  ASSERT_TRUE(ExitedWith(status, 0)) << DescribeStatus(status) << " " << install->Error();
  ASSERT_TRUE(fs::exists(unit));
  std::ifstream file(unit);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  EXPECT_NE(text.find("ExecStart=\"" + (folder_ / "QuorServerQX").string() + "\" -Service"),
            std::string::npos)
      << text;
  const auto calls = systemctl_.Calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "enable -- NT_QuorServerQX.service"), calls.end())
      << ::testing::PrintToString(calls);

  auto remove = Start("QuorServerQX", {"--remove-service"});
  status = RunToEnd(*remove);
  ASSERT_TRUE(ExitedWith(status, 0)) << DescribeStatus(status) << " " << remove->Error();
  EXPECT_FALSE(fs::exists(unit));
}

TEST_F(ServerProcessTest, SecondDesktopCopyWarnsAndEndsWhileTheFirstRunsOn) {
  auto first = Start("QuorServerBZ");
  ASSERT_TRUE(first->WaitForError("running in desktop mode", kStartTimeout)) << first->Error();
  EXPECT_TRUE(lock::NamedMutex("QUORSERVERBZ_MUTEX", RuntimeDir()).AlreadyExisted());
  EXPECT_TRUE(lock::NamedMutex(lock::kSocketServerMutex, RuntimeDir()).AlreadyExisted())
      << "with no service running the desktop copy takes the socket ports' mutex";
  {
    registry::Registry registry(RegistryFile());
    EXPECT_EQ(registry.ReadString(kClassKey, "Sockets"), "1") << "registered at start";
  }

  auto second = Start("QuorServerBZ", {"-MSDE"});
  int status = RunToEnd(*second);
  EXPECT_TRUE(ExitedWith(status, 1)) << DescribeStatus(status);
  EXPECT_NE(second->Error().find(kSecondCopyWarning), std::string::npos) << second->Error();
  EXPECT_EQ(second->Error().find("running in"), std::string::npos) << second->Error();
  EXPECT_TRUE(first->Running());

  // Another edition is another program with a mutex of its own.
  auto other = Start("QuorServerQX");
  EXPECT_TRUE(other->WaitForError("running in desktop mode", kStartTimeout)) << other->Error();
  other->Signal(SIGINT);
  status = RunToEnd(*other);
  EXPECT_TRUE(ExitedWith(status, 0)) << DescribeStatus(status);
  EXPECT_NE(other->Error().find("stopped by SIGINT"), std::string::npos) << other->Error();

  first->Signal(SIGTERM);
  status = RunToEnd(*first);
  EXPECT_TRUE(ExitedWith(status, 0)) << DescribeStatus(status) << " " << first->Error();
  EXPECT_NE(first->Error().find("stopped by SIGTERM"), std::string::npos) << first->Error();
  EXPECT_EQ(first->Error().find(kSecondCopyWarning), std::string::npos);
  EXPECT_TRUE(lock::NamedMutex("QUORSERVERBZ_MUTEX", RuntimeDir()).Owned());
  EXPECT_TRUE(lock::NamedMutex(lock::kSocketServerMutex, RuntimeDir()).Owned());
}

TEST_F(ServerProcessTest, DesktopCopyRefusesToRunUnguardedWhenItCannotTakeItsMutex) {
  const fs::path notAFolder = systemctl_.Folder() / "plain-file";
  std::ofstream(notAFolder) << "x";
  auto child = Start("QuorServerBZ", {}, notAFolder);
  int status = RunToEnd(*child);
  EXPECT_TRUE(ExitedWith(status, 2)) << DescribeStatus(status);
  EXPECT_NE(child->Error().find(notAFolder.string()), std::string::npos) << child->Error();
  EXPECT_EQ(child->Error().find("running in"), std::string::npos) << child->Error();
}

TEST_F(ServerProcessTest, DesktopCopyLeavesTheSocketMutexAloneWhileTheServiceRuns) {
  systemctl_.AnswerShow("loaded", "active", "1");
  auto desktop = Start("QuorServerBZ");
  ASSERT_TRUE(desktop->WaitForError("running in desktop mode", kStartTimeout)) << desktop->Error();
  EXPECT_TRUE(lock::NamedMutex(lock::kSocketServerMutex, RuntimeDir()).Owned());
  EXPECT_TRUE(lock::NamedMutex("QUORSERVERBZ_MUTEX", RuntimeDir()).AlreadyExisted());
  desktop->Signal(SIGTERM);
  int status = RunToEnd(*desktop);
  EXPECT_TRUE(ExitedWith(status, 0)) << DescribeStatus(status);
  EXPECT_NE(systemctl_.Calls().back().find("NT_QuorServerBZ.service"), std::string::npos);
}

TEST_F(ServerProcessTest, ServiceModeEndsSilentlyUnlessSystemdStartedThisProcess) {
  struct Case {
    const char* name;
    const char* loadState;
    const char* activeState;
    const char* mainPid;
  };
  const Case cases[] = {
      {"not installed", "not-found", "inactive", "0"},
      {"running as another process", "loaded", "active", "1"},
      {"started by hand while stopped", "loaded", "inactive", "0"},
      {"another process is starting", "loaded", "activating", "1"},
  };
  for (const Case& c : cases) {
    systemctl_.AnswerShow(c.loadState, c.activeState, c.mainPid);
    auto child = Start("QuorServerBZ", {"-Service"});
    int status = RunToEnd(*child);
    EXPECT_TRUE(ExitedWith(status, 0)) << c.name << ": " << DescribeStatus(status);
    EXPECT_EQ(child->Output(), "") << c.name;
    EXPECT_EQ(child->Error(), "") << c.name;
  }
  systemctl_.SetScript("echo 'System has not been booted with systemd' >&2; exit 1");
  auto child = Start("QuorServerBZ", {"/SERVICE"});
  int status = RunToEnd(*child);
  EXPECT_TRUE(ExitedWith(status, 0)) << DescribeStatus(status);
  EXPECT_EQ(child->Error(), "");
  EXPECT_FALSE(fs::exists(RegistryFile())) << "nothing was started";
}

TEST_F(ServerProcessTest, ServiceStartedBySystemdRunsUntilStopped) {
  struct Case {
    const char* name;
    const char* activeState;
  };
  // "$PPID" in the stand-in's answer is the server that asked.
  const Case cases[] = {{"start pending", "activating"}, {"already marked active", "active"}};
  for (const Case& c : cases) {
    systemctl_.AnswerShow("loaded", c.activeState, "$PPID");
    auto service = Start("QuorServerBZ", {"-service"});
    ASSERT_TRUE(service->WaitForError("running in service mode", kStartTimeout))
        << c.name << ": " << service->Error();
    EXPECT_TRUE(lock::NamedMutex("QUORSERVERBZ_MUTEX", RuntimeDir()).Owned())
        << c.name << ": the service holds no desktop mutex";
    service->Signal(SIGTERM);
    int status = RunToEnd(*service);
    EXPECT_TRUE(ExitedWith(status, 0)) << c.name << ": " << DescribeStatus(status);
    EXPECT_EQ(systemctl_.Calls().back(),
              "show -p LoadState,ActiveState,MainPID -- NT_QuorServerBZ.service");
  }
}

TEST_F(ServerProcessTest, StartRaisesTheOpenFileLimitToTheHardLimit) {
  rlimit own{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
  if (own.rlim_max <= 64) GTEST_SKIP() << "the hard limit leaves nothing to raise";
  std::unique_ptr<ChildProcess> desktop;
  {
    // The child inherits the lowered soft limit with the unchanged hard one.
    LoweredOpenFileLimit lowered(64);
    desktop = Start("QuorServerBZ");
  }
  ASSERT_TRUE(desktop->WaitForError("running in desktop mode", kStartTimeout)) << desktop->Error();
  const auto [soft, hard] = OpenFileLimits(desktop->Pid());
  ASSERT_FALSE(hard.empty()) << "no limits of " << desktop->Pid();
  EXPECT_EQ(soft, hard);
  EXPECT_NE(soft, "64");
  EXPECT_EQ(desktop->Error().find("open-file limit"), std::string::npos) << desktop->Error();
}

TEST_F(ServerProcessTest, ServiceOpensItsPortsOnlyWithTheRunTimeSettingsInForce) {
  std::ofstream(folder_ / "QuorServerBZ.dat") << "[ServerConfig]\r\n"
                                                 "TIMEOUT=7\r\n"
                                                 "UserLoginIdentic=True\r\n";
  const int port = transport::testing::FreeLoopbackPort();
  registry::Registry(RegistryFile())
      .WriteInteger(std::string(transport::kSocketServerKey) + "\\Settings", "Port", port);
  systemctl_.AnswerShow("loaded", "activating", "$PPID");
  auto service = Start("QuorServerBZ", {"-Service"});
  ASSERT_TRUE(service->WaitForError("running in service mode", kStartTimeout)) << service->Error();

  const std::string& log = service->Error();
  const std::size_t settings =
      log.find("run-time settings loaded: command timeout 7 s, one login per user on");
  const std::size_t listening = log.find("listening on port " + std::to_string(port));
  ASSERT_NE(settings, std::string::npos) << log;
  ASSERT_NE(listening, std::string::npos) << log;
  EXPECT_LT(settings, listening) << log;

  // The first client to connect already meets the one-login rule.
  transport::SocketClientOptions options;
  options.replyTimeout = 30s;
  transport::SocketClient client("127.0.0.1", static_cast<std::uint16_t>(port), options);
  const com::DispatchPtr first = client.CreateObject("QuorServerAll.DataModuleServer");
  const com::DispatchPtr second = client.CreateObject("QuorServerAll.DataModuleServer");
  const auto login = [&](const com::DispatchPtr& module, const char* guid, std::string& message) {
    return CallForInteger(client, module, "NetClientLogin",
                          {com::Variant(guid), com::Variant("QuorData01"), com::Variant("01"),
                           com::Variant("PC-1"), com::Variant("10.0.0.5"), com::Variant("张三")},
                          6, &message);
  };
  std::string message;
  EXPECT_EQ(login(first, "{guid-client-x}", message), 0);
  EXPECT_EQ(message, "");
  EXPECT_EQ(login(second, "{guid-client-y}", message), -5);
  EXPECT_EQ(message, "服务器配置为同一用户只能在一台客户端登陆，请与系统管理员联系！");

  service->Signal(SIGTERM);
  const int status = RunToEnd(*service);
  EXPECT_TRUE(ExitedWith(status, 0)) << DescribeStatus(status) << " " << service->Error();
}

}  // namespace
}  // namespace quor::host
