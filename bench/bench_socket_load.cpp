// A load driver for the socket transport: a server on loopback in this
// process (a port of TSocketDispatcher serving the remote data module, whose
// connection goes to the SQL Server stand-in holding the test account set), and
// N client connections, each with its own thread calling a described method
// (InsertAccountBillLink, one procedure call on the stand-in) in a loop. It
// prints calls per second and latency percentiles at 1, 10, 100 and 1000
// connections, the same loop against a trivial echo object as the transport's
// floor, and the memory 2000 idle connections cost. Every call is a late-bound
// GetIDsOfNames + Invoke, two round trips, as desktop clients make them. It
// also measures a server alone in a child process holding 4,000 idle
// connections (its own RSS per connection), and the described method's 100
// clients alone and then among 1,000 connections trickling bytes and 100
// announcing maximum frames.
//
//   bench_socket_load [seconds per level, default 2] [cache: the parameter cache comparison only]
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/ClassRegistry.h"
#include "platform/com/TableDispatch.h"
#include "platform/registry/Registry.h"
#include "platform/sql/ProcedureCache.h"
#include "remote/uDataModuleSvr.h"
#include "tests/support/accountset/AccountSet.h"
#include "transport/SocketAddress.h"
#include "transport/SocketClient.h"
#include "transport/SocketDispatcher.h"

namespace {

namespace fs = std::filesystem;
using quor::com::Variant;
using quor::transport::SocketClient;
using Clock = std::chrono::steady_clock;

constexpr const char* kEchoProgId = "QuorBench.Echo";
constexpr const char* kEchoClassId = "{3F2C8E51-7A04-4B6D-9E21-5C0A8B7D4E01}";
constexpr int kLevels[] = {1, 10, 100, 1000};
constexpr int kIdleConnections = 2000;
// No level runs longer than this many calls per connection, however fast it is.
constexpr std::size_t kMaxCallsPerConnection = 200000;

class EchoObject : public quor::com::TableDispatch {
 public:
  EchoObject() : TableDispatch(Table()) {}

 private:
  static std::shared_ptr<const quor::com::DispatchTable> Table() {
    static const auto table = std::make_shared<const quor::com::DispatchTable>(
        std::vector<quor::com::MemberInfo>{
            {"Echo",
             1,
             quor::com::MemberKind::Method,
             {{"Value"}},
             [](quor::com::IDispatchObject&, quor::com::DispatchArgs& args) { return args[0]; }},
        },
        kEchoProgId);
    return table;
  }
};

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "quor-load-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

void RaiseFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) throw std::runtime_error("getrlimit failed");
  limit.rlim_cur = limit.rlim_max;
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) throw std::runtime_error("setrlimit failed");
  std::printf("open files limit: %llu\n", static_cast<unsigned long long>(limit.rlim_cur));
}

// Resident set size in KiB of a process, from /proc/<pid>/status.
long ResidentKiBOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(4096, '\n');
  }
  throw std::runtime_error("no VmRSS for process " + std::to_string(pid));
}

long ResidentKiB() {
  return ResidentKiBOf(::getpid());
}

// One server with both classes, on an ephemeral loopback port.
class Server {
 public:
  Server() : accountSet_(sqlServer_) {
    const std::string dataSource = "127.0.0.1," + std::to_string(sqlServer_.Port());
    classes_ = std::make_shared<quor::com::ClassRegistry>(
        quor::registry::Registry(folder_.Path() / "registry.reg"));
    // The module's own registration; the creator points its connection at the
    // stand-in's account set, as a module bound by ConnectDb + ChangeDataBase is.
    classes_->Add(quor::DataModuleServerRegistration(), [dataSource] {
      auto module = std::make_shared<quor::TDataModuleServer>();
      quor::sql::ConnectionSettings& settings = module->ADOConnection1().Settings();
      settings.dataSource = dataSource;
      settings.initialCatalog = quor::test::kAccountSetDatabase;
      settings.userId = quor::test::kAccountSetUser;
      settings.password = quor::test::kAccountSetPassword;
      settings.connectTimeoutSeconds = 10;
      return module;
    });
    classes_->Add({kEchoClassId, kEchoProgId, "Load driver echo", {{"Sockets", "1"}}},
                  [] { return std::make_shared<EchoObject>(); });
    auto context = std::make_shared<quor::transport::TransportContext>();
    context->classes = classes_;
    context->bindAddress = "127.0.0.1";
    // The marks live in the registry file the installer writes; none here.
    context->registeredOnly = false;
    port_ = std::make_unique<quor::transport::TSocketDispatcher>(context);
    port_->SetSettings({0, 10, {}, 0});
    port_->Open();
  }

