// Each action of the interpreter, fed request frames written byte by byte and
// compared with the reply frames it sends: creation with and without the
// "Sockets" check, name lookup, invoke with by-reference arguments and
// exceptions, freeing, the server lists, and the error replies' texts.
#include "transport/DataBlockInterpreter.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "tests/transport/TestBed.h"
#include "tests/transport/WireBytes.h"
#include "transport/Protocol.h"
#include "transport/TransportError.h"

namespace quor::transport {
namespace {

using testing::Bytes;
using testing::Frame;
using testing::Hex;
using testing::Wire;

// The connection side of an interpreter that only answers: every block it
// sends is kept.
class RecordingLink : public ISendDataBlock {
 public:
  std::optional<TDataBlock> SendBlock(TDataBlock& block, bool waitForResult) override {
    sent.push_back(testing::BytesOf(block));
    waited.push_back(waitForResult);
    return std::nullopt;
  }
  std::vector<Bytes> sent;
  std::vector<bool> waited;
};

class InterpreterTest : public ::testing::Test {
 protected:
  // The frames sent in answer to one request.
  std::vector<Bytes> Send(std::uint32_t signature, const Bytes& payload) {
    const std::size_t before = link_.sent.size();
    TDataBlock block = testing::BlockOf(signature, payload);
    interpreter_.InterpretBlock(block);
    for (std::size_t i = before; i < link_.waited.size(); ++i) EXPECT_FALSE(link_.waited[i]);
    return {link_.sent.begin() + static_cast<std::ptrdiff_t>(before), link_.sent.end()};
  }

  // One reply frame expected.
  Bytes Reply(std::uint32_t signature, const Bytes& payload) {
    std::vector<Bytes> replies = Send(signature, payload);
    EXPECT_EQ(replies.size(), 1u);
    return replies.empty() ? Bytes{} : replies.front();
  }

  std::int32_t Create(const std::u16string& name) {
    const Bytes reply = Reply(0xDA04, Wire().Str(name));
    EXPECT_EQ(reply.size(), 16u) << Hex(reply);
    if (reply.size() != 16) return -1;
    EXPECT_EQ(Hex(Bytes(reply.begin(), reply.begin() + 12)), Hex(Wire().U32(0xDB04).U32(8).U32(9)));
    return static_cast<std::int32_t>(reply[12] | (reply[13] << 8));
  }

  static Bytes ErrorReply(const std::u16string& text) { return Frame(0xDB01, Wire().Str(text)); }

