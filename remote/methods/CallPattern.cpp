#include "remote/methods/CallPattern.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "ServerPublic/ServerGlobals.h"
#include "platform/com/VariantConvert.h"
#include "platform/datasnap/VariantValue.h"
#include "platform/sql/ProcedureCache.h"
#include "platform/sql/SqlError.h"
#include "platform/text/AsciiText.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

constexpr const char* kFixedReturnValueName = "@RETURN_VALUE";

// Conversions inside a method are the method's own errors, not the caller's
// argument errors, so they fail the call as unexpected (E_UNEXPECTED).
[[noreturn]] void ConversionFailed(const MethodDescription& method, const Argument& argument,
                                   const std::exception& error) {
  throw std::runtime_error(std::string(method.name) + ": " + std::string(argument.name) + ": " +
                           error.what());
}

sql::Value ValueToSend(const MethodDescription& method, const Argument& argument,
                       const com::Variant& value) {
  try {
    switch (argument.send) {
      case SendRule::kModeLetter:
        return sql::Value::Text(value.ToI4() == 0 ? "I" : "U");
      case SendRule::kAsInteger:
        return sql::Value::Integer(value.ToI4());
      default:
        return datasnap::ToSqlValue(value);
    }
  } catch (const std::exception& error) {
    ConversionFailed(method, argument, error);
  }
}

const sql::Value& SourceValue(const sql::StoredProc& proc, const Argument& argument) {
  switch (argument.source) {
    case ResultSource::kReturnValue:
      return proc.Params().ByName(ReturnValueName()).GetValue();
    case ResultSource::kFixedReturnValue:
      return proc.Params().ByName(kFixedReturnValueName).GetValue();
    case ResultSource::kFirstParameter:
      return proc.Params()[0].GetValue();
    default:
      return proc.Params().ByName(argument.readFrom).GetValue();
  }
}

// Nothing has run when the parameter request finds the link dead, so it is
// safe to open the link again and ask once more; a server that restarted
// between two calls then costs the client nothing.
void RefreshReconnecting(sql::StoredProc& proc) {
  try {
    proc.RefreshParameters();
  } catch (const sql::SqlError& error) {
    if (!error.IsConnectionLost()) throw;
    proc.RefreshParameters();
  }
}

bool SameDeclaration(const sql::Parameters& a, const sql::Parameters& b) {
  if (a.Count() != b.Count()) return false;
  for (std::size_t i = 0; i < a.Count(); ++i) {
    if (!text::EqualsIgnoringAsciiCase(a[i].Name(), b[i].Name()) ||
        a[i].SqlType() != b[i].SqlType() || a[i].Size() != b[i].Size() ||
        a[i].Precision() != b[i].Precision() || a[i].Scale() != b[i].Scale() ||
        !text::EqualsIgnoringAsciiCase(a[i].TypeName(), b[i].TypeName())) {
      return false;
    }
  }
  return true;
}

// A remembered list the server refused: ask for the current one and run again
// with the same values by name, unless nothing changed (the error then is the
// call's own) or a parameter that was given a value is gone.
bool RefreshStaleDeclaration(sql::StoredProc& proc, const std::string& key,
                             const sql::Parameters& remembered) {
  sql::ProcedureCache& cache = sql::ProcedureCache::Shared();
  cache.Drop(key);
  const sql::Parameters sent = proc.Params();
  RefreshReconnecting(proc);
  if (!proc.Params().Empty()) cache.Store(key, proc.Params());
  if (SameDeclaration(remembered, proc.Params())) return false;
  for (const sql::Parameter& parameter : sent) {
    if (!parameter.Assigned()) continue;
    sql::Parameter* current = proc.Params().Find(parameter.Name());
    if (current == nullptr) return false;
    current->SetValue(parameter.GetValue());
  }
  return true;
}

}  // namespace

void PrepareProcedure(sql::StoredProc& proc, std::string_view procedure, bool fresh) {
  proc.Close();
  proc.Params().Clear();
  proc.SetProcedureName(std::string(procedure));
  sql::ProcedureCache& cache = sql::ProcedureCache::Shared();
  std::string key;
  if (cache.Enabled()) {
    key = sql::ProcedureCache::KeyOf(proc.GetConnection(), procedure);
    std::optional<sql::Parameters> remembered = fresh ? std::nullopt : cache.Find(key);
    if (remembered && sql::StoredProc::CanCallByName(procedure, *remembered)) {
      sql::Parameters declaration = *remembered;
      proc.UseDeclaration(std::move(declaration),
                          [key, original = std::move(*remembered)](sql::StoredProc& stale) {
                            return RefreshStaleDeclaration(stale, key, original);
                          });
      return;
    }
  }
  RefreshReconnecting(proc);
  if (proc.Params().Empty()) {
    proc.ExecProc();
    throw std::runtime_error("procedure " + std::string(procedure) +
                             " reports no parameters, not even its return value");
  }
  if (!key.empty()) cache.Store(key, proc.Params());
}

void FlushParameterCache(const sql::Connection& connection, const std::string& database) {
  sql::ProcedureCache::Shared().FlushDatabase(connection.Settings().dataSource, database);
}

