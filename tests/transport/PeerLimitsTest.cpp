// What one peer may cost the server, on real sockets: memory that follows the
// bytes a client sent, caps on objects, references and connections answered
// or refused without disturbing anybody else, deadlines for frames, writes
// and call-backs, and the wire rules peers rely on (any reply ends a wait,
// only bits 8..15 are the mark).
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <thread>

#include "platform/com/SafeArray.h"
#include "tests/transport/RawConnection.h"
#include "tests/transport/TestBed.h"
#include "transport/DataBlockInterpreter.h"
#include "transport/DataDispatch.h"
#include "transport/SocketAddress.h"
#include "transport/SocketClient.h"
#include "transport/SocketDispatcher.h"
#include "transport/SocketTransport.h"
#include "transport/TransportError.h"

namespace quor::transport {
namespace {

using namespace std::chrono_literals;
using com::Variant;
using testing::Bytes;
using testing::Frame;
using testing::Hex;
using testing::RawConnection;
using testing::WaitUntil;
using testing::Wire;

std::uint32_t SignatureOf(const Bytes& frame) {
  return frame[0] | (frame[1] << 8) | (frame[2] << 16) |
         (static_cast<std::uint32_t>(frame[3]) << 24);
}

Bytes PayloadOf(const Bytes& frame) {
  return Bytes(frame.begin() + 8, frame.end());
}

// A connected TCP pair on loopback: the server's end and the peer's.
struct SocketPair {
  SocketPair() {
    const std::vector<UniqueFd> listener = ListenOn("127.0.0.1", 0, 1);
    peer = ConnectTo("127.0.0.1", LocalPort(listener.front().Get()), 5s);
    std::string peerAddress;
    server = AcceptFrom(listener.front().Get(), peerAddress);
  }
  void PeerSends(const Bytes& bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t put =
          ::send(peer.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (put <= 0) throw std::runtime_error("send failed");
      sent += static_cast<std::size_t>(put);
    }
  }
  UniqueFd server;
  UniqueFd peer;
};

// Sends the next piece of a frame each time the transport has to wait, and
// notes how much memory the transport holds for the frame at that moment.
class TricklingPeer : public SocketWaiter {
 public:
  TricklingPeer(const SocketPair& pair, std::size_t pieces, std::size_t pieceSize)
      : pair_(pair), pieces_(pieces), pieceSize_(pieceSize) {}

  void WaitReady(int socket, short events, Deadline) override {
    samples.push_back({sent, transport->ReceiveBufferCapacity()});
    if (sent / pieceSize_ >= pieces_) throw ConnectionClosed("the peer stopped sending");
    pair_.PeerSends(Bytes(pieceSize_, 0x11));
    sent += pieceSize_;
    pollfd ready{socket, events, 0};
    ::poll(&ready, 1, 10000);
  }

  struct Sample {
    std::size_t sent;
    std::size_t capacity;
  };
  TSocketTransport* transport = nullptr;
  std::size_t sent = 0;
  std::vector<Sample> samples;

 private:
  const SocketPair& pair_;
  const std::size_t pieces_;
  const std::size_t pieceSize_;
};

TEST(PeerLimitsTest, AFramesBufferFollowsTheBytesThatCameNotTheLengthAnnounced) {
  SocketPair pair;
  TransportOptions options;
  options.maxFrameSize = 64u << 20;
  TricklingPeer peer(pair, /*pieces=*/40, /*pieceSize=*/50000);
  TSocketTransport transport(pair.server.Get(), options, &peer);
  peer.transport = &transport;
  // The header announces the largest frame allowed; 2 MB of it ever comes.
  pair.PeerSends(Wire().U32(0xDA02).U32(64u << 20));
  EXPECT_THROW(transport.Receive(true), ConnectionClosed);
  ASSERT_GE(peer.samples.size(), 30u);
  for (const auto& sample : peer.samples) {
    SCOPED_TRACE("after " + std::to_string(sample.sent) + " payload bytes");
    // Doubling at most, from a first step of 64 KiB.
    EXPECT_LE(sample.capacity, 2 * sample.sent + 2 * 65536 + 8);
  }
  EXPECT_LT(peer.samples.back().capacity, 8u << 20);
  EXPECT_EQ(transport.ReceiveBufferCapacity(), 0u) << "nothing is held after the frame failed";
}

class PeerLimitsPortTest : public ::testing::Test {
 protected:
  void SetUp() override { context_ = bed_.MakeContext(); }

