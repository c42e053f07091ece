#include "StoredProc.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "Connection.h"
#include "SqlError.h"
#include "detail/Command.h"
#include "detail/ResultReader.h"
#include "detail/SqlText.h"
#include "platform/text/AsciiText.h"

namespace quor::sql {
namespace {

// Catalog columns of SQLProcedureColumns (zero-based).
constexpr std::size_t kProcedureNameColumn = 2;
constexpr std::size_t kColumnNameColumn = 3;
constexpr std::size_t kColumnTypeColumn = 4;
constexpr std::size_t kDataTypeColumn = 5;
constexpr std::size_t kTypeNameColumn = 6;
constexpr std::size_t kColumnSizeColumn = 7;
constexpr std::size_t kDecimalDigitsColumn = 9;
constexpr std::size_t kOrdinalColumn = 17;

ParamDirection DirectionOf(std::int64_t columnType) {
  switch (columnType) {
    case SQL_PARAM_INPUT:
      return ParamDirection::kInput;
    case SQL_PARAM_INPUT_OUTPUT:
      return ParamDirection::kInputOutput;
    case SQL_PARAM_OUTPUT:
      return ParamDirection::kOutput;
    case SQL_RETURN_VALUE:
      return ParamDirection::kReturnValue;
    default:
      return ParamDirection::kUnknown;
  }
}

// The catalog call takes the name as a LIKE pattern ("_" matches any letter),
// so rows of other procedures can come back; keep those of this one.
bool SameProcedure(const std::string& reported, const detail::ProcedureName& wanted) {
  std::string_view name = reported;
  std::string_view group;
  const std::size_t semicolon = name.rfind(';');
  if (semicolon != std::string_view::npos) {
    group = name.substr(semicolon + 1);
    name = name.substr(0, semicolon);
  }
  if (!text::EqualsIgnoringAsciiCase(name, wanted.name)) return false;
  return wanted.group.empty() || group.empty() || group == wanted.group;
}

bool IsNumeric(short sqlType) {
  switch (sqlType) {
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return true;
    default:
      return false;
  }
}

std::int64_t IntegerOr(const Row& row, std::size_t column, std::int64_t fallback) {
  if (column >= row.size() || row[column].IsNull()) return fallback;
  return row[column].AsInteger();
}

// "varchar(20)", "decimal(18,4)", "nvarchar(max)", "int": the declared type as
// a definition of sp_executesql; empty when the reported name is not one that
// can be written there as it stands.
std::string DefinitionType(const Parameter& parameter) {
  const std::string base = text::AsciiLower(parameter.TypeName());
  if (base.empty() || base.size() > 64) return {};
  for (const char c : base) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return {};
  }
  const std::size_t size = parameter.Size();
  if (base == "varchar" || base == "char" || base == "varbinary" || base == "binary") {
    return base + (size == 0 || size > 8000 ? "(max)" : "(" + std::to_string(size) + ")");
  }
  if (base == "nvarchar" || base == "nchar") {
    return base + (size == 0 || size > 4000 ? "(max)" : "(" + std::to_string(size) + ")");
  }
  if (base == "decimal" || base == "numeric") {
    const int precision = parameter.Precision() > 0 ? parameter.Precision() : 18;
    return base + "(" + std::to_string(precision) + "," + std::to_string(parameter.Scale()) + ")";
  }
  return base;
}

bool IsVariableName(const std::string& name) {
  if (name.size() < 2 || name[0] != '@' || name.size() > 128) return false;
  for (std::size_t i = 1; i < name.size(); ++i) {
    const char c = name[i];
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '@' || c == '#' || c == '$';
    if (!ok) return false;
  }
  return true;
}

bool SendsValue(const Parameter& parameter) {
  return parameter.Direction() == ParamDirection::kInputOutput ||
         parameter.Direction() == ParamDirection::kOutput || parameter.Assigned();
}

bool IsOutputDirection(ParamDirection direction) {
  return direction == ParamDirection::kInputOutput || direction == ParamDirection::kOutput;
}

}  // namespace

struct StoredProc::PreparedCall {
  std::unique_ptr<detail::Command> command;
  bool hasResults = false;
  std::vector<std::pair<std::size_t, std::size_t>> outputs;  // binder slot, parameter index
};

StoredProc::StoredProc(Connection& connection, std::string name)
    : DataSet(connection, std::move(name)) {}

void StoredProc::SetProcedureName(std::string procedureName) {
  Close();
  procedureName_ = std::move(procedureName);
  byName_ = false;
  onStale_ = nullptr;
}

void StoredProc::UseDeclaration(Parameters declaration, StaleDeclarationHandler onStale) {
  Close();
  Params() = std::move(declaration);
  byName_ = true;
  onStale_ = std::move(onStale);
}

