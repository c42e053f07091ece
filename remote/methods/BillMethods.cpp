// Bills: saving, posting, linking and reading bills and their numbers.
#include "remote/methods/MethodCatalogue.h"

namespace quor::remote {

const std::vector<MethodDescription>& BillMethods() {
  static const std::vector<MethodDescription> kMethods = {
      {.name = "InsertAccountBillLink",
       .dispId = 1030,
       .component = Component::kQueryProc2,
       .procedure = "AAAAARJ;1",
       .arguments = {kOperatorId, kCompanyId, In("vchcode").Typed(ArgType::kInteger).To("@BillID"),
                     Out("OutErrorMsg", ArgType::kWideString).From("@ErrorMsg"), Ret("nRet")},
       .constants = {Text("@ErrorMsg", "")}},
      {.name = "UpdateRedBillTransfer",
       .dispId = 1037,
       .component = Component::kInsertProc,
       .procedure = "AAAABCA;1",
       .arguments = {kOperatorId, kCompanyId, In("Param1").To("@nBillID"),
                     Out("Param2").From("@szWareIDo"), Out("Param3").From("@szClientIDo"),
                     Out("Param4").From("@szAccountIDo"), Out("Param5").From("@szStockIDo"),
                     Ret("Param6")},
       .constants = {Text("@szWareIDo", ""), Text("@szClientIDo", ""), Text("@szAccountIDo", ""),
                     Text("@szStockIDo", "")}},
      {.name = "QueryBillMaster",
       .dispId = 1092,
       .component = Component::kVchProc,
       .procedure = "AAAAAVB;1",
       .arguments = {kOperatorId, kCompanyId, In("vchcode").To("@BillID"), Ret("nRet")}},
  };
  return kMethods;
}

}  // namespace quor::remote