  std::uint16_t Port() const { return port_->ListeningPort(); }
  std::size_t Connections() const { return port_->ConnectionCount(); }

 private:
  TempFolder folder_;
  quor::test::SqlServerStandIn sqlServer_;
  quor::test::AccountSet accountSet_;
  std::shared_ptr<quor::com::ClassRegistry> classes_;
  std::unique_ptr<quor::transport::TSocketDispatcher> port_;
};

struct Target {
  const char* label;
  const char* progId;
  // One call on the object; throws on failure.
  void (*call)(SocketClient& client, const quor::com::DispatchPtr& object);
};

void CallBillLink(SocketClient& client, const quor::com::DispatchPtr& object) {
  auto message = std::make_shared<Variant>(Variant(""));
  auto nRet = std::make_shared<Variant>(Variant::I4(0));
  client.Call(object, "InsertAccountBillLink",
              {Variant("00001"), Variant("00002"), Variant::I4(1001), Variant::ByRef(message),
               Variant::ByRef(nRet, quor::com::VT_I4)});
}

void CallEcho(SocketClient& client, const quor::com::DispatchPtr& object) {
  const Variant result = client.Call(object, "Echo", {Variant::I4(42)});
  if (result.GetI4() != 42) throw std::runtime_error("echo answered something else");
}

struct Connection {
  std::unique_ptr<SocketClient> client;
  quor::com::DispatchPtr object;
};

Connection Connect(const Server& server, const char* progId) {
  quor::transport::SocketClientOptions options;
  options.replyTimeout = std::chrono::seconds(60);
  Connection connection;
  connection.client = std::make_unique<SocketClient>("127.0.0.1", server.Port(), options);
  connection.object = connection.client->CreateObject(progId);
  return connection;
}

double Percentile(const std::vector<double>& sorted, double fraction) {
  if (sorted.empty()) return 0;
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
  return sorted[index];
}

void RunLevel(const Server& server, const Target& target, int connections,
              std::chrono::milliseconds duration) {
  std::vector<Connection> clients;
  clients.reserve(static_cast<std::size_t>(connections));
  for (int i = 0; i < connections; ++i) clients.push_back(Connect(server, target.progId));
  // One warm-up call each: the module's first call opens its database connection.
  for (Connection& connection : clients) target.call(*connection.client, connection.object);

  std::vector<std::vector<double>> latencies(clients.size());
  std::atomic<bool> failed{false};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  Clock::time_point deadline;
  for (std::size_t i = 0; i < clients.size(); ++i) {
    threads.emplace_back([&, i] {
      while (!go) std::this_thread::yield();
      std::vector<double>& mine = latencies[i];
      try {
        while (Clock::now() < deadline && mine.size() < kMaxCallsPerConnection) {
          const auto start = Clock::now();
          target.call(*clients[i].client, clients[i].object);
          mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
      } catch (const std::exception& error) {
        if (!failed.exchange(true)) std::fprintf(stderr, "call failed: %s\n", error.what());
      }
    });
  }
  const auto start = Clock::now();
  deadline = start + duration;
  go = true;
  for (std::thread& thread : threads) thread.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::vector<double> all;
  for (const auto& mine : latencies) all.insert(all.end(), mine.begin(), mine.end());
  std::sort(all.begin(), all.end());
  std::printf("%-28s %6d %9zu %11.0f %9.0f %9.0f %9.0f%s\n", target.label, connections, all.size(),
              static_cast<double>(all.size()) / seconds, Percentile(all, 0.50),
              Percentile(all, 0.90), Percentile(all, 0.99), failed ? "  (failures)" : "");
  std::fflush(stdout);
}

void MeasureIdle(const Server& server) {
  const long before = ResidentKiB();
  std::vector<Connection> clients;
  clients.reserve(kIdleConnections);
  for (int i = 0; i < kIdleConnections; ++i) clients.push_back(Connect(server, kEchoProgId));
  while (server.Connections() < static_cast<std::size_t>(kIdleConnections)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const long after = ResidentKiB();
  std::printf(
      "%d idle connections (each with one echo object), both ends in this process: "
      "RSS %+ld KiB (%.1f KiB per connection)\n",
      kIdleConnections, after - before, static_cast<double>(after - before) / kIdleConnections);
}

void SendAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t put = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (put <= 0) return;
    sent += static_cast<std::size_t>(put);
  }
}

