// The rows of one opened dataset as a provider keeps them for its client: read
// from the server once, straight into their packet records, so the connection
// is free again as soon as the dataset is open and later packets come from
// here. Each row is held once, in its encoded form; a packet that takes every
// row from the first one on takes the held bytes themselves.
//
//   HeldRows rows(records.Fields());
//   rows.Add(values);                       // for every row
//   std::vector<std::uint8_t> packet = rows.Take(10, taken);
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "DataPacketWriter.h"
#include "platform/sql/Field.h"
#include "platform/sql/Value.h"

namespace quor::datasnap {

class HeldRows {
 public:
  explicit HeldRows(std::span<const sql::Field> fields);

  // The dataset's fields as the server described them.
  const std::vector<sql::Field>& Fields() const { return fields_; }
  // See DataPacketWriter::AddRow.
  void Add(std::span<const sql::Value> values);

  std::size_t Count() const { return offsets_.size(); }
  std::size_t Remaining() const { return offsets_.size() - next_; }

  // A packet of the next `count` rows (-1: all that are left, 0: none, only
  // the field descriptors); `taken` tells how many it holds.
  std::vector<std::uint8_t> Take(std::int32_t count, std::int32_t& taken);

 private:
  std::vector<sql::Field> fields_;
  DataPacketWriter writer_;
  std::vector<std::size_t> offsets_;  // where each record starts in the writer's bytes
  std::size_t next_ = 0;
  bool spent_ = false;  // the held bytes went out whole
};

}  // namespace quor::datasnap
