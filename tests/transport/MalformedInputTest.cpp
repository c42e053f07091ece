// Broken and hostile input on a live port: every case is either answered as
// the protocol says or drops that one connection, while the server keeps
// serving others promptly and no thread is left behind.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "tests/transport/RawConnection.h"
#include "tests/transport/TestBed.h"
#include "transport/SocketClient.h"
#include "transport/SocketDispatcher.h"

namespace quor::transport {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::Frame;
using testing::Hex;
using testing::RawConnection;
using testing::Wire;

enum class Outcome { kAnswered, kDropped };

// Counts connections that have ended on the server.
class EndedConnections : public ConnectionObserver {
 public:
  void AddConnectionRow(const ConnectionRow&) override {}
  void RemoveConnectionRow(const ConnectionRow&) override { ++count; }
  std::atomic<std::size_t> count{0};
};

struct InputCase {
  const char* name;
  Bytes input;
  Outcome outcome;
  std::u16string errorText;  // for kAnswered: the error reply's text
  // What the client does after sending (nothing, close, reset).
  std::function<void(RawConnection&)> after;
};

Bytes Deep(std::uint32_t wrapper, int levels) {
  Wire wire;
  wire.Int(0).Int(1).Int(1).Bool(false).Int(1).Int(0);
  for (int i = 0; i < levels; ++i) {
    if (wrapper == 0x4000) {
      wire.U32(0x4000);
    } else {
      wire.U32(0x200C).U32(1).U32(0).U32(0);
    }
  }
  return Frame(0xDA02, wire.Int(1));
}

std::vector<InputCase> Cases() {
  const auto close = [](RawConnection& raw) { raw.Close(); };
  const auto reset = [](RawConnection& raw) { raw.Abort(); };
  return {
      {"text instead of frames",
       {'G', 'E', 'T', ' ', '/', '\r', '\n', '\r', '\n', 0, 0, 0},
       Outcome::kDropped,
       u"",
       {}},
      {"mark 0xDC00", Frame(0xDC02, Wire().Int(1)), Outcome::kDropped, u"", {}},
      {"negative length", Wire().U32(0xDA10).U32(0x80000000), Outcome::kDropped, u"", {}},
      {"length beyond the frame limit",
       Wire().U32(0xDA10).U32(0x7FFFFFFF),
       Outcome::kDropped,
       u"",
       {}},
      {"header cut short, then closed", Wire().U32(0xDA10).U16(0), Outcome::kDropped, u"", close},
      {"payload cut short, then closed", Wire().U32(0xDA04).U32(100).U32(8), Outcome::kDropped, u"",
       close},
      {"payload cut short, then silence",
       Wire().U32(0xDA04).U32(100).U32(8),
       Outcome::kDropped,
       u"",
       {}},
      {"request followed by a reset", Frame(0xDA04, Wire().Str(u"QuorTest.Echo")),
       Outcome::kDropped, u"", reset},
      {"an error block as a request",
       Frame(0xDB01, Wire().Str(u"boom")),
       Outcome::kDropped,
       u"",
       {}},
      {"an error block without its text", Frame(0xDA01, {}), Outcome::kDropped, u"", {}},
      {"unknown action",
       Frame(0xDA77, {}),
       Outcome::kAnswered,
       u"Invalid action received: 119",
       {}},
      {"unsolicited reply", Frame(0xDB02, {}), Outcome::kAnswered, u"Invalid data packet", {}},
      {"empty invoke", Frame(0xDA02, {}), Outcome::kAnswered, u"Invalid data packet", {}},
      {"create naming an interface pointer",
       Frame(0xDA04, Wire().U32(13)),
       Outcome::kAnswered,
       u"Unsupported variant type: 000D",
       {}},
      {"create naming a 64-bit integer",
       Frame(0xDA04, Wire().U32(20).U64(5)),
       Outcome::kAnswered,
       u"Unsupported variant type: 0014",
       {}},
      {"invoke with a by-reference object",
       Frame(0xDA02, Wire().Int(0).Int(1).Int(1).Bool(false).Int(1).Int(0).U32(0x4009).U32(0)),
       Outcome::kAnswered,
       u"Unsupported variant type: 4009",
       {}},
      {"invoke with huge array bounds",
       Frame(0xDA02, Wire()
                         .Int(0)
                         .Int(1)
                         .Int(1)
                         .Bool(false)
                         .Int(1)
                         .Int(0)
                         .U32(0x2011)
                         .U32(1)
                         .U32(0)
                         .U32(0x7FFFFFFE)
                         .U32(4)
                         .U32(0)),
       Outcome::kAnswered,
       u"Invalid data packet",
       {}},
      {"invoke with arrays nested without end",
       Deep(0x200C, 5000),
       Outcome::kAnswered,
       u"Invalid data packet",
       {}},
      {"invoke with references nested without end",
       Deep(0x4000, 5000),
       Outcome::kAnswered,
       u"Invalid data packet",
       {}},
      {"string longer than its frame",
       Frame(0xDA04, Wire().U32(8).U32(0x7FFFFFFF).U16(65)),
       Outcome::kAnswered,
       u"Invalid data packet",
       {}},
      {"string of broken UTF-16",
       Frame(0xDA04, Wire().U32(8).U32(1).U16(0xDC00)),
       Outcome::kAnswered,
       u"",
       {}},
  };
}

class MalformedInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = testing::ThreadsInProcess();
    context_ = bed_.MakeContext();
    context_->maxFrameSize = 1 << 20;
    context_->observer = ended_;
    port_ = std::make_unique<TSocketDispatcher>(context_);
    PortSettings settings{0, 10, "", 3};
    // A client that stalls inside a frame goes after this.
    settings.frameTimeout = 300ms;
    port_->SetSettings(settings);
    port_->Open();
  }

  // A well-behaved client is served promptly whatever happened before.
  void ExpectServed(const char* after) {
    SocketClientOptions options;
    options.replyTimeout = 10s;
    SocketClient client("127.0.0.1", port_->ListeningPort(), options);
    const com::DispatchPtr echo = client.CreateObject("QuorTest.Echo");
    EXPECT_EQ(client.Call(echo, "Echo", {com::Variant::I4(7)}), com::Variant::I4(7))
        << "after " << after;
  }

  testing::TestBed bed_;
  std::shared_ptr<TransportContext> context_;
  std::unique_ptr<TSocketDispatcher> port_;
  std::shared_ptr<EndedConnections> ended_ = std::make_shared<EndedConnections>();
  std::size_t baseline_ = 0;
};