std::vector<std::uint8_t> Header(std::uint32_t signature, std::uint32_t length) {
  std::vector<std::uint8_t> bytes(8);
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<std::uint8_t>(signature >> (8 * i));
    bytes[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
  }
  return bytes;
}

// The server alone in a child process, forked before this process has any
// thread: a port with the echo class, its number written to the pipe.
pid_t StartEchoServer(std::uint16_t& port) {
  int ends[2];
  if (::pipe(ends) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::close(ends[0]);
    TempFolder folder;
    auto classes = std::make_shared<quor::com::ClassRegistry>(
        quor::registry::Registry(folder.Path() / "registry.reg"));
    classes->Add({kEchoClassId, kEchoProgId, "Load driver echo", {{"Sockets", "1"}}},
                 [] { return std::make_shared<EchoObject>(); });
    auto context = std::make_shared<quor::transport::TransportContext>();
    context->classes = classes;
    context->bindAddress = "127.0.0.1";
    context->registeredOnly = false;
    quor::transport::TSocketDispatcher dispatcher(context);
    dispatcher.SetSettings({0, 10, {}, 0});
    dispatcher.Open();
    const std::uint16_t listening = dispatcher.ListeningPort();
    if (::write(ends[1], &listening, sizeof listening) != sizeof listening) ::_exit(1);
    for (;;) ::pause();
  }
  ::close(ends[1]);
  if (::read(ends[0], &port, sizeof port) != sizeof port) throw std::runtime_error("no port");
  ::close(ends[0]);
  return child;
}

