#include "remote/methods/MethodCatalogue.h"

#include "platform/datasnap/AppServer.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {

std::vector<const MethodDescription*> CatalogueMethods() {
  std::vector<const MethodDescription*> methods;
  for (const std::vector<MethodDescription>* family :
       {&SessionMethods(), &AdministrationMethods(), &BasicInformationMethods(), &BillMethods(),
        &MemberCardSmsMethods(), &GenericSqlMethods(), &SystemValueMethods(),
        &StockSerialMethods()}) {
    for (const MethodDescription& method : *family) methods.push_back(&method);
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
