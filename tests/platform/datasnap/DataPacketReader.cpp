#include "DataPacketReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/text/Encodings.h"

namespace quor::datasnap::test {
namespace {

constexpr std::uint8_t kSignature[4] = {0x96, 0x19, 0xE0, 0xBD};
constexpr std::int64_t kDayMillis = 86'400'000;

[[noreturn]] void Fail(std::size_t offset, const std::string& what) {
  throw MalformedPacket("data packet, offset " + std::to_string(offset) + ": " + what);
}

class Cursor {
 public:
  explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Offset() const { return offset_; }
  std::size_t Left() const { return bytes_.size() - offset_; }

  std::span<const std::uint8_t> Take(std::size_t count, const char* what) {
    if (count > Left()) {
      Fail(offset_, std::string(what) + " needs " + std::to_string(count) + " bytes, " +
                        std::to_string(Left()) + " left");
    }
    const auto part = bytes_.subspan(offset_, count);
    offset_ += count;
    return part;
  }

  std::uint64_t Unsigned(std::size_t width, const char* what) {
    const auto part = Take(width, what);
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | part[i];
    return value;
  }

  std::uint8_t U8(const char* what) { return static_cast<std::uint8_t>(Unsigned(1, what)); }
  std::uint16_t U16(const char* what) { return static_cast<std::uint16_t>(Unsigned(2, what)); }
  std::int16_t I16(const char* what) { return static_cast<std::int16_t>(Unsigned(2, what)); }
  std::int32_t I32(const char* what) { return static_cast<std::int32_t>(Unsigned(4, what)); }
  std::uint32_t U32(const char* what) { return static_cast<std::uint32_t>(Unsigned(4, what)); }

  std::int64_t Signed(std::size_t width, const char* what) {
    const std::uint64_t raw = Unsigned(width, what);
    const unsigned bits = static_cast<unsigned>(width * 8);
    if (bits == 64) return static_cast<std::int64_t>(raw);
    const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
    return static_cast<std::int64_t>((raw ^ sign) - sign);
  }

