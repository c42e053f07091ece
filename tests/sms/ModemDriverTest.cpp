#include <atomic>
#include <future>
#include <thread>

#include "sms/ModemLineReader.h"
#include "tests/sms/ModemTestSupport.h"
#include "tests/sms/PduVectors.h"

namespace quor::sms::test {
namespace {

using std::chrono::milliseconds;

std::size_t CountOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST_F(ModemFixture, OpeningSendsTheInitialisationSequenceByteForByte) {
  ASSERT_TRUE(modem_.OpenModem());
  EXPECT_TRUE(modem_.Active());
  EXPECT_EQ(sim_.Received(),
            "AT\rAT\rATE0L1V0&C1&D2S0=1S7=20\rAT+CMGF=0\rAT+CNMI=3,1,0,0,1\rAT+CMGL=4\r");
}

TEST_F(ModemFixture, AModemThatNeverAnswersFailsAfterThreeAttemptsAndClosesThePort) {
  sim_.SetDead(true);
  ModemTimings timings = FastTimings();
  timings.openReply = milliseconds(50);
  modem_.SetTimings(timings);
  EXPECT_FALSE(modem_.OpenModem());
  EXPECT_FALSE(modem_.Active());
  EXPECT_FALSE(modem_.ComPort().Connected());
  EXPECT_EQ(CountOf(sim_.Received(), "AT+CMGF=0\r"), 3u);
  EXPECT_FALSE(modem_.SendSMS("10086", "hello"));
}

TEST_F(ModemFixture, AMessageIsSentAsItsSubmitPdu) {
  ASSERT_TRUE(modem_.OpenModem());
  EXPECT_TRUE(modem_.SendSMS("13912345678", "你好"));
  const std::vector<std::string> pdus = sim_.SubmittedPdus();
  ASSERT_EQ(pdus.size(), 1u);
  EXPECT_EQ(pdus[0],
            "0011000D91683119325476F800080104"
            "4F60597D");
  EXPECT_NE(sim_.Received().find("AT+CMGS=019\r"), std::string::npos);
}

TEST_F(ModemFixture, ALongTextGoesInPartsEachWithItsEvents) {
  std::vector<std::string> events;
  modem_.OnBeforeSendSMS = [&](const TSMSItem& item) {
    events.push_back("before " + item.MsgText);
  };
  modem_.OnAfterSendSMS = [&](const TSMSItem& item, bool ok) {
    events.push_back(std::string(ok ? "sent " : "failed ") + item.MsgText);
  };
  ASSERT_TRUE(modem_.OpenModem());
  const std::string text = std::string(70, 'a') + "b";
  EXPECT_TRUE(modem_.SendSMS("10086", text));
  EXPECT_EQ(sim_.SubmittedPdus().size(), 2u);
  const std::string first(70, 'a');
  EXPECT_EQ(events,
            (std::vector<std::string>{"before " + first, "sent " + first, "before b", "sent b"}));
}

struct SendFault {
  const char* name;
  std::function<void(quor::test::ModemSimulator&)> arrange;
};

TEST_F(ModemFixture, AFailedSendIsReportedAndTheNextSendStillWorks) {
  const SendFault faults[] = {
      {"ERROR to the command", [](auto& sim) { sim.ReplyNext("AT+CMGS", "ERROR"); }},
      {"+CMS ERROR to the command", [](auto& sim) { sim.ReplyNext("AT+CMGS", "+CMS ERROR: 500"); }},
      {"no prompt", [](auto& sim) { sim.SilenceNext("AT+CMGS"); }},
      {"slow prompt", [](auto& sim) { sim.DelayNext("AT+CMGS", milliseconds(600)); }},
  };
  ASSERT_TRUE(modem_.OpenModem());
  for (const SendFault& fault : faults) {
    fault.arrange(sim_);
    EXPECT_FALSE(modem_.SendSMS("10086", "hello")) << fault.name;
    EXPECT_TRUE(modem_.SendSMS("10086", "hello")) << fault.name;
  }
  // A prompt that never came leaves the modem waiting for a PDU: ESC ends that.
  EXPECT_GE(CountOf(sim_.Received(), "\x1B"), 2u);
}

TEST_F(ModemFixture, ANetworkRefusalOfThePduFailsThePartAtOnce) {
  ASSERT_TRUE(modem_.OpenModem());
  // A wrong length in AT+CMGS makes the simulator answer +CMS ERROR 304 after the PDU.
  EXPECT_FALSE(modem_.SendSMS("1391234567a", "hello"));  // refused before the modem
  EXPECT_TRUE(sim_.SubmittedPdus().empty());
  EXPECT_EQ(sim_.Received().find("AT+CMGS"), std::string::npos);
}

TEST_F(ModemFixture, AnIndicatedMessageIsReadHandedOnAndDeletedOnceKept) {
  ASSERT_TRUE(modem_.OpenModem());
  for (bool crOnly : {false, true}) {
    const std::size_t before = Received().size();
    const int index = sim_.Deliver(kChineseDeliver, crOnly);
    ASSERT_TRUE(WaitReceived(before + 1)) << crOnly;
    const TSMSItem item = Received().back();
    EXPECT_EQ(item.MsgIndex, index);
    EXPECT_EQ(item.SenderNumber, "13912345678");
    EXPECT_EQ(item.MsgText, "你好");
    EXPECT_EQ(item.CentreTime, "2024-03-15 10:30:45");
    EXPECT_EQ(item.MsgStatus, 1);
    EXPECT_TRUE(sim_.WaitUntil([&] { return sim_.Sim().empty(); })) << crOnly;
  }
}

TEST_F(ModemFixture, AMessageTheHandlerDidNotKeepStaysOnTheSim) {
  keep_ = false;
  ASSERT_TRUE(modem_.OpenModem());
  const int index = sim_.Deliver(kChineseDeliver);
  ASSERT_TRUE(WaitReceived(1));
  // The driver's next command shows that it went on without deleting.
  EXPECT_TRUE(modem_.SendSMS("10086", "hello"));
  EXPECT_TRUE(sim_.Sim().contains(index));
  EXPECT_EQ(sim_.Received().find("AT+CMGD="), std::string::npos);
}

TEST_F(ModemFixture, AnIndicationDuringASendDoesNotFailItAndIsReadAfterwards) {
  ASSERT_TRUE(modem_.OpenModem());
  const int index = sim_.Store(kSevenSeptetDeliver);
  sim_.InjectDuringNextSend("\r\n+CMTI: \"SM\"," + std::to_string(index) + "\r\n");
  EXPECT_TRUE(modem_.SendSMS("10086", "hello"));
  ASSERT_TRUE(WaitReceived(1));
  EXPECT_EQ(Received()[0].MsgText, "abcdefg");
  EXPECT_EQ(Received()[0].SenderNumber, "+14155552671");
}

TEST_F(ModemFixture, OpeningHandsOnUnreadMessagesAndClearsTheSim) {
  sim_.Store(kChineseDeliver);
  sim_.Store(kEightBitDeliver, 1);  // already read: deleted, not handed on
  sim_.Store("ZZ");                 // unreadable: stays
  ASSERT_TRUE(modem_.OpenModem());
  ASSERT_EQ(Received().size(), 1u);
  EXPECT_EQ(Received()[0].MsgText, "你好");
  const auto sim = sim_.Sim();
  ASSERT_EQ(sim.size(), 1u);
  EXPECT_EQ(sim.begin()->second.pdu, "ZZ");
}

TEST_F(ModemFixture, AClientsListingDoesNotHideUnreadMessagesFromTheHandler) {
  ASSERT_TRUE(modem_.OpenModem());
  sim_.Store(kChineseDeliver);  // no indication
  std::string reply;
  ASSERT_TRUE(modem_.ListSMS(4, reply));
  EXPECT_NE(reply.find("+CMGL: 1,0,,"), std::string::npos);
  EXPECT_EQ(reply.substr(reply.size() - 2), "0\r");
  ASSERT_TRUE(WaitReceived(1));
  EXPECT_EQ(Received()[0].MsgText, "你好");
}

TEST_F(ModemFixture, AnEmptyListingIsASuccess) {
  ASSERT_TRUE(modem_.OpenModem());
  std::string reply;
  EXPECT_TRUE(modem_.ListSMS(4, reply));
  EXPECT_EQ(reply, "0\r");
  EXPECT_FALSE(modem_.DeleteSMS(-1));
  EXPECT_FALSE(modem_.DeleteSMS(0));  // the simulator's SIM starts at 1
  EXPECT_TRUE(modem_.DeleteSMS(3));
}

TEST_F(ModemFixture, AHandlerAnswersThroughTheModemDirectly) {
  modem_.OnReceiveSMS = [this](const TSMSItem& item) {
    const bool sent = modem_.SendSMS(item.SenderNumber, "re: " + item.MsgText);
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(item);
    changed_.notify_all();
    return sent;
  };
  ASSERT_TRUE(modem_.OpenModem());
  sim_.Deliver(kChineseDeliver);
  ASSERT_TRUE(WaitReceived(1));
  ASSERT_TRUE(sim_.WaitUntil([&] { return sim_.SubmittedPdus().size() == 1; }));
  EXPECT_EQ(sim_.SubmittedPdus()[0].substr(0, 30), "0011000D91683119325476F8000801");
}

TEST_F(ModemFixture, GarbageAndPartialLinesFromTheModemAreSkipped) {
  ASSERT_TRUE(modem_.OpenModem());
  sim_.Emit(std::string("\x01\x02\xFFgarbage\r+CMTI: \"SM\"\r\n+CMTI: \"SM\",x\r\n+CM", 38));
  EXPECT_TRUE(modem_.SendSMS("10086", "hello"));
  std::string reply;
  EXPECT_TRUE(modem_.ListSMS(4, reply));
  EXPECT_TRUE(Received().empty());
}

TEST_F(ModemFixture, ClosingFailsWaitingCallersAndJoinsTheWorker) {
  ModemTimings timings = FastTimings();
  timings.prompt = std::chrono::seconds(60);  // the close, not the time-out, must end it
  modem_.SetTimings(timings);
  ASSERT_TRUE(modem_.OpenModem());
  sim_.SilenceNext("AT+CMGS");
  auto first = std::async(std::launch::async, [&] { return modem_.SendSMS("10086", "one"); });
  ASSERT_TRUE(sim_.WaitUntil([&] { return sim_.Received().find("AT+CMGS") != std::string::npos; }));
  modem_.CloseModem();
  EXPECT_FALSE(first.get());
  EXPECT_FALSE(modem_.Active());
  EXPECT_FALSE(modem_.ComPort().Connected());
  EXPECT_FALSE(modem_.SendSMS("10086", "two"));
}

TEST_F(ModemFixture, AnUnpluggedModemClosesAndReportsIt) {
  std::promise<void> lost;
  modem_.OnModemLost = [&] { lost.set_value(); };
  ASSERT_TRUE(modem_.OpenModem());
  sim_.Unplug();
  ASSERT_EQ(lost.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_FALSE(modem_.Active());
  EXPECT_FALSE(modem_.SendSMS("10086", "hello"));
}

TEST_F(ModemFixture, AFullTaskListRefusesWithoutTouchingTheModem) {
  ModemTimings timings = FastTimings();
  timings.prompt = std::chrono::seconds(60);  // the first send holds the worker until the close
  modem_.SetTimings(timings);
  modem_.SetTaskCapacity(1);
  ASSERT_TRUE(modem_.OpenModem());
  sim_.SilenceNext("AT+CMGS");
  auto first = std::async(std::launch::async, [&] { return modem_.SendSMS("10086", "one"); });
  ASSERT_TRUE(sim_.WaitUntil([&] { return sim_.Received().find("AT+CMGS") != std::string::npos; }));
  // The first task runs; one queued task fills the list.
  TSMSItem item;
  item.DestNumber = "10086";
  item.MsgText = "two";
  std::promise<bool> queued;
  EXPECT_TRUE(modem_.QueueSend(item, 0, [&](const TSMSItem&, bool ok) { queued.set_value(ok); }));
  EXPECT_FALSE(modem_.QueueSend(item, 0, nullptr));
  EXPECT_FALSE(modem_.SendSMS("10086", "three"));
  modem_.CloseModem();
  EXPECT_FALSE(first.get());
  EXPECT_FALSE(queued.get_future().get());  // failed by the close, never sent
  EXPECT_EQ(CountOf(sim_.Received(), "AT+CMGS"), 1u);
}

TEST_F(ModemFixture, AtTheCleanupHourTheSimIsListedAndHandledThenTheNextHourIsPlanned) {
  std::atomic<int> hour{9};
  modem_.SetHourSource([&] { return hour.load(); });
  EXPECT_EQ(modem_.NextCleanupHour(), 12);
  std::promise<void> cleaned;
  modem_.OnAfterTimingDelSMS = [&] { cleaned.set_value(); };
  ASSERT_TRUE(modem_.OpenModem());
  sim_.Store(kChineseDeliver);  // arrived without an indication
  hour = 12;
  ASSERT_EQ(cleaned.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  ASSERT_EQ(Received().size(), 1u);
  EXPECT_EQ(Received()[0].MsgText, "你好");
  EXPECT_TRUE(sim_.WaitUntil([&] { return sim_.Sim().empty(); }));
  EXPECT_EQ(modem_.NextCleanupHour(), 0);
  modem_.CloseModem();  // the hour source and promise end with this test
}

TEST(ModemLines, IndicationsAndResultCodesAreRecognised) {
  EXPECT_EQ(NoticeIndex("+CMTI: \"SM\",7"), 7);
  EXPECT_EQ(NoticeIndex("+CMTI: \"SM\",12"), 12);
  EXPECT_EQ(NoticeIndex("+CMTI: \"SM\",123"), 123);
  EXPECT_EQ(NoticeIndex("+CMTI: \"SM\""), -1);
  EXPECT_EQ(ClassifyModemLine("0"), ModemLineKind::kOk);
  EXPECT_EQ(ClassifyModemLine("4"), ModemLineKind::kError);
  EXPECT_EQ(ClassifyModemLine("+CMS ERROR: 500"), ModemLineKind::kError);
  EXPECT_EQ(ClassifyModemLine("+CMGS: 12"), ModemLineKind::kInfo);
  ModemLineReader reader;
  std::string lines;
  for (char c : std::string("\r\n> ")) {
    if (reader.Push(c) == ModemLineReader::Event::kPrompt) lines += "[prompt]";
  }
  for (char c : std::string("+CMTI: \"SM\",3\r0\r")) {
    if (reader.Push(c) == ModemLineReader::Event::kLine) lines += "[" + reader.Line() + "]";
  }
  EXPECT_EQ(lines, "[prompt][+CMTI: \"SM\",3][0]");
}

TEST(ModemCleanup, TheNextCleanupHourFollowsTheInterval) {
  EXPECT_EQ(NextCleanupHour(9, 12), 12);
  EXPECT_EQ(NextCleanupHour(12, 12), 0);
  EXPECT_EQ(NextCleanupHour(23, 1), 0);
  EXPECT_EQ(NextCleanupHour(5, 24), 0);
  TSMSComm modem;
  EXPECT_THROW(modem.SetDelSMSInteval(0), std::invalid_argument);
  EXPECT_THROW(modem.SetDelSMSInteval(25), std::invalid_argument);
}

}  // namespace
}  // namespace quor::sms::test
