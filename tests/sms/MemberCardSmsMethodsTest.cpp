// The member-card, SMS and messaging members as clients call them: every
// member by name with its DISPID, a procedure member with in-out and output
// parameters on the test account set, and the three SMS members on the SMS
// service and the modem simulator (a batch of 50 numbers among them).
#include <gtest/gtest.h>

#include "remote/SmsGateway.h"
#include "sms/SMSService.h"
#include "tests/remote/ModuleFixture.h"
#include "tests/sms/ModemTestSupport.h"
#include "tests/sms/PduVectors.h"
#include "tests/support/files/TempFolder.h"

namespace quor::testing {
namespace {

using com::Variant;
using quor::test::Output;
using quor::test::Param;
using quor::test::SqlType;

class MemberCardMembersTest : public ModuleTest {};

struct Member {
  const char* name;
  com::DispId dispId;
};

TEST_F(MemberCardMembersTest, EveryMemberCardAndSmsMemberHasItsDispId) {
  const Member members[] = {
      {"TelSendSmallMessage", 1270},
      {"TelReceSmallMessage", 1271},
      {"TelSendBatchMessage", 1272},
      {"InsertAutoMemberCard", 1026},
      {"InsertMemberCard", 1027},
      {"InsertMemberType", 1028},
      {"DeleteMemberCardInfo", 1058},
      {"QueryMemberCard", 1196},
      {"InsertMemberCardLog", 1326},
      {"QueryMemberCardLog", 1347},
      {"UpdateCardData", 1346},
      {"GetMemberDiscount", 1072},
      {"GetMemberHightLimit", 1079},
      {"GetMemberIntegralSumTo", 30016},
      {"GetVipDayBirthDayValue", 30040},
      {"QueryMemberReport", 1331},
      {"QueryCardTypeWareGrid", 3047},
      {"InsertCardTypeWareGrid", 3048},
      {"QueryCardFreeWareStat", 3049},
      {"QueryCardFreeWareDetail", 3050},
      {"InsertCardFreeWareTable", 3051},
      {"UpdateBillToCard", 3052},
      {"InsertInComingTelegramInfo", 1348},
      {"QueryIncomingTelegramInfo", 1349},
      {"QueryIncomingTelegramStat", 1350},
      {"IncomingTelegramConfig", 1351},
      {"QueryIncomingTelegramConfig", 1352},
      {"QueryBlacklistInfo", 1353},
      {"SaveBlacklist", 1354},
      {"InsertSystemMessage", 3061},
      {"QuerySystemMessage", 3062},
      {"InsertUserLimitApplyBill", 3054},
      {"QueryUserLimitApplyBill", 3055},
      {"InsertSaleService", 1280},
      {"QueryCallService", 1281},
      {"DeleteCallService", 1282},
      {"InsertCRMCallService", 1283},
  };
  EXPECT_EQ(std::size(members), 37u);
  for (const Member& member : members)
    EXPECT_EQ(DispIdOf(member.name), member.dispId) << member.name;
}

TEST_F(MemberCardMembersTest, TheHighLimitComesBackInTheAmountTheCallerSent) {
  accountSet_.Declare(
      {"AAAAAQT",
       {Param("@OperatorID", SqlType::VarChar, 10), Param("@CompanyID", SqlType::VarChar, 10),
        Param("@VIPCardID", SqlType::Int), Param("@dSumTo", SqlType::Float),
        Output(Param("@dLimitSumTo", SqlType::Float)),
        Output(Param("@dSumSumTo", SqlType::Float))}},
      [](const quor::test::ProcedureCall&) {
        quor::test::Reply reply;
        reply.returnStatus = 3;
        reply.outputs["@dLimitSumTo"] = 500.5;
        reply.outputs["@dSumSumTo"] = 120.25;
        return reply;
      });
  OutSlot amount = Out(Variant::R8(88.0), com::VT_R8);
  OutSlot total = Out(Variant::R8(0), com::VT_R8);
  OutSlot result = Out(Variant::I4(0), com::VT_I4);
  const CallResult call =
      Call("GetMemberHightLimit",
           {Variant("00001"), Variant("00002"), Variant::I4(7), amount.ref, total.ref, result.ref});
  ASSERT_EQ(call.hr, com::S_OK) << call.excepInfo.description;
  const quor::test::ProcedureCall sent = accountSet_.LastCall("AAAAAQT");
  EXPECT_EQ(sent["@VIPCardID"], quor::test::Value(7));
  EXPECT_EQ(sent["@dSumTo"].AsDouble(), 88.0);
  EXPECT_EQ(sent["@dLimitSumTo"].AsDouble(), 0.0);
  EXPECT_EQ(sent["@dSumSumTo"].AsDouble(), 0.0);
  EXPECT_EQ(amount.value->GetR8(), 500.5);
  EXPECT_EQ(total.value->GetR8(), 120.25);
  EXPECT_EQ(result.value->GetI4(), 3);
}

TEST_F(MemberCardMembersTest, TheBlacklistSettingTravelsAsItsTableCodeParameter) {
  accountSet_.Declare(
      {"AAAAARI",
       {Param("@OperatorID", SqlType::VarChar, 10), Param("@CompanyID", SqlType::VarChar, 10),
        Param("@IndexID", SqlType::Int), Param("@IncomingConfigID", SqlType::Int),
        Param("@AutoRecord", SqlType::Int), Param("@AAAAABR", SqlType::Int),
        Param("@FilePath", SqlType::VarChar, 200)}},
      [](const quor::test::ProcedureCall&) {
        quor::test::Reply reply;
        reply.returnStatus = -2;
        return reply;
      });
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult call = Call("IncomingTelegramConfig",
                               {Variant("00001"), Variant("00002"), Variant::I4(1), Variant::I4(2),
                                Variant::I4(1), Variant::I4(1), Variant("/var/rec"), nRet.ref});
  ASSERT_EQ(call.hr, com::S_OK) << call.excepInfo.description;
  EXPECT_EQ(accountSet_.LastCall("AAAAARI")["@AAAAABR"], quor::test::Value(1));
  EXPECT_EQ(nRet.value->GetI4(), -2);
}

TEST_F(MemberCardMembersTest, WithoutAnActiveModemTheSmsMembersAnswerFalse) {
  remote::RegisterSmsGateway(nullptr);
  OutSlot content = Out(Variant("stale"));
  const CallResult received = Call("TelReceSmallMessage", {content.ref});
  ASSERT_EQ(received.hr, com::S_OK);
  EXPECT_FALSE(received.value.GetBool());
  EXPECT_EQ(content.value->ToString(), "");
  const CallResult sent = Call("TelSendSmallMessage", {Variant("10086"), Variant("hello")});
  ASSERT_EQ(sent.hr, com::S_OK);
  EXPECT_FALSE(sent.value.GetBool());
  OutSlot list = Out();
  const CallResult batch =
      Call("TelSendBatchMessage", {Variant("10086\r\n10010"), Variant("hello"), list.ref});
  ASSERT_EQ(batch.hr, com::S_OK);
  EXPECT_FALSE(batch.value.GetBool());
}

class SmsMembersTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    service_ = std::make_unique<sms::TSMSService>(folder_.Path() / "MobilePhone.db");
    service_->SetTimings(sms::test::FastTimings());
    service_->Modem().ComPort().SetPort(sim_.DevicePath());
    ASSERT_TRUE(service_->Modem().OpenModem());
    remote::RegisterSmsGateway(service_->Gateway());
  }
  void TearDown() override {
    remote::RegisterSmsGateway(nullptr);
    service_.reset();
  }

