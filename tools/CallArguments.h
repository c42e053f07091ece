// Typed arguments as an operator writes them on the command line, turned into
// the variants a remote call carries: "i:42", "s:text", "d:1.5", "b:true",
// "c:12.34", "t:2024-01-02", "x:0AFF", "null", "empty", and by-reference
// outputs "out:i" (optionally with a first value, "out:i:5"; "out:v" is a
// by-reference variant).
#pragma once

#include <stdexcept>
#include <string>

#include "platform/com/Variant.h"

namespace quor::tools {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// UsageError naming the argument when it cannot be read.
com::Variant ParseArgument(const std::string& text);

// The argument syntax, for --help.
const char* ArgumentSyntaxHelp();

}  // namespace quor::tools