  std::unique_ptr<TSocketDispatcher> OpenPort(const PortSettings& settings) {
    auto port = std::make_unique<TSocketDispatcher>(context_);
    PortSettings onAnyPort = settings;
    onAnyPort.port = 0;
    port->SetSettings(onAnyPort);
    port->Open();
    return port;
  }

  std::unique_ptr<SocketClient> Connect(const TSocketDispatcher& port,
                                        SocketClientOptions options = {}) {
    options.replyTimeout = 20s;
    return std::make_unique<SocketClient>("127.0.0.1", port.ListeningPort(), std::move(options));
  }

  // An echo object made through the raw connection: its index.
  static std::int32_t CreateEcho(RawConnection& raw) {
    raw.Send(Frame(0xDA04, Wire().Str(u"QuorTest.Echo")));
    const std::optional<Bytes> reply = raw.ReadFrame();
    if (!reply || SignatureOf(*reply) != 0xDB04) throw std::runtime_error("no echo object");
    const Bytes payload = PayloadOf(*reply);
    return static_cast<std::int32_t>(payload[4] | (payload[5] << 8) | (payload[6] << 16) |
                                     (payload[7] << 24));
  }

  // Reads frames until a reply comes; the server's own requests before it
  // (frees of objects the client lent) are counted.
  static std::optional<Bytes> ReadReply(RawConnection& raw, std::size_t* requests = nullptr) {
    for (;;) {
      std::optional<Bytes> frame = raw.ReadFrame();
      if (!frame || (SignatureOf(*frame) & 0xDB00) == 0xDB00) return frame;
      if (requests) ++*requests;
    }
  }

