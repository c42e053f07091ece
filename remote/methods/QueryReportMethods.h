// The query and report family in its three tables: the members that choose
// their procedure at run time (3), the members with a fixed argument list (23)
// and the plain list with open argument lists (116). QueryReportMethods()
// (MethodCatalogue.h) is the three in this order.
#pragma once

#include <vector>

#include "remote/methods/MethodDescription.h"

namespace quor::remote {

const std::vector<MethodDescription>& QueryReportSelectorMethods();
const std::vector<MethodDescription>& QueryReportFixedListMethods();
const std::vector<MethodDescription>& QueryReportPlainListMethods();

}  // namespace quor::remote
