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
}

void StoredProc::RefreshParameters() {
  Close();
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

void StoredProc::ExecProc() {
  Close();
  PreparedCall call = Prepare();
  call.command->Drain(call.hasResults);
  for (const auto& [slot, index] : call.outputs) {
    Params()[index].StoreOutput(call.command->Binder().ReadOutput(slot));
  }
}

RecordSet& StoredProc::Open(std::size_t blockSize) {
  if (Active()) return Records();
  PreparedCall call = Prepare();
  auto outputs = call.outputs;
  return OpenReply(std::move(call.command), call.hasResults, blockSize,
                   [this, outputs](detail::ResultReader& reader) {
                     for (const auto& [slot, index] : outputs) {
                       if (index < Params().Count()) {
                         Params()[index].StoreOutput(reader.GetCommand().Binder().ReadOutput(slot));
                       }
                     }
                   });
}

}  // namespace quor::sql
