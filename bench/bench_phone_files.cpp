// Files through the phone back end on loopback: a phone uploads a file into
// the file area with <UploadFiles> and takes it down again with <DownFiles>,
// one phone or several at once, each on its own connection and server thread.
// Reports bytes moved per second (both directions counted).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "ServerPublic/ConfigStore.h"
#include "mobile/uDataLocalServer.h"
#include "tests/support/net/LoopbackPort.h"

namespace {

namespace fs = std::filesystem;

// The server for the whole run, in a program folder of its own.
struct BenchServer {
  BenchServer() {
    char pattern[] = "/tmp/quor-bench-phone-XXXXXX";
    folder = ::mkdtemp(pattern);
    port = ::quor::testing::FreeLoopbackPort();
    std::ofstream(folder / "QuorServerBZ.dat") << "[ServerConfig]\r\nStartMobileAPP=True\r\n"
                                               << "MobilePort=" << port << "\r\n";
    quor::SetConfigFilePath(folder / "QuorServerBZ.dat");
    server = std::make_unique<quor::mobile::TDataLocalServer>(folder);
    if (!server->Active()) throw std::runtime_error("the phone server did not start");
  }
  ~BenchServer() {
    server.reset();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  fs::path folder;
  std::uint16_t port = 0;
  std::unique_ptr<quor::mobile::TDataLocalServer> server;
};

BenchServer& Server() {
  static BenchServer server;
  return server;
}

class BenchPhone {
 public:
  explicit BenchPhone(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot connect");
    }
  }
  ~BenchPhone() { ::close(fd_); }
  void Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (sent <= 0) throw std::runtime_error("send failed");
      done += static_cast<std::size_t>(sent);
    }
  }
  // Everything up to and including the first LF.
  std::string Line() {
    std::string line;
    char c = 0;
    while (::recv(fd_, &c, 1, 0) == 1) {
      line += c;
      if (c == '\n') break;
    }
    return line;
  }
  std::size_t DrainToEnd() {
    std::size_t total = 0;
    char chunk[65536];
    for (ssize_t got; (got = ::recv(fd_, chunk, sizeof chunk, 0)) > 0;) {
      total += static_cast<std::size_t>(got);
    }
    return total;
  }

 private:
  int fd_;
};

void BM_UploadThenDownload(benchmark::State& state) {
  BenchServer& server = Server();
  const std::string body(static_cast<std::size_t>(state.range(0)), 'q');
  const std::string name = "f" + std::to_string(state.thread_index()) + ".bin";
  for (auto _ : state) {
    {
      BenchPhone phone(server.port);
      phone.Send("<UploadFiles>\r\nbench\r\n" + name + "\r\n" + std::to_string(body.size()) +
                 "\r\n");
      phone.Send(body);
      if (phone.Line() != "<Success>\r\n") state.SkipWithError("upload failed");
    }
    BenchPhone phone(server.port);
    phone.Send("<DownFiles>\r\nbench\r\n" + name + "\r\n");
    if (phone.Line() != "<Success>\r\n" || phone.DrainToEnd() != body.size()) {
      state.SkipWithError("download failed");
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(body.size()) * 2);
}
BENCHMARK(BM_UploadThenDownload)
    ->Arg(64 << 10)
    ->Arg(4 << 20)
    ->Threads(1)
    ->Threads(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
