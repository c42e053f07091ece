// The trade-edition family in its two tables: the members with several
// procedures, a serial-number pass, further outputs or a substitution (36)
// and the plain list (163). TradeEditionMethods() (MethodCatalogue.h) is the
// two in this order.
#pragma once

#include <vector>

#include "remote/methods/MethodDescription.h"

namespace quor::remote {

const std::vector<MethodDescription>& TradeEditionDetailedMembers();
const std::vector<MethodDescription>& TradeEditionPlainList();

}  // namespace quor::remote
