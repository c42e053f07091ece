// The application-server half of a remote data module (IAppServer): the seven
// members clients reach by DISPID, answered by the module's exported
// providers, each under the module's lock. A module derives from AppServer
// and from a dispatch object whose member table includes DispatchMembers();
// it may override the members it answers differently.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Provider.h"
#include "platform/com/DispatchTable.h"

namespace quor::datasnap {

inline constexpr const char* kIAppServerIid = "{1AEFCC20-7A24-11D2-98B0-C69BEB4B5B6D}";

inline constexpr com::DispId kDispIdApplyUpdates = 20000000;
inline constexpr com::DispId kDispIdGetRecords = 20000001;
inline constexpr com::DispId kDispIdDataRequest = 20000002;
inline constexpr com::DispId kDispIdGetProviderNames = 20000003;
inline constexpr com::DispId kDispIdGetParams = 20000004;
inline constexpr com::DispId kDispIdRowRequest = 20000005;
inline constexpr com::DispId kDispIdExecute = 20000006;

class AppServer {
 public:
  AppServer() = default;
  virtual ~AppServer() = default;
  AppServer(const AppServer&) = delete;
  AppServer& operator=(const AppServer&) = delete;

  // The seven members in interface order, each calling the virtual function
  // below on the object (which must derive from AppServer).
  static std::vector<com::MemberInfo> DispatchMembers();

  virtual com::Variant AS_ApplyUpdates(const std::string& providerName, const com::Variant& delta,
                                       std::int32_t maxErrors, std::int32_t& errorCount,
                                       com::Variant& ownerData);
  virtual com::Variant AS_GetRecords(const std::string& providerName, std::int32_t count,
                                     std::int32_t& recsOut, std::int32_t options,
                                     const std::string& commandText, com::Variant& params,
                                     com::Variant& ownerData);
  virtual com::Variant AS_DataRequest(const std::string& providerName, const com::Variant& data);
  // A zero-based variant array of the exported providers' names.
  virtual com::Variant AS_GetProviderNames();
  virtual com::Variant AS_GetParams(const std::string& providerName, com::Variant& ownerData);
  virtual com::Variant AS_RowRequest(const std::string& providerName, const com::Variant& row,
                                     std::int32_t requestType, com::Variant& ownerData);
  virtual void AS_Execute(const std::string& providerName, const std::string& commandText,
                          com::Variant& params, com::Variant& ownerData);

  std::vector<std::string> ProviderNames() const;
  // Letter case is ignored; an unknown name is an error naming it.
  Provider& FindProvider(std::string_view name) const;

  // Held around every provider operation; recursive so an override can hold it
  // around the base behaviour it calls.
  std::recursive_mutex& ModuleLock() const { return lock_; }

 protected:
  // Providers are owned by the module; they are answered in the order exported.
  void ExportProvider(Provider& provider);

 private:
  std::vector<Provider*> providers_;
  mutable std::recursive_mutex lock_;
};

}  // namespace quor::datasnap
