#include "Provider.h"

#include <stdexcept>
#include <utility>

#include "DataPacketWriter.h"
#include "DeltaReader.h"
#include "ParamPacking.h"
#include "platform/com/SafeArray.h"

namespace quor::datasnap {
namespace {

bool HasEntries(const com::Variant& params) {
  const com::Variant& plain = params.Deref();
  return plain.IsArray() && plain.GetArray().ElementCount() > 0;
}

sql::Field ErrorField(std::string name, std::string typeName, sql::ValueKind kind,
                      std::size_t size) {
  sql::Field field;
  field.name = std::move(name);
  field.typeName = std::move(typeName);
  field.kind = kind;
  field.size = size;
  field.nullable = false;
  return field;
}

std::string RejectionMessage(const std::string& providerName) {
  return "数据提供者 " + providerName + " 不保存修改，此修改未保存；请通过业务方法提交数据。";
}

}  // namespace

Provider::Provider(std::string name, sql::StoredProc& dataSet, std::size_t blockSize)
    : name_(std::move(name)), dataSet_(dataSet), procedure_(&dataSet), blockSize_(blockSize) {}

Provider::Provider(std::string name, sql::Statement& dataSet, std::size_t blockSize)
    : name_(std::move(name)), dataSet_(dataSet), statement_(&dataSet), blockSize_(blockSize) {}

void Provider::OpenDataSet() {
  if (procedure_ != nullptr) {
    procedure_->Open(blockSize_);
  } else {
    statement_->Open(blockSize_);
  }
}

void Provider::RejectCommandText(std::string_view commandText) const {
  // Clients may not send statement text to these providers (their options do
  // not allow it); the module's own marker convention is the way to run text.
  if (!commandText.empty()) {
    throw std::runtime_error("provider " + name_ + " does not accept command text");
  }
}

std::vector<std::uint8_t> Provider::ReadPacket(std::int32_t count, std::int32_t& recsOut) {
  sql::RecordSet& records = dataSet_.Records();
  DataPacketWriter writer(records.Fields());
  std::vector<sql::Value> row(records.Fields().size());
  std::int32_t taken = 0;
  while ((count < 0 || taken < count) && !records.Eof()) {
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = records.FieldValue(i);
    writer.AddRow(row);
    ++taken;
    records.Next();
  }
  recsOut = taken;
  const bool delivered = records.Eof();
  std::vector<std::uint8_t> packet = writer.Finish();
  if (delivered) dataSet_.Close();
  return packet;
}

com::Variant Provider::GetRecords(std::int32_t count, std::int32_t& recsOut, std::int32_t options,
                                  std::string_view commandText, com::Variant& params) {
  recsOut = 0;
  if (options & (kXml | kXmlUtf8)) {
    throw std::runtime_error("provider " + name_ + " delivers binary data packets only, not XML");
  }
  RejectCommandText(commandText);
  if (options & kReset) {
    dataSet_.Close();
    if (count == 0) return com::Variant::Null();
  }
  if (HasEntries(params)) {
    // Closing first: reading the rest of a reply stores its outputs, which
    // must not overwrite the values the client sends.
    dataSet_.Close();
    AssignParamsByName(params, dataSet_.Params());
  }
  if (!dataSet_.Active()) OpenDataSet();
  com::Variant packet = com::Variant::Bytes(ReadPacket(count, recsOut));
  params = PackParams(dataSet_.Params());
  return packet;
}

com::Variant Provider::GetParams() {
  return PackParams(dataSet_.Params());
}

void Provider::Execute(std::string_view commandText, com::Variant& params) {
  RejectCommandText(commandText);
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
  const std::vector<std::uint8_t> statuses = ReadRecordStatuses(plain.GetArray().Bytes());

  std::vector<sql::Field> fields = {
      ErrorField("ERROR_RECORDNO", "int", sql::ValueKind::kInteger, 10),
      ErrorField("ERROR_MESSAGE", "nvarchar", sql::ValueKind::kText, 255)};
  DataPacketWriter writer(fields);
  const sql::Value message = sql::Value::Text(RejectionMessage(name_));
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    if (!IsChange(statuses[i])) continue;
    writer.AddRow(
        std::vector<sql::Value>{sql::Value::Integer(static_cast<std::int64_t>(i) + 1), message});
    ++errorCount;
    // The runtime stops at the first error beyond the caller's limit.
    if (maxErrors >= 0 && errorCount > maxErrors) break;
  }
  if (errorCount == 0) return com::Variant::Null();
  return com::Variant::Bytes(writer.Finish());
}

std::vector<std::uint8_t> Provider::AllRecords() {
  dataSet_.Close();
  OpenDataSet();
  std::int32_t recsOut = 0;
  return ReadPacket(-1, recsOut);
}

}  // namespace quor::datasnap
