#include "Provider.h"

#include <stdexcept>
#include <utility>

#include "DataPacketWriter.h"
#include "DeltaReader.h"
#include "ParamPacking.h"
#include "SingleTable.h"
#include "UpdateResolver.h"
#include "platform/com/SafeArray.h"

namespace quor::datasnap {
namespace {

bool HasEntries(const com::Variant& params) {
  const com::Variant& plain = params.Deref();
  return plain.IsArray() && plain.GetArray().ElementCount() > 0;
}

std::string ProcedureRefusal(const std::string& providerName) {
  return "数据提供者 " + providerName +
         " 的数据来自存储过程，不保存修改，此修改未保存；请通过业务方法提交数据。";
}

std::string SeveralTablesRefusal(const std::string& providerName) {
  return "数据提供者 " + providerName +
         " 的数据不是来自一个表的查询，不保存修改，此修改未保存；请通过业务方法提交数据。";
}

}  // namespace

Provider::Provider(std::string name, sql::StoredProc& dataSet, std::size_t blockSize)
    : name_(std::move(name)), dataSet_(dataSet), procedure_(&dataSet), blockSize_(blockSize) {}

Provider::Provider(std::string name, sql::Statement& dataSet, std::size_t blockSize)
    : name_(std::move(name)), dataSet_(dataSet), statement_(&dataSet), blockSize_(blockSize) {}

void Provider::RejectCommandText(std::string_view commandText) const {
  // Clients may not send statement text to these providers (their options do
  // not allow it); the module's own marker convention is the way to run text.
  if (!commandText.empty()) {
    throw std::runtime_error("provider " + name_ + " does not accept command text");
  }
}

HeldRows& Provider::Rows() {
  if (held_ && heldGeneration_ == dataSet_.Generation()) return *held_;
  held_.reset();
  const std::size_t block = blockSize_ != 0 ? blockSize_ : kDefaultReadBlock;
  sql::RecordSet& records =
      procedure_ != nullptr ? procedure_->Open(block) : statement_->Open(block);
  auto rows = std::make_unique<HeldRows>(records.Fields());
  std::vector<sql::Value> row(records.Fields().size());
  while (!records.Eof()) {
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = records.FieldValue(i);
    rows->Add(row);
    records.Next();
  }
  // Reads what is left of the reply (outputs, further results) and frees the
  // connection; the rows live on here.
  dataSet_.Close();
  held_ = std::move(rows);
  heldGeneration_ = dataSet_.Generation();
  openFields_ = held_->Fields();
  openGeneration_ = heldGeneration_;
  opened_ = true;
  return *held_;
}

std::size_t Provider::HeldRowCount() const {
  return held_ && heldGeneration_ == dataSet_.Generation() ? held_->Remaining() : 0;
}

com::Variant Provider::GetRecords(std::int32_t count, std::int32_t& recsOut, std::int32_t options,
                                  std::string_view commandText, com::Variant& params) {
  recsOut = 0;
  if (options & (kXml | kXmlUtf8)) {
    throw std::runtime_error("provider " + name_ + " delivers binary data packets only, not XML");
  }
  RejectCommandText(commandText);
  if (options & kReset) {
    DropRows();
    dataSet_.Close();
    if (count == 0) return com::Variant::Null();
  }
  if (HasEntries(params)) {
    // Closing first: reading the rest of a reply stores its outputs, which
    // must not overwrite the values the client sends.
    DropRows();
    dataSet_.Close();
    AssignParamsByName(params, dataSet_.Params());
  }
  HeldRows& rows = Rows();
  com::Variant packet = com::Variant::Bytes(rows.Take(count, recsOut));
  if (rows.Remaining() == 0) DropRows();
  params = PackParams(dataSet_.Params());
  return packet;
}

com::Variant Provider::GetParams() {
  return PackParams(dataSet_.Params());
}

void Provider::Execute(std::string_view commandText, com::Variant& params) {
  RejectCommandText(commandText);
  DropRows();
  dataSet_.Close();
  if (HasEntries(params)) AssignParamsByName(params, dataSet_.Params());
  if (procedure_ != nullptr) {
    procedure_->ExecProc();
  } else {
    statement_->Execute();
  }
  params = PackParams(dataSet_.Params());
}

com::Variant Provider::RowRequest(const com::Variant& row, std::int32_t requestType) {
  return com::Variant::Null();
}

com::Variant Provider::DataRequest(const com::Variant& input) {
  if (!onDataRequest_) return com::Variant::Null();
  return onDataRequest_(*this, input);
}

com::Variant Provider::ApplyUpdates(const com::Variant& delta, std::int32_t maxErrors,
                                    std::int32_t& errorCount) {
  errorCount = 0;
  const com::Variant& plain = delta.Deref();
  if (!plain.IsArray() || plain.GetArray().ElementType() != com::VT_UI1 ||
      plain.GetArray().Dimensions() != 1) {
    throw PacketError("the changes sent to provider " + name_ + " are not a data packet");
  }
  const Delta changes = ReadDelta(plain.GetArray().Bytes());
  CheckDeltaRecords(changes, maxErrors, name_);
  if (procedure_ != nullptr) {
    return RefuseChanges(changes, maxErrors, errorCount, ProcedureRefusal(name_));
  }
  if (!opened_ || openGeneration_ != dataSet_.Generation()) {
    throw std::runtime_error("provider " + name_ +
                             " has no rows open: the changes belong to rows it no longer holds");
  }
  CheckDeltaFields(changes, openFields_, name_);
  if (!HasChanges(changes)) return com::Variant::Null();
  const std::optional<std::string> table = SingleTableOf(statement_->Text());
  std::optional<std::string> quoted;
  if (table) {
    quoted = LookUpTable(dataSet_.GetConnection(), *table, dataSet_.CommandTimeout());
  }
  if (!quoted) return RefuseChanges(changes, maxErrors, errorCount, SeveralTablesRefusal(name_));
  return ApplyChanges(dataSet_.GetConnection(), *quoted, openFields_, changes, maxErrors,
                      errorCount, dataSet_.CommandTimeout());
}

std::vector<std::uint8_t> Provider::AllRecords() {
  DropRows();
  dataSet_.Close();
  std::int32_t recsOut = 0;
  std::vector<std::uint8_t> packet = Rows().Take(-1, recsOut);
  DropRows();
  return packet;
}

}  // namespace quor::datasnap
