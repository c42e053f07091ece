#include "remote/methods/RecordWriters.h"

#include <exception>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "platform/com/TableDispatch.h"
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

// ODBC SQL type codes, as the parameter refresh reports them.
constexpr short kSqlChar = 1, kSqlVarChar = 12, kSqlLongVarChar = -1, kSqlWChar = -8,
                kSqlWVarChar = -9, kSqlWLongVarChar = -10;
constexpr short kSqlBit = -7;
constexpr short kSqlNumeric = 2, kSqlDecimal = 3, kSqlInteger = 4, kSqlSmallInt = 5, kSqlFloat = 6,
                kSqlReal = 7, kSqlDouble = 8, kSqlTinyInt = -6, kSqlBigInt = -5;

com::Variant BlankFor(const sql::Parameter& parameter) {
  switch (parameter.SqlType()) {
    case kSqlChar:
    case kSqlVarChar:
    case kSqlLongVarChar:
    case kSqlWChar:
    case kSqlWVarChar:
    case kSqlWLongVarChar:
      return com::Variant("");
    case kSqlBit:
      return com::Variant::Bool(false);
    case kSqlNumeric:
    case kSqlDecimal:
    case kSqlInteger:
    case kSqlSmallInt:
    case kSqlFloat:
    case kSqlReal:
    case kSqlDouble:
    case kSqlTinyInt:
    case kSqlBigInt:
      return com::Variant::I4(0);
    default:
      return com::Variant::Null();
  }
}

// A writer call on a component of the caller's. DispatchArgs are made only by
// a dispatch table, so the named road goes through one built from the members'
// own dispatch rows: the arguments are converted exactly as a client's are,
// and the same engine steps run on them.
class ForeignWrite final : public com::TableDispatch {
 public:
  ForeignWrite(std::shared_ptr<const com::DispatchTable> table, sql::StoredProc& proc,
               std::vector<bool> named)
      : com::TableDispatch(std::move(table)), proc_(proc), named_(std::move(named)) {}

  sql::StoredProc& Proc() { return proc_; }
  bool Named(std::size_t slot) const { return named_.at(slot); }
  // What the member raised, to be rethrown as it was rather than as an HRESULT.
  void Remember(std::exception_ptr error) { error_ = std::move(error); }
  const std::exception_ptr& Error() const { return error_; }

 private:
  sql::StoredProc& proc_;
  std::vector<bool> named_;
  std::exception_ptr error_;
};

void FillBlanks(ForeignWrite& call, const MethodDescription& method, com::DispatchArgs& args) {
  std::size_t slot = 0;
  for (const Argument& argument : method.arguments) {
    if (argument.direction == ArgDirection::kRetVal) continue;
    const std::size_t index = slot++;
    if (argument.direction != ArgDirection::kIn || !argument.Sent() || call.Named(index)) continue;
    if (argument.send != SendRule::kAsIs) continue;  // left empty: converts to 0
    const sql::Parameter* parameter = call.Proc().Params().Find(ParameterOf(argument));
    if (parameter != nullptr) args[index] = BlankFor(*parameter);
  }
}

com::Variant RunForeign(com::IDispatchObject& self, const MethodDescription& method,
                        com::DispatchArgs& args) {
  ForeignWrite& call = dynamic_cast<ForeignWrite&>(self);
  try {
    sql::StoredProc& proc = call.Proc();
    PrepareProcedure(proc, method.procedure);
    FillBlanks(call, method, args);
    AssignArguments(proc, method, args);
    proc.ExecProc();
    return ReadResults(proc, method, args);
  } catch (...) {
    call.Remember(std::current_exception());
    throw;
  }
}

std::shared_ptr<const com::DispatchTable> WriterTable() {
  static const std::shared_ptr<const com::DispatchTable> kTable = [] {
    std::vector<com::MemberInfo> members;
    for (const std::string& name : SharedRecordWriterNames()) {
      const MethodDescription& row = WriterRow(name);
      com::MemberInfo member = DispatchMemberOf(row);
      member.handler = [&row](com::IDispatchObject& self, com::DispatchArgs& args) {
        return RunForeign(self, row, args);
      };
      members.push_back(std::move(member));
    }
    return std::make_shared<const com::DispatchTable>(std::move(members), "RecordWriters");
  }();
  return kTable;
}

