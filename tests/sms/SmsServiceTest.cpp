// The SMS service on the modem simulator, with its local database in a
// temporary folder and the account set on the SQL Server stand-in: ordinary
// messages are stored, command messages from permitted phones are answered
// from the account set, others are refused, and the console's table edits.
#include <gtest/gtest.h>

#include <regex>

#include "ServerPublic/ConfigStore.h"
#include "sms/Pdu.h"
#include "sms/SMSService.h"
#include "sms/SmsCommands.h"
#include "tests/sms/ModemTestSupport.h"
#include "tests/sms/PduVectors.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/Declare.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::sms::test {
namespace {

using quor::test::Col;
using quor::test::SqlType;

// The UTF-8 text of a submitted PDU.
std::string SubmittedText(const std::string& pdu) {
  TSMSItem item;
  EXPECT_TRUE(DecodeStoredPdu(pdu, item)) << pdu;
  return item.MsgText;
}

class SmsServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetConfigCacheForTests();
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    server_.AddLogin("sa", "Secret#1");
    server_.AddDatabase("SmsData");
    // The goods statement answers for the code it is given as a parameter.
    server_.OnStatementMatching(
        std::regex(".*FROM GOODS.*"), [this](const quor::test::StatementCall& call) {
          std::lock_guard<std::mutex> lock(mutex_);
          statements_.push_back(call);
          quor::test::ResultSet rows{
              {Col("LongName", SqlType::NVarChar, 50), Col("TotalValue", SqlType::Float)}, {}};
          if (!call.params.empty() && call.params[0].value.AsText() == "A01") {
            rows.rows.push_back({"长城润滑油", 12.5});
          }
          if (!call.params.empty() && call.params[0].value.AsText() == "B02") {
            rows.rows.push_back({"刹车片", 3.0});
          }
          quor::test::Reply reply;
          reply.resultSets.push_back(rows);
          return reply;
        });
    service_ = std::make_unique<TSMSService>(folder_.Path() / "Data" / "MobilePhone.db");
    service_->SetTimings(FastTimings());
    sql::ConnectionSettings accountSet;
    accountSet.dataSource = "127.0.0.1," + std::to_string(server_.Port());
    accountSet.initialCatalog = "SmsData";
    accountSet.userId = "sa";
    accountSet.password = "Secret#1";
    accountSet.connectTimeoutSeconds = 5;
    service_->SetAccountSetConnection(accountSet);
    SmsSettings settings;
    settings.port = sim_.DevicePath();
    settings.database = "SmsData";
    settings.autoStart = true;
    service_->Start(settings, std::chrono::hours(1));  // opened by the test instead
    service_->Store().AddCommand(
        {0, "KC", "select LongName, TotalValue from Goods where Code='<?\?\?>'", "库存"});
    service_->Store().AddCommand(
        {0, "XS", "select LongName, TotalValue from Goods where Code=<?\?\?>", ""});
    service_->OnNewMessage = [this](const std::string& phone, const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      popups_.push_back(phone + ":" + text);
    };
  }

  void TearDown() override {
    service_.reset();
    SetConfigFilePath({});
    ResetConfigCacheForTests();
  }

  std::size_t StatementCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return statements_.size();
  }

  quor::testing::TempFolder folder_;
  quor::test::SqlServerStandIn server_;
  quor::test::ModemSimulator sim_;
  std::mutex mutex_;
  std::vector<quor::test::StatementCall> statements_;
  std::vector<std::string> popups_;
  std::unique_ptr<TSMSService> service_;
};

TEST_F(SmsServiceTest, APermittedPhoneIsAnsweredFromTheAccountSet) {
  WriteConfig("SMS_TelLimit", "True");
  service_->Store().AddPhone({0, "张三", "+8613912345678"});  // international form in the list
  ASSERT_TRUE(service_->Modem().OpenModem());
  sim_.Deliver(kCommandDeliver);  // "#kc*a01" from 13912345678
  ASSERT_TRUE(
      sim_.WaitUntil([&] { return sim_.SubmittedPdus().size() == 1 && sim_.Sim().empty(); }));
  const std::string pdu = sim_.SubmittedPdus()[0];
  EXPECT_EQ(pdu.substr(0, 30), "0011000D91683119325476F8000801");
  EXPECT_EQ(SubmittedText(pdu), "长城润滑油=12.5;");
  // The message text reached the account set as a parameter, never as statement text.
  std::lock_guard<std::mutex> lock(mutex_);
  ASSERT_EQ(statements_.size(), 1u);
  EXPECT_EQ(statements_[0].text.find("A01"), std::string::npos) << statements_[0].text;
  EXPECT_EQ(statements_[0].params[0].value.AsText(), "A01");
  EXPECT_TRUE(service_->Store().ListReceived().empty());  // commands are not stored
  EXPECT_TRUE(popups_.empty());
}

