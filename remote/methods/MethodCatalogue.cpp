#include "remote/methods/MethodCatalogue.h"

#include "platform/datasnap/AppServer.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {

std::span<const MethodFamily> MethodFamilies() {
  static const MethodFamily kFamilies[] = {
      {"Sessions and server information", &SessionMethods},
      {"Account-set administration", &AdministrationMethods},
      {"Basic information", &BasicInformationMethods},
      {"Bills", &BillMethods},
      {"Member cards, short messages and messaging", &MemberCardSmsMethods},
      {"Generic SQL", &GenericSqlMethods},
      {"System values, users and period end", &SystemValueMethods},
      {"Stock initialisation, serial numbers and stocktaking", &StockSerialMethods},
      {"Queries and reports", &QueryReportMethods},
      {"Accounting, cash, fixed assets and wages", &AccountingMethods},
      {"Trade editions", &TradeEditionMethods},
  };
  return kFamilies;
}

std::vector<const MethodDescription*> CatalogueMethods() {
  std::vector<const MethodDescription*> methods;
  for (const MethodFamily& family : MethodFamilies()) {
    for (const MethodDescription& method : family.methods()) methods.push_back(&method);
  }
  return methods;
}

std::shared_ptr<const com::DispatchTable> BuildModuleTable(
    std::span<const MethodDescription* const> methods) {
  std::vector<com::MemberInfo> members = datasnap::AppServer::DispatchMembers();
  members.reserve(members.size() + methods.size());
  for (const MethodDescription* method : methods) members.push_back(DispatchMemberOf(*method));
  return std::make_shared<const com::DispatchTable>(std::move(members), kDataModuleServerProgId);
}

}  // namespace quor::remote