bool StoredProc::IsDeclarationError(const SqlError& error) {
  switch (error.NativeError()) {
    case 201:   // a parameter without a default was not supplied
    case 206:   // operand type clash
    case 2812:  // no such procedure
    case 8144:  // too many arguments
    case 8145:  // not a parameter of the procedure
      return true;
    default:
      return false;
  }
}

void StoredProc::RefreshParameters() {
  Close();
  byName_ = false;
  onStale_ = nullptr;
  Params().Clear();
  const detail::ProcedureName name = detail::ParseProcedureName(procedureName_);
  auto command = std::make_unique<detail::Command>(GetConnection(), CommandTimeout());
  std::vector<SQLWCHAR> catalog = detail::ToWide(name.catalog);
  std::vector<SQLWCHAR> schema = detail::ToWide(name.schema);
  std::vector<SQLWCHAR> procedure =
      detail::ToWide(name.group.empty() ? name.name : name.name + ";" + name.group);
  command->Check(
      SQLProcedureColumnsW(
          command->Handle(), name.catalog.empty() ? nullptr : catalog.data(),
          name.catalog.empty() ? 0 : SQL_NTS, name.schema.empty() ? nullptr : schema.data(),
          name.schema.empty() ? 0 : SQL_NTS, procedure.data(), SQL_NTS, nullptr, 0),
      "SQLProcedureColumns");
  detail::ResultReader reader(std::move(command), /*hasResults=*/true);
  std::vector<Row> rows;
  if (reader.NextResultSet()) reader.ReadRows(0, rows);
  reader.Finish();

  struct Entry {
    std::int64_t ordinal;
    Parameter parameter;
  };
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    if (row.size() <= kDecimalDigitsColumn) continue;
    if (!SameProcedure(row[kProcedureNameColumn].AsText(), name)) continue;
    const std::int64_t columnType = IntegerOr(row, kColumnTypeColumn, SQL_PARAM_TYPE_UNKNOWN);
    if (columnType == SQL_RESULT_COL) continue;
    const auto size =
        static_cast<std::size_t>(std::max<std::int64_t>(0, IntegerOr(row, kColumnSizeColumn, 0)));
    const int scale = static_cast<int>(IntegerOr(row, kDecimalDigitsColumn, 0));
    const auto dataType = static_cast<short>(IntegerOr(row, kDataTypeColumn, 0));
    entries.push_back(
        {IntegerOr(row, kOrdinalColumn, static_cast<std::int64_t>(i)),
         Parameter(row[kColumnNameColumn].AsText(), DirectionOf(columnType), dataType,
                   row[kTypeNameColumn].AsText(), size,
                   IsNumeric(dataType) ? static_cast<int>(std::min<std::size_t>(size, 38)) : 0,
                   scale)});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    const bool aReturn = a.parameter.Direction() == ParamDirection::kReturnValue;
    const bool bReturn = b.parameter.Direction() == ParamDirection::kReturnValue;
    if (aReturn != bReturn) return aReturn;
    return a.ordinal < b.ordinal;
  });
  for (Entry& entry : entries) Params().Add(std::move(entry.parameter));
}

void StoredProc::SetParamValue(std::string_view name, Value value) {
  Params().ByName(name).SetValue(std::move(value));
}

const Value& StoredProc::ParamValue(std::string_view name) const {
  return Params().ByName(name).GetValue();
}

StoredProc::PreparedCall StoredProc::Prepare() {
  const detail::ProcedureName name = detail::ParseProcedureName(procedureName_);
  PreparedCall call;
  call.command = std::make_unique<detail::Command>(GetConnection(), CommandTimeout());
  Parameters& params = Params();
  const bool hasReturnValue =
      !params.Empty() && params[0].Direction() == ParamDirection::kReturnValue;
  const std::size_t first = hasReturnValue ? 1 : 0;
  std::vector<bool> slots;
  for (std::size_t i = first; i < params.Count(); ++i) {
    const ParamDirection direction = params[i].Direction();
    slots.push_back(direction == ParamDirection::kInputOutput ||
                    direction == ParamDirection::kOutput || params[i].Assigned());
  }
  while (!slots.empty() && !slots.back()) slots.pop_back();

  detail::ParamBinder& binder = call.command->Binder();
  const SQLHSTMT stmt = call.command->Handle();
  SQLUSMALLINT ordinal = 1;
  if (hasReturnValue) call.outputs.emplace_back(binder.Bind(stmt, ordinal++, params[0]), 0);
  for (std::size_t k = 0; k < slots.size(); ++k) {
    if (!slots[k]) continue;
    const std::size_t index = first + k;
    const std::size_t slot = binder.Bind(stmt, ordinal++, params[index]);
    if (binder.IsOutput(slot)) call.outputs.emplace_back(slot, index);
  }
  call.hasResults = call.command->ExecuteDirect(detail::BuildCallText(name, hasReturnValue, slots),
                                                /*scanEscapes=*/true);
  return call;
}

