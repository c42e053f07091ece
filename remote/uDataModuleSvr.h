// The remote data module: one per desktop client, reached by late binding.
// It owns the client's SQL Server connection, the dataset components the
// business methods run their procedures on, the providers that hand the rows
// to the client, and the IAppServer members, four of which also let a client
// run any procedure by name (the "TQueryDataSet" marker).
//
//   com::ClassRegistry classes(...);
//   RegisterDataModuleServer(classes);
//   com::DispatchPtr module = classes.Create("QuorServerAll.DataModuleServer");
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/com/ClassRegistration.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/TableDispatch.h"
#include "platform/datasnap/AppServer.h"
#include "platform/datasnap/Provider.h"
#include "platform/sql/Connection.h"
#include "platform/sql/Statement.h"
#include "platform/sql/StoredProc.h"
#include "remote/ModuleComponent.h"

namespace quor {

// COM identity of the module and its type library.
inline constexpr const char* kDataModuleServerClassId = "{C1C424E1-600A-461D-8759-8D739C78CBDC}";
inline constexpr const char* kDataModuleServerProgId = "QuorServerAll.DataModuleServer";
inline constexpr const char* kIQuorServerAllIid = "{730AFF87-824B-4495-945A-88A7E8CDEE7E}";
inline constexpr const char* kQuorServerAllLibId = "{6E9542CB-1378-4F4F-A997-8A807CC1948A}";

// The class entry (with the "Sockets" and "Web" marks) the registry gets.
const com::ClassRegistration& DataModuleServerRegistration();
// Adds the class to `classes`: each Create makes a new module.
void RegisterDataModuleServer(com::ClassRegistry& classes);

// Every member of the module: the IAppServer members and the method catalogue.
// Built once; every module shares it.
std::shared_ptr<const com::DispatchTable> DataModuleServerTable();

class TDataModuleServer : public com::TableDispatch, public datasnap::AppServer {
 public:
  // The "TQueryDataSet" owner-data marker of the four overridden members.
  static constexpr const char* kQueryDataSetMarker = "TQueryDataSet";

  TDataModuleServer();
  // With another member table (tests describe methods of their own).
  explicit TDataModuleServer(std::shared_ptr<const com::DispatchTable> table);
  ~TDataModuleServer() override;

  // One call at a time, as the module's apartment serves them. A call with the
  // wrong number or types of arguments also gets a description naming the
  // member. Errors no other layer caught fail as E_UNEXPECTED.
  com::HResult Invoke(com::DispId dispId, com::DispatchFlags flags, const com::DispParams& params,
                      com::Variant* result, com::ExcepInfo* excepInfo,
                      std::uint32_t* argErr) override;

  sql::Connection& ADOConnection1() { return connection_; }
  sql::StoredProc& InsertProc() { return insertProc_; }
  sql::StoredProc& QueryProc() { return queryProc_; }
  sql::StoredProc& QueryProc2() { return queryProc2_; }
  sql::StoredProc& VchProc() { return vchProc_; }
  sql::StoredProc& SubProc() { return subProc_; }
  sql::StoredProc& MemoProc() { return memoProc_; }
  sql::StoredProc& BasicProc() { return basicProc_; }
  sql::StoredProc& DeleteProc() { return deleteProc_; }
  sql::StoredProc& ADOStoredProc() { return adoStoredProc_; }
  sql::Statement& CreateGetZt() { return createGetZt_; }
  sql::Statement& QryExecSQL() { return qryExecSql_; }

  // The trade code this module's last ConnectDb named (empty before); the
  // process-wide Vocation follows whichever client connected last.
  const std::string& TradeCode() const { return tradeCode_; }
  void SetTradeCode(std::string code) { tradeCode_ = std::move(code); }

  // Throws std::invalid_argument for a component that is not of that kind.
  sql::StoredProc& StoredProcComponent(remote::Component component);
  sql::Statement& StatementComponent(remote::Component component);

  com::Variant AS_GetRecords(const std::string& providerName, std::int32_t count,
                             std::int32_t& recsOut, std::int32_t options,
                             const std::string& commandText, com::Variant& params,
                             com::Variant& ownerData) override;
  void AS_Execute(const std::string& providerName, const std::string& commandText,
                  com::Variant& params, com::Variant& ownerData) override;
  com::Variant AS_GetParams(const std::string& providerName, com::Variant& ownerData) override;
  com::Variant AS_RowRequest(const std::string& providerName, const com::Variant& row,
                             std::int32_t requestType, com::Variant& ownerData) override;

 private:
  void RemoteDataModuleCreate();
  // The data-request handler of every provider but InsertProvider.
  static com::Variant ProviderDataRequest(datasnap::Provider& provider, const com::Variant& input);
  // ADOStoredProc prepared for "ExecSQL" with `commandText` as its first parameter.
  void PrepareExecSql(const std::string& commandText);

  sql::Connection connection_;
  sql::StoredProc insertProc_;
  sql::StoredProc queryProc_;
  sql::StoredProc queryProc2_;
  sql::StoredProc vchProc_;
  sql::StoredProc subProc_;
  sql::StoredProc memoProc_;
  sql::StoredProc basicProc_;
  sql::StoredProc deleteProc_;
  sql::StoredProc adoStoredProc_;
  sql::Statement createGetZt_;
  sql::Statement qryExecSql_;

  datasnap::Provider insertProvider_;
  datasnap::Provider queryProvider_;
  datasnap::Provider queryProvider2_;
  datasnap::Provider vchProvider_;
  datasnap::Provider subProvider_;
  datasnap::Provider memoProvider_;
  datasnap::Provider basicProvider_;
  datasnap::Provider dspExecSql_;
  datasnap::Provider dataSetProvider_;
  std::string tradeCode_;
};

}  // namespace quor
