#include "DataPacketWriter.h"

#include <limits>
#include <string>

#include "FieldValueEncoder.h"
#include "LittleEndian.h"
#include "PacketFormat.h"
#include "platform/text/Encodings.h"

namespace quor::datasnap {
namespace {

// A property whose value is a uint16, such as WIDTH.
void AppendUInt16Property(std::vector<std::uint8_t>& out, std::string_view name,
                          std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  AppendUInt16(out, 2);
  AppendUInt16(out, packet::kUnsignedInteger);
  AppendUInt16(out, value);
}

// A property whose value is a short ANSI text, such as SUBTYPE: a varying
// string with a one-byte length.
void AppendTextProperty(std::vector<std::uint8_t>& out, std::string_view name,
                        std::string_view value) {
  out.push_back(static_cast<std::uint8_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  AppendUInt16(out, 1);
  AppendUInt16(out, packet::kAnsiString | packet::kVarying);
  out.push_back(static_cast<std::uint8_t>(value.size()));
  out.insert(out.end(), value.begin(), value.end());
}

}  // namespace

DataPacketWriter::DataPacketWriter(std::span<const sql::Field> fields) {
  if (fields.size() > std::numeric_limits<std::uint16_t>::max()) {
    throw PacketError("a data packet holds at most 65535 fields, not " +
                      std::to_string(fields.size()));
  }
  fields_.reserve(fields.size());
  for (const sql::Field& field : fields) fields_.push_back(DescribePacketField(field));

  bytes_.insert(bytes_.end(), packet::kSignature.begin(), packet::kSignature.end());
  AppendInt32(bytes_, packet::kHeaderWord1);
  AppendInt32(bytes_, packet::kHeaderWord2);
  AppendUInt16(bytes_, static_cast<std::uint16_t>(fields_.size()));
  AppendInt32(bytes_, 0);  // record count, filled in by Finish
  AppendInt32(bytes_, packet::kHeaderWord3);
  AppendUInt16(bytes_, 0);  // header size, filled in below
  for (const PacketField& field : fields_) WriteFieldDescriptor(field);
  // No packet properties: the rows carry no change log and clients need none
  // of the optional ones to load a packet.
  AppendUInt16(bytes_, 0);

  if (bytes_.size() > std::numeric_limits<std::uint16_t>::max()) {
    throw PacketError("the field descriptors take " + std::to_string(bytes_.size()) +
                      " bytes, more than a packet header can hold");
  }
  PatchLittleEndian(bytes_, packet::kHeaderSizeOffset, bytes_.size(), 2);
  headerSize_ = bytes_.size();
}

void DataPacketWriter::WriteFieldDescriptor(const PacketField& field) {
  const std::string name = text::Utf8ToGbk(field.name, text::OnError::kReplace);
  if (name.size() > std::numeric_limits<std::uint8_t>::max()) {
    throw PacketError("field name \"" + field.name +
                      "\" is longer than 255 bytes in code page 936");
  }
  bytes_.push_back(static_cast<std::uint8_t>(name.size()));
  bytes_.insert(bytes_.end(), name.begin(), name.end());
  AppendUInt16(bytes_, field.size);
  AppendUInt16(bytes_, field.type);
  AppendUInt16(bytes_, field.attributes);
  const std::uint16_t propertyCount = (field.width != 0 ? 1 : 0) + (field.subtype.empty() ? 0 : 1);
  AppendUInt16(bytes_, propertyCount);
  if (field.width != 0) AppendUInt16Property(bytes_, "WIDTH", field.width);
  if (!field.subtype.empty()) AppendTextProperty(bytes_, "SUBTYPE", field.subtype);
}

void DataPacketWriter::AddRow(std::span<const sql::Value> values) {
  CheckOpen();
  if (values.size() != fields_.size()) {
    throw PacketError("a row of " + std::to_string(values.size()) + " values for " +
                      std::to_string(fields_.size()) + " fields");
  }
  if (recordCount_ == std::numeric_limits<std::int32_t>::max()) {
    throw PacketError("a data packet holds at most 2147483647 records");
  }
  const std::size_t recordStart = bytes_.size();
  try {
    bytes_.push_back(packet::kRecordUnmodified);
    const std::size_t statusStart = bytes_.size();
    bytes_.resize(statusStart + (fields_.size() + 3) / 4, 0);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      if (values[i].IsNull()) {
        bytes_[statusStart + i / 4] |= static_cast<std::uint8_t>(packet::kFieldNull << (i % 4 * 2));
      } else {
        WriteValue(fields_[i], values[i]);
      }
    }
  } catch (...) {
    bytes_.resize(recordStart);
    throw;
  }
  ++recordCount_;
}

void DataPacketWriter::WriteValue(const PacketField& field, const sql::Value& value) {
  try {
    AppendFieldValue(field, value, bytes_);
  } catch (const PacketError& e) {
    throw PacketError("field \"" + field.name + "\": " + e.what());
  } catch (const sql::ConversionError& e) {
    throw PacketError("field \"" + field.name + "\": " + e.what());
  }
}

std::vector<std::uint8_t> DataPacketWriter::Finish() {
  CheckOpen();
  finished_ = true;
  PatchLittleEndian(bytes_, packet::kRecordCountOffset, static_cast<std::uint32_t>(recordCount_),
                    4);
  return std::move(bytes_);
}

void DataPacketWriter::CheckOpen() const {
  if (finished_) throw std::logic_error("the data packet has already been finished");
}

}  // namespace quor::datasnap
