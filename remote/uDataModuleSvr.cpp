#include "remote/uDataModuleSvr.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ServerGlobals.h"
#include "platform/sql/ProcedureCache.h"

namespace quor {
namespace {

// ADOStoredProc's cache size: the rows its provider reads from the server at a time.
constexpr std::size_t kAdoStoredProcCacheSize = 1000;
constexpr int kConnectionTimeoutSeconds = 120;
constexpr int kConnectionCommandTimeoutSeconds = 120;

sql::ConnectionSettings ModuleConnectionSettings() {
  sql::ConnectionSettings settings;
  settings.SetProperty("Provider", "SQLOLEDB.1");
  settings.connectTimeoutSeconds = kConnectionTimeoutSeconds;
  settings.commandTimeoutSeconds = kConnectionCommandTimeoutSeconds;
  return settings;
}

void DescribeArgumentError(const com::DispatchTable& table, com::DispId dispId, com::HResult hr,
                           const com::DispParams& params, const std::uint32_t* argErr,
                           com::ExcepInfo* excepInfo) {
  if (excepInfo == nullptr) return;
  const com::MemberInfo* member = table.Find(dispId, com::MemberKind::Method);
  if (member == nullptr) return;
  *excepInfo = com::ExcepInfo{};
  excepInfo->source = table.Source();
  excepInfo->scode = hr;
  if (hr == com::DISP_E_BADPARAMCOUNT) {
    excepInfo->description = member->name + " takes " + std::to_string(member->params.size()) +
                             " arguments, not " + std::to_string(params.args.size());
    return;
  }
  std::string argument = "an argument";
  const std::size_t positional = params.args.size() - params.namedArgs.size();
  if (argErr != nullptr && *argErr >= params.namedArgs.size() && *argErr < params.args.size()) {
    // Positional arguments come last first.
    const std::size_t declared = params.args.size() - 1 - *argErr;
    if (declared < positional && declared < member->params.size()) {
      argument = "argument " + member->params[declared].name;
    }
  }
  excepInfo->description =
      member->name + ": " + argument +
      (hr == com::DISP_E_PARAMNOTOPTIONAL ? " is missing" : " has the wrong type or range");
}

}  // namespace

TDataModuleServer::TDataModuleServer() : TDataModuleServer(DataModuleServerTable()) {}

TDataModuleServer::TDataModuleServer(std::shared_ptr<const com::DispatchTable> table)
    : com::TableDispatch(std::move(table)),
      connection_(ModuleConnectionSettings()),
      insertProc_(connection_, "InsertProc"),
      queryProc_(connection_, "QueryProc"),
      queryProc2_(connection_, "QueryProc2"),
      vchProc_(connection_, "VchProc"),
      subProc_(connection_, "SubProc"),
      memoProc_(connection_, "MemoProc"),
      basicProc_(connection_, "BasicProc"),
      deleteProc_(connection_, "DeleteProc"),
      adoStoredProc_(connection_, "ADOStoredProc"),
      createGetZt_(connection_, "CreateGetZt"),
      qryExecSql_(connection_, "QryExecSQL"),
      insertProvider_("InsertProvider", insertProc_),
      queryProvider_("QueryProvider", queryProc_),
      queryProvider2_("QueryProvider2", queryProc2_),
      vchProvider_("VchProvider", vchProc_),
      subProvider_("SubProvider", subProc_),
      memoProvider_("MemoProvider", memoProc_),
      basicProvider_("BasicProvider", basicProc_),
      dspExecSql_("dspExecSQL", qryExecSql_),
      dataSetProvider_("DataSetProvider", adoStoredProc_, kAdoStoredProcCacheSize) {
  for (datasnap::Provider* provider :
       {&insertProvider_, &queryProvider_, &queryProvider2_, &vchProvider_, &subProvider_,
        &memoProvider_, &basicProvider_, &dspExecSql_, &dataSetProvider_}) {
    ExportProvider(*provider);
    if (provider != &insertProvider_) provider->SetOnDataRequest(&ProviderDataRequest);
  }
  RemoteDataModuleCreate();
}

TDataModuleServer::~TDataModuleServer() = default;

void TDataModuleServer::RemoteDataModuleCreate() {
  // Read once, when the first module is made, like the other settings the
  // modules share.
  static std::once_flag cacheSetting;
  std::call_once(cacheSetting, [] {
    const int seconds =
        ReadConfigInt("ParameterCacheSeconds", "",
                      static_cast<int>(sql::ProcedureCache::kDefaultLifetime.count()));
    sql::ProcedureCache::Shared().SetLifetime(std::chrono::seconds(std::max(0, seconds)));
  });
  // The setting is taken as a 16-bit number, as the components have always
  // stored it.
  const int timeout = static_cast<std::uint16_t>(CommandTimeoutSeconds());
  connection_.Settings().commandTimeoutSeconds = timeout;
  createGetZt_.SetCommandTimeout(timeout);
  for (sql::StoredProc* proc : {&insertProc_, &queryProc_, &queryProc2_, &vchProc_, &subProc_,
                                &memoProc_, &basicProc_, &deleteProc_, &adoStoredProc_}) {
    proc->SetCommandTimeout(timeout);
  }
}

com::Variant TDataModuleServer::ProviderDataRequest(datasnap::Provider& provider,
                                                    const com::Variant& input) {
  return com::Variant::Bytes(provider.AllRecords());
}

com::HResult TDataModuleServer::Invoke(com::DispId dispId, com::DispatchFlags flags,
                                       const com::DispParams& params, com::Variant* result,
                                       com::ExcepInfo* excepInfo, std::uint32_t* argErr) {
  std::lock_guard lock(ModuleLock());
  com::HResult hr = com::S_OK;
  try {
    hr = com::TableDispatch::Invoke(dispId, flags, params, result, excepInfo, argErr);
  } catch (...) {
    // Everything the methods raise derives from std::exception and is answered
    // by the table; anything else still must not cross the boundary.
    if (excepInfo != nullptr) {
      *excepInfo = com::ExcepInfo{};
      excepInfo->source = Table().Source();
      excepInfo->description = "unexpected error";
      excepInfo->scode = com::E_UNEXPECTED;
    }
    return com::DISP_E_EXCEPTION;
  }
  if (hr == com::DISP_E_BADPARAMCOUNT || hr == com::DISP_E_TYPEMISMATCH ||
      hr == com::DISP_E_OVERFLOW || hr == com::DISP_E_PARAMNOTOPTIONAL) {
    DescribeArgumentError(Table(), dispId, hr, params, argErr, excepInfo);
  }
  return hr;
}

sql::StoredProc& TDataModuleServer::StoredProcComponent(remote::Component component) {
  switch (component) {
    case remote::Component::kInsertProc:
      return insertProc_;
    case remote::Component::kQueryProc:
      return queryProc_;
    case remote::Component::kQueryProc2:
      return queryProc2_;
    case remote::Component::kVchProc:
      return vchProc_;
    case remote::Component::kSubProc:
      return subProc_;
    case remote::Component::kMemoProc:
      return memoProc_;
    case remote::Component::kBasicProc:
      return basicProc_;
    case remote::Component::kDeleteProc:
      return deleteProc_;
    case remote::Component::kADOStoredProc:
      return adoStoredProc_;
    default:
      throw std::invalid_argument("component " + std::string(remote::ComponentName(component)) +
                                  " is not a stored procedure");
  }
}

sql::Statement& TDataModuleServer::StatementComponent(remote::Component component) {
  switch (component) {
    case remote::Component::kCreateGetZt:
      return createGetZt_;
    case remote::Component::kQryExecSQL:
      return qryExecSql_;
    default:
      throw std::invalid_argument("component " + std::string(remote::ComponentName(component)) +
                                  " is not a statement");
  }
}

}  // namespace quor