  testing::TestBed bed_;
  RecordingLink link_;
  TDataBlockInterpreter interpreter_{link_, bed_.Classes(), kSocketsCheckValue};
};

TEST_F(InterpreterTest, CreateObjectByProgIdOrClassIdAnswersAnObjectReference) {
  EXPECT_EQ(Create(u"QuorTest.Echo"), 0);
  EXPECT_EQ(Create(u"quortest.echo"), 1);
  EXPECT_EQ(Create(u"{6a1f0c3e-5b2d-4e7a-9c11-0d2e3f405161}"), 2);
  EXPECT_EQ(interpreter_.Objects().ObjectCount(), 3u);
}

TEST_F(InterpreterTest, CreateObjectFailuresAreAnsweredWithTheirTexts) {
  struct Case {
    const char* name;
    std::u16string request;
    std::u16string text;
  };
  const Case cases[] = {
      {"class without the Sockets mark", u"QuorTest.Unmarked",
       u"Object not available: {6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405163}"},
      {"class id without the mark", u"{6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405163}",
       u"Object not available: {6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405163}"},
      {"class id nobody registered", u"{00000000-0000-0000-0000-0000000000AB}",
       u"Object not available: {00000000-0000-0000-0000-0000000000AB}"},
      {"unknown ProgID", u"Nope.Nothing", u"Class not registered: Nope.Nothing"},
      {"creator that fails", u"QuorTest.Broken", u"the test class cannot be created"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Hex(Reply(0xDA04, Wire().Str(c.request))), Hex(ErrorReply(c.text)));
  }
  EXPECT_EQ(interpreter_.Objects().ObjectCount(), 0u);
}

TEST_F(InterpreterTest, WithoutTheCheckUnmarkedClassesAreCreated) {
  TDataBlockInterpreter unchecked(link_, bed_.Classes(), "");
  TDataBlock block = testing::BlockOf(0xDA04, Wire().Str(u"QuorTest.Unmarked"));
  unchecked.InterpretBlock(block);
  ASSERT_EQ(link_.sent.size(), 1u);
  EXPECT_EQ(Hex(link_.sent[0]), Hex(Frame(0xDB04, Wire().U32(9).U32(0))));
}

TEST_F(InterpreterTest, GetIdsAnswersStatusAndTheDispidOnlyOnSuccess) {
  const std::int32_t echo = Create(u"QuorTest.Echo");
  EXPECT_EQ(Hex(Reply(0xDA03, Wire().Int(echo).Str(u"addone"))),
            Hex(Frame(0xDB03, Wire().Int(0).Int(2))));
  EXPECT_EQ(Hex(Reply(0xDA03, Wire().Int(echo).Str(u"Missing"))),
            Hex(Frame(0xDB03, Wire().Int(static_cast<std::int32_t>(0x80020006)))));
}

TEST_F(InterpreterTest, InvokeSendsByReferenceArgumentsBackAfterTheStatus) {
  const std::int32_t echo = Create(u"QuorTest.Echo");
  // AddOne(Number: 0x4003 5), result wanted.
  EXPECT_EQ(Hex(Reply(0xDA02,
                      Wire().Int(echo).Int(2).Int(1).Bool(true).Int(1).Int(0).U32(0x4003).U32(5))),
            Hex(Frame(0xDB02, Wire().Int(0).U32(0x4003).U32(6).U32(0))));
  // Greet("Li", out Greeting as a by-reference variant), dispatch order: last first.
  EXPECT_EQ(
      Hex(Reply(
          0xDA02,
          Wire().Int(echo).Int(3).Int(1).Bool(true).Int(2).Int(0).U32(0x4000).U32(0).Str(u"Li"))),
      Hex(Frame(0xDB02, Wire().Int(0).U32(0x4000).Str(u"Hello, Li").Int(0))));
  // Echo(7) without a result wanted: only the status.
  EXPECT_EQ(Hex(Reply(0xDA02, Wire().Int(echo).Int(1).Int(1).Bool(false).Int(1).Int(0).Int(7))),
            Hex(Frame(0xDB02, Wire().Int(0))));
}

TEST_F(InterpreterTest, InvokeReportsExceptionsAndFailingStatusesInTheReply) {
  const std::int32_t echo = Create(u"QuorTest.Echo");
  EXPECT_EQ(Hex(Reply(0xDA02, Wire().Int(echo).Int(4).Int(1).Bool(true).Int(0).Int(0))),
            Hex(Frame(0xDB02, Wire()
                                  .Int(static_cast<std::int32_t>(0x80020009))
                                  .Int(testing::kEchoFailureCode)
                                  .Str(u"echo failed on purpose")
                                  .U32(0))));
  EXPECT_EQ(Hex(Reply(0xDA02, Wire().Int(echo).Int(99).Int(1).Bool(false).Int(0).Int(0))),
            Hex(Frame(0xDB02, Wire().Int(static_cast<std::int32_t>(0x80020003)))));
}

TEST_F(InterpreterTest, RequestsThatCannotBeServedAreAnsweredAsErrors) {
  const std::int32_t echo = Create(u"QuorTest.Echo");
  struct Case {
    const char* name;
    std::uint32_t signature;
    Bytes payload;
    std::u16string text;
  };
  const Case cases[] = {
      {"unknown action", 0xDA77, {}, u"Invalid action received: 119"},
      {"action 0 with a reply mark", 0xDB00, {}, u"Invalid action received: 0"},
      {"invoke on an index never handed out", 0xDA02,
       Wire().Int(42).Int(1).Int(1).Bool(false).Int(0).Int(0), u"Invalid object index: 42"},
      {"get ids on a negative index", 0xDA03, Wire().Int(-1).Str(u"Echo"),
       u"Invalid object index: -1"},
      {"invoke with a truncated argument", 0xDA02,
       Wire().Int(echo).Int(1).Int(1).Bool(false).Int(1).Int(0).U32(3).U16(1),
       u"Invalid data packet"},
      {"invoke with more arguments than bytes", 0xDA02,
       Wire().Int(echo).Int(1).Int(1).Bool(false).Int(100000).Int(0), u"Invalid data packet"},
      {"invoke with more named than positional arguments", 0xDA02,
       Wire().Int(echo).Int(1).Int(1).Bool(false).Int(0).Int(1).Int(5), u"Invalid data packet"},
      {"invoke with an unsupported argument", 0xDA02,
       Wire().Int(echo).Int(1).Int(1).Bool(false).Int(1).Int(0).U32(0x14).U64(1),
       u"Unsupported variant type: 0014"},
      {"create with no name", 0xDA04, {}, u"Invalid data packet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Hex(Reply(c.signature, c.payload)), Hex(ErrorReply(c.text)));
  }
  // The connection's objects are untouched by all of it.
  EXPECT_EQ(Hex(Reply(0xDA02, Wire().Int(echo).Int(1).Int(1).Bool(true).Int(1).Int(0).Int(5))),
            Hex(Frame(0xDB02, Wire().Int(0).Int(5))));
}

TEST_F(InterpreterTest, FreeObjectNeverAnswersAndReleasesTheObject) {
  const std::size_t liveBefore = testing::LiveEchoObjects();
  const std::int32_t echo = Create(u"QuorTest.Echo");
  EXPECT_EQ(testing::LiveEchoObjects(), liveBefore + 1);
  for (std::int32_t bad : {-1, 7, 1000}) EXPECT_TRUE(Send(0xDA05, Wire().Int(bad)).empty());
  EXPECT_TRUE(Send(0xDA05, Wire().U16(1)).empty()) << "a malformed index is swallowed too";
  EXPECT_EQ(testing::LiveEchoObjects(), liveBefore + 1);
  EXPECT_TRUE(Send(0xDA05, Wire().Int(echo)).empty());
  EXPECT_EQ(testing::LiveEchoObjects(), liveBefore);
  EXPECT_EQ(Hex(Reply(0xDA03, Wire().Int(echo).Str(u"Echo"))),
            Hex(ErrorReply(u"Invalid object index: 0")));
}

TEST_F(InterpreterTest, ObjectIndicesGrowPastElevenAndReuseFreedSlots) {
  for (std::int32_t i = 0; i <= 10; ++i) EXPECT_EQ(Create(u"QuorTest.Echo"), i);
  EXPECT_EQ(interpreter_.Objects().HighBound(), 10);
  EXPECT_EQ(Create(u"QuorTest.Echo"), 11);
  EXPECT_EQ(interpreter_.Objects().HighBound(), 21);
  Send(0xDA05, Wire().Int(3));
  EXPECT_EQ(Create(u"QuorTest.Echo"), 3);
}

TEST_F(InterpreterTest, ServerListsHoldTheMarkedProgIdsOrEverythingWithoutTheCheck) {
  const Bytes marked = Wire()
                           .U32(0x2008)
                           .U32(1)
                           .U32(0)
                           .U32(2)
                           .Str(u"QuorTest.Echo")
                           .Str(u"QuorTest.Provider")
                           .Str(u"QuorTest.Broken");
  EXPECT_EQ(Hex(Reply(0xDA10, {})), Hex(Frame(0xDB10, marked)));
  EXPECT_EQ(Hex(Reply(0xDA12, {})), Hex(Frame(0xDB12, marked)));

  TDataBlockInterpreter unchecked(link_, bed_.Classes(), "");
  TDataBlock block = testing::BlockOf(0xDA10, {});
  unchecked.InterpretBlock(block);
  const Bytes all = Wire()
                        .U32(0x2008)
                        .U32(1)
                        .U32(0)
                        .U32(4)
                        .Str(u"QuorTest.Echo")
                        .Str(u"QuorTest.Provider")
                        .Str(u"QuorTest.Unmarked")
                        .Str(u"QuorTest.Broken")
                        .Str(u"QuorTest.XorIntercept");
  EXPECT_EQ(Hex(link_.sent.back()), Hex(Frame(0xDB10, all)));
}

TEST_F(InterpreterTest, AnEmptyServerListIsNull) {
  TDataBlockInterpreter bare(link_, nullptr, kSocketsCheckValue);
  TDataBlock block = testing::BlockOf(0xDA12, {});
  bare.InterpretBlock(block);
  EXPECT_EQ(Hex(link_.sent.back()), Hex(Frame(0xDB12, Wire().U32(1))));
}

TEST_F(InterpreterTest, AnErrorBlockFromThePeerIsRaisedUnanswered) {
  TDataBlock block = testing::BlockOf(0xDB01, Wire().Str(u"client says no"));
  try {
    interpreter_.InterpretBlock(block);
    ADD_FAILURE() << "not raised";
  } catch (const RemoteError& error) {
    EXPECT_STREQ(error.what(), "client says no");
  }
  EXPECT_TRUE(link_.sent.empty());
}

class CustomInterpreter : public TDataBlockInterpreter {
 public:
  using TDataBlockInterpreter::TDataBlockInterpreter;
  bool HandleCustomAction(std::uint8_t action, TDataBlock& block) override {
    if (action != 0x40) return false;
    block.ResetBlock();
    WriteValue(com::Variant::String("custom"), block);
    block.SetSignature(sigResult | action);
    SendLink().SendBlock(block, false);
    return true;
  }
};

TEST_F(InterpreterTest, CustomActionsAreOfferedToTheHookBeforeBeingRefused) {
  RecordingLink link;
  CustomInterpreter custom(link, bed_.Classes(), "");
  TDataBlock handled = testing::BlockOf(0xDA40, {});
  custom.InterpretBlock(handled);
  TDataBlock refused = testing::BlockOf(0xDA41, {});
  custom.InterpretBlock(refused);
  ASSERT_EQ(link.sent.size(), 2u);
  EXPECT_EQ(Hex(link.sent[0]), Hex(Frame(0xDB40, Wire().Str(u"custom"))));
  EXPECT_EQ(Hex(link.sent[1]), Hex(ErrorReply(u"Invalid action received: 65")));
}

}  // namespace
}  // namespace quor::transport
