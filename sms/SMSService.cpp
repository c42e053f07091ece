#include "sms/SMSService.h"

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConnectionRecipe.h"
#include "platform/sql/Statement.h"
#include "platform/text/AsciiText.h"
#include "sms/BatchSend.h"
#include "sms/SmsCommands.h"
#include "sms/SmsLog.h"

namespace quor::sms {
namespace {

constexpr const char* kNoData = "无数据";

}  // namespace

class TSMSService::ModemGateway : public remote::SmsGateway {
 public:
  explicit ModemGateway(TSMSService& service) : service_(service) {}
  bool Active() override { return service_.modem_.Active(); }
  bool SendMessage(const std::string& phone, const std::string& text) override {
    return service_.modem_.SendSMS(phone, text);
  }
  bool ListMessages(int selector, std::string& reply) override {
    return service_.modem_.ListSMS(selector, reply);
  }
  bool DeleteMessage(int index) override { return service_.modem_.DeleteSMS(index); }
  std::vector<bool> SendBatch(const std::vector<std::string>& phones,
                              const std::string& text) override {
    return sms::SendBatch(service_.modem_, phones, text, service_.timings_);
  }

 private:
  TSMSService& service_;
};

SmsSettings ReadSmsSettings() {
  SmsSettings settings;
  settings.port = ReadConfig("SMS_Port", "COM1");
  settings.rate = ReadConfigInt("SMS_Rate", "9600", 9600);
  settings.sendAttempts = ReadConfigInt("SMS_SendSpeed", "1", 1);
  settings.prefix = ReadConfig("SMS_EXC_Marker", "#");
  settings.autoStart = IsTrue(ReadConfig("SMS_AutoStart", "False"));
  settings.database = ReadConfig("SMS_DataBase", "");
  return settings;
}

TSMSService::TSMSService(const std::filesystem::path& databaseFile) : store_(databaseFile) {
  gateway_ = std::make_shared<ModemGateway>(*this);
  modem_.OnReceiveSMS = [this](const TSMSItem& item) { return HandleReceivedSMS(item); };
  modem_.OnModemLost = [] {
    LogSms("the modem went away; restart the SMS service when it is back");
  };
}

TSMSService::~TSMSService() {
  StopStartTimer();
  modem_.CloseModem();
}

std::shared_ptr<remote::SmsGateway> TSMSService::Gateway() {
  return gateway_;
}

void TSMSService::SetTimings(const ModemTimings& timings) {
  timings_ = timings;
  modem_.SetTimings(timings);
}

void TSMSService::SetAccountSetConnection(const sql::ConnectionSettings& settings) {
  std::lock_guard<std::mutex> lock(accountSetMutex_);
  accountSetSettings_ = settings;
  accountSet_.reset();
}

void TSMSService::Start(const SmsSettings& settings, std::chrono::milliseconds startDelay) {
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    settings_ = settings;
  }
  modem_.SetSendAttempts(settings.sendAttempts);
  modem_.ReopenWith([&](TComPort& comPort) {
    comPort.SetPort(settings.port);
    comPort.SetBaudRate(TBaudRate::brCustom);
    comPort.SetCustomBaudRate(settings.rate);
  });
  if (settings.autoStart && !settings.database.empty()) ConnectAccountSet();
  StopStartTimer();
  {
    std::lock_guard<std::mutex> lock(timerMutex_);
    timerCancelled_ = false;
  }
  startTimer_ = std::thread([this, startDelay] {
    std::unique_lock<std::mutex> lock(timerMutex_);
    if (timerChanged_.wait_for(lock, startDelay, [&] { return timerCancelled_; })) return;
    lock.unlock();
    const SmsSettings current = Settings();
    if (!current.autoStart) return;
    try {
      if (!modem_.OpenModem()) LogSms("the modem on " + current.port + " did not answer");
    } catch (const std::exception& error) {
      LogSms(error.what());
    }
  });
}

void TSMSService::StopStartTimer() {
  {
    std::lock_guard<std::mutex> lock(timerMutex_);
    timerCancelled_ = true;
  }
  timerChanged_.notify_all();
  if (startTimer_.joinable()) startTimer_.join();
}

