// Account-set administration: listing, creating, deleting, backing up and
// restoring account sets, and files below the program folder. The interface
// gave these members no DISPIDs; this family's are this server's own, from 201.
#include "remote/methods/MethodCatalogue.h"
#include "remote/methods/SessionHandlers.h"

namespace quor::remote {

const std::vector<MethodDescription>& AdministrationMethods() {
  static const std::vector<MethodDescription> kMethods = {
      // The catalogue is created or upgraded first (on CreateGetZt), then
      // P_QueryDataBase lists the table the client names; the rows come
      // through QueryProvider.
      {.name = "QueryDataBase",
       .dispId = 201,
       .component = Component::kQueryProc,
       .procedure = "P_QueryDataBase;1",
       .arguments = {In("dbName").To("@DbName"), Ret("iReturn")},
       .handler = &QueryDataBase},
  };
  return kMethods;
}

}  // namespace quor::remote
