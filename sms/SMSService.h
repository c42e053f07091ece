// The SMS service: owns the process's one modem, starts it after start-up,
// keeps received messages in the local database, and answers interactive SMS
// from the account set named by SMS_DataBase, for the phones the permission
// list allows when SMS_TelLimit is on. It also offers the modem to the remote
// SMS members through remote::SmsGateway.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "platform/sql/Connection.h"
#include "platform/sql/ConnectionSettings.h"
#include "remote/SmsGateway.h"
#include "sms/MessageStore.h"
#include "sms/SMSComm.h"

namespace quor::sms {

struct SmsSettings {
  std::string port = "COM1";
  int rate = 9600;
  int sendAttempts = 1;
  std::string prefix = "#";
  bool autoStart = false;
  std::string database;
};

// SMS_Port, SMS_Rate, SMS_SendSpeed, SMS_EXC_Marker, SMS_AutoStart and
// SMS_DataBase with their defaults; a rate or speed that is no number gives
// 9600 or 1.
SmsSettings ReadSmsSettings();

class TSMSService {
 public:
  explicit TSMSService(const std::filesystem::path& databaseFile);
  ~TSMSService();  // stops the start timer and closes the modem
  TSMSService(const TSMSService&) = delete;
  TSMSService& operator=(const TSMSService&) = delete;

  TSMSComm& Modem() { return modem_; }
  MessageStore& Store() { return store_; }
  SmsSettings Settings();

  // Applies the settings to the modem, connects the account set when
  // auto-start is on and a database is named (failures are logged and the
  // service goes on), and arms the start timer, which opens the modem
  // after `startDelay` when auto-start is on.
  void Start(const SmsSettings& settings,
             std::chrono::milliseconds startDelay = std::chrono::milliseconds(1000));
  // The account set's connection; by default built from the server's login.
  void SetAccountSetConnection(const sql::ConnectionSettings& settings);
  // "启动": reconnects the account set and reopens the modem.
  bool Restart();
  // Saving the settings dialog: the port settings reach the modem by closing
  // and reopening it when it is open, never by changing a live descriptor.
  bool ApplyPortSettings(const std::string& port, int rate, int sendAttempts);

  // OnReceiveSMS of the modem; true when the message is kept (stored, or
  // handled as a command), so that the driver deletes it from the SIM.
  bool HandleReceivedSMS(const TSMSItem& item);
  // The answer to a command message ("name=value;" per item), empty for none.
  std::string AnswerFor(const std::string& text);
  std::pair<std::string, std::string> LookupSMSCommand(const std::string& keyword,
                                                       const std::string& parameter);
  bool IsPhoneBlocked(const std::string& phone);

  // The console's pop-up for each ordinary message; it is called on the
  // modem's thread, so it must hand the work to the UI thread itself.
  std::function<void(const std::string& phone, const std::string& text)> OnNewMessage;

  std::shared_ptr<remote::SmsGateway> Gateway();
  // Shortened waits for tests; also used by the batch send.
  void SetTimings(const ModemTimings& timings);

 private:
  class ModemGateway;

  void ConnectAccountSet();
  std::string Prefix();
  void StopStartTimer();

  MessageStore store_;
  std::mutex settingsMutex_;  // settings_ changes on the console's thread, is read on the modem's
  SmsSettings settings_;
  ModemTimings timings_;
  std::mutex accountSetMutex_;  // one statement at a time on the account set
  std::optional<sql::ConnectionSettings> accountSetSettings_;
  std::unique_ptr<sql::Connection> accountSet_;
  std::mutex timerMutex_;
  std::condition_variable timerChanged_;
  bool timerCancelled_ = false;
  std::thread startTimer_;
  std::shared_ptr<ModemGateway> gateway_;
  TSMSComm modem_;  // last: closed first, before what its handler uses
};

}  // namespace quor::sms
