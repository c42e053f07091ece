#include "DeltaReader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>

#include "PacketFormat.h"
#include "platform/text/Encodings.h"

namespace quor::datasnap {
namespace {

constexpr std::uint16_t kTypeMask = 0x3F;

class Cursor {
 public:
  explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Position() const { return position_; }
  void Seek(std::size_t position) {
    if (position > bytes_.size()) Fail("offset " + std::to_string(position));
    position_ = position;
  }
  std::span<const std::uint8_t> Take(std::uint64_t count) {
    if (count > bytes_.size() - position_) Fail(std::to_string(count) + " bytes");
    const std::span<const std::uint8_t> taken =
        bytes_.subspan(position_, static_cast<std::size_t>(count));
    position_ += static_cast<std::size_t>(count);
    return taken;
  }
  void Skip(std::uint64_t count) { Take(count); }
  std::uint64_t Read(std::size_t width) {
    const std::span<const std::uint8_t> raw = Take(width);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint64_t>(raw[i]) << (8 * i);
    return value;
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Read(1)); }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Read(2)); }
  std::int32_t Int() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(Read(4))); }
  std::string Text(std::uint64_t count) {
    const std::span<const std::uint8_t> raw = Take(count);
    return std::string(reinterpret_cast<const char*>(raw.data()), raw.size());
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw PacketError("the delta packet ends early: " + what + " needed at offset " +
                      std::to_string(position_) + " of " + std::to_string(bytes_.size()));
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

bool ValidPrefix(std::uint16_t size) {
  return size == 1 || size == 2 || size == 4;
}

// Properties are skipped except SUBTYPE, which tells text blobs from binary
// ones, and WIDTH.
void ReadProperties(Cursor& in, std::uint16_t count, DeltaField* field) {
  for (std::uint16_t p = 0; p < count; ++p) {
    const std::string name = in.Text(in.Byte());
    const std::uint16_t size = in.Word();
    const std::uint16_t type = in.Word();
    if (type & packet::kArray) {
      in.Skip(static_cast<std::uint64_t>(static_cast<std::uint32_t>(in.Read(4))) * size);
    } else if (type & packet::kVarying) {
      if (!ValidPrefix(size)) {
        throw PacketError("a property's length prefix of " + std::to_string(size) + " bytes");
      }
      std::string value = in.Text(in.Read(size));
      if (field != nullptr && name == "SUBTYPE") field->subtype = std::move(value);
    } else {
      const std::uint64_t value = in.Read(std::min<std::uint16_t>(size, 8));
      if (size > 8) in.Skip(size - 8);
      if (field != nullptr && name == "WIDTH" && size == 2) {
        field->width = static_cast<std::uint16_t>(value);
      }
    }
  }
}

void CheckField(const DeltaField& field) {
  const std::uint16_t base = field.type & kTypeMask;
  const bool varying = (field.type & packet::kVarying) != 0;
  bool fits = false;
  switch (base) {
    case packet::kSignedInteger:
    case packet::kUnsignedInteger:
      fits = !varying && (field.size == 1 || field.size == 2 || field.size == 4 || field.size == 8);
      break;
    case packet::kBoolean:
      fits = !varying && field.size == 2;
      break;
    case packet::kFloat:
    case packet::kTimestamp:
      fits = !varying && field.size == 8;
      break;
    case packet::kDate:
    case packet::kTime:
      fits = !varying && field.size == 4;
      break;
    case packet::kAnsiString:
    case packet::kUnicodeString:
    case packet::kBytes:
      fits = varying && ValidPrefix(field.size);
      break;
    default:
      break;
  }
  if ((field.type & packet::kArray) || !fits) {
    throw PacketError("field \"" + field.name + "\" has type " + std::to_string(field.type) +
                      " and size " + std::to_string(field.size) +
                      ", which a delta of this server's packets cannot hold");
  }
}

sql::DateTime DateOfDayNumber(std::int64_t dayNumber) {
  if (dayNumber < 1 || dayNumber > 3'652'059) {  // 0001-01-01 .. 9999-12-31
    throw PacketError("day number " + std::to_string(dayNumber) + " is no date");
  }
  const std::chrono::year_month_day ymd{
      std::chrono::sys_days(std::chrono::days(dayNumber - packet::kUnixEpochDayNumber))};
  sql::DateTime dt;
  dt.year = static_cast<int>(ymd.year());
  dt.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  dt.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  return dt;
}

void SetTimeOfDay(sql::DateTime& dt, std::int64_t millis) {
  if (millis < 0 || millis >= packet::kMillisPerDay) {
    throw PacketError(std::to_string(millis) + " ms is no time of day");
  }
  dt.hour = static_cast<int>(millis / 3'600'000);
  dt.minute = static_cast<int>(millis / 60'000 % 60);
  dt.second = static_cast<int>(millis / 1000 % 60);
  dt.nanosecond = static_cast<int>(millis % 1000) * 1'000'000;
}

std::string Utf16Text(std::span<const std::uint8_t> raw) {
  const std::string bytes(reinterpret_cast<const char*>(raw.data()), raw.size() & ~std::size_t{1});
  return text::Utf16ToUtf8(text::Utf16FromLeBytes(bytes), text::OnError::kReplace);
}

std::string AnsiText(std::span<const std::uint8_t> raw) {
  return text::GbkToUtf8(std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size()),
                         text::OnError::kReplace);
}

sql::Value ReadValue(Cursor& in, const DeltaField& field) {
  switch (field.type & kTypeMask) {
    case packet::kSignedInteger: {
      const std::uint64_t raw = in.Read(field.size);
      const unsigned shift = 64 - 8 * field.size;
      return sql::Value::Integer(static_cast<std::int64_t>(raw << shift) >> shift);
    }
    case packet::kUnsignedInteger: {
      const std::uint64_t raw = in.Read(field.size);
      if (raw > static_cast<std::uint64_t>(INT64_MAX)) {
        throw PacketError("field \"" + field.name + "\": unsigned value out of range");
      }
      return sql::Value::Integer(static_cast<std::int64_t>(raw));
    }
    case packet::kBoolean:
      return sql::Value::Boolean(in.Word() != 0);
    case packet::kFloat: {
      const std::uint64_t raw = in.Read(8);
      double number = 0;
      std::memcpy(&number, &raw, sizeof number);
      if (!std::isfinite(number)) throw PacketError("field \"" + field.name + "\": not a number");
      return sql::Value::Double(number);
    }
    case packet::kDate:
      return sql::Value::FromDateTime(DateOfDayNumber(in.Int()));
    case packet::kTime: {
      sql::DateTime dt;
      SetTimeOfDay(dt, in.Int());
      return sql::Value::FromDateTime(dt);
    }
    case packet::kTimestamp: {
      const std::uint64_t raw = in.Read(8);
      double millis = 0;
      std::memcpy(&millis, &raw, sizeof millis);
      if (!std::isfinite(millis) || millis < 0 || millis > 4e14) {
        throw PacketError("field \"" + field.name + "\": no timestamp");
      }
      const auto whole = static_cast<std::int64_t>(std::llround(millis));
      sql::DateTime dt = DateOfDayNumber(whole / packet::kMillisPerDay);
      SetTimeOfDay(dt, whole % packet::kMillisPerDay);
      return sql::Value::FromDateTime(dt);
    }
    case packet::kAnsiString:
      return sql::Value::Text(AnsiText(in.Take(in.Read(field.size))));
    case packet::kUnicodeString:
      return sql::Value::Text(Utf16Text(in.Take(in.Read(field.size))));
    default: {  // bytes: blobs by their subtype
      const std::span<const std::uint8_t> raw = in.Take(in.Read(field.size));
      if (field.subtype == "Text" || field.subtype == "Memo")
        return sql::Value::Text(AnsiText(raw));
      if (field.subtype == "WideText") return sql::Value::Text(Utf16Text(raw));
      return sql::Value::Bytes(std::vector<std::uint8_t>(raw.begin(), raw.end()));
    }
  }
}

}  // namespace

