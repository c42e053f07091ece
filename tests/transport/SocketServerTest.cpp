// A port on loopback served by real connection threads, driven by the
// transport's own client and by raw sockets: calls with by-reference
// arguments, a call back into an object the client lent, the thread cache,
// the idle timeout, closing a port, several ports from the settings store,
// the frame limit and the interceptor.
#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/com/SafeArray.h"
#include "tests/transport/RawConnection.h"
#include "tests/transport/TestBed.h"
#include "transport/DataDispatch.h"
#include "transport/Protocol.h"
#include "transport/SocketClient.h"
#include "transport/SocketDispatcher.h"
#include "transport/SocketPortList.h"
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

// The rows a transport window would show, kept as they arrive.
class RowLog : public ConnectionObserver {
 public:
  void AddConnectionRow(const ConnectionRow& row) override {
    std::lock_guard lock(mutex_);
    added_.push_back(row);
  }
  void RemoveConnectionRow(const ConnectionRow& row) override {
    std::lock_guard lock(mutex_);
    removed_.push_back(row);
  }
  std::vector<ConnectionRow> Added() const {
    std::lock_guard lock(mutex_);
    return added_;
  }
  std::vector<ConnectionRow> Removed() const {
    std::lock_guard lock(mutex_);
    return removed_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<ConnectionRow> added_;
  std::vector<ConnectionRow> removed_;
};

class SocketServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baselineThreads_ = testing::ThreadsInProcess();
    context_ = bed_.MakeContext();
    context_->observer = rows_;
  }

  std::unique_ptr<TSocketDispatcher> OpenPort(int threadCacheSize = 10, int timeout = 0,
                                              std::string interceptGuid = {}) {
    auto dispatcher = std::make_unique<TSocketDispatcher>(context_);
    dispatcher->SetSettings({0, threadCacheSize, std::move(interceptGuid), timeout});
    dispatcher->Open();
    return dispatcher;
  }

  std::unique_ptr<SocketClient> Connect(const TSocketDispatcher& port,
                                        SocketClientOptions options = {}) {
    options.replyTimeout = 20s;
    return std::make_unique<SocketClient>("127.0.0.1", port.ListeningPort(), std::move(options));
  }

  testing::TestBed bed_;
  std::shared_ptr<TransportContext> context_;
  std::shared_ptr<RowLog> rows_ = std::make_shared<RowLog>();
  std::size_t baselineThreads_ = 0;
};

