// The accounting writers that choose between a create and an update
// procedure, and the event log stamped with the server's time.
#include "remote/methods/AccountingHandlers.h"

#include <chrono>
#include <ctime>
#include <stdexcept>
#include <string>

#include "platform/sql/Value.h"
#include "remote/methods/ChosenProcedure.h"

namespace quor::remote {
namespace {

struct AccountingRecordProcedures {
  std::string_view create;
  std::string_view update;
  // The argument that names the parent of a new record and the record itself
  // on an update; empty when the same parameter serves both.
  std::string_view parentOrSelf;
};

// lMode 0 creates, any other value updates.
com::Variant RunAccountingRecordWriter(TDataModuleServer& module, const MethodDescription& method,
                                       com::DispatchArgs& args,
                                       const AccountingRecordProcedures& procedures) {
  const bool create = SelectorNumber(method, args, "lMode") == 0;
  MethodDescription row = method;
  if (!create && !procedures.parentOrSelf.empty()) {
    for (Argument& argument : row.arguments) {
      if (argument.name == procedures.parentOrSelf) argument.parameter = "@SelfID";
    }
  }
  return RunChosenProcedure(module, row, args, create ? procedures.create : procedures.update,
                            {"lMode"});
}

// nType 0 creates a header and sends no bill; any other value is the bill
// that the update procedure rewrites.
com::Variant RunAccountingBillHeader(TDataModuleServer& module, const MethodDescription& method,
                                     com::DispatchArgs& args, std::string_view create,
                                     std::string_view update) {
  const bool isNew = SelectorNumber(method, args, "nType") == 0;
  MethodDescription row = method;
  if (isNew) {
    for (Argument& argument : row.arguments) {
      if (argument.name == "nType") argument.send = SendRule::kNotSent;
    }
  }
  return RunChosenProcedure(module, row, args, isNew ? create : update, {});
}

// The log's time is the server's, in local time, whatever the client sends.
std::string AccountingLogTime() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) {
    throw std::runtime_error("AccQuerySystemEventLog: the clock cannot be read as local time");
  }
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text, length);
}

}  // namespace

com::Variant AccInsertAreaInfo(TDataModuleServer& module, const MethodDescription& method,
                               com::DispatchArgs& args) {
  return RunAccountingRecordWriter(module, method, args, {"AAAABFC;1", "AAAABHT;1", {}});
}

com::Variant AccInsertBranchInfo(TDataModuleServer& module, const MethodDescription& method,
                                 com::DispatchArgs& args) {
  return RunAccountingRecordWriter(module, method, args, {"AAAABFD;1", "AAAABHZ;1", {}});
}

com::Variant AccInsertClientInfo(TDataModuleServer& module, const MethodDescription& method,
                                 com::DispatchArgs& args) {
  return RunAccountingRecordWriter(module, method, args, {"AAAABFF;1", "AAAABIA;1", "ParentID"});
}

com::Variant AccInsertPersonInfo(TDataModuleServer& module, const MethodDescription& method,
                                 com::DispatchArgs& args) {
  return RunAccountingRecordWriter(module, method, args, {"AAAABFJ;1", "AAAABIJ;1", "ParentID"});
}

com::Variant AccInsertVoucherMaster(TDataModuleServer& module, const MethodDescription& method,
                                    com::DispatchArgs& args) {
  return RunAccountingBillHeader(module, method, args, "AAAABFP", "AAAABIP");
}

com::Variant WagInsertBillMasterAll(TDataModuleServer& module, const MethodDescription& method,
                                    com::DispatchArgs& args) {
  return RunAccountingBillHeader(module, method, args, "AAAABLK", "AAAABLZ");
}

com::Variant AccQuerySystemEventLog(TDataModuleServer& module, const MethodDescription& method,
                                    com::DispatchArgs& args) {
  const std::string now = AccountingLogTime();
  return RunChosenProcedure(module, method, args, method.procedure, {}, [&](sql::StoredProc& proc) {
    proc.Params().ByName("@Date").SetValue(sql::Value::Text(now));
  });
}

}  // namespace quor::remote
