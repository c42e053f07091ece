// The four IAppServer members the module answers differently when the owner
// data carries the "TQueryDataSet" marker: they run the named procedure (or
// the account set's "ExecSQL" for statement text) on ADOStoredProc under the
// module's lock. Without the marker they are the providers' own.
#include "platform/datasnap/ParamPacking.h"
#include "remote/QueryDataSet.h"
#include "remote/methods/CallPattern.h"
#include "remote/uDataModuleSvr.h"

namespace quor {
namespace {

constexpr const char* kExecSqlProcedure = "ExecSQL";
constexpr const char* kDataSetProviderName = "DataSetProvider";

}  // namespace

void TDataModuleServer::PrepareExecSql(const std::string& commandText) {
  remote::PrepareProcedure(adoStoredProc_, kExecSqlProcedure);
  adoStoredProc_.Params()[1].SetValue(sql::Value::Text(commandText));
}

com::Variant TDataModuleServer::AS_GetRecords(const std::string& providerName, std::int32_t count,
                                              std::int32_t& recsOut, std::int32_t options,
                                              const std::string& commandText, com::Variant& params,
                                              com::Variant& ownerData) {
  if (!remote::IsQueryDataSet(ownerData)) {
    return AppServer::AS_GetRecords(providerName, count, recsOut, options, commandText, params,
                                    ownerData);
  }
  std::lock_guard lock(ModuleLock());
  if (!commandText.empty()) {
    PrepareExecSql(commandText);
    params = datasnap::PackParams(adoStoredProc_.Params());
  } else {
    const std::string procedure = remote::MarkedProcedure(ownerData);
    remote::PrepareProcedure(adoStoredProc_, procedure);
    // The provider assigns the entries by name; a name the remembered list
    // lacks may be one the procedure has gained since.
    if (adoStoredProc_.UsesRememberedDeclaration() &&
        !datasnap::EntriesFindParameters(params, adoStoredProc_.Params())) {
      remote::PrepareProcedure(adoStoredProc_, procedure, /*fresh=*/true);
    }
    remote::FillEmptyStringParams(params);
  }
  com::Variant packet =
      AppServer::AS_GetRecords(providerName, count, recsOut, options, "", params, ownerData);
  params = datasnap::PackParams(adoStoredProc_.Params());
  return packet;
}

void TDataModuleServer::AS_Execute(const std::string& providerName, const std::string& commandText,
                                   com::Variant& params, com::Variant& ownerData) {
  if (!remote::IsQueryDataSet(ownerData)) {
    AppServer::AS_Execute(providerName, commandText, params, ownerData);
    return;
  }
  std::lock_guard lock(ModuleLock());
  if (!commandText.empty()) {
    PrepareExecSql(commandText);
  } else {
    const std::string procedure = remote::MarkedProcedure(ownerData);
    remote::PrepareProcedure(adoStoredProc_, procedure);
    // The client's entries go by position; a remembered list whose names do
    // not line up with them may be out of date, so the server is asked.
    if (adoStoredProc_.UsesRememberedDeclaration() &&
        !datasnap::EntriesNameParameters(params, adoStoredProc_.Params())) {
      remote::PrepareProcedure(adoStoredProc_, procedure, /*fresh=*/true);
    }
    datasnap::UnpackParams(params, adoStoredProc_.Params());
  }
  adoStoredProc_.ExecProc();
  params = datasnap::PackParams(adoStoredProc_.Params());
}

com::Variant TDataModuleServer::AS_GetParams(const std::string& providerName,
                                             com::Variant& ownerData) {
  if (!remote::IsQueryDataSet(ownerData)) return AppServer::AS_GetParams(providerName, ownerData);
  std::lock_guard lock(ModuleLock());
  remote::PrepareProcedure(adoStoredProc_, remote::MarkedProcedure(ownerData));
  return datasnap::PackParams(adoStoredProc_.Params());
}

com::Variant TDataModuleServer::AS_RowRequest(const std::string& providerName,
                                              const com::Variant& row, std::int32_t requestType,
                                              com::Variant& ownerData) {
  if (!remote::IsQueryDataSet(ownerData)) {
    return AppServer::AS_RowRequest(providerName, row, requestType, ownerData);
  }
  std::lock_guard lock(ModuleLock());
  remote::PrepareProcedure(adoStoredProc_, remote::MarkedProcedure(ownerData));
  return AppServer::AS_RowRequest(kDataSetProviderName, row, requestType, ownerData);
}

}  // namespace quor
