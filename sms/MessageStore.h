// The SMS service's local database, Data/MobilePhone.db: received messages
// ([接收短信]), interactive commands ([短信命令], also reachable for inserts as
// CmdSql) and the phones allowed to ask ([手机权限]), with the edits behind the
// console's windows. Every value goes in as a statement parameter.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sms/SqliteDatabase.h"

namespace quor::sms {

struct ReceivedMessage {
  std::int64_t id = 0;
  std::string phone;
  std::string text;
  std::string receivedAt;  // "YYYY-MM-DD hh:mm:ss"
};

struct SmsCommand {
  std::int64_t id = 0;
  std::string keyword;  // 命令标志
  std::string sql;      // 获取方法
  std::string remark;   // 备注
};

struct PermittedPhone {
  std::int64_t id = 0;
  std::string name;   // 名称
  std::string phone;  // 手机号码
};

class MessageStore {
 public:
  // Opens the file, creating it with empty tables when missing.
  explicit MessageStore(const std::filesystem::path& file);

  void StoreReceived(const std::string& phone, const std::string& text,
                     const std::string& receivedAt);
  std::vector<ReceivedMessage> ListReceived();
  bool DeleteReceived(std::int64_t id);
  int ClearReceived();

  std::vector<SmsCommand> ListCommands();
  std::optional<SmsCommand> GetCommand(std::int64_t id);
  // The first command whose keyword equals `keyword` exactly.
  std::optional<SmsCommand> FindCommand(const std::string& keyword);
  std::int64_t AddCommand(const SmsCommand& command);  // through CmdSql
  bool UpdateCommand(const SmsCommand& command);
  bool DeleteCommand(std::int64_t id);

  std::vector<PermittedPhone> ListPhones();
  std::optional<PermittedPhone> GetPhone(std::int64_t id);
  std::int64_t AddPhone(const PermittedPhone& phone);
  bool UpdatePhone(const PermittedPhone& phone);
  bool DeletePhone(std::int64_t id);

 private:
  std::mutex mutex_;  // one connection, used by the modem worker and the console
  SqliteDatabase db_;
};

// The local time now as "YYYY-MM-DD hh:mm:ss".
std::string LocalTimeText();

}  // namespace quor::sms