// 4,000 idle connections, each holding one echo object, against a server
// that is alone in its process, so its RSS is the server's own.
void MeasureIdleServer(pid_t server, std::uint16_t port) {
  constexpr int kConnections = 4000;
  const long before = ResidentKiBOf(server);
  std::vector<std::unique_ptr<SocketClient>> clients;
  std::vector<quor::com::DispatchPtr> objects;
  for (int i = 0; i < kConnections; ++i) {
    quor::transport::SocketClientOptions options;
    options.replyTimeout = std::chrono::seconds(60);
    clients.push_back(std::make_unique<SocketClient>("127.0.0.1", port, options));
    objects.push_back(clients.back()->CreateObject(kEchoProgId));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const long after = ResidentKiBOf(server);
  std::printf(
      "%d idle connections (one echo object each), server process alone: RSS %ld -> %ld "
      "KiB (%.1f KiB per connection)\n",
      kConnections, before, after, static_cast<double>(after - before) / kConnections);
  std::fflush(stdout);
}

// 1,000 connections trickling a frame and 100 that announce the largest frame,
// send 64 KiB of it and stall, while the real clients run.
class HostileCrowd {
 public:
  explicit HostileCrowd(std::uint16_t port) {
    for (int i = 0; i < 1000; ++i) {
      trickling_.push_back(quor::transport::ConnectTo("127.0.0.1", port, std::chrono::seconds(5)));
      SendAll(trickling_.back().Get(), Header(0xDA02, 100000));
    }
    const std::vector<std::uint8_t> start = [] {
      std::vector<std::uint8_t> bytes = Header(0xDA02, quor::transport::kDefaultMaxFrameSize);
      bytes.resize(bytes.size() + 65536, 0);
      return bytes;
    }();
    for (int i = 0; i < 100; ++i) {
      announcing_.push_back(quor::transport::ConnectTo("127.0.0.1", port, std::chrono::seconds(5)));
      SendAll(announcing_.back().Get(), start);
    }
    thread_ = std::thread([this] {
      const std::vector<std::uint8_t> oneByte(1, 0);
      while (!stop_) {
        for (const auto& fd : trickling_) {
          ::send(fd.Get(), oneByte.data(), 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
    });
  }
  ~HostileCrowd() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::vector<quor::transport::UniqueFd> trickling_;
  std::vector<quor::transport::UniqueFd> announcing_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The described method with the procedure-parameter cache off (every call asks
// SQL Server for the parameter list first) and on (a remembered list, called by
// name), at 1 and 100 connections, in the same run.
void CompareParameterCache(const Server& server, std::chrono::milliseconds duration) {
  // The first module made reads the setting; it is set after that here.
  { quor::TDataModuleServer first; }
  const Target off = {"BillLink cache off", quor::kDataModuleServerProgId, &CallBillLink};
  const Target on = {"BillLink cache on", quor::kDataModuleServerProgId, &CallBillLink};
  std::printf("procedure-parameter cache:\n");
  for (const int connections : {1, 100}) {
    quor::sql::ProcedureCache::Shared().SetLifetime(std::chrono::seconds(0));
    RunLevel(server, off, connections, duration);
    quor::sql::ProcedureCache::Shared().SetLifetime(quor::sql::ProcedureCache::kDefaultLifetime);
    RunLevel(server, on, connections, duration);
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::chrono::milliseconds duration(argc > 1 ? std::atoi(argv[1]) * 1000 : 2000);
    RaiseFileLimit();
    // "bench_socket_load <seconds> cache": the parameter cache comparison alone.
    if (argc > 2 && std::string(argv[2]) == "cache") {
      Server server;
      CompareParameterCache(server, duration);
      return 0;
    }
    {
      std::uint16_t echoPort = 0;
      const pid_t echoServer = StartEchoServer(echoPort);
      MeasureIdleServer(echoServer, echoPort);
      ::kill(echoServer, SIGKILL);
      ::waitpid(echoServer, nullptr, 0);
    }
    Server server;
    const Target targets[] = {
        {"InsertAccountBillLink", quor::kDataModuleServerProgId, &CallBillLink},
        {"Echo (floor)", kEchoProgId, &CallEcho},
    };
    std::printf("%-28s %6s %9s %11s %9s %9s %9s\n", "target", "conns", "calls", "calls/s", "p50 us",
                "p90 us", "p99 us");
    // Idle memory first, while the allocator holds nothing from the loops.
    MeasureIdle(server);
    for (const Target& target : targets) {
      for (const int connections : kLevels) RunLevel(server, target, connections, duration);
    }
    CompareParameterCache(server, duration);
    // The same 100 real clients, first alone, then among a hostile crowd.
    std::printf("hostile mix (100 clients of %s):\n", targets[0].label);
    RunLevel(server, targets[0], 100, duration);
    const long beforeCrowd = ResidentKiB();
    {
      HostileCrowd crowd(server.Port());
      RunLevel(server, targets[0], 100, duration);
      std::printf("  with 1000 trickling and 100 maximum-frame connections: process RSS %+ld KiB\n",
                  ResidentKiB() - beforeCrowd);
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_socket_load: %s\n", error.what());
    return 1;
  }
}
