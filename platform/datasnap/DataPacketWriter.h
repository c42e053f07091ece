// Builds the binary data packet a provider returns to a client dataset: the
// header and field descriptors first, then one record per AddRow as the rows
// are read, so a result set is never held twice; Finish fills in the count.
//
//   DataPacketWriter writer(recordSet.Fields());
//   while (...) writer.AddRow(row);
//   std::vector<std::uint8_t> packet = writer.Finish();
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "PacketError.h"
#include "PacketField.h"
#include "platform/sql/Field.h"
#include "platform/sql/Value.h"

namespace quor::datasnap {

class DataPacketWriter {
 public:
  // Throws PacketError when the fields cannot be described in a packet (more
  // than 65535 of them, a name longer than 255 bytes in code page 936, or a
  // header beyond 64 KB).
  explicit DataPacketWriter(std::span<const sql::Field> fields);

  const std::vector<PacketField>& Fields() const { return fields_; }

  // One value per field, in field order. A value that does not fit its field
  // (an integer out of range, an impossible date, a malformed GUID) throws
  // PacketError and leaves the packet as it was before the call. Texts longer
  // than their declared width are cut at the last whole character that fits.
  void AddRow(std::span<const sql::Value> values);

  std::int32_t RecordCount() const { return recordCount_; }
  // The packet so far: the header and field descriptors take the first
  // HeaderSize() bytes, each record follows the one before.
  std::span<const std::uint8_t> Bytes() const { return bytes_; }
  std::size_t HeaderSize() const { return headerSize_; }

  // Hands the finished packet over; the writer is spent afterwards.
  std::vector<std::uint8_t> Finish();

 private:
  void WriteFieldDescriptor(const PacketField& field);
  void WriteValue(const PacketField& field, const sql::Value& value);
  void CheckOpen() const;

  std::vector<PacketField> fields_;
  std::vector<std::uint8_t> bytes_;
  std::size_t headerSize_ = 0;
  std::int32_t recordCount_ = 0;
  bool finished_ = false;
};

}  // namespace quor::datasnap