  testing::TestBed bed_;
  std::shared_ptr<TransportContext> context_;
};

TEST_F(PeerLimitsPortTest, ObjectsBeyondMaxObjectsAreRefusedAndFreeingMakesRoom) {
  PortSettings settings;
  settings.maxObjects = 3;
  auto port = OpenPort(settings);
  auto client = Connect(*port);
  std::vector<com::DispatchPtr> held;
  for (int i = 0; i < 3; ++i) held.push_back(client->CreateObject("QuorTest.Echo"));
  try {
    client->CreateObject("QuorTest.Echo");
    ADD_FAILURE() << "a fourth object was created";
  } catch (const RemoteError& error) {
    EXPECT_STREQ(error.what(), "Too many objects for one connection (MaxObjects 3)");
  }
  EXPECT_EQ(client->Call(held[2], "Echo", {Variant::I4(3)}), Variant::I4(3));
  held.pop_back();  // the free travels ahead of the next request
  const com::DispatchPtr again = client->CreateObject("QuorTest.Echo");
  EXPECT_EQ(client->Call(again, "Echo", {Variant::I4(4)}), Variant::I4(4));
}

TEST_F(PeerLimitsPortTest, AFloodOfReferencesInOneFrameIsAnsweredAndCostsOnlyTheCap) {
  context_->maxFrameSize = 16u << 20;
  PortSettings settings;
  settings.maxReferences = 100;
  auto port = OpenPort(settings);
  RawConnection raw(port->ListeningPort());
  const std::int32_t echo = CreateEcho(raw);
  // Echo(Value) with an array of a million object references.
  constexpr std::uint32_t kReferences = 1'000'000;
  Wire request;
  request.Int(echo).Int(1).Int(1).Bool(true).Int(1).Int(0);
  request.U32(0x2009).U32(1).U32(0).U32(kReferences - 1);
  for (std::uint32_t i = 0; i < kReferences; ++i) request.U32(9).U32(i);
  raw.Send(Frame(0xDA02, request));
  std::size_t frees = 0;
  const std::optional<Bytes> reply = ReadReply(raw, &frees);
  ASSERT_TRUE(reply);
  EXPECT_EQ(Hex(*reply),
            Hex(Frame(0xDB01, Wire().Str(u"Too many object references in one data block "
                                         u"(MaxReferences 100)"))));
  EXPECT_EQ(frees, 100u) << "each proxy made before the cap tells the client to free its object";
  raw.Send(Frame(0xDA10, {}));
  const std::optional<Bytes> list = ReadReply(raw);
  ASSERT_TRUE(list);
  EXPECT_EQ(SignatureOf(*list), 0xDB10u) << "the connection goes on";
}

// A send link that swallows what the interpreter sends and counts the frees.
class CountingLink : public ISendDataBlock {
 public:
  std::optional<TDataBlock> SendBlock(TDataBlock& block, bool) override {
    if ((block.Signature() & 0xFF) == actFreeObject) ++frees;
    return std::nullopt;
  }
  std::size_t frees = 0;
};

TEST(PeerLimitsInterpreterTest, ReleasingManyProxiesCostsConstantTimeEach) {
  CountingLink link;
  TDataBlockInterpreter interpreter(link, nullptr, "");
  constexpr std::uint32_t kReferences = 300'000;
  Wire wire;
  wire.U32(0x2009).U32(1).U32(0).U32(kReferences - 1);
  for (std::uint32_t i = 0; i < kReferences; ++i) wire.U32(9).U32(i);
  TDataBlock block = testing::BlockOf(0xDA02, wire);
  {
    const ReadValueResult read = interpreter.ReadValue(block);
    EXPECT_EQ(read.value.GetArray().ElementCount(), kReferences);
    EXPECT_EQ(interpreter.ProxyCount(), kReferences);
  }
  // With a list that is searched on every release this takes minutes.
  EXPECT_EQ(interpreter.ProxyCount(), 0u);
  EXPECT_EQ(link.frees, kReferences);
}

TEST_F(PeerLimitsPortTest, AConnectionBeyondMaxConnectionsIsClosedAndTheOthersGoOn) {
  PortSettings settings;
  settings.maxConnections = 2;
  auto port = OpenPort(settings);
  auto first = Connect(*port);
  auto second = Connect(*port);
  const com::DispatchPtr echo1 = first->CreateObject("QuorTest.Echo");
  const com::DispatchPtr echo2 = second->CreateObject("QuorTest.Echo");

  RawConnection third(port->ListeningPort());
  EXPECT_TRUE(third.WaitClosed(5s)) << "one connection too many is closed at once";
  EXPECT_EQ(port->RefusedCount(), 1u);
  EXPECT_EQ(first->Call(echo1, "Echo", {Variant::I4(1)}), Variant::I4(1));
  EXPECT_EQ(second->Call(echo2, "Echo", {Variant::I4(2)}), Variant::I4(2));

  second.reset();
  ASSERT_TRUE(WaitUntil([&] { return port->ConnectionCount() == 1; }));
  auto fourth = Connect(*port);
  const com::DispatchPtr echo4 = fourth->CreateObject("QuorTest.Echo");
  EXPECT_EQ(fourth->Call(echo4, "Echo", {Variant::I4(4)}), Variant::I4(4))
      << "a place that came free is taken again";
}

TEST_F(PeerLimitsPortTest, AFrameTrickledSlowerThanFrameTimeoutIsDropped) {
  PortSettings settings;
  settings.timeout = 0;  // never idle: only the frame's own deadline applies
  settings.frameTimeout = 300ms;
  auto port = OpenPort(settings);
  auto good = Connect(*port);
  const com::DispatchPtr echo = good->CreateObject("QuorTest.Echo");

  RawConnection slow(port->ListeningPort());
  slow.Send(Wire().U32(0xDA10).U32(1000));
  const auto start = std::chrono::steady_clock::now();
  bool closed = false;
  // One byte every 50 ms would take 50 s for the whole frame.
  for (int i = 0; i < 200 && !closed; ++i) {
    slow.Send(Bytes(1, 0));
    closed = slow.WaitClosed(50ms);
  }
  EXPECT_TRUE(closed);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
  EXPECT_EQ(good->Call(echo, "Echo", {Variant::I4(8)}), Variant::I4(8));
}

TEST_F(PeerLimitsPortTest, AClientThatNeverReadsItsRepliesIsDroppedAfterWriteTimeout) {
  PortSettings settings;
  settings.writeTimeout = 300ms;
  auto port = OpenPort(settings);
  auto good = Connect(*port);
  const com::DispatchPtr goodEcho = good->CreateObject("QuorTest.Echo");
  ASSERT_TRUE(WaitUntil([&] { return port->ConnectionCount() == 1; }));
  {
    RawConnection deaf(port->ListeningPort());
    const std::int32_t echo = CreateEcho(deaf);
    // Asks for 4 MB a time and reads none of it.
    const Bytes request =
        Frame(0xDA02, Wire().Int(echo).Int(7).Int(1).Bool(true).Int(1).Int(0).Int(4 << 20));
    for (int i = 0; i < 8; ++i) deaf.Send(request);
    ASSERT_TRUE(WaitUntil([&] { return port->ConnectionCount() == 2; }));
    EXPECT_TRUE(WaitUntil([&] { return port->ConnectionCount() == 1; }, 20s))
        << "the thread serving the deaf client gave up";
  }
  EXPECT_EQ(good->Call(goodEcho, "Echo", {Variant::I4(9)}), Variant::I4(9));
}

TEST_F(PeerLimitsPortTest, ACallBackTakingLongerThanTheIdleTimeoutCompletes) {
  PortSettings settings;
  settings.timeout = 2;  // 120 ms with the test bed's minutes
  auto port = OpenPort(settings);
  auto client = Connect(*port);
  const com::DispatchPtr echo = client->CreateObject("QuorTest.Echo");
  auto doubler = std::make_shared<testing::Doubler>();
  doubler->delay = 600ms;
  EXPECT_EQ(client->Call(echo, "CallBack", {Variant::Dispatch(doubler), Variant::I4(21)}),
            Variant::I4(42));
  EXPECT_EQ(client->Call(echo, "Echo", {Variant::I4(5)}), Variant::I4(5));
}

TEST_F(PeerLimitsPortTest, AProxyReleasedOnAnotherThreadIsFreedByTheConnectionsThread) {
  auto port = OpenPort(PortSettings{});
  auto client = Connect(*port);
  const com::DispatchPtr echo = client->CreateObject("QuorTest.Echo");
  client->Call(echo, "Hold", {Variant::Dispatch(std::make_shared<testing::Doubler>())});
  ASSERT_EQ(client->Interpreter().Objects().ObjectCount(), 1u);
  client->Call(echo, "ReleaseElsewhere", {});
  // The free is sent between blocks by the connection's own thread; it
  // reaches the client ahead of the next reply.
  client->Call(echo, "Echo", {Variant::I4(1)});
  EXPECT_EQ(client->Interpreter().Objects().ObjectCount(), 0u);
}

TEST_F(PeerLimitsPortTest, OnlyBitsEightToFifteenOfTheSignatureAreTheMark) {
  auto port = OpenPort(PortSettings{});
  RawConnection raw(port->ListeningPort());
  raw.Send(Frame(0x7F01DA10, {}));
  const std::optional<Bytes> list = raw.ReadFrame();
  ASSERT_TRUE(list);
  EXPECT_EQ(SignatureOf(*list), 0xDB10u);
}

// The server calls back into an object the raw client lent (index 0); the
// client answers the server's requests as the test says.
TEST_F(PeerLimitsPortTest, AnyReplyAnswersTheServersCallAndAnErrorReplyFailsOnlyThatCall) {
  auto port = OpenPort(PortSettings{});
  RawConnection raw(port->ListeningPort());
  const std::int32_t echo = CreateEcho(raw);
  // CallBack(Target, Value): dispatch order puts Value first.
  const Bytes callBack =
      Frame(0xDA02, Wire().Int(echo).Int(5).Int(1).Bool(true).Int(2).Int(0).Int(21).U32(9).U32(0));

  raw.Send(callBack);
  std::optional<Bytes> lookup = raw.ReadFrame();
  ASSERT_TRUE(lookup);
  EXPECT_EQ(SignatureOf(*lookup), 0xDA03u);
  raw.Send(Frame(0xDB01, Wire().Str(u"the client has no such object")));
  std::optional<Bytes> failed = ReadReply(raw);
  ASSERT_TRUE(failed);
  EXPECT_EQ(SignatureOf(*failed), 0xDB02u);
  EXPECT_EQ(Hex(Bytes(failed->begin() + 8, failed->begin() + 16)),
            Hex(Wire().Int(static_cast<std::int32_t>(com::DISP_E_EXCEPTION))))
      << "the member failed; the connection did not";

  raw.Send(callBack);
  lookup = raw.ReadFrame();
  // A free of the first proxy may come first.
  while (lookup && SignatureOf(*lookup) == 0xDA05) lookup = raw.ReadFrame();
  ASSERT_TRUE(lookup);
  ASSERT_EQ(SignatureOf(*lookup), 0xDA03u);
  // Answered with another reply action than the request's: still the answer.
  raw.Send(Frame(0xDB02, Wire().Int(0).Int(1)));
  const std::optional<Bytes> invoke = raw.ReadFrame();
  ASSERT_TRUE(invoke);
  ASSERT_EQ(SignatureOf(*invoke), 0xDA02u);
  raw.Send(Frame(0xDB03, Wire().Int(0).Int(42)));
  const std::optional<Bytes> answer = ReadReply(raw);
  ASSERT_TRUE(answer);
  EXPECT_EQ(Hex(*answer), Hex(Frame(0xDB02, Wire().Int(0).Int(42))));
}

}  // namespace
}  // namespace quor::transport
