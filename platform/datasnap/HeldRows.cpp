#include "HeldRows.h"

#include <algorithm>
#include <stdexcept>

#include "LittleEndian.h"
#include "PacketFormat.h"

namespace quor::datasnap {

HeldRows::HeldRows(std::span<const sql::Field> fields)
    : fields_(fields.begin(), fields.end()), writer_(fields) {}

void HeldRows::Add(std::span<const sql::Value> values) {
  const std::size_t start = writer_.Bytes().size();
  writer_.AddRow(values);
  offsets_.push_back(start);
}

std::vector<std::uint8_t> HeldRows::Take(std::int32_t count, std::int32_t& taken) {
  const std::size_t left = Remaining();
  const std::size_t wanted = count < 0 ? left : std::min(left, static_cast<std::size_t>(count));
  taken = static_cast<std::int32_t>(wanted);
  if (spent_) throw std::logic_error("the held rows have all been handed out");
  if (!spent_ && next_ == 0 && wanted == offsets_.size()) {
    next_ = offsets_.size();
    spent_ = true;
    return writer_.Finish();
  }
  const std::span<const std::uint8_t> bytes = writer_.Bytes();
  std::size_t begin = 0;
  std::size_t end = 0;
  if (wanted > 0) {
    begin = offsets_[next_];
    end = next_ + wanted < offsets_.size() ? offsets_[next_ + wanted] : bytes.size();
  }
  std::vector<std::uint8_t> packet;
  packet.reserve(writer_.HeaderSize() + (end - begin));
  packet.insert(packet.end(), bytes.begin(), bytes.begin() + writer_.HeaderSize());
  packet.insert(packet.end(), bytes.begin() + begin, bytes.begin() + end);
  PatchLittleEndian(packet, packet::kRecordCountOffset, static_cast<std::uint32_t>(wanted), 4);
  next_ += wanted;
  return packet;
}

}  // namespace quor::datasnap
