// The operator's client against a live port serving the test classes: calls
// with typed and by-reference arguments in one session, a provider's rows as a
// table, the server lists, and the exit status of each kind of failure.
#include "tools/QuorCall.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "tests/transport/TestBed.h"
#include "transport/SocketDispatcher.h"

namespace quor::tools {
namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

class QuorCallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = std::make_unique<transport::TSocketDispatcher>(bed_.MakeContext());
    port_->SetSettings({0, 10, "", 0});
    port_->Open();
  }

  ToolRun Call(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--port", std::to_string(port_->ListeningPort())});
    std::ostringstream out;
    std::ostringstream err;
    ToolRun run;
    run.status = RunQuorCall(arguments, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
  }

  transport::testing::TestBed bed_;
  std::unique_ptr<transport::TSocketDispatcher> port_;
};

TEST_F(QuorCallTest, OneSessionCallsMembersWithTypedAndByReferenceArguments) {
  const ToolRun run =
      Call({"--progid", "QuorTest.Echo", "call",     "Greet",  "s:Li", "out:v",  "then",
            "call",     "AddOne",        "out:i:41", "then",   "call", "Echo",   "d:1.5",
            "then",     "call",          "Echo",     "x:0A0B", "then", "servers"});
  EXPECT_EQ(run.status, kCallOk) << run.err;
  EXPECT_EQ(run.out,
            "out 2: Hello, Li\n"
            "result: VT_I4 0\n"
            "out 1: VT_I4 42\n"
            "result: VT_EMPTY\n"
            "result: VT_R8 1.5\n"
            "result: VT_ARRAY|VT_UI1 [0..1] {10, 11}\n"
            "QuorTest.Echo\n"
            "QuorTest.Provider\n"
            "QuorTest.Broken\n");
}

TEST_F(QuorCallTest, RecordsPrintsTheProvidersRowsAsATable) {
  const ToolRun run = Call({"--progid", "QuorTest.Provider", "records", "QueryProvider"});
  EXPECT_EQ(run.status, kCallOk) << run.err;
  EXPECT_EQ(run.out,
            "ID  Name      Price  Day         Active\n"
            "--  --------  -----  ----------  ------\n"
            "1   螺丝刀    12.5   2024-01-02  True\n"
            "2   Hammer    30     2024-02-29  False\n"
            "3   扳手 set  7.25   1999-12-31  True\n"
            "(3 rows)\n");
}

TEST_F(QuorCallTest, EachKindOfFailureHasItsExitStatusAndMessage) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"no command", {}, kUsageError, "no command given"},
      {"argument without a type", {"call", "Echo", "42"}, kUsageError, "expected TYPE:VALUE"},
      {"integer that is not one", {"call", "Echo", "i:4x"}, kUsageError, "not a 32-bit integer"},
      {"unknown option", {"--speed", "9", "servers"}, kUsageError, "unknown option"},
      {"then at the start", {"then", "servers"}, kUsageError, "\"then\" without a command"},
      {"unknown class",
       {"--progid", "Nope.Nothing", "call", "Echo", "i:1"},
       kCallFailed,
       "Class not registered: Nope.Nothing"},
      {"class without the Sockets mark",
       {"--progid", "QuorTest.Unmarked", "call", "Echo"},
       kCallFailed,
       "Object not available: {6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405163}"},
      {"unknown member",
       {"--progid", "QuorTest.Echo", "call", "Nothing"},
       kCallFailed,
       "call failed: 0x80020006 unknown member Nothing\n"},
      {"member that fails",
       {"--progid", "QuorTest.Echo", "call", "Fail"},
       kCallFailed,
       "call failed: 0x80041001 echo failed on purpose\n"},
      {"unknown provider",
       {"--progid", "QuorTest.Provider", "records", "Nope"},
       kCallFailed,
       "Provider not found: Nope"},
      {"unknown command",
       {"--progid", "QuorTest.Echo", "dance"},
       kUsageError,
       "unknown command \"dance\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun run = Call(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

TEST_F(QuorCallTest, AServerThatIsNotThereIsReportedAsSuch) {
  const std::string closed = std::to_string(port_->ListeningPort());
  port_->Close();
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunQuorCall({"--port", closed, "--timeout", "5", "servers"}, out, err), kNoConnection);
  EXPECT_EQ(err.str(), "quorcall: cannot reach 127.0.0.1:" + closed + ": Connection refused\n");
}

TEST_F(QuorCallTest, TheProgramItselfAnswersOnStandardOutput) {
  const std::string command = std::string(QUOR_QUORCALL_EXE) + " --port " +
                              std::to_string(port_->ListeningPort()) +
                              " --progid QuorTest.Echo call Echo s:hi 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  EXPECT_EQ(::pclose(pipe), 0) << output;
  EXPECT_EQ(output, "result: hi\n");

  FILE* help = ::popen((std::string(QUOR_QUORCALL_EXE) + " --help").c_str(), "r");
  ASSERT_NE(help, nullptr);
  std::string usage;
  while (std::fgets(buffer, sizeof buffer, help)) usage += buffer;
  EXPECT_EQ(::pclose(help), 0);
  EXPECT_NE(usage.find("records PROVIDER"), std::string::npos) << usage;
}

}  // namespace
}  // namespace quor::tools
