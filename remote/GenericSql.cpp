// The two generic SQL members with an algorithm of their own: a client's
// statement text run on QryExecSQL, and any procedure called with arguments
// by position.
#include <stdexcept>
#include <string>

#include "ServerPublic/SqlNames.h"
#include "ServerPublic/SqlRoutines.h"
#include "platform/com/VariantConvert.h"
#include "platform/datasnap/VariantValue.h"
#include "remote/methods/AdministrationHandlers.h"
#include "remote/methods/CallPattern.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

constexpr std::size_t kPositionalArguments = 21;

}  // namespace

com::Variant AdoExecSQL(TDataModuleServer& module, const MethodDescription& method,
                        com::DispatchArgs& args) {
  const std::string text = args[0].ToString();
  const bool open = args[1].ToBool();
  // The statement layer sends nothing for a text of no lines; SQL Server would
  // refuse an empty batch, and that refusal is what the client gets.
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    throw std::runtime_error("AdoExecSQL: the statement text is empty");
  }
  args[2] = com::Variant::I4(ExecSqlText(module.QryExecSQL(), text, open));
  return {};
}

com::Variant ExecProcEx(TDataModuleServer& module, const MethodDescription& method,
                        com::DispatchArgs& args) {
  const std::string name = args[0].ToString();
  // The name goes into the call text the driver sends, so only a procedure
  // name (optionally with owner and database) is accepted.
  if (!IsPlainObjectName(name)) {
    throw std::invalid_argument("ExecProcEx: '" + name + "' is not a procedure name");
  }
  sql::StoredProc& proc = module.QueryProc();
  // The values go by position, so the server's current list decides, never a
  // remembered one.
  PrepareProcedure(proc, name + ";1", true);
  const std::size_t count = proc.Params().Count();
  // Clients pass all 21; the ones they leave empty keep the server's defaults.
  for (std::size_t i = 1; i <= kPositionalArguments && i < count; ++i) {
    if (args[i].Deref().IsEmpty()) continue;
    proc.Params()[i].SetValue(datasnap::ToSqlValue(args[i]));
  }
  proc.ExecProc();
  return com::ChangeType(datasnap::ToVariant(proc.Params()[0].GetValue()), com::VT_I4);
}

}  // namespace quor::remote
