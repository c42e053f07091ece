// Basic information: the record writers and lookups of goods, customers,
// staff, areas and the other basic records.
#include "remote/methods/MethodCatalogue.h"

namespace quor::remote {

const std::vector<MethodDescription>& BasicInformationMethods() {
  static const std::vector<MethodDescription> kMethods = {
      {.name = "InsertAreaInfo",
       .dispId = 1017,
       .component = Component::kInsertProc,
       .procedure = "AAAAARN;1",
       .arguments = {kOperatorId, kCompanyId, ModeLetter("lMode").To("@Mode"),
                     In("typeid").To("@SelfID"), In("Fullname").To("@LongName"),
                     In("UserCode").To("@CodeName"), In("Comment").To("@Memo"),
                     In("namepy").To("@Bopomofo"), In("CurrRow"),
                     Out("NewSelfID").Through("@NewSelfID"), Ret("nRet")}},
      {.name = "GetBasicInfoPath",
       .dispId = 1086,
       .component = Component::kInsertProc,
       .procedure = "AAAAAQD;1",
       .arguments = {kOperatorId, kCompanyId, In("cMode"), In("szTypeid").To("@sReplaceID"),
                     Out("szBasicPath").From("@szBasicPath"), Ret("nRet")},
       .constants = {Text("@szBasicPath", "")}},
      {.name = "QueryClassBasicInfo",
       .dispId = 1127,
       .component = Component::kBasicProc,
       .procedure = "AAAAAVI;1",
       .arguments = {kOperatorId, kCompanyId, NotSent("ParId"), In("dbName"), In("OrderMode"),
                     In("sSearchAllField"), In("sSearchCodeName"), In("sSearchLongName"),
                     In("sSearchBarCode"), In("sSearchStandard"), In("sSearchWareType"),
                     In("sSearchClientID"), In("sSearchMemo"), In("sSelfID"), Ret("lReturn")},
       .constants = {Text("@ParentID", "ptype")}},
      {.name = "QueryOneClientFind",
       .dispId = 1185,
       .component = Component::kQueryProc,
       .procedure = "AAAAAXH;1",
       .arguments = {kOperatorId, kCompanyId, In("Btypeid").To("@ClientID"), In("lines"),
                     Out("IsClient").From("@isclient"), Out("fk").From("@fk"), Ret("nRet")},
       .constants = {Integer("@isclient", 0), Integer("@fk", 0)}},
  };
  return kMethods;
}

}  // namespace quor::remote
