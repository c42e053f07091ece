#include "remote/methods/RecordWriters.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "platform/com/VariantConvert.h"
#include "platform/text/AsciiText.h"
#include "remote/methods/CallPattern.h"
#include "remote/methods/MethodCatalogue.h"

namespace quor::remote {

const std::vector<std::string>& SharedRecordWriterNames() {
  static const std::vector<std::string> kNames = {
      "InsertWareInfo",       "UpdateWareInfoAppend", "InsertClientInfo", "InsertPersonInfo",
      "InsertStockInfo",      "InsertUnitInfo",       "InsertColorInfo",  "InsertSizeInfo",
      "InsertColorGroupInfo", "InsertSizeGroupInfo"};
  return kNames;
}

namespace {

const MethodDescription& WriterRow(std::string_view name) {
  for (const MethodDescription& method : BasicInformationMethods()) {
    if (method.name == name) return method;
  }
  throw std::logic_error("the basic-information table has no member " + std::string(name));
}

com::Variant BlankFor(const sql::Parameter& parameter) {
  switch (sql::ValueKindOfSqlType(parameter.SqlType()).value_or(sql::ValueKind::kNull)) {
    case sql::ValueKind::kText:
      return com::Variant("");
    case sql::ValueKind::kBoolean:
      return com::Variant::Bool(false);
    case sql::ValueKind::kInteger:
    case sql::ValueKind::kDouble:
    case sql::ValueKind::kDecimal:
      return com::Variant::I4(0);
    default:
      return com::Variant::Null();
  }
}

// An in-argument the caller did not name is sent as the blank of its
// parameter's declared type.
void FillBlanks(sql::StoredProc& proc, const MethodDescription& method,
                const std::vector<bool>& named, com::DispatchArgs& args) {
  std::size_t slot = 0;
  for (const Argument& argument : method.arguments) {
    if (argument.direction == ArgDirection::kRetVal) continue;
    const std::size_t index = slot++;
    if (argument.direction != ArgDirection::kIn || !argument.Sent() || named[index]) continue;
    if (argument.send != SendRule::kAsIs) continue;  // left empty: converts to 0
    const sql::Parameter* parameter = proc.Params().Find(ParameterOf(argument));
    if (parameter != nullptr) args[index] = BlankFor(*parameter);
  }
}

}  // namespace

void WriteRecord(sql::StoredProc& proc, const MethodDescription& method, com::DispatchArgs& args) {
  PrepareProcedure(proc, method.procedure);
  AssignArguments(proc, method, args);
  proc.ExecProc();
  ReadResults(proc, method, args);
}

std::vector<com::Variant> ValuesInDeclaredOrder(std::string_view writer,
                                                const com::MemberInfo& member,
                                                const RecordValues& values,
                                                std::vector<bool>& named) {
  std::vector<com::Variant> declared(member.params.size());
  named.assign(member.params.size(), false);
  for (const auto& [name, value] : values) {
    std::size_t slot = 0;
    while (slot < member.params.size() &&
           !text::EqualsIgnoringAsciiCase(member.params[slot].name, name)) {
      ++slot;
    }
    if (slot == member.params.size() || member.params[slot].mode != com::ParamMode::In) {
      throw std::invalid_argument(std::string(writer) + " takes no in-argument " + name);
    }
    if (named[slot]) {
      throw std::invalid_argument(std::string(writer) + ": " + name + " is given twice");
    }
    named[slot] = true;
    declared[slot] = value;
  }
  return declared;
}

WriteResult WriteRecordValues(std::string_view writer, sql::StoredProc& proc,
                              const RecordValues& values) {
  const auto& names = SharedRecordWriterNames();
  if (std::find(names.begin(), names.end(), writer) == names.end()) {
    throw std::invalid_argument(std::string(writer) + " is no record writer");
  }
  const MethodDescription& method = WriterRow(writer);
  const com::MemberInfo member = DispatchMemberOf(method);  // declared order, declared types
  std::vector<bool> named;
  std::vector<com::Variant> inDeclaredOrder = ValuesInDeclaredOrder(writer, member, values, named);
  // Values are converted to the declared types as a client's arguments are;
  // outputs start as the empty value of theirs.
  for (std::size_t slot = 0; slot < member.params.size(); ++slot) {
    const com::ParamInfo& param = member.params[slot];
    const com::Variant given =
        param.mode == com::ParamMode::In ? inDeclaredOrder[slot] : com::Variant();
    if (const com::HResult hr = com::TryChangeType(given, param.type, inDeclaredOrder[slot]);
        com::Failed(hr)) {
      throw com::HResultError(hr, std::string(writer) + ": argument " + param.name +
                                      " does not convert to " + com::VarTypeName(param.type));
    }
  }

  com::DispatchArgs args(std::move(inDeclaredOrder));
  PrepareProcedure(proc, method.procedure);
  FillBlanks(proc, method, named, args);
  AssignArguments(proc, method, args);
  proc.ExecProc();
  ReadResults(proc, method, args);

  WriteResult result;
  std::size_t slot = 0;
  for (const Argument& argument : method.arguments) {
    if (argument.direction == ArgDirection::kRetVal) continue;
    const std::size_t index = slot++;
    if (argument.direction == ArgDirection::kIn) continue;
    if (argument.source == ResultSource::kParameter) {
      result.newId = com::ChangeType(args[index], member.params[index].type);
    } else {
      result.nRet = args[index].ToI4();
    }
  }
  return result;
}

}  // namespace quor::remote
