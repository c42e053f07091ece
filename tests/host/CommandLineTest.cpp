#include "host/CommandLine.h"

#include <gtest/gtest.h>

namespace quor::host {
namespace {

TEST(CommandLine, SwitchesFollowTheirLetterCaseRules) {
  struct Case {
    std::vector<std::string> arguments;
    CommandLine expected;
  };
  const Case cases[] = {
      {{}, {}},
      {{"-MSDE"}, {.msde = true}},
      {{"-msde"}, {}},
      {{"/MSDE"}, {}},
      {{"MSDE"}, {}},
      {{"-SERVICE"}, {.service = true}},
      {{"/service"}, {.service = true}},
      {{"-Service"}, {.service = true}},
      {{"Service"}, {}},
      {{"--service"}, {}},
      {{"-Services"}, {}},
      {{"/regserver"}, {.regServer = true}},
      {{"-REGSERVER"}, {.regServer = true}},
      {{"-UnRegServer"}, {.unregServer = true}},
      {{"/UNREGSERVER"}, {.unregServer = true}},
      {{"--version"}, {.version = true}},
      {{"--help"}, {.help = true}},
      {{"-Version"}, {}},
      {{"extra", "-MSDE", "words", "/Service"}, {.msde = true, .service = true}},
      {{"", "-", "/"}, {}},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const auto& argument : c.arguments) name += "[" + argument + "]";
    CommandLine line = ParseCommandLine(c.arguments);
    EXPECT_EQ(line.msde, c.expected.msde) << name;
    EXPECT_EQ(line.service, c.expected.service) << name;
    EXPECT_EQ(line.regServer, c.expected.regServer) << name;
    EXPECT_EQ(line.unregServer, c.expected.unregServer) << name;
    EXPECT_EQ(line.version, c.expected.version) << name;
    EXPECT_EQ(line.help, c.expected.help) << name;
  }
}

}  // namespace
}  // namespace quor::host