TEST_F(MalformedInputTest, EveryInputIsAnsweredOrDropsOnlyItsOwnConnection) {
  std::size_t connections = 0;
  for (const InputCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    {
      RawConnection raw(port_->ListeningPort());
      raw.Send(c.input);
      if (c.after) c.after(raw);
      if (c.outcome == Outcome::kDropped) {
        if (!c.after) {
          Bytes received;
          EXPECT_TRUE(raw.WaitClosed(10s, &received));
          if (c.input.size() >= 8 && c.input[7] == 0x7F) {
            // Only a refused frame length is explained before the drop.
            EXPECT_TRUE(received.empty() || received[0] == 0x01) << Hex(received);
          } else {
            EXPECT_TRUE(received.empty()) << Hex(received);
          }
        }
      } else {
        const std::optional<Bytes> reply = raw.ReadFrame();
        ASSERT_TRUE(reply);
        if (c.errorText.empty()) {
          EXPECT_EQ((*reply)[0] | ((*reply)[1] << 8), 0xDB01) << Hex(*reply);
        } else {
          EXPECT_EQ(Hex(*reply), Hex(Frame(0xDB01, Wire().Str(c.errorText))));
        }
        // The connection is still good for a proper request.
        raw.Send(Frame(0xDA10, {}));
        const std::optional<Bytes> list = raw.ReadFrame();
        ASSERT_TRUE(list);
        EXPECT_EQ((*list)[0] | ((*list)[1] << 8), 0xDB10);
      }
    }
    // Each connection has ended on the server before the next one comes, so
    // the one parked thread can take it.
    // The row goes before the thread parks; no connection left means parked.
    const auto parked = [&] {
      return ended_->count == connections && port_->ConnectionCount() == 0;
    };
    connections += 1;
    ASSERT_TRUE(testing::WaitUntil(parked));
    ExpectServed(c.name);
    connections += 1;
    ASSERT_TRUE(testing::WaitUntil(parked));
  }
  // One connection at a time: the one parked thread served every case.
  EXPECT_EQ(port_->ThreadCount(), 1u);
  port_->Close();
  EXPECT_EQ(testing::ThreadsInProcess(), baseline_);
}

TEST_F(MalformedInputTest, ManyClientsVanishingMidRequestLeaveNoThreadBehind) {
  std::vector<std::thread> clients;
  for (int i = 0; i < 8; ++i) {
    clients.emplace_back([this, i] {
      for (int round = 0; round < 5; ++round) {
        RawConnection raw(port_->ListeningPort());
        raw.Send(Wire().U32(0xDA04).U32(64).U32(8).U32(static_cast<std::uint32_t>(i)));
        if (round % 2 == 0) {
          raw.Abort();
        } else {
          raw.Close();
        }
      }
    });
  }
  for (std::thread& client : clients) client.join();
  ExpectServed("the crowd left");
  EXPECT_TRUE(testing::WaitUntil([&] { return port_->ConnectionCount() == 0; }));
  EXPECT_TRUE(testing::WaitUntil([&] { return port_->ThreadCount() <= 10; }))
      << port_->ThreadCount() << " threads stay; the cache keeps 10";
  port_->Close();
  EXPECT_EQ(testing::ThreadsInProcess(), baseline_);
}

}  // namespace
}  // namespace quor::transport
