#include <cstdio>
#include <exception>

#include "host/ServerHost.h"

int main(int argc, char* argv[]) {
  try {
    return quor::host::RunServer(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "start-up failed: %s\n", error.what());
    return quor::host::kExitFailure;
  }
}
