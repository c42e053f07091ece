// A module test with the process-wide state the session methods read and
// write put in order for each test and restored afterwards: a program folder
// and configuration file of its own in a temporary folder, the start-up values
// (trade names, -MSDE switch), ReturnValueName, the console switches, private
// engine mode and an empty online table.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "ModuleFixture.h"
#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/OnlineSessionTable.h"
#include "ServerPublic/PasswordScrambler.h"
#include "ServerPublic/ServerGlobals.h"
#include "platform/datasnap/Provider.h"
#include "tests/platform/datasnap/DataPacketReader.h"
#include "tests/support/files/TempFolder.h"

namespace quor::testing {

inline void ClearOnlineTable() {
  for (const OnlineSession& session : OnlineSessions().Snapshot()) {
    OnlineSessions().RemoveSession(session.guid, session.computerName, session.computerAddr);
  }
}

class SessionTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    savedStartup_ = Startup();
    savedReturnValueName_ = ReturnValueName();
    StartupValues values = savedStartup_;
    values.programFolder = folder_.Path().string() + "/";
    values.vocation = "BZ";
    values.catalogTableName = "ValtoDataBaseBZ";
    values.templateBaseName = "DataBaseBZ";
    values.msdeSwitch = false;
    SetStartup(values);
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    ResetConfigCacheForTests();
    SetUserLoginIdentic(false);
    SetUseClientAutoUpdate(false);
    SetUseClientAutoSynchro(true);
    SetPrivateEngineMode(false);
    ClearOnlineTable();
    refreshes_ = 0;
    subscription_ = OnlineSessions().Subscribe([this] { ++refreshes_; });
  }

  void TearDown() override {
    subscription_ = OnlineSessionTable::Subscription();
    ClearOnlineTable();
    SetStartup(savedStartup_);
    SetReturnValueName(savedReturnValueName_);
    SetConfigFilePath({});
    ResetConfigCacheForTests();
    SetUserLoginIdentic(false);
    SetUseClientAutoUpdate(false);
    SetUseClientAutoSynchro(true);
    SetPrivateEngineMode(false);
  }

  // The configuration a client's ConnectDb reads, pointing at the stand-in.
  void ConfigureLogin(const std::string& password = test::kAccountSetPassword,
                      const std::string& user = test::kAccountSetUser) {
    WriteConfig(configkey::kServerName, "127.0.0.1," + std::to_string(server_.Port()));
    WriteConfig(configkey::kUserName, user);
    WriteConfig(configkey::kPassword, EncodePassword(password));
  }

  // What "master.dbo.xp_msver ProductVersion" answers.
  void ScriptVersion(const std::string& version) {
    test::Reply reply;
    reply.resultSets.push_back({{{"Index", test::SqlType::Int},
                                 {"Name", test::SqlType::NVarChar, 128},
                                 {"Internal_Value", test::SqlType::Int},
                                 {"Character_Value", test::SqlType::NVarChar, 256}},
                                {{2, "ProductVersion", 655360, version}}});
    server_.OnStatement("master.dbo.xp_msver ProductVersion", reply);
  }

  // ConnectDb as a client calls it; the call's result, iReturn in `iReturn`.
  CallResult ConnectDb(const com::Variant& vocation, int& iReturn) {
    OutSlot out = Out(com::Variant::I4(55), com::VT_I4);
    CallResult result = Call("ConnectDb", {vocation, out.ref});
    iReturn = out.value->GetI4();
    return result;
  }

  CallResult ChangeDataBase(const com::Variant& dbName, int& iReturn) {
    OutSlot out = Out(com::Variant::I4(55), com::VT_I4);
    CallResult result = Call("ChangeDataBase", {dbName, out.ref, com::Variant("9.33")});
    iReturn = out.value->GetI4();
    return result;
  }

  std::size_t LoginsSeen() const {
    std::size_t logins = 0;
    for (const test::Request& request : server_.Requests()) {
      if (request.kind == test::RequestKind::Login) ++logins;
    }
    return logins;
  }

  TempFolder folder_;
  std::atomic<int> refreshes_{0};

 private:
  StartupValues savedStartup_;
  std::string savedReturnValueName_;
  OnlineSessionTable::Subscription subscription_;
};

}  // namespace quor::testing
