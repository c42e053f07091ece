// The private engine through the console window's buttons, with a script in
// the engine program's place that logs, listens on its port, shuts down on
// request, ignores the request or dies; the settings in a file of the test's
// own and systemd played by the fake systemctl (no SQL Server service).
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QToolButton>
#include <QWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "FakeSystemCtl.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/SqlRoutines.h"
#include "console/ChildProcess.h"
#include "console/EngineLogDialog.h"
#include "console/EngineTools.h"
#include "console/MainForm.h"
#include "console/PrivateEngine.h"
#include "platform/text/Encodings.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/net/LoopbackPort.h"

namespace quor::console {
namespace {

namespace fs = std::filesystem;
using testing::ProcessEventsUntil;

const fs::path kFakeEngine = fs::path(QUOR_CONSOLE_FIXTURES) / "fake-sqlservr.sh";

bool PortAccepts(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

// Gone, or a zombie that only init has still to reap.
bool ProcessGone(pid_t pid) {
  if (::kill(pid, 0) != 0) return errno == ESRCH;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const auto close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

pid_t ReadPid(const fs::path& file) {
  std::ifstream in(file);
  pid_t pid = -1;
  in >> pid;
  return pid;
}

class EngineControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPrivateEngineMode(false);
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    ::setenv("QUOR_REGISTRY_FILE", (folder_.Path() / "registry.reg").c_str(), 1);
    StartupValues values = Startup();
    values.msdeSwitch = false;
    values.productTitle = "瓦拓商贸标准版服务器";
    values.programFolder = folder_.Path().string() + "/";
    SetStartup(values);
    systemctl_.AnswerShow("not-found", "inactive", "0");
    port_ = testing::FreeLowPort();
    engineFolder_ = folder_.Path() / "engine";
    Configure("serve", "AutoStartMiniSQL=False\r\n");
  }
  void TearDown() override {
    form_.reset();
    tools_.reset();
    ::unsetenv("QUOR_REGISTRY_FILE");
    SetConfigFilePath({});
    ResetConfigCacheForTests();
    SetPrivateEngineMode(false);
  }

  // Instance queries are answered only where a test asks for it: other tests
  // on this machine play SQL Server's browser on its port.
  void Configure(const std::string& mode, const std::string& more = "",
                 std::uint16_t browserPort = 0) {
    std::ofstream(folder_.Path() / "QuorServerBZ.dat")
        << "[ServerConfig]\r\nPrivateEngineCommand=/bin/sh " << kFakeEngine.string() << " " << mode
        << "\r\nPrivateEnginePath=" << engineFolder_.string() << "\r\nPrivateEnginePort=" << port_
        << "\r\nPrivateEngineStopSeconds=1\r\nPrivateEngineBrowserPort=" << browserPort << "\r\n"
        << more;
    ResetConfigCacheForTests();
  }

  void OpenConsole() {
    tools_ = std::make_unique<EngineTools>();
    MainFormEnvironment env;
    env.trayAvailable = [] { return false; };
    tools_->AddTo(env);
    form_ = std::make_unique<TfrmMainForm>(env);
    tools_->Engine().SetStateListener([this] {
      if (form_) form_->UpdateEngineButtons();
    });
  }
  QToolButton* Button(const char* name) { return form_->findChild<QToolButton*>(name); }
  bool Ready() const { return fs::exists(engineFolder_ / "ready"); }
  std::string EngineLog() {
    return text::Utf16ToUtf8(text::Utf16FromLeBytes(
        ::quor::testing::ReadText(engineFolder_ / "log/errorlog").substr(2)));
  }

  ::quor::testing::TempFolder folder_;
  service::testing::FakeSystemCtl systemctl_;
  testing::ScriptedBoxes boxes_;
  std::uint16_t port_ = 0;
  fs::path engineFolder_;
  std::unique_ptr<EngineTools> tools_;
  std::unique_ptr<TfrmMainForm> form_;
};

TEST_F(EngineControlTest, StartRunsTheEngineInItsFolderAndStopShutsItDown) {
  // A socket of the console's that is not marked close-on-exec, as a client
  // port could be: the engine must not hold it.
  constexpr int kConsoleSocket = 200;
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::dup2(socket, kConsoleSocket), kConsoleSocket);
  ::close(socket);
  OpenConsole();
  EXPECT_TRUE(form_->findChild<QWidget*>("pnlMsde")->isVisibleTo(form_.get()));
  ASSERT_TRUE(Button("sbStartSQL")->isEnabled());
  EXPECT_FALSE(Button("sbStopSQL")->isEnabled());