TEST_F(SocketServerTest, ClientCreatesAnObjectAndCallsItWithByReferenceArguments) {
  auto port = OpenPort();
  auto client = Connect(*port);
  const com::DispatchPtr echo = client->CreateObject("QuorTest.Echo");

  EXPECT_EQ(client->Call(echo, "Echo", {Variant::String("螺丝 ok")}), Variant::String("螺丝 ok"));
  std::vector<std::uint8_t> packet(1 << 20);
  for (std::size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<std::uint8_t>(i * 7);
  EXPECT_EQ(client->Call(echo, "Echo", {Variant::Bytes(packet)}), Variant::Bytes(packet));

  auto number = std::make_shared<Variant>(Variant::I4(41));
  client->Call(echo, "AddOne", {Variant::ByRef(number, com::VT_I4)});
  EXPECT_EQ(*number, Variant::I4(42));

  auto greeting = std::make_shared<Variant>();
  EXPECT_EQ(client->Call(echo, "Greet", {Variant::String("Li"), Variant::ByRef(greeting)}),
            Variant::I4(0));
  EXPECT_EQ(*greeting, Variant::String("Hello, Li"));

  com::SafeArray values(com::VT_VARIANT, {{1, 2}, {0, 2}});
  values.Put({1, 0}, Variant::I4(1));
  values.Put({1, 1}, Variant::R8(2.5));
  values.Put({2, 0}, Variant::String("3"));
  values.Put({2, 1}, Variant::Bool(false));
  EXPECT_EQ(client->Call(echo, "Sum", {Variant::Array(values)}), Variant::R8(6.5));

  try {
    client->Call(echo, "Fail", {});
    ADD_FAILURE() << "no failure";
  } catch (const com::HResultError& error) {
    EXPECT_EQ(error.Code(), testing::kEchoFailureCode);
    EXPECT_STREQ(error.what(), testing::kEchoFailureText);
  }
  try {
    client->CreateObject("QuorTest.Unmarked");
    ADD_FAILURE() << "created";
  } catch (const RemoteError& error) {
    EXPECT_STREQ(error.what(), "Object not available: {6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405163}");
  }
  EXPECT_EQ(client->Interpreter().RemoteListServers().GetArray().ElementCount(), 3u);
  EXPECT_EQ(client->Interpreter().RemoteListAppServers().GetArray().ElementCount(), 3u);
}

TEST_F(SocketServerTest, ServerCallsBackIntoAnObjectTheClientLentWhileTheClientWaits) {
  auto port = OpenPort();
  auto client = Connect(*port);
  com::DispatchPtr echo = client->CreateObject("QuorTest.Echo");
  auto doubler = std::make_shared<testing::Doubler>();

  EXPECT_EQ(client->Call(echo, "CallBack", {Variant::Dispatch(doubler), Variant::I4(21)}),
            Variant::I4(42));
  EXPECT_EQ(doubler->calls, 1);
  EXPECT_EQ(doubler->lastThread.load(), std::this_thread::get_id())
      << "the nested request runs inside the client's own wait";

  // The server lets go of its proxy after the call; the free arrives before
  // the next reply.
  client->Call(echo, "Echo", {Variant::I4(1)});
  EXPECT_EQ(client->Interpreter().Objects().ObjectCount(), 0u);

  // Kept by a server object, the client's object stays lent until the
  // server's object itself is freed.
  client->Call(echo, "Hold", {Variant::Dispatch(doubler)});
  client->Call(echo, "Echo", {Variant::I4(1)});
  EXPECT_EQ(client->Interpreter().Objects().ObjectCount(), 1u);
  const com::DispatchPtr second = client->CreateObject("QuorTest.Echo");
  const std::size_t liveBefore = testing::LiveEchoObjects();
  echo.reset();
  client->Call(second, "Echo", {Variant::I4(1)});
  EXPECT_EQ(testing::LiveEchoObjects(), liveBefore - 1);
  EXPECT_EQ(client->Interpreter().Objects().ObjectCount(), 0u);
}

TEST_F(SocketServerTest, ACallBackFromAnotherServerThreadFailsInsteadOfCorruptingTheStream) {
  auto port = OpenPort();
  auto client = Connect(*port);
  const com::DispatchPtr echo = client->CreateObject("QuorTest.Echo");
  auto doubler = std::make_shared<testing::Doubler>();
  EXPECT_EQ(client->Call(echo, "CallBackElsewhere", {Variant::Dispatch(doubler), Variant::I4(2)}),
            Variant::I4(RPC_E_WRONG_THREAD));
  EXPECT_EQ(doubler->calls, 0);
  EXPECT_EQ(client->Call(echo, "CallBack", {Variant::Dispatch(doubler), Variant::I4(2)}),
            Variant::I4(4));
}

TEST_F(SocketServerTest, ObjectsAndLentProxiesGoWithTheConnection) {
  auto port = OpenPort();
  const std::size_t liveBefore = testing::LiveEchoObjects();
  {
    auto client = Connect(*port);
    const com::DispatchPtr echo = client->CreateObject("QuorTest.Echo");
    client->Call(echo, "Hold", {Variant::Dispatch(std::make_shared<testing::Doubler>())});
    const com::DispatchPtr second = client->CreateObject("QuorTest.Echo");
    EXPECT_EQ(testing::LiveEchoObjects(), liveBefore + 2);
  }
  ASSERT_TRUE(WaitUntil([&] { return rows_->Removed().size() == 1; }));
  EXPECT_EQ(testing::LiveEchoObjects(), liveBefore);
}

TEST_F(SocketServerTest, AParkedThreadServesTheNextConnectionAndMeasuresIdlenessAfresh) {
  auto port = OpenPort(/*threadCacheSize=*/10, /*timeout=*/0);
  {
    auto first = Connect(*port);
    first->CreateObject("QuorTest.Echo");
  }
  // The row goes before the thread parks; no connection left means parked.
  ASSERT_TRUE(
      WaitUntil([&] { return rows_->Removed().size() == 1 && port->ConnectionCount() == 0; }));
  EXPECT_EQ(port->ThreadCount(), 1u) << "the thread stays parked";
  std::this_thread::sleep_for(50ms);  // so that a stale LastActivity would show

  const auto beforeSecond = std::chrono::system_clock::now();
  auto second = Connect(*port);
  const com::DispatchPtr echo = second->CreateObject("QuorTest.Echo");
  ASSERT_TRUE(WaitUntil([&] { return rows_->Added().size() == 2; }));
  const std::vector<ConnectionRow> added = rows_->Added();
  EXPECT_EQ(added[1].threadId, added[0].threadId);
  EXPECT_NE(added[1].connectionId, added[0].connectionId);
  EXPECT_GE(added[1].lastActivity, beforeSecond);
  EXPECT_EQ(port->ThreadCount(), 1u);
  const std::vector<ConnectionRow> now = port->Connections();
  ASSERT_EQ(now.size(), 1u);
  EXPECT_GE(now[0].lastActivity, beforeSecond);
  EXPECT_EQ(now[0].localPort, port->ListeningPort());
  EXPECT_EQ(now[0].remoteAddress, "127.0.0.1");
}

TEST_F(SocketServerTest, BeyondTheCacheSizeFinishedThreadsEnd) {
  auto port = OpenPort(/*threadCacheSize=*/1);
  auto first = Connect(*port);
  auto second = Connect(*port);
  first->CreateObject("QuorTest.Echo");
  second->CreateObject("QuorTest.Echo");
  EXPECT_EQ(port->ThreadCount(), 2u);
  second.reset();
  ASSERT_TRUE(WaitUntil([&] { return port->ThreadCount() == 1; }))
      << "the second thread was not to be kept";
  first.reset();
  ASSERT_TRUE(WaitUntil([&] { return rows_->Removed().size() == 2; }));
  EXPECT_EQ(port->ThreadCount(), 1u) << "the first thread parks";
}

TEST_F(SocketServerTest, AConnectionSilentForLongerThanItsTimeoutIsDropped) {
  // Timeout 2 with 60 ms minutes: dropped after 120 ms of silence.
  auto port = OpenPort(10, /*timeout=*/2);
  const auto start = std::chrono::steady_clock::now();
  RawConnection silent(port->ListeningPort());
  auto busy = Connect(*port);
  const com::DispatchPtr echo = busy->CreateObject("QuorTest.Echo");
  // The busy client speaks every 40 ms while the silent one is waited for.
  bool closed = false;
  for (int call = 0; call < 250 && !closed; ++call) {
    EXPECT_EQ(busy->Call(echo, "Echo", {Variant::I4(call)}), Variant::I4(call)) << "call " << call;
    closed = silent.WaitClosed(40ms);
  }
  ASSERT_TRUE(closed);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 120ms);
  EXPECT_EQ(busy->Call(echo, "Echo", {Variant::I4(-1)}), Variant::I4(-1));
}

