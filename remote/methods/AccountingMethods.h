// The accounting, cash, fixed-asset and wage family in its two tables: the
// members with typed arguments, several procedures or further outputs (38)
// and the plain list (101). AccountingMethods() (MethodCatalogue.h) is the
// two in this order.
#pragma once

#include <vector>

#include "remote/methods/MethodDescription.h"

namespace quor::remote {

const std::vector<MethodDescription>& AccountingDetailedMembers();
const std::vector<MethodDescription>& AccountingPlainList();

}  // namespace quor::remote
