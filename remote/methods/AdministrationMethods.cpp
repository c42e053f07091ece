// Account-set administration: listing, creating, deleting, backing up and
// restoring account sets, upgrading one from a script, files below the program
// folder, and which account set phones use. The interface gave these members
// no DISPIDs; this family's are this server's own, from 201.
#include "remote/methods/AdministrationHandlers.h"
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
      {.name = "CreateDataBase",
       .dispId = 202,
       .component = Component::kCreateGetZt,
       .arguments = {In("Vocation"), In("sUserName"), In("sPassword"), In("sZTDBName"),
                     In("sZTCaption"), In("sVersion"), Out("iReturn", ArgType::kInteger)},
       .handler = &CreateDataBase},
      {.name = "DeleteDataBase",
       .dispId = 203,
       .component = Component::kDeleteProc,
       .procedure = "P_DeleteDataBase;1",
       .arguments = {NotSent("sUserName"), NotSent("sPassword"), In("lOrderID").To("@ID"),
                     Ret("Param4")},
       .handler = &DeleteDataBase},
      {.name = "BackupDatabase",
       .dispId = 204,
       .component = Component::kCreateGetZt,
       .arguments = {In("Vocation"), In("sDBName"), In("sBKName"), In("vServerDir"),
                     Out("lReturn", ArgType::kInteger)},
       .handler = &BackupDatabase},
      {.name = "RestoreDatabase",
       .dispId = 205,
       .component = Component::kCreateGetZt,
       .arguments = {In("Vocation"), In("sDBName"), In("sBKName"), In("sZTCaption"),
                     In("vServerDir"), Out("lReturn", ArgType::kInteger)},
       .handler = &RestoreDatabase},
      {.name = "GetDirectoryFileList",
       .dispId = 206,
       .arguments = {In("Vocation"), In("vServerDir"), Out("nReturn")},
       .handler = &GetDirectoryFileList},
      {.name = "UpdateDataBase",
       .dispId = 207,
       .arguments = {In("Vocation"), In("sFilePath"), In("sFileName"), In("szExtend"),
                     Out("iReturn", ArgType::kInteger), Out("ErrorMsg")},
       .handler = &UpdateDataBase},
      {.name = "OperateServerFile",
       .dispId = 208,
       .arguments = {In("Vocation"), In("sCommand"), In("sFilePath"), In("sNewName"),
                     InOut("vFileVariant"), Out("iReturn", ArgType::kInteger)},
       .handler = &OperateServerFile},
      {.name = "GetMobileDataBase",
       .dispId = 209,
       .arguments = {Out("UseMobileDB", ArgType::kInteger), Out("sDataBase", ArgType::kWideString)},
       .handler = &GetMobileDataBase},
      {.name = "GetDataBase",
       .dispId = 210,
       .component = Component::kQryExecSQL,
       .arguments = {In("dbName"), Out("iReturn", ArgType::kInteger)},
       .handler = &GetDataBase},
      {.name = "GetPhoneToDataBase",
       .dispId = 211,
       .arguments = {In("Telephone"), Out("PhoneToDB", ArgType::kInteger),
                     Out("DataName", ArgType::kWideString), Out("UserName", ArgType::kWideString)},
       .handler = &GetPhoneToDataBase},
      {.name = "SystemDataClear",
       .dispId = 212,
       .component = Component::kDeleteProc,
       .procedure = "AAAABAN;1",
       .arguments = {kOperatorId, kCompanyId, In("lBeginPeriod"),
                     In("lBakDly").To("@iBillDetailDraft"), In("lBasicinfo"), In("lOrderBill"),
                     In("lVipCard"), Ret("nRet")}},
  };
  return kMethods;
}

}  // namespace quor::remote
