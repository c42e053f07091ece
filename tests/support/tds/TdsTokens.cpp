#include "tests/support/tds/TdsTokens.h"

#include <stdexcept>

#include "tests/support/tds/TdsTypes.h"
#include "tests/support/tds/TextCodec.h"

namespace quor::test::tds {
namespace {

constexpr std::uint8_t kTokenLoginAck = 0xAD;
constexpr std::uint8_t kTokenEnvChange = 0xE3;
constexpr std::uint8_t kTokenError = 0xAA;
constexpr std::uint8_t kTokenInfo = 0xAB;
constexpr std::uint8_t kTokenColMetadata = 0x81;
constexpr std::uint8_t kTokenRow = 0xD1;
constexpr std::uint8_t kTokenReturnStatus = 0x79;
constexpr std::uint8_t kTokenReturnValue = 0xAC;

}  // namespace

void TokenWriter::LoginAck(std::uint32_t tdsVersion, std::uint8_t major, std::uint8_t minor,
                           std::uint16_t build) {
  out_.U8(kTokenLoginAck);
  std::size_t lengthAt = out_.Size();
  out_.U16(0);
  out_.U8(1);  // SQL_TSQL
  // The version goes out most significant byte first, unlike the one in LOGIN7.
  out_.U8(static_cast<std::uint8_t>(tdsVersion >> 24));
  out_.U8(static_cast<std::uint8_t>(tdsVersion >> 16));
  out_.U8(static_cast<std::uint8_t>(tdsVersion >> 8));
  out_.U8(static_cast<std::uint8_t>(tdsVersion));
  out_.BVarChar("Microsoft SQL Server");
  out_.U8(major);
  out_.U8(minor);
  out_.U8(static_cast<std::uint8_t>(build >> 8));
  out_.U8(static_cast<std::uint8_t>(build));
  out_.PatchU16(lengthAt, static_cast<std::uint16_t>(out_.Size() - lengthAt - 2));
}

void TokenWriter::EnvChange(std::uint8_t type, const std::string& newValue,
                            const std::string& oldValue) {
  out_.U8(kTokenEnvChange);
  std::size_t lengthAt = out_.Size();
  out_.U16(0);
  out_.U8(type);
  out_.BVarChar(newValue);
  out_.BVarChar(oldValue);
  out_.PatchU16(lengthAt, static_cast<std::uint16_t>(out_.Size() - lengthAt - 2));
}

void TokenWriter::EnvChangeBytes(std::uint8_t type, const std::vector<std::uint8_t>& newValue,
                                 const std::vector<std::uint8_t>& oldValue) {
  out_.U8(kTokenEnvChange);
  out_.U16(static_cast<std::uint16_t>(3 + newValue.size() + oldValue.size()));
  out_.U8(type);
  out_.U8(static_cast<std::uint8_t>(newValue.size()));
  out_.Raw(newValue.data(), newValue.size());
  out_.U8(static_cast<std::uint8_t>(oldValue.size()));
  out_.Raw(oldValue.data(), oldValue.size());
}

void TokenWriter::Message(std::uint8_t token, const ServerError& e, const std::string& procName) {
  out_.U8(token);
  std::size_t lengthAt = out_.Size();
  out_.U16(0);
  out_.U32(static_cast<std::uint32_t>(e.number));
  out_.U8(static_cast<std::uint8_t>(e.state));
  out_.U8(static_cast<std::uint8_t>(e.severity));
  out_.UsVarChar(e.message);
  out_.BVarChar(serverName_);
  out_.BVarChar(procName);
  out_.U32(1);  // line number
  out_.PatchU16(lengthAt, static_cast<std::uint16_t>(out_.Size() - lengthAt - 2));
}

void TokenWriter::Error(const ServerError& error, const std::string& procName) {
  Message(kTokenError, error, procName);
}

void TokenWriter::Info(const ServerError& message, const std::string& procName) {
  Message(kTokenInfo, message, procName);
}

void TokenWriter::ColMetadata(const std::vector<Column>& columns) {
  out_.U8(kTokenColMetadata);
  out_.U16(static_cast<std::uint16_t>(columns.size()));
  for (const Column& c : columns) {
    out_.U32(0);  // user type
    std::uint16_t flags = c.nullable ? 0x0001 : 0x0000;
    flags |= 0x0008;  // updateable: unknown, as for computed expressions
    out_.U16(flags);
    WriteTypeInfo(out_, c, true);
    out_.BVarChar(c.name);
  }
}

void TokenWriter::Row(const std::vector<Column>& columns, const std::vector<Value>& row) {
  if (row.size() != columns.size()) {
    throw std::invalid_argument("row has " + std::to_string(row.size()) + " values for " +
                                std::to_string(columns.size()) + " columns");
  }
  out_.U8(kTokenRow);
  for (std::size_t i = 0; i < columns.size(); ++i) WriteValue(out_, columns[i], row[i]);
}

void TokenWriter::ReturnStatus(std::int32_t status) {
  out_.U8(kTokenReturnStatus);
  out_.U32(static_cast<std::uint32_t>(status));
}

void TokenWriter::ReturnValue(std::uint16_t ordinal, const std::string& name, const Column& type,
                              const Value& value) {
  out_.U8(kTokenReturnValue);
  out_.U16(ordinal);
  out_.BVarChar(name);
  out_.U8(0x01);  // output parameter
  out_.U32(0);    // user type
  out_.U16(0x0001);
  Column nullable = type;
  nullable.nullable = true;
  WriteTypeInfo(out_, nullable, false);
  WriteValue(out_, nullable, value);
}

void TokenWriter::Done(DoneKind kind, std::uint16_t status, std::uint16_t curCmd,
                       std::uint64_t rowCount) {
  doneAt_.push_back(out_.Size());
  out_.U8(static_cast<std::uint8_t>(kind));
  out_.U16(status);
  out_.U16(curCmd);
  out_.U64(rowCount);
}

std::vector<std::uint8_t> TokenWriter::Finish() {
  std::vector<std::uint8_t>& bytes = out_.Bytes();
  for (std::size_t i = 0; i < doneAt_.size(); ++i) {
    std::uint8_t& lowStatus = bytes.at(doneAt_[i] + 1);
    if (i + 1 < doneAt_.size()) {
      lowStatus |= kDoneMore;
    } else {
      lowStatus &= static_cast<std::uint8_t>(~kDoneMore);
    }
  }
  doneAt_.clear();
  std::vector<std::uint8_t> result = std::move(bytes);
  out_ = ByteWriter();
  return result;
}

}  // namespace quor::test::tds
