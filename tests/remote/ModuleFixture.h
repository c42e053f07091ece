// A remote data module connected to the test account set on the SQL Server
// stand-in, called only as clients call it: GetIDsOfNames, then Invoke with
// the arguments last first, outputs passed by reference.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/IDispatchObject.h"
#include "platform/com/SafeArray.h"
#include "platform/datasnap/Provider.h"
#include "platform/sql/ProcedureCache.h"
#include "remote/uDataModuleSvr.h"
#include "tests/platform/datasnap/DataPacketReader.h"
#include "tests/support/accountset/AccountSet.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::testing {

// A by-reference argument and the slot the module writes.
struct OutSlot {
  com::Variant ref;
  std::shared_ptr<com::Variant> value;
};

inline OutSlot Out(com::Variant initial = com::Variant(), com::VarType type = com::VT_VARIANT) {
  auto slot = std::make_shared<com::Variant>(std::move(initial));
  return {com::Variant::ByRef(slot, type), slot};
}

struct CallResult {
  com::HResult hr = com::S_OK;
  com::Variant value;
  com::ExcepInfo excepInfo;
  std::uint32_t argErr = static_cast<std::uint32_t>(-1);
};

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = Connected(std::make_shared<TDataModuleServer>());
    // Each test starts with the cache on and empty: it is shared by the process.
    sql::ProcedureCache::Shared().SetLifetime(sql::ProcedureCache::kDefaultLifetime);
    sql::ProcedureCache::Shared().Clear();
  }

  // A module with another member table, connected to `database`.
  std::shared_ptr<TDataModuleServer> Connected(
      std::shared_ptr<TDataModuleServer> module,
      const std::string& database = test::kAccountSetDatabase) {
    ConnectToStandIn(module->ADOConnection1().Settings(), database);
    return module;
  }

  // Also for the connections of their own that the phone and cloud writers use.
  void ConnectToStandIn(sql::ConnectionSettings& settings,
                        const std::string& database = test::kAccountSetDatabase) {
    settings.dataSource = "127.0.0.1," + std::to_string(server_.Port());
    settings.initialCatalog = database;
    settings.userId = test::kAccountSetUser;
    settings.password = test::kAccountSetPassword;
    settings.connectTimeoutSeconds = 5;
  }

  com::DispId DispIdOf(std::string_view member) {
    com::DispId dispId = com::DISPID_UNKNOWN;
    EXPECT_EQ(module_->GetIDsOfNames(member, dispId), com::S_OK) << member;
    return dispId;
  }

  // declared: the arguments in interface order.
  CallResult Call(std::string_view member, std::vector<com::Variant> declared) {
    return CallId(DispIdOf(member), std::move(declared));
  }

  CallResult CallId(com::DispId dispId, std::vector<com::Variant> declared) {
    const std::vector<com::Variant> dispatchOrder(declared.rbegin(), declared.rend());
    CallResult result;
    result.hr = module_->Invoke(dispId, com::DISPATCH_METHOD, com::DispParams(dispatchOrder),
                                &result.value, &result.excepInfo, &result.argErr);
    return result;
  }

  // All rows of a provider, as a client dataset opens it.
  datasnap::test::DataPacket Fetch(const char* provider) {
    OutSlot recsOut = Out(com::Variant::I4(0), com::VT_I4);
    OutSlot params = Out();
    OutSlot ownerData = Out();
    const CallResult result =
        Call("AS_GetRecords",
             {com::Variant(provider), com::Variant::I4(-1), recsOut.ref,
              com::Variant::I4(datasnap::kMetaData), com::Variant(""), params.ref, ownerData.ref});
    EXPECT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    if (result.hr != com::S_OK) return {};
    return datasnap::test::ReadDataPacket(result.value.GetArray().Bytes());
  }

  test::SqlServerStandIn server_;
  test::AccountSet accountSet_{server_};
  std::shared_ptr<TDataModuleServer> module_;
};

}  // namespace quor::testing
