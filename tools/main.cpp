#include <iostream>
#include <string>
#include <vector>

#include "tools/QuorCall.h"

int main(int argc, char* argv[]) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return quor::tools::RunQuorCall(arguments, std::cout, std::cerr);
}