TEST_F(SmsServiceTest, APhoneNotPermittedGetsNoAnswerAndItsCommandIsDiscarded) {
  WriteConfig("SMS_TelLimit", "True");
  service_->Store().AddPhone({0, "李四", "13800000000"});
  ASSERT_TRUE(service_->Modem().OpenModem());
  sim_.Deliver(kCommandDeliver);
  ASSERT_TRUE(sim_.WaitUntil([&] { return sim_.Sim().empty(); }));
  EXPECT_TRUE(sim_.SubmittedPdus().empty());
  EXPECT_EQ(StatementCount(), 0u);
  EXPECT_TRUE(service_->Store().ListReceived().empty());
}

TEST_F(SmsServiceTest, AnOrdinaryMessageIsStoredShownAndThenDeletedFromTheSim) {
  ASSERT_TRUE(service_->Modem().OpenModem());
  sim_.Deliver(kChineseDeliver);
  ASSERT_TRUE(sim_.WaitUntil([&] { return sim_.Sim().empty(); }));
  const std::vector<ReceivedMessage> messages = service_->Store().ListReceived();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].phone, "13912345678");
  EXPECT_EQ(messages[0].text, "你好");
  EXPECT_EQ(messages[0].receivedAt.size(), 19u);
  std::lock_guard<std::mutex> lock(mutex_);
  EXPECT_EQ(popups_, std::vector<std::string>{"13912345678:你好"});
}

TEST_F(SmsServiceTest, AMessageThatCannotBeStoredStaysOnTheSim) {
  {
    SqliteDatabase db(folder_.Path() / "Data" / "MobilePhone.db");
    db.ExecScript("DROP TABLE [接收短信];");
  }
  ASSERT_TRUE(service_->Modem().OpenModem());
  const int index = sim_.Deliver(kChineseDeliver);
  // The next command shows the driver went on without deleting it.
  ASSERT_TRUE(sim_.WaitUntil([&] {
    return sim_.Received().find("AT+CMGR=" + std::to_string(index)) != std::string::npos;
  }));
  std::string reply;
  ASSERT_TRUE(service_->Modem().ListSMS(0, reply));
  EXPECT_TRUE(sim_.Sim().contains(index));
}

struct AnswerCase {
  const char* text;
  const char* answer;
};

TEST_F(SmsServiceTest, CommandTextsAndTheirAnswers) {
  const AnswerCase cases[] = {
      {"#", ""},
      {"#kc", ""},
      {"#KC*A01;XS*B02", "长城润滑油=12.5;刹车片=3;"},
      {" #kc*a01 ", "长城润滑油=12.5;"},
      {"#KC*Z99", "Z99=无数据;"},                 // no row
      {"#NO*A01", "A01=无数据;"},                 // no such command
      {"#KC*A01;;*x;a*b*c", "长城润滑油=12.5;"},  // only keyword*parameter items ask
  };
  for (const AnswerCase& c : cases) {
    EXPECT_EQ(service_->AnswerFor(c.text), c.answer) << c.text;
  }
}

TEST_F(SmsServiceTest, OnlyTheConfiguredPrefixMakesACommand) {
  TSMSItem item;
  item.SenderNumber = "13912345678";
  item.MsgText = "＃kc*a01";  // full-width
  EXPECT_TRUE(service_->HandleReceivedSMS(item));
  ASSERT_EQ(service_->Store().ListReceived().size(), 1u);
  SmsSettings settings = service_->Settings();
  settings.prefix = "";
  service_->Start(settings, std::chrono::hours(1));
  item.MsgText = "#kc*a01";
  EXPECT_TRUE(service_->HandleReceivedSMS(item));
  EXPECT_EQ(service_->Store().ListReceived().size(), 2u);
  EXPECT_EQ(StatementCount(), 0u);
}

