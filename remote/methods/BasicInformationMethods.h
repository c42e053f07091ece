// The basic-information family in its three tables: record writers that take a
// mode letter (23), the other record maintenance (10) and the lookups whose rows
// the client then fetches through the component's provider (29).
// BasicInformationMethods() (MethodCatalogue.h) is the three in this order.
#pragma once

#include <vector>

#include "remote/methods/MethodDescription.h"

namespace quor::remote {

const std::vector<MethodDescription>& BasicRecordWritersWithMode();
const std::vector<MethodDescription>& OtherBasicRecordMaintenance();
const std::vector<MethodDescription>& BasicInformationLookups();

}  // namespace quor::remote