WriteResult Write(std::string_view writer, sql::StoredProc& proc, const RecordValues& values) {
  const MethodDescription& method = WriterRow(writer);
  std::vector<const Argument*> declared;
  for (const Argument& argument : method.arguments) {
    if (argument.direction != ArgDirection::kRetVal) declared.push_back(&argument);
  }

  std::vector<com::Variant> inDeclaredOrder(declared.size());
  std::vector<bool> named(declared.size(), false);
  std::vector<std::shared_ptr<com::Variant>> outs(declared.size());
  for (const auto& [name, value] : values) {
    std::size_t slot = 0;
    while (slot < declared.size() && !text::EqualsIgnoringAsciiCase(declared[slot]->name, name)) {
      ++slot;
    }
    if (slot == declared.size() || declared[slot]->direction != ArgDirection::kIn) {
      throw std::invalid_argument(std::string(writer) + " takes no in-argument " + name);
    }
    if (named[slot]) {
      throw std::invalid_argument(std::string(writer) + ": " + name + " is given twice");
    }
    named[slot] = true;
    inDeclaredOrder[slot] = value;
  }
  for (std::size_t slot = 0; slot < declared.size(); ++slot) {
    if (declared[slot]->direction == ArgDirection::kIn) continue;
    const com::VarType type = VarTypeOf(declared[slot]->type);
    outs[slot] =
        std::make_shared<com::Variant>(type == com::VT_I4 ? com::Variant::I4(0) : com::Variant());
    inDeclaredOrder[slot] = com::Variant::ByRef(outs[slot], type);
  }

  ForeignWrite call(WriterTable(), proc, std::move(named));
  com::DispId dispId = com::DISPID_UNKNOWN;
  if (call.GetIDsOfNames(writer, dispId) != com::S_OK) {
    throw std::logic_error(std::string(writer) + " is no record writer");
  }
  const std::vector<com::Variant> dispatchOrder(inDeclaredOrder.rbegin(), inDeclaredOrder.rend());
  com::ExcepInfo excepInfo;
  std::uint32_t argErr = 0;
  const com::HResult hr = call.Invoke(dispId, com::DISPATCH_METHOD, com::DispParams(dispatchOrder),
                                      nullptr, &excepInfo, &argErr);
  if (call.Error()) std::rethrow_exception(call.Error());
  if (hr != com::S_OK) {
    std::string argument;
    if (argErr < dispatchOrder.size()) {
      argument = ": argument " + std::string(declared[declared.size() - 1 - argErr]->name);
    }
    throw com::HResultError(hr, std::string(writer) + argument + ": " + excepInfo.description);
  }

  WriteResult result;
  for (std::size_t slot = 0; slot < declared.size(); ++slot) {
    const Argument& argument = *declared[slot];
    if (argument.direction == ArgDirection::kIn) continue;
    if (argument.source == ResultSource::kParameter) {
      result.newId = *outs[slot];
    } else {
      result.nRet = outs[slot]->ToI4();
    }
  }
  return result;
}

}  // namespace

void WriteRecord(sql::StoredProc& proc, const MethodDescription& method, com::DispatchArgs& args) {
  PrepareProcedure(proc, method.procedure);
  AssignArguments(proc, method, args);
  proc.ExecProc();
  ReadResults(proc, method, args);
}

WriteResult InsertWareInfo(sql::StoredProc& proc, const RecordValues& values) {
  return Write("InsertWareInfo", proc, values);
}
WriteResult UpdateWareInfoAppend(sql::StoredProc& proc, const RecordValues& values) {
  return Write("UpdateWareInfoAppend", proc, values);
}
WriteResult InsertClientInfo(sql::StoredProc& proc, const RecordValues& values) {
  return Write("InsertClientInfo", proc, values);
}
WriteResult InsertPersonInfo(sql::StoredProc& proc, const RecordValues& values) {
  return Write("InsertPersonInfo", proc, values);
}
WriteResult InsertStockInfo(sql::StoredProc& proc, const RecordValues& values) {
  return Write("InsertStockInfo", proc, values);
}
WriteResult InsertUnitInfo(sql::StoredProc& proc, const RecordValues& values) {
  return Write("InsertUnitInfo", proc, values);
}
WriteResult InsertColorInfo(sql::StoredProc& proc, const RecordValues& values) {
  return Write("InsertColorInfo", proc, values);
}
WriteResult InsertSizeInfo(sql::StoredProc& proc, const RecordValues& values) {
  return Write("InsertSizeInfo", proc, values);
}
WriteResult InsertColorGroupInfo(sql::StoredProc& proc, const RecordValues& values) {
  return Write("InsertColorGroupInfo", proc, values);
}
WriteResult InsertSizeGroupInfo(sql::StoredProc& proc, const RecordValues& values) {
  return Write("InsertSizeGroupInfo", proc, values);
}

}  // namespace quor::remote