TEST_F(SocketServerTest, WithoutATimeoutASilentConnectionStays) {
  auto port = OpenPort(10, /*timeout=*/0);
  RawConnection silent(port->ListeningPort());
  ASSERT_TRUE(WaitUntil([&] { return port->ConnectionCount() == 1; }));
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(silent.StillOpen());
  EXPECT_EQ(port->ConnectionCount(), 1u);
}

TEST_F(SocketServerTest, ClosingAPortEndsItsConnectionsAndParkedThreadsFirst) {
  auto port = OpenPort();
  const std::uint16_t number = port->ListeningPort();
  {
    auto parked = Connect(*port);
    parked->CreateObject("QuorTest.Echo");
  }
  // The row goes before the thread parks; no connection left means parked.
  ASSERT_TRUE(
      WaitUntil([&] { return rows_->Removed().size() == 1 && port->ConnectionCount() == 0; }));
  auto one = Connect(*port);
  RawConnection two(number);
  RawConnection three(number);
  one->CreateObject("QuorTest.Echo");
  ASSERT_TRUE(WaitUntil([&] { return port->ConnectionCount() == 3; }));
  EXPECT_EQ(port->ThreadCount(), 3u) << "the parked thread was reused";

  port->Close();
  EXPECT_EQ(port->ThreadCount(), 0u);
  EXPECT_EQ(rows_->Removed().size(), 4u) << "every row went before Close returned";
  EXPECT_TRUE(two.WaitClosed(1s));
  EXPECT_TRUE(three.WaitClosed(1s));
  EXPECT_THROW(one->CreateObject("QuorTest.Echo"), std::exception);
  EXPECT_THROW(RawConnection{number}, std::system_error) << "nobody listens any more";
  EXPECT_EQ(testing::ThreadsInProcess(), baselineThreads_);
}