Delta ReadDelta(std::span<const std::uint8_t> packet) {
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

  Delta delta;
  delta.fields.resize(fieldCount);
  for (DeltaField& field : delta.fields) {
    field.name = AnsiText(in.Take(in.Byte()));
    field.size = in.Word();
    field.type = in.Word();
    field.attributes = in.Word();
    ReadProperties(in, in.Word(), &field);
    CheckField(field);
  }
  ReadProperties(in, in.Word(), nullptr);
  if (in.Position() > headerSize) throw PacketError("the header overruns its stated size");
  in.Seek(headerSize);

  // A record takes at least its status byte, so the count cannot ask for more.
  delta.records.reserve(
      std::min<std::size_t>(static_cast<std::size_t>(recordCount), packet.size() - in.Position()));
  const std::size_t statusBytes = (delta.fields.size() + 3) / 4;
  for (std::int32_t r = 0; r < recordCount; ++r) {
    DeltaRecord record;
    record.status = in.Byte();
    const std::span<const std::uint8_t> bits = in.Take(statusBytes);
    record.cells.resize(delta.fields.size(), DeltaCell::kValue);
    record.values.resize(delta.fields.size());
    for (std::size_t i = 0; i < delta.fields.size(); ++i) {
      const unsigned fieldBits = (bits[i / 4] >> (i % 4 * 2)) & 3u;
      if (fieldBits & packet::kFieldNull) {
        record.cells[i] = DeltaCell::kNull;
      } else if (fieldBits & packet::kFieldNotChanged) {
        record.cells[i] = DeltaCell::kNotChanged;
      } else {
        record.values[i] = ReadValue(in, delta.fields[i]);
      }
    }
    delta.records.push_back(std::move(record));
  }
  return delta;
}

std::vector<std::uint8_t> ReadRecordStatuses(std::span<const std::uint8_t> packet) {
  std::vector<std::uint8_t> statuses;
  for (const DeltaRecord& record : ReadDelta(packet).records) statuses.push_back(record.status);
  return statuses;
}

bool IsChange(std::uint8_t status) {
  return (status & (kRecordDeleted | kRecordInserted | kRecordModified)) != 0;
}

}  // namespace quor::datasnap
