#include "sms/MessageStore.h"

#include <cstdio>
#include <ctime>

namespace quor::sms {
namespace {

// The Access file's tables and columns, names kept. CmdSql is a view with an
// insert trigger, so the command dialog's inserts land in [短信命令], which
// the service reads.
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS [接收短信] (ID INTEGER PRIMARY KEY AUTOINCREMENT, [来电] TEXT,
  [信息内容] TEXT, [接收时间] TEXT);
CREATE TABLE IF NOT EXISTS [短信命令] (ID INTEGER PRIMARY KEY AUTOINCREMENT, [命令标志] TEXT,
  [获取方法] TEXT, [备注] TEXT);
CREATE TABLE IF NOT EXISTS [手机权限] (ID INTEGER PRIMARY KEY AUTOINCREMENT, [名称] TEXT,
  [手机号码] TEXT);
CREATE VIEW IF NOT EXISTS CmdSql AS SELECT [命令标志], [获取方法], [备注] FROM [短信命令];
CREATE TRIGGER IF NOT EXISTS CmdSqlInsert INSTEAD OF INSERT ON CmdSql BEGIN
  INSERT INTO [短信命令] ([命令标志], [获取方法], [备注])
  VALUES (NEW.[命令标志], NEW.[获取方法], NEW.[备注]);
END;
)";

std::string TextAt(const SqliteRow& row, std::size_t column) {
  return column < row.size() && row[column] ? *row[column] : std::string();
}

std::int64_t IdAt(const SqliteRow& row) {
  return std::stoll(TextAt(row, 0));
}

SmsCommand CommandOf(const SqliteRow& row) {
  return {IdAt(row), TextAt(row, 1), TextAt(row, 2), TextAt(row, 3)};
}

PermittedPhone PhoneOf(const SqliteRow& row) {
  return {IdAt(row), TextAt(row, 1), TextAt(row, 2)};
}

}  // namespace

std::string LocalTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

MessageStore::MessageStore(const std::filesystem::path& file) : db_(file) {
  db_.ExecScript(kSchema);
}

void MessageStore::StoreReceived(const std::string& phone, const std::string& text,
                                 const std::string& receivedAt) {
  std::lock_guard<std::mutex> lock(mutex_);
  db_.Execute("INSERT INTO [接收短信] ([来电], [信息内容], [接收时间]) VALUES (?, ?, ?)",
              {phone, text, receivedAt});
}

std::vector<ReceivedMessage> MessageStore::ListReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ReceivedMessage> messages;
  for (const SqliteRow& row :
       db_.Query("SELECT ID, [来电], [接收时间], [信息内容] FROM [接收短信] ORDER BY ID")) {
    messages.push_back({IdAt(row), TextAt(row, 1), TextAt(row, 3), TextAt(row, 2)});
  }
  return messages;
}

bool MessageStore::DeleteReceived(std::int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.Execute("DELETE FROM [接收短信] WHERE [ID] = ?", {id}) > 0;
}

int MessageStore::ClearReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.Execute("DELETE FROM [接收短信]");
}

std::vector<SmsCommand> MessageStore::ListCommands() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SmsCommand> commands;
  for (const SqliteRow& row :
       db_.Query("SELECT ID, [命令标志], [获取方法], [备注] FROM [短信命令] ORDER BY ID")) {
    commands.push_back(CommandOf(row));
  }
  return commands;
}

std::optional<SmsCommand> MessageStore::GetCommand(std::int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto rows =
      db_.Query("SELECT ID, [命令标志], [获取方法], [备注] FROM [短信命令] WHERE ID = ?", {id});
  if (rows.empty()) return std::nullopt;
  return CommandOf(rows[0]);
}

std::optional<SmsCommand> MessageStore::FindCommand(const std::string& keyword) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto rows = db_.Query(
      "SELECT ID, [命令标志], [获取方法], [备注] FROM [短信命令] WHERE [命令标志] = ? ORDER BY ID",
      {keyword});
  if (rows.empty()) return std::nullopt;
  return CommandOf(rows[0]);
}

std::int64_t MessageStore::AddCommand(const SmsCommand& command) {
  std::lock_guard<std::mutex> lock(mutex_);
  db_.Execute("INSERT INTO CmdSql ([命令标志], [获取方法], [备注]) VALUES (?, ?, ?)",
              {command.keyword, command.sql, command.remark});
  return db_.LastInsertId();
}

bool MessageStore::UpdateCommand(const SmsCommand& command) {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.Execute(
             "UPDATE [短信命令] SET [命令标志] = ?, [获取方法] = ?, [备注] = ? WHERE ID = ?",
             {command.keyword, command.sql, command.remark, command.id}) > 0;
}

bool MessageStore::DeleteCommand(std::int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.Execute("DELETE FROM [短信命令] WHERE [ID] = ?", {id}) > 0;
}

std::vector<PermittedPhone> MessageStore::ListPhones() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<PermittedPhone> phones;
  for (const SqliteRow& row :
       db_.Query("SELECT ID, [名称], [手机号码] FROM [手机权限] ORDER BY ID")) {
    phones.push_back(PhoneOf(row));
  }
  return phones;
}

std::optional<PermittedPhone> MessageStore::GetPhone(std::int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto rows = db_.Query("SELECT ID, [名称], [手机号码] FROM [手机权限] WHERE ID = ?", {id});
  if (rows.empty()) return std::nullopt;
  return PhoneOf(rows[0]);
}

std::int64_t MessageStore::AddPhone(const PermittedPhone& phone) {
  std::lock_guard<std::mutex> lock(mutex_);
  db_.Execute("INSERT INTO [手机权限] ([名称], [手机号码]) VALUES (?, ?)",
              {phone.name, phone.phone});
  return db_.LastInsertId();
}

bool MessageStore::UpdatePhone(const PermittedPhone& phone) {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.Execute("UPDATE [手机权限] SET [名称] = ?, [手机号码] = ? WHERE ID = ?",
                     {phone.name, phone.phone, phone.id}) > 0;
}

bool MessageStore::DeletePhone(std::int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.Execute("DELETE FROM [手机权限] WHERE [ID] = ?", {id}) > 0;
}

}  // namespace quor::sms
