// A port of the socket transport in a process of its own, serving the test
// classes, so a test can give it resource limits of its own (a descriptor
// limit the way a stock service gets one) and read what it logs:
//   transport_port_server [--nofile N]
// It writes "listening on port P" to standard error and serves until it is
// ended by a signal.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/transport/TestBed.h"
#include "transport/SocketDispatcher.h"

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--nofile") == 0) {
      const rlim_t limit = std::strtoul(argv[i + 1], nullptr, 10);
      const rlimit both{limit, limit};
      if (::setrlimit(RLIMIT_NOFILE, &both) != 0) {
        std::perror("setrlimit");
        return 2;
      }
    }
  }
  quor::transport::testing::TestBed bed;
  auto context = bed.MakeContext();
  quor::transport::TSocketDispatcher port(context);
  quor::transport::PortSettings settings;
  settings.port = 0;
  settings.threadCacheSize = 10;
  settings.timeout = 0;
  port.SetSettings(settings);
  port.Open();
  std::fprintf(stderr, "listening on port %u\n", static_cast<unsigned>(port.ListeningPort()));
  std::fflush(stderr);
  for (;;) ::pause();
}