TEST_F(SmsServiceTest, WithoutTheLimitEveryPhoneMayAskAndWithAnEmptyListNone) {
  EXPECT_FALSE(service_->IsPhoneBlocked("13912345678"));
  WriteConfig("SMS_TelLimit", "True");
  EXPECT_TRUE(service_->IsPhoneBlocked("13912345678"));
  service_->Store().AddPhone({0, "王五", "139 1234 5678"});
  EXPECT_FALSE(service_->IsPhoneBlocked("+8613912345678"));
  EXPECT_FALSE(service_->IsPhoneBlocked("8613912345678"));
  EXPECT_TRUE(service_->IsPhoneBlocked("13912345679"));
}

TEST_F(SmsServiceTest, SavingThePortWhileOpenReopensTheModemOnTheNewDevice) {
  ASSERT_TRUE(service_->Modem().OpenModem());
  quor::test::ModemSimulator other;
  ASSERT_TRUE(service_->ApplyPortSettings(other.DevicePath(), 115200, 2));
  EXPECT_TRUE(service_->Modem().Active());
  EXPECT_EQ(service_->Modem().ComPort().DevicePath(), other.DevicePath());
  EXPECT_EQ(other.Received().substr(0, 7), "AT\rAT\rA");
  EXPECT_TRUE(service_->Modem().SendSMS("10086", "hello"));
  EXPECT_EQ(other.SubmittedPdus().size(), 1u);
  EXPECT_TRUE(sim_.SubmittedPdus().empty());
}

TEST_F(SmsServiceTest, TheWindowsEditTheThreeTables) {
  MessageStore& store = service_->Store();
  const auto commands = store.ListCommands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].keyword, "KC");
  EXPECT_EQ(commands[0].remark, "库存");
  SmsCommand edited = commands[1];
  edited.sql = "select 1";
  EXPECT_TRUE(store.UpdateCommand(edited));
  EXPECT_EQ(store.GetCommand(edited.id)->sql, "select 1");
  EXPECT_TRUE(store.DeleteCommand(edited.id));
  EXPECT_FALSE(store.GetCommand(edited.id));
  EXPECT_EQ(store.ListCommands().size(), 1u);

  const std::int64_t phone = store.AddPhone({0, "赵六", "13700000000"});
  EXPECT_TRUE(store.UpdatePhone({phone, "赵六", "13700000001"}));
  EXPECT_EQ(store.GetPhone(phone)->phone, "13700000001");
  EXPECT_TRUE(store.DeletePhone(phone));
  EXPECT_TRUE(store.ListPhones().empty());

  store.StoreReceived("10086", "a'b; drop table x", "2024-01-02 03:04:05");
  store.StoreReceived("10010", "second", "2024-01-02 03:04:06");
  const auto received = store.ListReceived();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].text, "a'b; drop table x");
  EXPECT_TRUE(store.DeleteReceived(received[0].id));
  EXPECT_EQ(store.ClearReceived(), 1);
  EXPECT_TRUE(store.ListReceived().empty());
}

TEST(SmsCommandText, TemplatesBindTheParameterWhereThePlaceholderStands) {
  struct Case {
    const char* sqlTemplate;
    const char* sql;
    std::vector<std::string> values;
  };
  const Case cases[] = {
      {"select * from t where c='<?\?\?>'", "SELECT * FROM T WHERE C=?", {"A'1"}},
      {"select * from t where c=<?\?\?>", "SELECT * FROM T WHERE C=?", {"A'1"}},
      {"select * from t where c like '%<?\?\?>%' and d='x'",
       "SELECT * FROM T WHERE C LIKE ? AND D='X'",
       {"%A'1%"}},
      {"select 'it''s' from t", "SELECT 'IT''S' FROM T", {}},
  };
  for (const Case& c : cases) {
    const BoundStatement bound = BindTemplate(c.sqlTemplate, "A'1");
    EXPECT_EQ(bound.sql, c.sql) << c.sqlTemplate;
    EXPECT_EQ(bound.values, c.values) << c.sqlTemplate;
  }
}

TEST(SmsCommandText, PhonesCompareInNationalAndInternationalForm) {
  EXPECT_TRUE(SamePhone("13912345678", "+8613912345678"));
  EXPECT_TRUE(SamePhone("008613912345678", "8613912345678"));
  EXPECT_TRUE(SamePhone("+85291234567", "+852 9123-4567"));
  EXPECT_FALSE(SamePhone("+85291234567", "91234567"));
  EXPECT_FALSE(SamePhone("", ""));
  EXPECT_EQ(SplitText("a;;b;", ';'), (std::vector<std::string>{"a", "", "b", ""}));
}

}  // namespace
}  // namespace quor::sms::test
