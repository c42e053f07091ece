// The hand-written members of the account-set administration, generic SQL
// and system-value families: each has an algorithm of its own (files, backup
// and restore statements, statement text chosen by the client, positional
// arguments, the configuration). The rows that name them are in
// AdministrationMethods.cpp, GenericSqlMethods.cpp and SystemValueMethods.cpp;
// each handler gets its arguments in declared order.
#pragma once

#include "platform/com/DispatchTable.h"
#include "remote/methods/MethodDescription.h"

namespace quor {
class TDataModuleServer;
}

namespace quor::remote {

// remote/AccountSetAdministration.cpp
com::Variant CreateDataBase(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args);
com::Variant DeleteDataBase(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args);
com::Variant BackupDatabase(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args);
com::Variant RestoreDatabase(TDataModuleServer& module, const MethodDescription& method,
                             com::DispatchArgs& args);
// remote/AccountSetLookup.cpp
com::Variant GetMobileDataBase(TDataModuleServer& module, const MethodDescription& method,
                               com::DispatchArgs& args);
com::Variant GetDataBase(TDataModuleServer& module, const MethodDescription& method,
                         com::DispatchArgs& args);
com::Variant GetPhoneToDataBase(TDataModuleServer& module, const MethodDescription& method,
                                com::DispatchArgs& args);
com::Variant GetSystemInformation(TDataModuleServer& module, const MethodDescription& method,
                                  com::DispatchArgs& args);
// remote/ServerFiles.cpp
com::Variant GetDirectoryFileList(TDataModuleServer& module, const MethodDescription& method,
                                  com::DispatchArgs& args);
com::Variant OperateServerFile(TDataModuleServer& module, const MethodDescription& method,
                               com::DispatchArgs& args);
// remote/SchemaUpdate.cpp
com::Variant UpdateDataBase(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args);
// remote/GenericSql.cpp
com::Variant AdoExecSQL(TDataModuleServer& module, const MethodDescription& method,
                        com::DispatchArgs& args);
com::Variant ExecProcEx(TDataModuleServer& module, const MethodDescription& method,
                        com::DispatchArgs& args);

}  // namespace quor::remote