  Button("sbStartSQL")->click();
  EXPECT_TRUE(PrivateEngineMode());
  EXPECT_FALSE(Button("sbStartSQL")->isEnabled());
  EXPECT_TRUE(Button("sbStopSQL")->isEnabled());
  ASSERT_TRUE(ProcessEventsUntil([this] { return Ready(); }));
  EXPECT_TRUE(PortAccepts(port_));
  const std::string env = ::quor::testing::ReadText(engineFolder_ / "engine-env");
  EXPECT_NE(env.find("MSSQL_TCP_PORT=" + std::to_string(port_) + "\n"), std::string::npos) << env;
  EXPECT_NE(env.find("MSSQL_COLLATION=Chinese_PRC_CI_AS\n"), std::string::npos) << env;
  const std::string fds = "\n" + ::quor::testing::ReadText(engineFolder_ / "engine-fds");
  ::close(kConsoleSocket);
  EXPECT_EQ(fds.find("\n" + std::to_string(kConsoleSocket) + "\n"), std::string::npos) << fds;
  EXPECT_NE(fds.find("\n1\n"), std::string::npos) << "standard output is the console's" << fds;
  // Connections now name the private instance; the log viewer reads its folder.
  EXPECT_EQ(ReadConfig("SERVERNAME", "(LOCAL)"), "(LOCAL)\\VTSQLSERVER");
  const pid_t engine = tools_->Engine().Pid();
  const pid_t helper = ReadPid(engineFolder_ / "helper-pid");
  ASSERT_GT(helper, 0);

  Button("sbStopSQL")->click();
  EXPECT_FALSE(PrivateEngineMode());
  EXPECT_TRUE(Button("sbStartSQL")->isEnabled());
  EXPECT_FALSE(Button("sbStopSQL")->isEnabled());
  EXPECT_EQ(::waitpid(engine, nullptr, WNOHANG), -1) << "reaped, no zombie";
  EXPECT_NE(EngineLog().find("shutdown"), std::string::npos) << "asked, not killed";
  EXPECT_TRUE(ProcessEventsUntil([helper] { return ProcessGone(helper); }))
      << "the engine's own helper goes with it";
  EXPECT_FALSE(PortAccepts(port_));
  EXPECT_TRUE(boxes_->Shown().empty());

