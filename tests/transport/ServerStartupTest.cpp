// The real server program: start-up builds the listeners from the settings
// store in desktop and in service mode, registers the remote data module for
// socket clients, leaves the ports to whoever holds "SCKTSRVR", and goes on
// serving when one configured port cannot be opened.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "platform/com/SafeArray.h"
#include "platform/lock/NamedMutex.h"
#include "platform/registry/Registry.h"
#include "tests/transport/ServerProgramTest.h"
#include "tests/transport/TestBed.h"
#include "transport/PortSettings.h"
#include "transport/SocketClient.h"
#include "transport/UniqueFd.h"

namespace quor::transport {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ServerProcess;

class ServerStartupTest : public testing::ServerProgramTest {
 protected:
  // The module is offered and can be created, as a desktop client does it.
  static void ExpectModuleServed(int port) {
    SocketClientOptions options;
    options.replyTimeout = 30s;
    SocketClient client("127.0.0.1", static_cast<std::uint16_t>(port), options);
    const com::Variant list = client.Interpreter().RemoteListServers();
    ASSERT_TRUE(list.IsArray()) << list.DebugString();
    EXPECT_EQ(list.GetArray().Get({0}), com::Variant::String("QuorServerAll.DataModuleServer"));
    const com::DispatchPtr module = client.CreateObject("QuorServerAll.DataModuleServer");
    com::DispId dispId = com::DISPID_UNKNOWN;
    EXPECT_EQ(module->GetIDsOfNames("AS_GetRecords", dispId), com::S_OK);
    EXPECT_EQ(dispId, 20000001);
  }

  static bool Listening(int port) {
    try {
      SocketClient probe("127.0.0.1", static_cast<std::uint16_t>(port));
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }
};

TEST_F(ServerStartupTest, DesktopModeOpensEveryConfiguredPortAndServesTheModule) {
  const int first = testing::FreeLoopbackPort();
  const int second = testing::FreeLoopbackPort();
  ConfigurePorts({first, second});
  auto server = Start();
  ASSERT_TRUE(server->WaitForError("running in desktop mode", testing::kServerStartTimeout))
      << server->Error();
  EXPECT_NE(server->Error().find("listening on port " + std::to_string(first)), std::string::npos);
  EXPECT_NE(server->Error().find("listening on port " + std::to_string(second)), std::string::npos);
  ExpectModuleServed(first);
  ExpectModuleServed(second);
  const int status = server->Stop(30s);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << server->Error();
  EXPECT_FALSE(Listening(first));
}

TEST_F(ServerStartupTest, APortThatCannotBeOpenedIsReportedAndTheOthersServe) {
  const int free = testing::FreeLoopbackPort();
  // Somebody else already listens on every address of this one.
  UniqueFd squatter(::socket(AF_INET6, SOCK_STREAM, 0));
  const int off = 0;
  ::setsockopt(squatter.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_any;
  ASSERT_EQ(::bind(squatter.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(squatter.Get(), 1), 0);
  socklen_t length = sizeof address;
  ::getsockname(squatter.Get(), reinterpret_cast<sockaddr*>(&address), &length);
  const int busy = ntohs(address.sin6_port);

  ConfigurePorts({busy, free});
  auto server = Start();
  ASSERT_TRUE(server->WaitForError("running in desktop mode", testing::kServerStartTimeout))
      << server->Error();
  EXPECT_NE(server->Error().find("没有正确配置网络或打开端口（" + std::to_string(busy) +
                                 " ）出错: Address already in use"),
            std::string::npos)
      << server->Error();
  ExpectModuleServed(free);
}

TEST_F(ServerStartupTest, WhoeverHoldsTheSocketServerMutexKeepsThePorts) {
  const int port = testing::FreeLoopbackPort();
  ConfigurePorts({port});
  lock::NamedMutex held(lock::kSocketServerMutex, Folder() / "run");
  ASSERT_FALSE(held.AlreadyExisted());
  auto server = Start();
  ASSERT_TRUE(server->WaitForError("running in desktop mode", testing::kServerStartTimeout))
      << server->Error();
  EXPECT_NE(server->Error().find("socket ports left to the process that holds SCKTSRVR"),
            std::string::npos)
      << server->Error();
  EXPECT_FALSE(Listening(port));
}

TEST_F(ServerStartupTest, ServiceModeOpensThePortsWhenTheServiceStarts) {
  const int port = testing::FreeLoopbackPort();
  ConfigurePorts({port});
  // systemd is starting this very process as the unit's main process.
  systemctl_.AnswerShow("loaded", "activating", "$PPID");
  auto server = Start({"-Service"});
  ASSERT_TRUE(server->WaitForError("running in service mode", testing::kServerStartTimeout))
      << server->Error();
  ExpectModuleServed(port);
  const int status = server->Stop(30s);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << server->Error();
}

}  // namespace
}  // namespace quor::transport
