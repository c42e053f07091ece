// The session members and QueryDataBase as the dispatch table offers them:
// every one found by name in any letter case, each with a DISPID of its own
// below 1001 (the catalogue's DISPIDs start at 1001, IAppServer's at
// 20000000), and the argument lists clients are built against. That no two
// members of any family share a DISPID is MethodTablesTest's.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "remote/uDataModuleSvr.h"

namespace quor::testing {
namespace {

std::string Cased(const std::string& name, int (*change)(int)) {
  std::string text = name;
  for (char& c : text) c = static_cast<char>(change(static_cast<unsigned char>(c)));
  return text;
}

// The members and their arguments as clients declare them (the [out,retval]
// is no argument).
const std::map<std::string, std::vector<std::string>>& SessionMembers() {
  static const std::map<std::string, std::vector<std::string>> kMembers = {
      {"ConnectDb", {"Vocation", "iReturn"}},
      {"ChangeDataBase", {"dbName", "iReturn", "sVersion"}},
      {"UpdateNetConnectTime", {"szGUID"}},
      {"NetClientDisconnect", {"szGUID"}},
      {"CheckNetConnectCollide", {"szGUID"}},
      {"GetServerDate", {"DateTime"}},
      {"GetVersionNumber", {"Vocation", "sVersion", "sClientTime", "iAutoUpdate"}},
      {"GetSQLServerConfig", {"sServer", "sPort", "sLoginUser", "sPassword"}},
      {"GetServerAppPath", {"iMode", "sPath"}},
      {"GetSQLEditionIsMSDE", {}},
      {"GetIsClientAutoSynchro", {"iReturn"}},
      {"SystemWorkLog",
       {"OperatorID", "CompanyID", "cMode", "ComputerName", "ComputerIP", "LoginDate", "ModuleName",
        "ModuleEvent", "WorkContent", "StartDateTime", "EndDateTime", "nRet"}},
      {"NetClientLogin",
       {"szGUID", "DataBase", "LoginID", "ComputerName", "ComputerAddr", "LoginUserName", "iReturn",
        "sMessage"}},
      {"QueryDataBase", {"dbName", "iReturn"}},
  };
  return kMembers;
}

TEST(SessionMembers, EachIsFoundByNameInAnyCaseUnderItsOwnDispIdBelow1001) {
  TDataModuleServer module;
  const std::shared_ptr<const com::DispatchTable> table = DataModuleServerTable();
  std::set<com::DispId> seen;
  for (const auto& [name, arguments] : SessionMembers()) {
    SCOPED_TRACE(name);
    com::DispId dispId = com::DISPID_UNKNOWN;
    ASSERT_EQ(module.GetIDsOfNames(name, dispId), com::S_OK);
    EXPECT_GT(dispId, 0);
    EXPECT_LT(dispId, 1001);
    EXPECT_TRUE(seen.insert(dispId).second) << dispId;
    for (const std::string& spelling : {Cased(name, &::toupper), Cased(name, &::tolower)}) {
      com::DispId other = com::DISPID_UNKNOWN;
      EXPECT_EQ(module.GetIDsOfNames(spelling, other), com::S_OK) << spelling;
      EXPECT_EQ(other, dispId) << spelling;
    }
    const com::MemberInfo* member = table->Find(dispId, com::MemberKind::Method);
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(member->name, name);
    std::vector<std::string> declared;
    for (const com::ParamInfo& param : member->params) declared.push_back(param.name);
    EXPECT_EQ(declared, arguments);
  }
}

}  // namespace
}  // namespace quor::testing
