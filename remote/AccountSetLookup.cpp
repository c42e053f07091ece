// What clients and phones ask about account sets and the server's login
// without changing anything: which account set phones use, whether a
// database exists, the account set of a phone number, and the SQL login.
#include <iostream>
#include <string>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/PasswordScrambler.h"
#include "platform/sql/SqlError.h"
#include "platform/text/AsciiText.h"
#include "remote/SqlLiterals.h"
#include "remote/methods/AdministrationHandlers.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

// The first row's field as text; empty when there is none.
std::string FirstRowText(sql::RecordSet& records, const char* field) {
  records.First();
  if (records.Eof() || records.FieldIndex(field) < 0) return {};
  const sql::Value& value = records.FieldByName(field);
  return value.IsNull() ? std::string() : value.AsText();
}

}  // namespace

com::Variant GetMobileDataBase(TDataModuleServer& module, const MethodDescription& method,
                               com::DispatchArgs& args) {
  // The console's switch writes its key, and the store's cache is what every
  // thread reads, so the key is the switch.
  const bool useMobile = IsTrue(ReadConfig(configkey::kUseMobileDataBase, "False"));
  args[0] = com::Variant::I4(useMobile ? 1 : 0);
  args[1] = com::Variant::String(ReadConfig(configkey::kMobileDataBase, ""));
  return {};
}

com::Variant GetDataBase(TDataModuleServer& module, const MethodDescription& method,
                         com::DispatchArgs& args) {
  const std::string name = args[0].ToString();
  // A name that no database can have is simply not there.
  if (!IsStatementText(name)) {
    args[1] = com::Variant::I4(0);
    return {};
  }
  sql::Statement& statement = module.QryExecSQL();
  statement.Close();
  statement.Params().Clear();
  statement.SetText("SELECT [Name] FROM Master.dbo.sysdatabases where [Name]=" +
                    QuotedLiteral(name));
  try {
    sql::RecordSet& records = statement.Open();
    args[1] = com::Variant::I4(static_cast<std::int32_t>(records.RecordCount()));
  } catch (const sql::SqlError& error) {
    std::cerr << "GetDataBase: " << error.what() << '\n';
  }
  return {};
}

com::Variant GetPhoneToDataBase(TDataModuleServer& module, const MethodDescription& method,
                                com::DispatchArgs& args) {
  const bool phoneToDb = IsTrue(ReadConfig(configkey::kUsePhoneToDataBase, "False"));
  args[1] = com::Variant::I4(phoneToDb ? 1 : 0);
  args[2] = com::Variant::String("");
  args[3] = com::Variant::String("");
  if (!phoneToDb) return {};
  const std::string telephone = args[0].ToString();
  if (!IsStatementText(telephone)) return {};
  sql::Statement& statement = module.QryExecSQL();
  statement.Close();
  statement.Params().Clear();
  statement.SetText("SELECT * FROM Master.dbo.QuorLoginUser where [TelePhone]=" +
                    QuotedLiteral(telephone));
  try {
    sql::RecordSet& records = statement.Open();
    args[2] = com::Variant::String(FirstRowText(records, "DataName"));
    args[3] = com::Variant::String(FirstRowText(records, "UserName"));
  } catch (const sql::SqlError& error) {
    std::cerr << "GetPhoneToDataBase: " << error.what() << '\n';
  }
  return {};
}

com::Variant GetSystemInformation(TDataModuleServer& module, const MethodDescription& method,
                                  com::DispatchArgs& args) {
  for (std::size_t i = 0; i < 3; ++i) args[i] = com::Variant::String("");
  args[0] = com::Variant::String(
      std::string(text::TrimBlanks(ReadConfig(configkey::kServerName, "127.0.0.1"))));
  args[1] =
      com::Variant::String(std::string(text::TrimBlanks(ReadConfig(configkey::kUserName, "sa"))));
  args[2] = com::Variant::String(
      std::string(text::TrimBlanks(DecodePassword(ReadConfig(configkey::kPassword, "")))));
  return {};
}

}  // namespace quor::remote
