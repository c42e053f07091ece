#include "DeltaReader.h"

#include <algorithm>
#include <string>

#include "PacketFormat.h"

namespace quor::datasnap {
namespace {

constexpr std::uint16_t kTypeMask = 0x3F;
constexpr std::uint16_t kFirstStructuredType = 12;  // ADT, array, nested table, reference

class Cursor {
 public:
  explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Position() const { return position_; }
  void Seek(std::size_t position) {
    if (position > bytes_.size()) Fail("offset " + std::to_string(position));
    position_ = position;
  }
  void Skip(std::uint64_t count) {
    if (count > bytes_.size() - position_) Fail(std::to_string(count) + " bytes");
    position_ += static_cast<std::size_t>(count);
  }
  std::uint64_t Read(std::size_t width) {
    if (width > bytes_.size() - position_) Fail(std::to_string(width) + " bytes");
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      value |= static_cast<std::uint64_t>(bytes_[position_ + i]) << (8 * i);
    }
    position_ += width;
    return value;
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Read(1)); }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Read(2)); }
  std::int32_t Int() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(Read(4))); }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw PacketError("the delta packet ends early: " + what + " needed at offset " +
                      std::to_string(position_) + " of " + std::to_string(bytes_.size()));
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

struct FieldShape {
  std::uint16_t size = 0;
  std::uint16_t type = 0;
};

void SkipProperties(Cursor& in, std::uint16_t count) {
  for (std::uint16_t p = 0; p < count; ++p) {
    in.Skip(in.Byte());  // name
    const std::uint16_t size = in.Word();
    const std::uint16_t type = in.Word();
    if (type & packet::kArray) {
      in.Skip(static_cast<std::uint64_t>(static_cast<std::uint32_t>(in.Read(4))) * size);
    } else if (type & packet::kVarying) {
      if (size != 1 && size != 2 && size != 4) {
        throw PacketError("a property's length prefix of " + std::to_string(size) + " bytes");
      }
      in.Skip(in.Read(size));
    } else {
      in.Skip(size);
    }
  }
}

void SkipValue(Cursor& in, const FieldShape& field) {
  if (field.type & packet::kVarying) {
    in.Skip(in.Read(field.size));
  } else {
    in.Skip(field.size);
  }
}

}  // namespace

std::vector<std::uint8_t> ReadRecordStatuses(std::span<const std::uint8_t> packet) {
  Cursor in(packet);
  for (const std::uint8_t expected : packet::kSignature) {
    if (in.Byte() != expected) throw PacketError("not a data packet: wrong signature");
  }
  in.Skip(8);  // two fixed header words
  const std::uint16_t fieldCount = in.Word();
  const std::int32_t recordCount = in.Int();
  in.Skip(4);
  const std::uint16_t headerSize = in.Word();
  if (recordCount < 0) throw PacketError("a negative record count");

  std::vector<FieldShape> fields(fieldCount);
  for (FieldShape& field : fields) {
    in.Skip(in.Byte());  // name
    field.size = in.Word();
    field.type = in.Word();
    in.Skip(2);  // attributes
    SkipProperties(in, in.Word());
    const std::uint16_t base = field.type & kTypeMask;
    if ((field.type & packet::kArray) || base >= kFirstStructuredType) {
      throw PacketError("field type " + std::to_string(field.type) +
                        " is not supported in a delta");
    }
    if ((field.type & packet::kVarying) && field.size != 1 && field.size != 2 && field.size != 4) {
      throw PacketError("a field's length prefix of " + std::to_string(field.size) + " bytes");
    }
  }
  SkipProperties(in, in.Word());
  if (in.Position() > headerSize) throw PacketError("the header overruns its stated size");
  in.Seek(headerSize);

  std::vector<std::uint8_t> statuses;
  statuses.reserve(std::min<std::size_t>(static_cast<std::size_t>(recordCount), packet.size()));
  const std::size_t statusBytes = (fields.size() + 3) / 4;
  std::vector<std::uint8_t> bits(statusBytes);
  for (std::int32_t r = 0; r < recordCount; ++r) {
    statuses.push_back(in.Byte());
    for (std::uint8_t& b : bits) b = in.Byte();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const unsigned fieldBits = (bits[i / 4] >> (i % 4 * 2)) & 3u;
      if (fieldBits == 0) SkipValue(in, fields[i]);
    }
  }
  return statuses;
}

bool IsChange(std::uint8_t status) {
  return (status & (kRecordDeleted | kRecordInserted | kRecordModified)) != 0;
}

}  // namespace quor::datasnap