bool StoredProc::CanCallByName(std::string_view procedureName, const Parameters& declaration) {
  try {
    const detail::ProcedureName name = detail::ParseProcedureName(procedureName);
    if (!name.group.empty() && name.group != "1") return false;
  } catch (const SqlError&) {
    return false;
  }
  for (const Parameter& parameter : declaration) {
    if (!IsVariableName(parameter.Name()) || DefinitionType(parameter).empty()) return false;
  }
  return true;
}

StoredProc::PreparedCall StoredProc::PrepareByName() {
  detail::ProcedureName name = detail::ParseProcedureName(procedureName_);
  std::string procedure = name.full;
  if (!name.group.empty()) procedure.resize(procedure.size() - name.group.size() - 1);
  Parameters& params = Params();
  const bool hasReturnValue =
      !params.Empty() && params[0].Direction() == ParamDirection::kReturnValue;
  std::string definitions;
  std::string arguments;
  std::vector<std::size_t> sent;
  auto define = [&](const Parameter& parameter, bool output) {
    const std::string type = DefinitionType(parameter);
    if (!IsVariableName(parameter.Name()) || type.empty()) {
      throw SqlError("Parameter '" + parameter.Name() + "' cannot be sent by name");
    }
    if (!definitions.empty()) definitions += ',';
    definitions += parameter.Name() + ' ' + type + (output ? " OUTPUT" : "");
  };
  if (hasReturnValue) {
    define(params[0], true);
    sent.push_back(0);
  }
  for (std::size_t i = hasReturnValue ? 1 : 0; i < params.Count(); ++i) {
    if (!SendsValue(params[i])) continue;
    const bool output = IsOutputDirection(params[i].Direction());
    define(params[i], output);
    arguments += arguments.empty() ? " " : ", ";
    arguments += params[i].Name() + " = " + params[i].Name() + (output ? " OUTPUT" : "");
    sent.push_back(i);
  }
  const std::string statement =
      "EXEC " + (hasReturnValue ? params[0].Name() + " = " : "") + procedure + arguments;

  PreparedCall call;
  call.command = std::make_unique<detail::Command>(GetConnection(), CommandTimeout());
  detail::ParamBinder& binder = call.command->Binder();
  const SQLHSTMT stmt = call.command->Handle();
  SQLUSMALLINT ordinal = 1;
  for (const std::string* textValue : {&statement, static_cast<const std::string*>(&definitions)}) {
    Parameter text("", ParamDirection::kInput, SQL_WVARCHAR, "nvarchar");
    text.SetValue(Value::Text(*textValue));
    binder.Bind(stmt, ordinal++, text);
  }
  std::string callText = "{call sp_executesql(?,?";
  for (const std::size_t index : sent) {
    const std::size_t slot = binder.Bind(stmt, ordinal++, params[index]);
    if (binder.IsOutput(slot)) call.outputs.emplace_back(slot, index);
    callText += ",?";
  }
  callText += ")}";
  call.hasResults = call.command->ExecuteDirect(callText, /*scanEscapes=*/true);
  return call;
}

template <typename Run>
decltype(auto) StoredProc::Retrying(Run run) {
  try {
    return run();
  } catch (const SqlError& error) {
    if (!byName_ || !onStale_ || !IsDeclarationError(error)) throw;
    StaleDeclarationHandler onStale = std::move(onStale_);
    byName_ = false;
    onStale_ = nullptr;
    if (!onStale(*this)) throw;
  }
  return run();
}

void StoredProc::ExecProc() {
  Close();
  Retrying([this] {
    PreparedCall call = byName_ ? PrepareByName() : Prepare();
    call.command->Drain(call.hasResults);
    for (const auto& [slot, index] : call.outputs) {
      Params()[index].StoreOutput(call.command->Binder().ReadOutput(slot));
    }
  });
}

RecordSet& StoredProc::Open(std::size_t blockSize) {
  if (Active()) return Records();
  return Retrying([this, blockSize]() -> RecordSet& {
    PreparedCall call = byName_ ? PrepareByName() : Prepare();
    auto outputs = call.outputs;
    return OpenReply(
        std::move(call.command), call.hasResults, blockSize,
        [this, outputs](detail::ResultReader& reader) {
          for (const auto& [slot, index] : outputs) {
            if (index < Params().Count()) {
              Params()[index].StoreOutput(reader.GetCommand().Binder().ReadOutput(slot));
            }
          }
        });
  });
}

}  // namespace quor::sql