void TSMSService::ConnectAccountSet() {
  const std::string database = Settings().database;
  std::lock_guard<std::mutex> lock(accountSetMutex_);
  try {
    const sql::ConnectionSettings settings =
        accountSetSettings_ ? *accountSetSettings_
                            : ConnectionRecipe(ConfiguredLogin("(LOCAL)", false), database);
    accountSet_ = std::make_unique<sql::Connection>(settings);
    accountSet_->Open();
  } catch (const std::exception& error) {
    LogSms("account set " + database + ": " + error.what());
  }
}

bool TSMSService::Restart() {
  const SmsSettings current = Settings();
  if (current.autoStart && !current.database.empty()) ConnectAccountSet();
  modem_.CloseModem();
  return modem_.OpenModem();
}

bool TSMSService::ApplyPortSettings(const std::string& port, int rate, int sendAttempts) {
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    settings_.port = port;
    settings_.rate = rate;
    settings_.sendAttempts = sendAttempts;
  }
  modem_.SetSendAttempts(sendAttempts);
  return modem_.ReopenWith([&](TComPort& comPort) {
    comPort.SetPort(port);
    comPort.SetBaudRate(TBaudRate::brCustom);
    comPort.SetCustomBaudRate(rate);
  });
}

std::string TSMSService::Prefix() {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  return settings_.prefix;
}

SmsSettings TSMSService::Settings() {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  return settings_;
}

bool TSMSService::IsPhoneBlocked(const std::string& phone) {
  if (!IsTrue(ReadConfig("SMS_TelLimit", "False"))) return false;
  for (const PermittedPhone& permitted : store_.ListPhones()) {
    if (SamePhone(permitted.phone, phone)) return false;
  }
  return true;
}

bool TSMSService::HandleReceivedSMS(const TSMSItem& item) {
  const std::string& phone = item.SenderNumber;
  const std::string& text = item.MsgText;
  if (!StartsWithPrefix(text, Prefix())) {
    try {
      store_.StoreReceived(phone, text, LocalTimeText());
    } catch (const std::exception& error) {
      LogSms(std::string("storing a message failed: ") + error.what());
      return false;  // stays on the SIM
    }
    if (OnNewMessage) OnNewMessage(phone, text);
    return true;
  }
  if (IsPhoneBlocked(phone)) return true;
  const std::string answer = AnswerFor(text);
  if (!answer.empty() && !modem_.SendSMS(phone, answer))
    LogSms("the answer to " + phone + " failed");
  return true;
}

std::string TSMSService::AnswerFor(const std::string& text) {
  std::string answer;
  for (const CommandItem& item : CommandItems(text, Prefix())) {
    const auto [name, value] = LookupSMSCommand(item.keyword, item.parameter);
    answer += name + "=" + value + ";";
  }
  return answer;
}

std::pair<std::string, std::string> TSMSService::LookupSMSCommand(const std::string& keyword,
                                                                  const std::string& parameter) {
  const std::pair<std::string, std::string> noData{parameter, kNoData};
  std::optional<SmsCommand> command;
  try {
    command = store_.FindCommand(keyword);
  } catch (const std::exception& error) {
    LogSms(std::string("command lookup failed: ") + error.what());
  }
  // No row for the keyword: there is no statement to run.
  if (!command) return noData;
  const BoundStatement bound = BindTemplate(command->sql, parameter);
  std::lock_guard<std::mutex> lock(accountSetMutex_);
  if (!accountSet_) return noData;
  try {
    sql::Statement statement(*accountSet_, "SmsCommand");
    statement.SetParamCheck(false);
    statement.SetText(bound.sql);
    for (const std::string& value : bound.values) {
      statement.Params()
          .Add(sql::Parameter("", sql::ParamDirection::kInput))
          .SetValue(sql::Value::Text(value));
    }
    sql::RecordSet& records = statement.Open();
    if (records.Eof()) return noData;
    const int nameIndex = records.FieldIndex("LongName");
    const int valueIndex = records.FieldIndex("TotalValue");
    if (nameIndex < 0) return noData;
    const sql::Value& name = records.FieldValue(static_cast<std::size_t>(nameIndex));
    if (name.IsNull() || name.AsText().empty()) return noData;
    std::string value;
    if (valueIndex >= 0) {
      const sql::Value& total = records.FieldValue(static_cast<std::size_t>(valueIndex));
      if (!total.IsNull()) value = total.AsText();
    }
    return {name.AsText(), value};
  } catch (const std::exception& error) {
    LogSms("command " + keyword + ": " + error.what());
    return noData;
  }
}

}  // namespace quor::sms