  TempFolder folder_;
  quor::test::ModemSimulator sim_;
  std::unique_ptr<sms::TSMSService> service_;
};

TEST_F(SmsMembersTest, OneMessageIsSentThroughTheModem) {
  const CallResult sent = Call("TelSendSmallMessage", {Variant("13912345678"), Variant("你好")});
  ASSERT_EQ(sent.hr, com::S_OK) << sent.excepInfo.description;
  EXPECT_TRUE(sent.value.GetBool());
  EXPECT_EQ(sim_.SubmittedPdus(), std::vector<std::string>{"0011000D91683119325476F800080104"
                                                           "4F60597D"});
}

TEST_F(SmsMembersTest, TheListingGoesToTheClientAndIndexZeroIsDeletedAfterwards) {
  sim_.Store(sms::test::kChineseDeliver);
  OutSlot content = Out();
  const CallResult received = Call("TelReceSmallMessage", {content.ref});
  ASSERT_EQ(received.hr, com::S_OK) << received.excepInfo.description;
  EXPECT_TRUE(received.value.GetBool());
  EXPECT_NE(content.value->ToString().find(std::string("+CMGL: 1,0,,24\r\n") +
                                           sms::test::kChineseDeliver),
            std::string::npos);
  EXPECT_NE(sim_.Received().find("AT+CMGD=0\r"), std::string::npos);
  // The SMS service kept the unread message the client's listing marked read.
  EXPECT_EQ(service_->Store().ListReceived().size(), 1u);
}

TEST_F(SmsMembersTest, ABatchOfFiftyNumbersReportsEachLineAndItsEnd) {
  std::string phones;
  for (int i = 0; i < 50; ++i) phones += "139000000" + std::to_string(10 + i) + "\r\n";
  phones += "\r\n";                              // an empty line: not sent, reported 0
  sim_.ReplyNext("AT+CMGS", "+CMS ERROR: 500");  // the first number fails
  OutSlot list = Out();
  const CallResult batch =
      Call("TelSendBatchMessage", {Variant(phones), Variant("通知"), list.ref});
  ASSERT_EQ(batch.hr, com::S_OK) << batch.excepInfo.description;
  EXPECT_TRUE(batch.value.GetBool());
  std::string expected = "0\r\n";
  for (int i = 1; i < 50; ++i) expected += "1\r\n";
  expected += "0\r\n1\r\n";
  EXPECT_EQ(list.value->ToString(), expected);
  EXPECT_EQ(sim_.SubmittedPdus().size(), 49u);
}

TEST_F(SmsMembersTest, ABatchGivesUpWhenTheModemNeverReportsAndDropsWhatIsLeft) {
  sms::ModemTimings timings = sms::test::FastTimings();
  timings.prompt = std::chrono::seconds(30);  // the send hangs until the modem closes
  timings.batchFirstReport = std::chrono::milliseconds(200);
  service_->SetTimings(timings);
  sim_.SetDead(true);
  OutSlot list = Out();
  const CallResult batch =
      Call("TelSendBatchMessage", {Variant("10086\n10010\n10000"), Variant("hello"), list.ref});
  ASSERT_EQ(batch.hr, com::S_OK) << batch.excepInfo.description;
  EXPECT_TRUE(batch.value.GetBool());
  EXPECT_EQ(list.value->ToString(), "0\r\n0\r\n0\r\n0\r\n");
  service_->Modem().CloseModem();
  const std::string written = sim_.Received();
  EXPECT_EQ(std::count(written.begin(), written.end(), '\x1A'), 0);  // no PDU went out
}

}  // namespace
}  // namespace quor::testing