TEST_F(SocketServerTest, DisconnectingARowClosesThatConnectionOnly) {
  auto port = OpenPort();
  auto kept = Connect(*port);
  const com::DispatchPtr echo = kept->CreateObject("QuorTest.Echo");
  RawConnection dropped(port->ListeningPort());
  ASSERT_TRUE(WaitUntil([&] { return rows_->Added().size() == 2; }));
  EXPECT_TRUE(port->Disconnect(rows_->Added()[1].connectionId));
  EXPECT_TRUE(dropped.WaitClosed(5s));
  EXPECT_EQ(kept->Call(echo, "Echo", {Variant::I4(3)}), Variant::I4(3));
  EXPECT_FALSE(port->Disconnect(999999));
}

TEST_F(SocketServerTest, PostedWorkRunsOnTheConnectionsOwnThreadWhileItIsIdle) {
  auto port = OpenPort();
  auto client = Connect(*port);
  const com::DispatchPtr echo = client->CreateObject("QuorTest.Echo");
  const Variant apartment = client->Call(echo, "ThreadTag", {});
  ASSERT_TRUE(WaitUntil([&] { return port->Connections().size() == 1; }));
  std::mutex mutex;
  std::condition_variable done;
  std::optional<std::int32_t> ranOn;
  ASSERT_TRUE(port->Post(port->Connections()[0].connectionId, [&] {
    std::lock_guard lock(mutex);
    ranOn = testing::CurrentThreadTag();
    done.notify_all();
  }));
  std::unique_lock lock(mutex);
  ASSERT_TRUE(done.wait_for(lock, 10s, [&] { return ranOn.has_value(); }));
  EXPECT_EQ(Variant::I4(*ranOn), apartment);
}

TEST_F(SocketServerTest, AFrameAboveTheLimitDropsThatConnectionAndNoOther) {
  context_->maxFrameSize = 1024;
  auto port = OpenPort();
  auto good = Connect(*port);
  const com::DispatchPtr echo = good->CreateObject("QuorTest.Echo");

  RawConnection atLimit(port->ListeningPort());
  atLimit.Send(Frame(0xDA05, Wire().Int(7).Raw(Bytes(1024 - 8, 0))));
  atLimit.Send(Frame(0xDA10, {}));
  const std::optional<Bytes> list = atLimit.ReadFrame();
  ASSERT_TRUE(list) << "a frame of exactly the limit is served";
  EXPECT_EQ((*list)[0] | ((*list)[1] << 8), 0xDB10);

  RawConnection oversized(port->ListeningPort());
  oversized.Send(Wire().U32(0xDA02).U32(1025).Raw(Bytes(1025, 0)));
  Bytes received;
  ASSERT_TRUE(oversized.WaitClosed(10s, &received));
  if (!received.empty()) {
    EXPECT_EQ(Hex(received),
              Hex(Frame(0xDB01, Wire().Str(u"Data block of 1025 bytes exceeds the limit of "
                                           u"1024 bytes"))));
  }
  EXPECT_EQ(good->Call(echo, "Echo", {Variant::I4(5)}), Variant::I4(5));
  EXPECT_TRUE(atLimit.StillOpen());
}