  double F64(const char* what) {
    const std::uint64_t raw = Unsigned(8, what);
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t offset_ = 0;
};

bool IsPrefixWidth(std::uint16_t size) {
  return size == 1 || size == 2 || size == 4;
}

PacketProperty ReadProperty(Cursor& in) {
  PacketProperty property;
  const std::uint8_t nameLength = in.U8("property name length");
  const auto name = in.Take(nameLength, "property name");
  property.name.assign(name.begin(), name.end());
  property.size = in.U16("property size");
  property.type = in.U16("property type");
  if (property.type & 0x80) {
    property.count = in.U32("property element count");
    const std::uint64_t total = std::uint64_t{property.count} * property.size;
    if (total > in.Left()) Fail(in.Offset(), "array property \"" + property.name + "\" overruns");
    const auto data = in.Take(static_cast<std::size_t>(total), "array property");
    property.value.assign(data.begin(), data.end());
  } else if (property.type & 0x40) {
    if (!IsPrefixWidth(property.size)) {
      Fail(in.Offset(),
           "varying property with a length of " + std::to_string(property.size) + " bytes");
    }
    const std::uint64_t length = in.Unsigned(property.size, "property length");
    const auto data = in.Take(static_cast<std::size_t>(length), "property value");
    property.value.assign(data.begin(), data.end());
  } else {
    const auto data = in.Take(property.size, "property value");
    property.value.assign(data.begin(), data.end());
  }
  return property;
}

std::string DecodeCodePage936(std::span<const std::uint8_t> bytes, std::size_t offset) {
  try {
    return text::GbkToUtf8(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  } catch (const std::exception& e) {
    Fail(offset, std::string("text is not code page 936: ") + e.what());
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string DecodeUtf16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  if (bytes.size() % 2 != 0) Fail(offset, "UTF-16 text of odd length");
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const char32_t unit = bytes[i] | bytes[i + 1] << 8;
    if (unit >= 0xDC00 && unit <= 0xDFFF) Fail(offset + i, "lone low surrogate");
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 3 >= bytes.size()) Fail(offset + i, "high surrogate at the end of the text");
      const char32_t low = bytes[i + 2] | bytes[i + 3] << 8;
      if (low < 0xDC00 || low > 0xDFFF) Fail(offset + i, "high surrogate without a low one");
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
      i += 2;
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysOfMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Day 1 is 0001-01-01; walks whole 400-year cycles, then years, then months.
Date DateOfDayNumber(std::int64_t dayNumber) {
  std::int64_t days = dayNumber - 1;
  Date date{1, 1, 1};
  date.year += static_cast<int>(days / 146097) * 400;
  days %= 146097;
  for (;;) {
    const int yearDays = IsLeapYear(date.year) ? 366 : 365;
    if (days < yearDays) break;
    days -= yearDays;
    ++date.year;
  }
  for (;;) {
    const int monthDays = DaysOfMonth(date.year, date.month);
    if (days < monthDays) break;
    days -= monthDays;
    ++date.month;
  }
  date.day = static_cast<int>(days) + 1;
  return date;
}

struct FieldShape {
  std::uint16_t base;
  bool varying;
  std::optional<std::uint64_t> width;
  std::string subtype;
};

Bytes ReadVaryingData(Cursor& in, const PacketFieldInfo& field) {
  const std::uint64_t length = in.Unsigned(field.size, "value length");
  const auto data = in.Take(static_cast<std::size_t>(length), "value");
  return Bytes(data.begin(), data.end());
}

Cell ReadCell(Cursor& in, const PacketFieldInfo& field, const FieldShape& shape) {
  const std::size_t at = in.Offset();
  switch (shape.base) {
    case 1:
      return in.Signed(field.size, "signed integer");
    case 2:
      return in.Unsigned(field.size, "unsigned integer");
    case 3:
      return in.U16("boolean") != 0;
    case 4:
      return in.F64("float");
    case 6: {
      const std::int32_t day = in.I32("date");
      if (day < 1) Fail(at, "date before day 1: " + std::to_string(day));
      return DateOfDayNumber(day);
    }
    case 7: {
      const std::int32_t ms = in.I32("time");
      if (ms < 0 || ms >= kDayMillis) Fail(at, "time outside a day: " + std::to_string(ms));
      return TimeOfDay{ms};
    }
    case 8: {
      const double value = in.F64("timestamp");
      // 2^53: beyond it a double no longer counts single milliseconds.
      if (!std::isfinite(value) || value != std::floor(value) || value < kDayMillis ||
          value > 9007199254740992.0) {
        Fail(at, "timestamp is not a whole millisecond count from day 1");
      }
      const auto total = static_cast<std::int64_t>(value);
      return Timestamp{DateOfDayNumber(total / kDayMillis),
                       static_cast<std::int32_t>(total % kDayMillis)};
    }
    case 9: {
      Bytes data;
      if (shape.varying) {
        data = ReadVaryingData(in, field);
      } else {
        const auto fixed = in.Take(field.size, "fixed string");
        data.assign(fixed.begin(), fixed.end());
        data.erase(std::find(data.begin(), data.end(), 0), data.end());
      }
      if (shape.width && data.size() > *shape.width) {
        Fail(at, std::to_string(data.size()) + " bytes in a string " +
                     std::to_string(*shape.width) + " bytes wide");
      }
      return DecodeCodePage936(data, at);
    }
    case 10: {
      if (!shape.varying) Fail(at, "fixed Unicode strings are not in the layout");
      const Bytes data = ReadVaryingData(in, field);
      if (shape.width && data.size() > *shape.width * 2) {
        Fail(at, std::to_string(data.size()) + " bytes in a Unicode string " +
                     std::to_string(*shape.width) + " characters wide");
      }
      return DecodeUtf16(data, at);
    }
    case 11: {
      Bytes data;
      if (shape.varying) {
        data = ReadVaryingData(in, field);
      } else {
        const auto fixed = in.Take(field.size, "fixed bytes");
        data.assign(fixed.begin(), fixed.end());
      }
      if (shape.subtype == "Text") return DecodeCodePage936(data, at);
      if (shape.subtype == "WideText") return DecodeUtf16(data, at);
      return data;
    }
    default:
      Fail(at, "field type " + std::to_string(shape.base) + " is not readable here");
  }
}

FieldShape ShapeOf(const PacketFieldInfo& field, std::size_t descriptorOffset) {
  FieldShape shape{static_cast<std::uint16_t>(field.type & 0x3F), (field.type & 0x40) != 0,
                   field.NumberProperty("WIDTH"), field.TextProperty("SUBTYPE").value_or("")};
  const auto sizeIs = [&](std::initializer_list<std::uint16_t> allowed) {
    for (const auto size : allowed) {
      if (field.size == size) return true;
    }
    return false;
  };
  bool ok = true;
  switch (shape.base) {
    case 1:
    case 2:
      ok = !shape.varying && sizeIs({1, 2, 4, 8});
      break;
    case 3:
      ok = !shape.varying && field.size == 2;
      break;
    case 4:
    case 8:
      ok = !shape.varying && field.size == 8;
      break;
    case 6:
    case 7:
      ok = !shape.varying && field.size == 4;
      break;
    case 9:
    case 10:
    case 11:
      ok = !shape.varying || IsPrefixWidth(field.size);
      break;
    default:
      ok = false;
  }
  if ((field.type & 0x80) != 0) ok = false;
  if (!ok) {
    Fail(
        descriptorOffset, "field \"" + field.name + "\" has type 0x" + [&] {
          std::ostringstream hex;
          hex << std::hex << field.type;
          return hex.str();
        }() + " with size " + std::to_string(field.size));
  }
  return shape;
}

}  // namespace

const PacketProperty* PacketFieldInfo::FindProperty(const std::string& propertyName) const {
  for (const auto& property : properties) {
    if (property.name == propertyName) return &property;
  }
  return nullptr;
}

std::optional<std::uint64_t> PacketFieldInfo::NumberProperty(
    const std::string& propertyName) const {
  const PacketProperty* property = FindProperty(propertyName);
  if (property == nullptr || property->value.size() > 8) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = property->value.size(); i-- > 0;) value = value << 8 | property->value[i];
  return value;
}

std::optional<std::string> PacketFieldInfo::TextProperty(const std::string& propertyName) const {
  const PacketProperty* property = FindProperty(propertyName);
  if (property == nullptr) return std::nullopt;
  return std::string(property->value.begin(), property->value.end());
}

DataPacket ReadDataPacket(std::span<const std::uint8_t> bytes) {
  Cursor in(bytes);
  DataPacket packet;
  const auto signature = in.Take(4, "signature");
  if (!std::equal(signature.begin(), signature.end(), kSignature)) Fail(0, "wrong signature");
  if (in.I32("header word") != 1) Fail(4, "header word at offset 4 is not 1");
  if (in.I32("header word") != 18) Fail(8, "header word at offset 8 is not 18");
  packet.fieldCount = in.U16("field count");
  packet.recordCount = in.I32("record count");
  if (packet.recordCount < 0) Fail(14, "negative record count");
  if (in.I32("header word") != 3) Fail(18, "header word at offset 18 is not 3");
  packet.headerSize = in.U16("header size");

  std::vector<FieldShape> shapes;
  for (std::uint16_t i = 0; i < packet.fieldCount; ++i) {
    const std::size_t descriptorOffset = in.Offset();
    PacketFieldInfo field;
    const std::uint8_t nameLength = in.U8("field name length");
    field.name = DecodeCodePage936(in.Take(nameLength, "field name"), descriptorOffset + 1);
    field.size = in.U16("field size");
    field.type = in.U16("field type");
    field.attributes = in.U16("field attributes");
    const std::uint16_t propertyCount = in.U16("field property count");
    for (std::uint16_t p = 0; p < propertyCount; ++p) field.properties.push_back(ReadProperty(in));
    shapes.push_back(ShapeOf(field, descriptorOffset));
    packet.fields.push_back(std::move(field));
  }
  const std::uint16_t packetPropertyCount = in.U16("packet property count");
  for (std::uint16_t p = 0; p < packetPropertyCount; ++p) {
    packet.packetProperties.push_back(ReadProperty(in));
  }
  if (in.Offset() != packet.headerSize) {
    Fail(in.Offset(),
         "records begin here, but the header size says " + std::to_string(packet.headerSize));
  }

  const std::size_t statusBytes = (packet.fields.size() + 3) / 4;
  for (std::int32_t r = 0; r < packet.recordCount; ++r) {
    PacketRecord record;
    record.status = in.U8("record status");
    const auto status = in.Take(statusBytes, "field status bits");
    for (std::size_t i = 0; i < packet.fields.size(); ++i) {
      const unsigned bits = status[i / 4] >> (i % 4 * 2) & 3;
      if (bits == 1) {
        record.cells.emplace_back(Null{});
      } else if (bits == 2) {
        record.cells.emplace_back(NotChanged{});
      } else if (bits == 3) {
        Fail(in.Offset(), "field status 3 for field " + std::to_string(i));
      } else {
        record.cells.push_back(ReadCell(in, packet.fields[i], shapes[i]));
      }
    }
    packet.records.push_back(std::move(record));
  }
  if (in.Left() != 0) {
    Fail(in.Offset(), std::to_string(in.Left()) + " bytes after the last of " +
                          std::to_string(packet.recordCount) + " records");
  }
  return packet;
}

std::string CellText(const Cell& cell) {
  struct Visitor {
    std::string operator()(const Null&) const { return "NULL"; }
    std::string operator()(const NotChanged&) const { return "(not changed)"; }
    std::string operator()(std::int64_t v) const { return std::to_string(v); }
    std::string operator()(std::uint64_t v) const { return std::to_string(v) + "u"; }
    std::string operator()(bool v) const { return v ? "true" : "false"; }
    std::string operator()(double v) const {
      std::ostringstream out;
      out.precision(17);
      out << v;
      return out.str();
    }
    std::string operator()(const Date& d) const {
      char text[32];
      std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
      return text;
    }
    std::string operator()(const TimeOfDay& t) const {
      return "time " + std::to_string(t.milliseconds) + " ms";
    }
    std::string operator()(const Timestamp& t) const {
      return (*this)(t.date) + " + " + std::to_string(t.milliseconds) + " ms";
    }
    std::string operator()(const std::string& s) const { return "'" + s + "'"; }
    std::string operator()(const Bytes& b) const { return std::to_string(b.size()) + " bytes"; }
  };
  return std::visit(Visitor{}, cell);
}

std::vector<std::string> ColumnTexts(const DataPacket& packet, const std::string& fieldName) {
  std::vector<std::string> cells;
  for (std::size_t f = 0; f < packet.fields.size(); ++f) {
    if (packet.fields[f].name != fieldName) continue;
    for (const PacketRecord& record : packet.records) cells.push_back(CellText(record.cells.at(f)));
  }
  return cells;
}

}  // namespace quor::datasnap::test
