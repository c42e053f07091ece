// The hand-written members of the session family (and QueryDataBase of the
// administration family): connecting the module and binding it to an account
// set, the online table seen from a client, and what a client may learn about
// the server. The rows that name them are in SessionMethods.cpp and
// AdministrationMethods.cpp; each handler gets its arguments in declared order.
#pragma once

#include "platform/com/DispatchTable.h"
#include "remote/methods/MethodDescription.h"

namespace quor {
class TDataModuleServer;
}

namespace quor::remote {

// The desktop login's refusal under the one-login-per-user policy.
inline constexpr int kLoginRefused = -5;
inline constexpr const char* kLoginRefusedText =
    "服务器配置为同一用户只能在一台客户端登陆，请与系统管理员联系！";

// ConnectionHandlers.cpp
com::Variant ConnectDb(TDataModuleServer& module, const MethodDescription& method,
                       com::DispatchArgs& args);
com::Variant ChangeDataBase(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args);
com::Variant QueryDataBase(TDataModuleServer& module, const MethodDescription& method,
                           com::DispatchArgs& args);

// OnlineHandlers.cpp
com::Variant NetClientLogin(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args);
com::Variant UpdateNetConnectTime(TDataModuleServer& module, const MethodDescription& method,
                                  com::DispatchArgs& args);
com::Variant NetClientDisconnect(TDataModuleServer& module, const MethodDescription& method,
                                 com::DispatchArgs& args);
com::Variant CheckNetConnectCollide(TDataModuleServer& module, const MethodDescription& method,
                                    com::DispatchArgs& args);

// ServerInfoHandlers.cpp
com::Variant GetServerDate(TDataModuleServer& module, const MethodDescription& method,
                           com::DispatchArgs& args);
com::Variant GetVersionNumber(TDataModuleServer& module, const MethodDescription& method,
                              com::DispatchArgs& args);
com::Variant GetSQLServerConfig(TDataModuleServer& module, const MethodDescription& method,
                                com::DispatchArgs& args);
com::Variant GetServerAppPath(TDataModuleServer& module, const MethodDescription& method,
                              com::DispatchArgs& args);
com::Variant GetSQLEditionIsMSDE(TDataModuleServer& module, const MethodDescription& method,
                                 com::DispatchArgs& args);
com::Variant GetIsClientAutoSynchro(TDataModuleServer& module, const MethodDescription& method,
                                    com::DispatchArgs& args);

}  // namespace quor::remote
