// The method catalogue of IQuorServerAll: one table of MethodDescription rows
// per family (remote/methods/<Family>Methods.cpp), gathered here into the
// module's member table together with the IAppServer members.
#pragma once

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/com/DispatchTable.h"
#include "remote/methods/MethodDescription.h"

namespace quor::remote {

const std::vector<MethodDescription>& SessionMethods();
const std::vector<MethodDescription>& AdministrationMethods();
const std::vector<MethodDescription>& BasicInformationMethods();
const std::vector<MethodDescription>& BillMethods();
const std::vector<MethodDescription>& MemberCardSmsMethods();
const std::vector<MethodDescription>& GenericSqlMethods();
const std::vector<MethodDescription>& SystemValueMethods();
const std::vector<MethodDescription>& StockSerialMethods();
const std::vector<MethodDescription>& QueryReportMethods();
const std::vector<MethodDescription>& AccountingMethods();
const std::vector<MethodDescription>& TradeEditionMethods();

// One family of members: its title in the member reference and its rows.
struct MethodFamily {
  std::string_view title;
  const std::vector<MethodDescription>& (*methods)();
};

// Every family, in catalogue order.
std::span<const MethodFamily> MethodFamilies();

// Every family's rows, family by family.
std::vector<const MethodDescription*> CatalogueMethods();

// The IAppServer members followed by one dispatch row per method. Throws
// std::invalid_argument for a row that does not validate or a name or DISPID
// used twice.
std::shared_ptr<const com::DispatchTable> BuildModuleTable(
    std::span<const MethodDescription* const> methods);

}  // namespace quor::remote
