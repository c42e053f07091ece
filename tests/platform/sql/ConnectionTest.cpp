// Connections through the real FreeTDS driver to the SQL Server stand-in: the
// data source forms, logins, databases, closing and reopening, timeouts and
// parallel use from several threads.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Connection.h"
#include "SqlError.h"
#include "StandIn.h"
#include "StoredProc.h"

namespace quor::sql {
namespace {

using quor::test::Request;
using quor::test::RequestKind;
using testing::MakeStandIn;
using testing::SettingsFor;

std::vector<Request> Logins(const quor::test::SqlServerStandIn& server) {
  std::vector<Request> logins;
  for (const Request& request : server.Requests()) {
    if (request.kind == RequestKind::Login) logins.push_back(request);
  }
  return logins;
}

// The stand-in notes a login just after answering it, so the client can be a
// moment ahead of the log.
std::size_t LoginsSeen(const quor::test::SqlServerStandIn& server, std::size_t expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::size_t seen = Logins(server).size();
  while (seen < expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    seen = Logins(server).size();
  }
  return seen;
}

// A loopback port that accepts connections (the kernel completes them) but never
// answers, as a hung server does.
class SilentListener {
 public:
  SilentListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 8);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() { ::close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A port nobody listens on: bound once to learn a free number, then released.
int UnusedPort() {
  SilentListener listener;
  return listener.Port();
}

TEST(DataSourceForms, LocalNamesWithAPortReachTheServerOnThatPort) {
  auto server = MakeStandIn();
  const std::string port = std::to_string(server->Port());
  for (const std::string& source :
       {"127.0.0.1," + port, "localhost," + port, "LOCALHOST," + port, "(local)," + port,
        "(LOCAL)," + port, "." + std::string(",") + port, "tcp:(local)," + port,
        "localhost\\IGNORED," + port}) {
    server->ClearRequests();
    ConnectionSettings settings = SettingsFor(*server);
    settings.dataSource = source;
    Connection connection(settings);
    ASSERT_NO_THROW(connection.Open()) << source;
    EXPECT_TRUE(connection.Connected()) << source;
    EXPECT_EQ(LoginsSeen(*server, 1), 1u) << source;
  }
}

TEST(DefaultPort1433, LocalNamesWithoutAPortReachPort1433) {
  std::unique_ptr<quor::test::SqlServerStandIn> server;
  try {
    quor::test::SqlServerStandInOptions options;
    options.port = 1433;
    server = MakeStandIn(options);
  } catch (const std::runtime_error& error) {
    GTEST_SKIP() << "port 1433 is taken here: " << error.what();
  }
  for (const char* source :
       {"(LOCAL)", "(local)", ".", "localhost", "LocalHost", "127.0.0.1", ""}) {
    server->ClearRequests();
    ConnectionSettings settings = SettingsFor(*server);
    settings.dataSource = source;
    Connection connection(settings);
    ASSERT_NO_THROW(connection.Open()) << "'" << source << "'";
    EXPECT_EQ(LoginsSeen(*server, 1), 1u) << "'" << source << "'";
  }
}

TEST(SqlBrowser, InstanceNamesAreResolvedThroughTheBrowserOnUdp1434) {
  auto server = MakeStandIn();
  try {
    server->StartBrowser(1434, "QUORINST");
  } catch (const std::runtime_error& error) {
    GTEST_SKIP() << "UDP port 1434 is taken here: " << error.what();
  }
  for (const char* source : {"(LOCAL)\\QUORINST", "(local)\\quorinst", ".\\QUORINST",
                             "localhost\\QuorInst", "127.0.0.1\\QUORINST"}) {
    server->ClearRequests();
    ConnectionSettings settings = SettingsFor(*server);
    settings.dataSource = source;
    Connection connection(settings);
    ASSERT_NO_THROW(connection.Open()) << source;
    EXPECT_EQ(LoginsSeen(*server, 1), 1u) << source;
  }
}

TEST(Login, ARefusedLoginRaisesTheServersTextWithoutDriverPrefixes) {
  auto server = MakeStandIn();
  ConnectionSettings settings = SettingsFor(*server);
  settings.password = "wrong";
  Connection connection(settings);
  try {
    connection.Open();
    FAIL() << "the login was accepted";
  } catch (const SqlError& error) {
    EXPECT_EQ(error.NativeError(), 18456);
    EXPECT_EQ(std::string(error.what()), "Login failed for user 'sa'.");
    EXPECT_EQ(error.SqlState().size(), 5u) << error.SqlState();
  }
  EXPECT_FALSE(connection.Connected());
  EXPECT_TRUE(Logins(*server).empty());
}

TEST(Login, PasswordsWithSeparatorsArriveWhole) {
  auto server = MakeStandIn();
  const char* const passwords[] = {"p;w=d", "{x;y", " spaced ", "中文;密码", "a=;b"};
  for (const char* password : passwords) server->AddLogin(std::string("u") + password, password);
  for (const char* password : passwords) {
    ConnectionSettings settings = SettingsFor(*server);
    settings.userId = std::string("u") + password;
    settings.password = password;
    Connection connection(settings);
    EXPECT_NO_THROW(connection.Open()) << password;
  }
}

TEST(Login, APasswordTheDriverCannotTakeIsRefusedBeforeAnythingIsSent) {
  auto server = MakeStandIn();
  server->AddLogin("evil", "a};UID=sa;PWD=Secret#1");
  ConnectionSettings settings = SettingsFor(*server);
  settings.userId = "evil";
  settings.password = "a};UID=sa;PWD=Secret#1";
  Connection connection(settings);
  try {
    connection.Open();
    FAIL() << "the connection string was built";
  } catch (const SqlError& error) {
    EXPECT_NE(std::string(error.what()).find("'}'"), std::string::npos) << error.what();
  }
  EXPECT_TRUE(server->Requests().empty());
}

TEST(Login, IntegratedSecurityWithoutKerberosFailsAndSaysWhy) {
  auto server = MakeStandIn();
  ConnectionSettings settings = SettingsFor(*server);
  settings.SetProperty("Integrated Security", "SSPI");
  Connection connection(settings);
  try {
    connection.Open();
    FAIL() << "an integrated login was accepted";
  } catch (const SqlError& error) {
    EXPECT_NE(std::string(error.what()).find("Kerberos"), std::string::npos) << error.what();
  }
  EXPECT_FALSE(connection.Connected());
}

TEST(Databases, TheInitialCatalogIsCurrentAndChangingItFollowsTheServer) {
  auto server = MakeStandIn();
  server->AddDatabase("QuorData02");
  Connection connection(SettingsFor(*server, testing::kAccountSet));
  connection.Open();
  EXPECT_EQ(connection.CurrentDatabase(), testing::kAccountSet);

  connection.ChangeDatabase("QuorData02");
  EXPECT_EQ(connection.CurrentDatabase(), "QuorData02");

  try {
    connection.ChangeDatabase("NoSuchBase");
    FAIL() << "a missing database was accepted";
  } catch (const SqlError& error) {
    EXPECT_EQ(error.NativeError(), 911);
    EXPECT_EQ(std::string(error.what()).rfind("[", 0), std::string::npos) << error.what();
  }
  EXPECT_EQ(connection.CurrentDatabase(), "QuorData02");
  EXPECT_TRUE(connection.Connected());
}

// Clients choose the database they switch to, so its name must reach the
// server as one quoted name whatever it holds.
TEST(Databases, ANameWithBracketsAndQuotesIsSentAsOneQuotedName) {
  auto server = MakeStandIn();
  Connection connection(SettingsFor(*server));
  connection.Open();
  server->ClearRequests();
  EXPECT_THROW(connection.ChangeDatabase("Odd]Name'x; DROP TABLE t"), SqlError);
  const std::vector<Request> requests = server->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].text, "USE [Odd]]Name'x; DROP TABLE t]");
  EXPECT_EQ(connection.CurrentDatabase(), "master");
}

TEST(OpenAndClose, AClosedConnectionOpensAgainWithANewLogin) {
  auto server = MakeStandIn();
  Connection connection(SettingsFor(*server));
  connection.Open();
  connection.Open();  // already open: nothing happens
  EXPECT_EQ(LoginsSeen(*server, 1), 1u);
  connection.Close();
  EXPECT_FALSE(connection.Connected());
  EXPECT_EQ(connection.CurrentDatabase(), "");
  connection.Open();
  EXPECT_TRUE(connection.Connected());
  EXPECT_EQ(LoginsSeen(*server, 2), 2u);
}

TEST(ConnectTimeout, AServerThatNeverAnswersFailsWithinTheConnectTimeout) {
  SilentListener listener;
  ConnectionSettings settings;
  settings.dataSource = "127.0.0.1," + std::to_string(listener.Port());
  settings.userId = "sa";
  settings.connectTimeoutSeconds = 2;
  Connection connection(settings);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(connection.Open(), SqlError);
  const auto waited = std::chrono::steady_clock::now() - start;
  // Not a speed measurement: the bound only tells a timeout from a hang.
  EXPECT_LT(waited, std::chrono::seconds(2 + 10));
  EXPECT_FALSE(connection.Connected());
}

TEST(ConnectTimeout, AServerThatIsDownGivesAnError) {
  ConnectionSettings settings;
  settings.dataSource = "127.0.0.1," + std::to_string(UnusedPort());
  settings.userId = "sa";
  settings.connectTimeoutSeconds = 2;
  Connection connection(settings);
  try {
    connection.Open();
    FAIL() << "connected to nothing";
  } catch (const SqlError& error) {
    EXPECT_EQ(error.SqlState().substr(0, 2), "08") << error.SqlState();
    EXPECT_EQ(std::string(error.what()).find("[FreeTDS]"), std::string::npos) << error.what();
  }
}

TEST(Parallel, ConnectionsOnSeveralThreadsWorkAtTheSameTime) {
  auto server = MakeStandIn();
  server->DeclareProcedure(
      testing::Procedure("Twice", {testing::Param("@N", quor::test::SqlType::Int)}));
  server->OnProcedure("Twice", [](const quor::test::ProcedureCall& call) {
    quor::test::Reply reply;
    reply.returnStatus = static_cast<std::int32_t>(call["@N"].AsInt() * 2);
    reply.resultSets.push_back(
        testing::Rows({testing::Col("N", quor::test::SqlType::Int)}, {{call["@N"]}}));
    return reply;
  });
  constexpr int kThreads = 8;
  constexpr int kCalls = 25;
  std::atomic<int> correct{0};
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      try {
        Connection connection(SettingsFor(*server, testing::kAccountSet));
        StoredProc proc(connection, "QueryProc");
        proc.SetProcedureName("Twice;1");
        for (int i = 0; i < kCalls; ++i) {
          const int n = t * 1000 + i;
          proc.Close();
          proc.RefreshParameters();
          proc.SetParamValue("@N", Value::Integer(n));
          RecordSet& rows = proc.Open();
          if (proc.ParamValue("@RETURN_VALUE").AsInteger() == 2 * n &&
              rows.FieldByName("N").AsInteger() == n) {
            ++correct;
          }
        }
      } catch (const std::exception& error) {
        failures[t] = error.what();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
  EXPECT_EQ(correct.load(), kThreads * kCalls);
}

}  // namespace
}  // namespace quor::sql