TEST_F(SocketServerTest, AnInterceptorOnThePortRewritesEveryBlockBothWays) {
  auto port = OpenPort(10, 0, testing::kXorClassId);
  SocketClientOptions options;
  options.interceptGuid = testing::kXorClassId;
  options.classes = bed_.Classes();
  auto matching = Connect(*port, options);
  const com::DispatchPtr echo = matching->CreateObject("QuorTest.Echo");
  EXPECT_EQ(matching->Call(echo, "Echo", {Variant::String("scrambled")}),
            Variant::String("scrambled"));

  // A client without it: its request is read scrambled, and the answer
  // comes back scrambled.
  RawConnection plain(port->ListeningPort());
  plain.Send(Frame(0xDA04, Wire().Str(u"QuorTest.Echo")));
  const std::optional<Bytes> reply = plain.ReadFrame();
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[0] | ((*reply)[1] << 8), 0xDB01);
  Bytes payload(reply->begin() + 8, reply->end());
  for (auto& byte : payload) byte ^= 0x5A;
  EXPECT_EQ(Hex(payload), Hex(Wire().Str(u"Unsupported variant type: 5A5A5A52")));
}

TEST_F(SocketServerTest, AnInterceptorThatCannotBeCreatedLeavesThePortPlain) {
  auto port = OpenPort(10, 0, "{00000000-0000-0000-0000-00000000BEEF}");
  auto client = Connect(*port);
  const com::DispatchPtr echo = client->CreateObject("QuorTest.Echo");
  EXPECT_EQ(client->Call(echo, "Echo", {Variant::I4(9)}), Variant::I4(9));
}

TEST_F(SocketServerTest, PortsComeFromTheSettingsStoreAndABusyPortDoesNotStopTheOthers) {
  const std::uint16_t first = testing::FreeLoopbackPort();
  const std::uint16_t second = testing::FreeLoopbackPort();
  // A port somebody else holds.
  auto squatter = std::make_unique<TSocketDispatcher>(context_);
  squatter->SetSettings({0, 0, "", 0});
  squatter->Open();
  const int busy = squatter->ListeningPort();

  registry::Registry& store = bed_.Store();
  const std::string key = kSocketServerKey;
  store.WriteInteger(key + "\\Settings", "RegisteredOnly", 0);
  store.WriteInteger(key + "\\" + std::to_string(first), "ThreadCacheSize", 3);
  store.WriteInteger(key + "\\" + std::to_string(first), "Timeout", 0);
  store.WriteInteger(key + "\\" + std::to_string(busy), "Timeout", 5);
  store.WriteInteger(key + "\\" + std::to_string(second), "ThreadCacheSize", 7);
  store.WriteInteger(key + "\\" + std::to_string(second), "Timeout", 2000);

  SocketPortList ports(context_, store);
  const std::vector<std::string> failures = ports.LoadAllSettings();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0], "没有正确配置网络或打开端口（" + std::to_string(busy) +
                             " ）出错: Address already in use");
  ASSERT_EQ(ports.Dispatchers().size(), 3u);
  EXPECT_FALSE(ports.RegisteredOnly());
  int open = 0;
  for (const auto& dispatcher : ports.Dispatchers()) {
    if (!dispatcher->Active()) continue;
    ++open;
    auto client = Connect(*dispatcher);
    // RegisteredOnly off: the unmarked class may be created.
    const com::DispatchPtr echo = client->CreateObject("QuorTest.Unmarked");
    EXPECT_EQ(client->Call(echo, "Echo", {Variant::I4(open)}), Variant::I4(open));
  }
  EXPECT_EQ(open, 2);
  std::map<int, PortSettings> byPort;
  for (const auto& dispatcher : ports.Dispatchers()) {
    byPort[dispatcher->Settings().port] = dispatcher->Settings();
  }
  EXPECT_EQ(byPort[first], (PortSettings{first, 3, "", 0}));
  EXPECT_EQ(byPort[second], (PortSettings{second, 7, "", 2000}));
  EXPECT_EQ(byPort[busy], (PortSettings{busy, 100, "", 5}));
  ports.CloseAll();
  squatter->Close();
}

}  // namespace
}  // namespace quor::transport