  // And once more: a stopped engine starts again.
  fs::remove(engineFolder_ / "ready");
  Button("sbStartSQL")->click();
  EXPECT_TRUE(PrivateEngineMode());
  EXPECT_TRUE(ProcessEventsUntil([this] { return Ready(); }));
}

TEST_F(EngineControlTest, AnEngineThatIgnoresTheShutdownIsKilledAfterTheStopWait) {
  Configure("hang", "AutoStartMiniSQL=False\r\n");
  OpenConsole();
  Button("sbStartSQL")->click();
  ASSERT_TRUE(ProcessEventsUntil([this] { return Ready(); }));
  const pid_t engine = tools_->Engine().Pid();

  const auto before = std::chrono::steady_clock::now();
  Button("sbStopSQL")->click();
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_GE(took, std::chrono::milliseconds(900)) << "the grace period was given";
  EXPECT_LT(took, std::chrono::seconds(8)) << "and the wait is bounded";
  EXPECT_FALSE(PrivateEngineMode());
  EXPECT_EQ(::waitpid(engine, nullptr, WNOHANG), -1);
  EXPECT_TRUE(ProcessGone(engine));
  EXPECT_EQ(EngineLog().find("shutdown"), std::string::npos);
  EXPECT_TRUE(Button("sbStartSQL")->isEnabled());
}

TEST_F(EngineControlTest, AnEngineThatEndsByItselfIsReportedAndCanBeStartedAgain) {
  OpenConsole();
  Button("sbStartSQL")->click();
  ASSERT_TRUE(ProcessEventsUntil([this] { return Ready(); }));
  const pid_t helper = ReadPid(engineFolder_ / "helper-pid");
  ASSERT_GT(helper, 0);
  ::quor::testing::WriteText(engineFolder_ / "die-now", "");

  ASSERT_TRUE(ProcessEventsUntil([this] { return !boxes_->Shown().empty(); }));
  EXPECT_TRUE(ProcessEventsUntil([helper] { return ProcessGone(helper); }))
      << "a helper the engine left behind goes with it";
  EXPECT_EQ(boxes_->Shown()[0].text, kEngineEnded);
  EXPECT_EQ(boxes_->Shown()[0].caption, "提示");
  EXPECT_FALSE(PrivateEngineMode());
  EXPECT_FALSE(tools_->Engine().Running());
  EXPECT_TRUE(Button("sbStartSQL")->isEnabled());
  EXPECT_FALSE(Button("sbStopSQL")->isEnabled());

  fs::remove(engineFolder_ / "die-now");
  fs::remove(engineFolder_ / "ready");
  Button("sbStartSQL")->click();
  EXPECT_TRUE(ProcessEventsUntil([this] { return Ready(); }));
}

// What a client naming "host\VTSQLSERVER" asks before it connects.
std::string AskInstance(std::uint16_t udpPort, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  timeval wait{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(udpPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&address),
           sizeof address);
  char buffer[1024];
  const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
  ::close(fd);
  return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

TEST_F(EngineControlTest, WhileTheEngineRunsTheConsoleTellsClientsItsPort) {
  const std::uint16_t udp = ::quor::testing::FreeLoopbackPort(SOCK_DGRAM);
  Configure("serve", "", udp);
  tools_ = std::make_unique<EngineTools>();
  ASSERT_TRUE(tools_->Engine().Start());
  const std::string reply = AskInstance(udp, std::string("\x04VTSQLSERVER\0", 13));
  ASSERT_GE(reply.size(), 3u);
  EXPECT_EQ(reply[0], '\x05');
  const std::size_t length = static_cast<unsigned char>(reply[1]) |
                             (static_cast<std::size_t>(static_cast<unsigned char>(reply[2])) << 8);
  ASSERT_EQ(length, reply.size() - 3);
  const std::string data = reply.substr(3);
  EXPECT_NE(data.find(";InstanceName;VTSQLSERVER;"), std::string::npos) << data;
  EXPECT_NE(data.find(";tcp;" + std::to_string(port_) + ";;"), std::string::npos) << data;
  EXPECT_EQ(data.rfind("ServerName;", 0), 0u) << data;
  EXPECT_EQ(AskInstance(udp, std::string("\x04vtsqlserver\0", 13)), reply) << "any letter case";
  EXPECT_EQ(AskInstance(udp, std::string("\x03", 1)), reply) << "the list of instances";
  EXPECT_EQ(AskInstance(udp, std::string("\x04OTHER\0", 7)), "") << "another instance";

  tools_->Engine().Stop();
  EXPECT_EQ(AskInstance(udp, std::string("\x04VTSQLSERVER\0", 13)), "") << "not after the stop";
}

TEST_F(EngineControlTest, TheStopButtonWithoutAStartedEngineOnlyResetsTheState) {
  OpenConsole();
  SetPrivateEngineMode(true);
  form_->UpdateEngineButtons();
  Button("sbStopSQL")->click();
  EXPECT_FALSE(PrivateEngineMode());
  EXPECT_TRUE(Button("sbStartSQL")->isEnabled());
  EXPECT_FALSE(Button("sbStopSQL")->isEnabled());
  EXPECT_FALSE(fs::exists(engineFolder_));
}

TEST_F(EngineControlTest, TheConsoleStartsTheEngineAtCreationWhenAutoStartIsOn) {
  Configure("serve", "AutoStartMiniSQL=True\r\n");
  OpenConsole();
  EXPECT_TRUE(PrivateEngineMode());
  EXPECT_TRUE(tools_->Engine().Running());
  EXPECT_FALSE(Button("sbStartSQL")->isEnabled());
  EXPECT_TRUE(Button("sbStopSQL")->isEnabled());
  ASSERT_TRUE(ProcessEventsUntil([this] { return Ready(); }));
  const pid_t engine = tools_->Engine().Pid();
  // The window's end stops the engine it runs (before the tools go).
  form_.reset();
  EXPECT_FALSE(PrivateEngineMode());
  EXPECT_TRUE(ProcessGone(engine));
}

TEST_F(EngineControlTest, ToolsThatGoStopTheirEngine) {
  tools_ = std::make_unique<EngineTools>();
  ASSERT_TRUE(tools_->Engine().Start());
  ASSERT_TRUE(ProcessEventsUntil([this] { return Ready(); }));
  const pid_t engine = tools_->Engine().Pid();
  const pid_t helper = ReadPid(engineFolder_ / "helper-pid");
  tools_.reset();
  EXPECT_EQ(::waitpid(engine, nullptr, WNOHANG), -1);
  EXPECT_TRUE(ProcessEventsUntil([&] { return ProcessGone(engine) && ProcessGone(helper); }));
}

// Bad engine settings: a clear message, nothing half made, the state as it was.
TEST_F(EngineControlTest, AStartThatCannotWorkSaysWhyAndChangesNothing) {
  const fs::path notExecutable = folder_.Path() / "sqlservr";
  ::quor::testing::WriteText(notExecutable, "#!/bin/sh\n");
  ::chmod(notExecutable.c_str(), 0644);
  const fs::path aFile = folder_.Path() / "plain-file";
  ::quor::testing::WriteText(aFile, "");
  struct Case {
    const char* name;
    std::string command;
    fs::path folder;
    const char* reason;
  };
  const std::string fake = "/bin/sh " + kFakeEngine.string();
  const Case cases[] = {
      {"missing program", (folder_.Path() / "no/sqlservr").string(), engineFolder_,
       "no engine program"},
      {"program not executable", notExecutable.string(), engineFolder_, "Permission denied"},
      {"empty command", "", engineFolder_, "PrivateEngineCommand is empty"},
      {"engine ends at once", fake + " crash", engineFolder_, "exit status 3"},
      {"folder below a file", fake + " serve", aFile / "engine", "cannot create"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(folder_.Path() / "QuorServerBZ.dat")
        << "[ServerConfig]\r\nPrivateEngineCommand=" << c.command
        << "\r\nPrivateEnginePath=" << c.folder.string() << "\r\nPrivateEnginePort=" << port_
        << "\r\nAutoStartMiniSQL=False\r\n";
    ResetConfigCacheForTests();
    fs::remove_all(engineFolder_);
    ui::ScriptedMessageBoxes& boxes = *boxes_;
    const std::size_t shownBefore = boxes.Shown().size();
    EngineTools tools;
    EXPECT_FALSE(tools.Engine().Start());
    EXPECT_FALSE(PrivateEngineMode());
    EXPECT_FALSE(tools.Engine().Running());
    ASSERT_EQ(boxes.Shown().size(), shownBefore + 1);
    const std::string text = boxes.Shown().back().text;
    EXPECT_EQ(text.rfind(kEngineStartFailed, 0), 0u) << text;
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(engineFolder_)) << "no folder left behind";
  }
}

TEST_F(EngineControlTest, ADataFolderWithoutPermissionIsRefusedBeforeTheEngineRuns) {
  const fs::path locked = folder_.Path() / "locked";
  fs::create_directory(locked);
  ::chmod(folder_.Path().c_str(), 0755);
  ::chmod(locked.c_str(), 0555);
  std::ofstream(folder_.Path() / "QuorServerBZ.dat")
      << "[ServerConfig]\r\nPrivateEngineCommand=/bin/sh " << kFakeEngine.string()
      << " serve\r\nPrivateEnginePath=" << (locked / "engine").string()
      << "\r\nPrivateEnginePort=" << port_ << "\r\n";
  ResetConfigCacheForTests();
  ReadPrivateEngineSettings();  // the unprivileged check works from the cache
  ui::ScriptedMessageBoxes& boxes = *boxes_;
  const int status = ::quor::testing::RunUnprivileged([&boxes] {
    PrivateEngine engine;
    if (engine.Start()) return 1;
    if (PrivateEngineMode()) return 2;
    if (boxes.Shown().empty()) return 3;
    const std::string text = boxes.Shown().back().text;
    if (text.rfind(kEngineStartFailed, 0) != 0) return 4;
    if (text.find("Permission denied") == std::string::npos) return 5;
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(fs::is_empty(locked));
}

TEST_F(EngineControlTest, TheLogViewerShowsTheRunningEnginesLog) {
  tools_ = std::make_unique<EngineTools>();
  ASSERT_TRUE(tools_->Engine().Start());
  ASSERT_TRUE(ProcessEventsUntil([this] { return Ready(); }));
  TfrmMiniSQLLog viewer;
  EXPECT_EQ(viewer.windowTitle().toStdString(), "查看MSDE启动日志");
  const std::vector<std::string> lines = viewer.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "2026-01-01 10:00:00.00 Server      Fake SQL Server engine starting");
  EXPECT_NE(lines[1].find(std::to_string(port_)), std::string::npos);
}

TEST_F(EngineControlTest, TheLogViewerReadsEachEncodingAndSaysWhenItCannot) {
  SetPrivateEngineMode(true);  // SqlProgramPath is the engine's folder
  fs::create_directories(engineFolder_ / "log");
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  };
  const std::string chinese = "启动完成";
  const Case cases[] = {
      {"utf-16",
       "\xFF\xFE" + text::Utf16ToLeBytes(text::Utf8ToUtf16("a\r\n" + chinese + "\r\n")),
       {"a", chinese}},
      {"utf-8", "one\r\ntwo " + chinese + "\n", {"one", "two " + chinese}},
      {"code page 936", "x\r\n" + text::Utf8ToGbk(chinese), {"x", chinese}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::quor::testing::WriteText(engineFolder_ / "log/errorlog", c.bytes);
    TfrmMiniSQLLog viewer;
    EXPECT_EQ(viewer.Lines(), c.lines);
  }
  EXPECT_TRUE(boxes_->Shown().empty());

  fs::remove(engineFolder_ / "log/errorlog");
  TfrmMiniSQLLog missing;
  EXPECT_TRUE(missing.Lines().empty());
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_NE(boxes_->Shown()[0].text.find("No such file"), std::string::npos);

  // Without a known SQL Server folder there is nothing to read.
  SetPrivateEngineMode(false);
  std::ofstream(folder_.Path() / "QuorServerBZ.dat") << "[ServerConfig]\r\n";
  ResetConfigCacheForTests();
  if (SqlProgramPath().empty()) {
    TfrmMiniSQLLog none;
    EXPECT_EQ(none.Lines(), std::vector<std::string>{kEngineLogUnsupported});
  }
}

}  // namespace
}  // namespace quor::console