std::vector<SentValue> ValuesToSend(const MethodDescription& method,
                                    const com::DispatchArgs& args) {
  std::vector<SentValue> values;
  std::size_t slot = 0;
  for (const Argument& argument : method.arguments) {
    if (argument.direction == ArgDirection::kRetVal) continue;
    const std::size_t index = slot++;
    if (!argument.Sent()) continue;
    values.push_back({ParameterOf(argument), ValueToSend(method, argument, args[index])});
  }
  for (const Constant& constant : method.constants) {
    values.push_back(
        {std::string(constant.parameter), constant.kind == Constant::Kind::kText
                                              ? sql::Value::Text(std::string(constant.text))
                                              : sql::Value::Integer(constant.integer)});
  }
  return values;
}

void AssignValues(sql::StoredProc& proc, const std::vector<SentValue>& values) {
  for (const SentValue& sent : values) proc.Params().ByName(sent.parameter).SetValue(sent.value);
}

void AssignArguments(sql::StoredProc& proc, const MethodDescription& method,
                     const com::DispatchArgs& args) {
  AssignValues(proc, ValuesToSend(method, args));
}

com::Variant ReadResults(const sql::StoredProc& proc, const MethodDescription& method,
                         com::DispatchArgs& args) {
  com::Variant retVal;
  std::size_t slot = 0;
  for (const Argument& argument : method.arguments) {
    const bool isRetVal = argument.direction == ArgDirection::kRetVal;
    const std::size_t index = isRetVal ? 0 : slot++;
    if (argument.source == ResultSource::kNone) continue;
    com::Variant value = argument.source == ResultSource::kZero
                             ? com::Variant::I4(0)
                             : datasnap::ToVariant(SourceValue(proc, argument));
    if (argument.type != ArgType::kVariant) {
      try {
        value = com::ChangeType(value, VarTypeOf(argument.type));
      } catch (const std::exception& error) {
        ConversionFailed(method, argument, error);
      }
    }
    if (isRetVal) {
      retVal = std::move(value);
    } else {
      args[index] = std::move(value);
    }
  }
  return retVal;
}

com::Variant RunCallPattern(TDataModuleServer& module, const MethodDescription& method,
                            com::DispatchArgs& args, std::string_view procedure) {
  // Conversions first: a value that does not convert fails the call before
  // the server is asked anything.
  const std::vector<SentValue> values = ValuesToSend(method, args);
  sql::StoredProc& proc = module.StoredProcComponent(method.component);
  PrepareProcedure(proc, procedure.empty() ? method.procedure : procedure);
  AssignValues(proc, values);
  if (method.run == Run::kExecute) proc.ExecProc();
  return ReadResults(proc, method, args);
}

com::Variant RunOpenList(TDataModuleServer& module, const MethodDescription& method,
                         com::DispatchArgs& args, std::string_view procedure) {
  const bool hasResult =
      !method.arguments.empty() && method.arguments.back().direction != ArgDirection::kIn;
  std::vector<com::Variant> declared;
  declared.reserve(args.Count() + 1);
  for (std::size_t i = 0; i < args.Count(); ++i) declared.push_back(args[i]);
  if (hasResult) declared.emplace_back();
  com::DispatchArgs described(std::move(declared));

  const std::vector<SentValue> values = ValuesToSend(method, described);
  // Empty and missing arguments hold a parameter's place without a value.
  std::vector<std::optional<sql::Value>> further;
  further.reserve(args.Further().size());
  for (std::size_t i = 0; i < args.Further().size(); ++i) {
    const com::Variant& value = args.Further()[i];
    if (value.IsEmpty() || value.IsMissing()) {
      further.emplace_back();
      continue;
    }
    try {
      further.emplace_back(datasnap::ToSqlValue(value));
    } catch (const std::exception& error) {
      throw std::runtime_error(std::string(method.name) + ": argument " +
                               std::to_string(args.Count() + i + 1) + ": " + error.what());
    }
  }

  sql::StoredProc& proc = module.StoredProcComponent(method.component);
  // Further arguments land by the order of the list, so that list must be the
  // server's current one, never a remembered one.
  PrepareProcedure(proc, procedure.empty() ? method.procedure : procedure, !further.empty());
  AssignValues(proc, values);
  std::size_t next = 0;
  for (sql::Parameter& parameter : proc.Params()) {
    if (next == further.size()) break;
    if (parameter.Direction() != sql::ParamDirection::kInput) continue;
    const bool fed = std::any_of(values.begin(), values.end(), [&](const SentValue& sent) {
      return text::EqualsIgnoringAsciiCase(sent.parameter, parameter.Name());
    });
    if (fed) continue;
    if (further[next]) parameter.SetValue(*further[next]);
    ++next;
  }
  if (method.run == Run::kExecute) proc.ExecProc();
  com::Variant retVal = ReadResults(proc, method, described);
  if (hasResult && args.HasResultSlot()) args.ResultSlot() = described[described.Count() - 1];
  return retVal;
}

}  // namespace quor::remote
