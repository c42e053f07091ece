// The online table as a desktop client sees it: its login, keep-alive,
// disconnect and the question whether another client is logged in. Desktop
// clients pass no computer name and address to the keep-alive and the
// disconnect; those identify phones only.
#include <string>

#include "ServerPublic/OnlineSessionTable.h"
#include "remote/methods/SessionHandlers.h"

namespace quor::remote {

com::Variant NetClientLogin(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args) {
  // The table cuts every value to its field's length.
  const int result =
      OnlineSessions().RegisterSession(args[0].ToString(), args[1].ToString(), args[2].ToString(),
                                       args[3].ToString(), args[4].ToString(), args[5].ToString());
  const bool refused = result == OnlineSessionTable::kRefused;
  args[6] = com::Variant::I4(refused ? kLoginRefused : 0);
  args[7] = com::Variant::String(refused ? kLoginRefusedText : "");
  // An entered login reached the console through the table's own change
  // notification; a refused one changed nothing, yet the operator sees it.
  if (refused) OnlineSessions().RequestRefresh();
  return {};
}

com::Variant UpdateNetConnectTime(TDataModuleServer& module, const MethodDescription& method,
                                  com::DispatchArgs& args) {
  OnlineSessions().TouchSession(args[0].ToString(), "", "");
  return {};
}

com::Variant NetClientDisconnect(TDataModuleServer& module, const MethodDescription& method,
                                 com::DispatchArgs& args) {
  OnlineSessions().RemoveSession(args[0].ToString(), "", "");
  return {};
}

com::Variant CheckNetConnectCollide(TDataModuleServer& module, const MethodDescription& method,
                                    com::DispatchArgs& args) {
  return com::Variant::I4(OnlineSessions().HasOtherSessions(args[0].ToString()) ? 1 : 0);
}

}  // namespace quor::remote
