#include "AppServer.h"

#include <stdexcept>

#include "platform/com/SafeArray.h"
#include "platform/text/AsciiText.h"

namespace quor::datasnap {
namespace {

AppServer& Self(com::IDispatchObject& object) {
  return dynamic_cast<AppServer&>(object);
}

using com::ParamInfo;
using com::ParamMode;

}  // namespace

std::vector<com::MemberInfo> AppServer::DispatchMembers() {
  std::vector<com::MemberInfo> members;
  members.push_back(
      {"AS_ApplyUpdates",
       kDispIdApplyUpdates,
       com::MemberKind::Method,
       {ParamInfo("ProviderName", com::VT_BSTR), ParamInfo("Delta"),
        ParamInfo("MaxErrors", com::VT_I4), ParamInfo("ErrorCount", com::VT_I4, ParamMode::Out),
        ParamInfo("OwnerData", com::VT_VARIANT, ParamMode::InOut)},
       [](com::IDispatchObject& self, com::DispatchArgs& args) {
         std::int32_t errorCount = 0;
         com::Variant result = Self(self).AS_ApplyUpdates(args[0].GetString(), args[1],
                                                          args[2].GetI4(), errorCount, args[4]);
         args[3] = com::Variant::I4(errorCount);
         return result;
       }});
  members.push_back({"AS_GetRecords",
                     kDispIdGetRecords,
                     com::MemberKind::Method,
                     {ParamInfo("ProviderName", com::VT_BSTR), ParamInfo("Count", com::VT_I4),
                      ParamInfo("RecsOut", com::VT_I4, ParamMode::Out),
                      ParamInfo("Options", com::VT_I4), ParamInfo("CommandText", com::VT_BSTR),
                      ParamInfo("Params", com::VT_VARIANT, ParamMode::InOut),
                      ParamInfo("OwnerData", com::VT_VARIANT, ParamMode::InOut)},
                     [](com::IDispatchObject& self, com::DispatchArgs& args) {
                       std::int32_t recsOut = 0;
                       com::Variant result = Self(self).AS_GetRecords(
                           args[0].GetString(), args[1].GetI4(), recsOut, args[3].GetI4(),
                           args[4].GetString(), args[5], args[6]);
                       args[2] = com::Variant::I4(recsOut);
                       return result;
                     }});
  members.push_back({"AS_DataRequest",
                     kDispIdDataRequest,
                     com::MemberKind::Method,
                     {ParamInfo("ProviderName", com::VT_BSTR), ParamInfo("Data")},
                     [](com::IDispatchObject& self, com::DispatchArgs& args) {
                       return Self(self).AS_DataRequest(args[0].GetString(), args[1]);
                     }});
  members.push_back({"AS_GetProviderNames",
                     kDispIdGetProviderNames,
                     com::MemberKind::Method,
                     {},
                     [](com::IDispatchObject& self, com::DispatchArgs&) {
                       return Self(self).AS_GetProviderNames();
                     }});
  members.push_back({"AS_GetParams",
                     kDispIdGetParams,
                     com::MemberKind::Method,
                     {ParamInfo("ProviderName", com::VT_BSTR),
                      ParamInfo("OwnerData", com::VT_VARIANT, ParamMode::InOut)},
                     [](com::IDispatchObject& self, com::DispatchArgs& args) {
                       return Self(self).AS_GetParams(args[0].GetString(), args[1]);
                     }});
  members.push_back({"AS_RowRequest",
                     kDispIdRowRequest,
                     com::MemberKind::Method,
                     {ParamInfo("ProviderName", com::VT_BSTR), ParamInfo("Row"),
                      ParamInfo("RequestType", com::VT_I4),
                      ParamInfo("OwnerData", com::VT_VARIANT, ParamMode::InOut)},
                     [](com::IDispatchObject& self, com::DispatchArgs& args) {
                       return Self(self).AS_RowRequest(args[0].GetString(), args[1],
                                                       args[2].GetI4(), args[3]);
                     }});
  members.push_back(
      {"AS_Execute",
       kDispIdExecute,
       com::MemberKind::Method,
       {ParamInfo("ProviderName", com::VT_BSTR), ParamInfo("CommandText", com::VT_BSTR),
        ParamInfo("Params", com::VT_VARIANT, ParamMode::InOut),
        ParamInfo("OwnerData", com::VT_VARIANT, ParamMode::InOut)},
       [](com::IDispatchObject& self, com::DispatchArgs& args) {
         Self(self).AS_Execute(args[0].GetString(), args[1].GetString(), args[2], args[3]);
         return com::Variant();
       }});
  return members;
}

void AppServer::ExportProvider(Provider& provider) {
  providers_.push_back(&provider);
}

std::vector<std::string> AppServer::ProviderNames() const {
  std::vector<std::string> names;
  names.reserve(providers_.size());
  for (const Provider* provider : providers_) names.push_back(provider->Name());
  return names;
}

Provider& AppServer::FindProvider(std::string_view name) const {
  for (Provider* provider : providers_) {
    if (text::EqualsIgnoringAsciiCase(provider->Name(), name)) return *provider;
  }
  throw std::runtime_error("Provider not exported: " + std::string(name));
}

com::Variant AppServer::AS_ApplyUpdates(const std::string& providerName, const com::Variant& delta,
                                        std::int32_t maxErrors, std::int32_t& errorCount,
                                        com::Variant& ownerData) {
  std::lock_guard lock(lock_);
  return FindProvider(providerName).ApplyUpdates(delta, maxErrors, errorCount);
}

com::Variant AppServer::AS_GetRecords(const std::string& providerName, std::int32_t count,
                                      std::int32_t& recsOut, std::int32_t options,
                                      const std::string& commandText, com::Variant& params,
                                      com::Variant& ownerData) {
  std::lock_guard lock(lock_);
  return FindProvider(providerName).GetRecords(count, recsOut, options, commandText, params);
}

com::Variant AppServer::AS_DataRequest(const std::string& providerName, const com::Variant& data) {
  std::lock_guard lock(lock_);
  return FindProvider(providerName).DataRequest(data);
}

com::Variant AppServer::AS_GetProviderNames() {
  std::lock_guard lock(lock_);
  com::SafeArray names =
      com::SafeArray::Vector(com::VT_VARIANT, static_cast<std::uint32_t>(providers_.size()));
  for (std::size_t i = 0; i < providers_.size(); ++i) {
    names.Put({static_cast<std::int32_t>(i)}, com::Variant::String(providers_[i]->Name()));
  }
  return com::Variant::Array(std::move(names));
}

com::Variant AppServer::AS_GetParams(const std::string& providerName, com::Variant& ownerData) {
  std::lock_guard lock(lock_);
  return FindProvider(providerName).GetParams();
}

com::Variant AppServer::AS_RowRequest(const std::string& providerName, const com::Variant& row,
                                      std::int32_t requestType, com::Variant& ownerData) {
  std::lock_guard lock(lock_);
  return FindProvider(providerName).RowRequest(row, requestType);
}

void AppServer::AS_Execute(const std::string& providerName, const std::string& commandText,
                           com::Variant& params, com::Variant& ownerData) {
  std::lock_guard lock(lock_);
  FindProvider(providerName).Execute(commandText, params);
}

}  // namespace quor::datasnap
