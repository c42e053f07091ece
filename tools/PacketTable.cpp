#include "tools/PacketTable.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <ostream>

#include "platform/text/Encodings.h"

namespace quor::tools {
namespace {

constexpr std::uint8_t kSignature[4] = {0x96, 0x19, 0xE0, 0xBD};
constexpr std::uint16_t kVarying = 0x40;
constexpr std::uint16_t kArray = 0x80;
constexpr std::uint16_t kHidden = 1;

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::span<const std::uint8_t> Take(std::size_t count) {
    if (count > bytes_.size() - at_) throw PacketFormatError("data packet ends early");
    const auto part = bytes_.subspan(at_, count);
    at_ += count;
    return part;
  }
  std::uint64_t Number(std::size_t size) {
    const auto part = Take(size);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value |= std::uint64_t{part[i]} << (8 * i);
    return value;
  }
  std::uint8_t U8() { return static_cast<std::uint8_t>(Number(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Number(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Number(4)); }
  void Seek(std::size_t offset) {
    if (offset > bytes_.size()) throw PacketFormatError("data packet header size beyond its end");
    at_ = offset;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

struct Field {
  std::string name;
  std::uint16_t size = 0;
  std::uint16_t type = 0;
  std::uint16_t attributes = 0;
  std::string subtype;
};

std::string Ansi(std::span<const std::uint8_t> bytes) {
  return text::GbkToUtf8(std::string(bytes.begin(), bytes.end()), text::OnError::kReplace);
}

std::string Wide(std::span<const std::uint8_t> bytes) {
  if (bytes.size() % 2 != 0) throw PacketFormatError("odd length of a Unicode string");
  return text::Utf16ToUtf8(text::Utf16FromLeBytes(std::string(bytes.begin(), bytes.end())),
                           text::OnError::kReplace);
}

// Skips one property, noting the SUBTYPE of a blob.
void ReadProperty(Reader& reader, Field* field) {
  const std::string name = Ansi(reader.Take(reader.U8()));
  const std::uint16_t size = reader.U16();
  const std::uint16_t type = reader.U16();
  std::span<const std::uint8_t> data;
  if (type & kArray) {
    const std::uint32_t count = reader.U32();
    if (size != 0 && count > (1u << 24)) throw PacketFormatError("property array too large");
    data = reader.Take(std::size_t{count} * size);
  } else if (type & kVarying) {
    data = reader.Take(reader.Number(size));
  } else {
    data = reader.Take(size);
  }
  if (field && name == "SUBTYPE") field->subtype = Ansi(data);
}

std::string CivilDate(std::int64_t day) {
  // Days from 0001-01-01 (day 1) to a proleptic Gregorian date.
  std::int64_t z = day + 305;  // days since 0000-03-01
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t year = yoe + era * 400;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t dayOfMonth = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  if (month <= 2) ++year;
  char text[64];
  std::snprintf(text, sizeof text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64, year, month,
                dayOfMonth);
  return text;
}

std::string TimeOfDay(std::int64_t milliseconds) {
  char text[32];
  const auto ms = static_cast<int>(milliseconds % 1000);
  const auto seconds = static_cast<int>(milliseconds / 1000);
  if (ms != 0) {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", seconds / 3600, seconds / 60 % 60,
                  seconds % 60, ms);
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  }
  return text;
}

std::string SignedText(std::uint64_t raw, std::size_t size) {
  const unsigned shift = 64 - 8 * static_cast<unsigned>(size);
  const auto value = static_cast<std::int64_t>(raw << shift) >> shift;
  return std::to_string(value);
}

std::string DoubleText(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

std::string CellText(const Field& field, std::span<const std::uint8_t> data) {
  auto number = [&] {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < data.size() && i < 8; ++i)
      value |= std::uint64_t{data[i]} << (8 * i);
    return value;
  };
  switch (field.type & 0x3F) {
    case 1:
      if (data.empty()) return "";
      return SignedText(number(), std::min<std::size_t>(data.size(), 8));
    case 2:
      return std::to_string(number());
    case 3:
      return number() != 0 ? "True" : "False";
    case 4:
      if (data.size() == 4)
        return DoubleText(std::bit_cast<float>(static_cast<std::uint32_t>(number())));
      return DoubleText(std::bit_cast<double>(number()));
    case 6:
      return CivilDate(static_cast<std::int32_t>(number()));
    case 7:
      return TimeOfDay(static_cast<std::int32_t>(number()));
    case 8: {
      const double total = std::bit_cast<double>(number());
      const auto day = static_cast<std::int64_t>(total / 86400000.0);
      const auto ms =
          static_cast<std::int64_t>(total - static_cast<double>(day) * 86400000.0 + 0.5);
      const std::string time = TimeOfDay(ms);
      return time == "00:00:00" ? CivilDate(day) : CivilDate(day) + " " + time;
    }
    case 9:
      return Ansi(data);
    case 10:
      return Wide(data);
    case 11:
      if (field.subtype == "Text" || field.subtype == "Memo") return Ansi(data);
      if (field.subtype == "WideText") return Wide(data);
      return "(" + std::to_string(data.size()) + " bytes)";
    default:
      return "(type " + std::to_string(field.type & 0x3F) + ")";
  }
}

// Terminal columns a UTF-8 text takes: wide East Asian characters count two.
std::size_t DisplayWidth(const std::string& text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t code = lead;
    if (length > 1 && i + length <= text.size()) {
      code = lead & (0xFF >> (length + 1));
      for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (text[i + k] & 0x3F);
    }
    const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                      (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                      (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                      (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

}  // namespace

bool LooksLikeDataPacket(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 24 &&
         std::equal(std::begin(kSignature), std::end(kSignature), bytes.begin());
}

PacketTable ReadPacketTable(std::span<const std::uint8_t> bytes) {
  if (!LooksLikeDataPacket(bytes)) throw PacketFormatError("not a data packet");
  Reader reader(bytes);
  reader.Take(12);  // signature and two fixed words
  const std::uint16_t fieldCount = reader.U16();
  const auto recordCount = static_cast<std::int32_t>(reader.U32());
  reader.U32();
  const std::uint16_t headerSize = reader.U16();
  if (recordCount < 0) throw PacketFormatError("negative record count");

  std::vector<Field> fields(fieldCount);
  for (Field& field : fields) {
    field.name = Ansi(reader.Take(reader.U8()));
    field.size = reader.U16();
    field.type = reader.U16();
    field.attributes = reader.U16();
    const std::uint16_t properties = reader.U16();
    for (std::uint16_t p = 0; p < properties; ++p) ReadProperty(reader, &field);
  }
  const std::uint16_t packetProperties = reader.U16();
  for (std::uint16_t p = 0; p < packetProperties; ++p) ReadProperty(reader, nullptr);
  reader.Seek(headerSize);

  PacketTable table;
  for (const Field& field : fields) {
    if (!(field.attributes & kHidden)) table.columns.push_back(field.name);
  }
  for (std::int32_t r = 0; r < recordCount; ++r) {
    reader.U8();  // record status
    const auto statusBytes = reader.Take((fields.size() + 3) / 4);
    std::vector<std::string> row;
    for (std::size_t f = 0; f < fields.size(); ++f) {
      const Field& field = fields[f];
      const unsigned bits = (statusBytes[f / 4] >> ((f % 4) * 2)) & 3u;
      std::string cell;
      if (bits != 0) {
        cell = (bits & 1u) ? "NULL" : "";
      } else if (field.type & kVarying) {
        cell = CellText(field, reader.Take(reader.Number(field.size)));
      } else {
        cell = CellText(field, reader.Take(field.size));
      }
      if (!(field.attributes & kHidden)) row.push_back(std::move(cell));
    }
    table.rows.push_back(std::move(row));
  }
  return table;
}

void PrintTable(const PacketTable& table, std::ostream& out) {
  std::vector<std::size_t> widths;
  for (const std::string& column : table.columns) widths.push_back(DisplayWidth(column));
  for (const auto& row : table.rows) {
    for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) {
      widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
  }
  auto line = [&](const std::vector<std::string>& cells) {
    for (std::size_t c = 0; c < cells.size(); ++c) {
      out << cells[c];
      if (c + 1 < cells.size()) out << std::string(widths[c] - DisplayWidth(cells[c]) + 2, ' ');
    }
    out << '\n';
  };
  line(table.columns);
  std::vector<std::string> rule;
  for (const std::size_t width : widths) rule.push_back(std::string(width, '-'));
  line(rule);
  for (const auto& row : table.rows) line(row);
  out << "(" << table.rows.size() << (table.rows.size() == 1 ? " row)" : " rows)") << '\n';
}

}  // namespace quor::tools
