#include "FieldValueEncoder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <limits>
#include <string>
#include <string_view>

#include "LittleEndian.h"
#include "PacketError.h"
#include "PacketFormat.h"
#include "platform/text/Encodings.h"

namespace quor::datasnap {
namespace {

std::int64_t CheckedInteger(const sql::Value& value, std::int64_t low, std::int64_t high) {
  const std::int64_t number = value.AsInteger();
  if (number < low || number > high) {
    throw PacketError("value " + std::to_string(number) + " is outside " + std::to_string(low) +
                      ".." + std::to_string(high));
  }
  return number;
}

sql::DateTime CheckedDateTime(const sql::Value& value) {
  const sql::DateTime dt = value.AsDateTime();
  // Ranges first: chrono's calendar types keep only a short, a char each.
  const bool inRange = dt.year >= 1 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 &&
                       dt.day >= 1 && dt.day <= 31 && dt.hour >= 0 && dt.hour < 24 &&
                       dt.minute >= 0 && dt.minute < 60 && dt.second >= 0 && dt.second < 60 &&
                       dt.nanosecond >= 0 && dt.nanosecond < 1'000'000'000;
  if (!inRange || !std::chrono::year_month_day{std::chrono::year(dt.year) /
                                               std::chrono::month(static_cast<unsigned>(dt.month)) /
                                               std::chrono::day(static_cast<unsigned>(dt.day))}
                       .ok()) {
    throw PacketError("impossible date-time " + value.ToDebugString());
  }
  return dt;
}

std::int64_t DayNumber(const sql::DateTime& dt) {
  const std::chrono::sys_days days{std::chrono::year(dt.year) /
                                   std::chrono::month(static_cast<unsigned>(dt.month)) /
                                   std::chrono::day(static_cast<unsigned>(dt.day))};
  return days.time_since_epoch().count() + packet::kUnixEpochDayNumber;
}

// Rounded to the nearest millisecond: SQL Server's datetime ticks (1/300 s)
// reach the driver as nanoseconds such as 3333333.
std::int64_t MillisOfDay(int hour, int minute, int second, int nanosecond) {
  return ((hour * 60LL + minute) * 60 + second) * 1000 + (nanosecond + 500'000LL) / 1'000'000;
}

// Drivers hand time columns over as text: "hh:mm:ss" with an optional fraction.
bool ParseTimeText(std::string_view text, std::int64_t& millis) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int parts[3] = {0, 0, 0};
  std::size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != ':') {
        if (i == 2) break;  // "hh:mm"
        return false;
      }
      ++pos;
    }
    const std::size_t start = pos;
    while (pos < text.size() && pos - start < 2 &&
           std::isdigit(static_cast<unsigned char>(text[pos])))
      ++pos;
    if (pos - start != 2) return false;
    std::from_chars(text.data() + start, text.data() + pos, parts[i]);
  }
  long long nanos = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    long long scale = 100'000'000;
    const std::size_t start = pos;
    for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos) {
      nanos += (text[pos] - '0') * scale;
      scale /= 10;
    }
    if (pos == start) return false;
  }
  if (pos != text.size() || parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return false;
  millis = MillisOfDay(parts[0], parts[1], parts[2], static_cast<int>(nanos));
  return true;
}

std::int64_t TimeOfDayMillis(const sql::Value& value) {
  std::int64_t millis = 0;
  if (value.Kind() == sql::ValueKind::kDateTime) {
    const sql::DateTime dt = CheckedDateTime(value);
    millis = MillisOfDay(dt.hour, dt.minute, dt.second, dt.nanosecond);
  } else if (!ParseTimeText(value.AsText(), millis)) {
    throw PacketError("not a time of day: " + value.ToDebugString());
  }
  // Rounding 23:59:59.9995 up must not leave the day.
  return std::min(millis, packet::kMillisPerDay - 1);
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Characters that code page 936 lacks become '?', as the client's own ANSI
// conversion would make them; a whole packet should not fail over one glyph.
std::string ToCodePage936(std::string utf8) {
  if (IsAscii(utf8)) return utf8;
  return text::Utf8ToGbk(utf8, text::OnError::kReplace);
}

std::u16string ToUtf16(const std::string& utf8) {
  if (IsAscii(utf8)) return std::u16string(utf8.begin(), utf8.end());
  return text::Utf8ToUtf16(utf8, text::OnError::kReplace);
}

// The client's record buffer holds `width` bytes; cutting between the two bytes
// of a character would leave it a broken lead byte.
std::size_t FitCodePage936(std::string_view bytes, std::size_t width) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    const std::size_t length = (lead >= 0x81 && lead <= 0xFE && pos + 1 < bytes.size()) ? 2 : 1;
    if (pos + length > width) break;
    pos += length;
  }
  return pos;
}

std::size_t FitUtf16(std::u16string_view units, std::size_t width) {
  if (units.size() <= width) return units.size();
  if (width == 0) return 0;
  const char16_t last = units[width - 1];
  return (last >= 0xD800 && last <= 0xDBFF) ? width - 1 : width;
}

void AppendLength(std::vector<std::uint8_t>& out, std::size_t length, std::uint16_t prefixBytes) {
  AppendLittleEndian(out, length, prefixBytes);
}

void AppendAnsi(std::vector<std::uint8_t>& out, std::string_view bytes, std::uint16_t prefixBytes) {
  AppendLength(out, bytes.size(), prefixBytes);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void AppendUtf16(std::vector<std::uint8_t>& out, std::u16string_view units,
                 std::uint16_t prefixBytes) {
  AppendLength(out, units.size() * 2, prefixBytes);
  for (const char16_t unit : units) AppendLittleEndian(out, unit, 2);
}

std::size_t CheckedBlobLength(std::size_t length) {
  if (length > std::numeric_limits<std::uint32_t>::max()) {
    throw PacketError("blob of " + std::to_string(length) + " bytes exceeds the 4 GB length field");
  }
  return length;
}

bool IsHex(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Clients expect the braced, upper-case form that a GUID field shows. Drivers
// give the text without braces; a 16-byte value is the GUID structure itself.
std::string GuidText(const sql::Value& value) {
  static const char kHex[] = "0123456789ABCDEF";
  if (value.Kind() == sql::ValueKind::kBytes) {
    const std::vector<std::uint8_t> raw = value.AsBytes();
    if (raw.size() != 16) throw PacketError("GUID of " + std::to_string(raw.size()) + " bytes");
    // Data1, Data2 and Data3 are stored little-endian, the last eight bytes in order.
    static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string text = "{";
    for (int i = 0; i < 16; ++i) {
      if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
      text += kHex[raw[kOrder[i]] >> 4];
      text += kHex[raw[kOrder[i]] & 0x0F];
    }
    return text + "}";
  }
  std::string text = value.AsText();
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, 36);
  }
  bool wellFormed = text.size() == 36;
  for (std::size_t i = 0; wellFormed && i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    wellFormed = dash ? text[i] == '-' : IsHex(text[i]);
  }
  if (!wellFormed) throw PacketError("not a GUID: " + value.ToDebugString());
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return "{" + text + "}";
}

}  // namespace

void AppendFieldValue(const PacketField& field, const sql::Value& value,
                      std::vector<std::uint8_t>& out) {
  switch (field.form) {
    case ValueForm::kUnsigned8:
      AppendLittleEndian(out, static_cast<std::uint64_t>(CheckedInteger(value, 0, 255)), 1);
      break;
    case ValueForm::kInteger16:
      AppendLittleEndian(out, static_cast<std::uint64_t>(CheckedInteger(value, -32768, 32767)), 2);
      break;
    case ValueForm::kInteger32:
      AppendLittleEndian(
          out,
          static_cast<std::uint64_t>(CheckedInteger(value, std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max())),
          4);
      break;
    case ValueForm::kInteger64:
      AppendLittleEndian(out, static_cast<std::uint64_t>(value.AsInteger()), 8);
      break;
    case ValueForm::kBoolean:
      AppendUInt16(out, value.AsBoolean() ? 0xFFFF : 0);
      break;
    case ValueForm::kFloat:
      AppendFloat64(out, value.AsDouble());
      break;
    case ValueForm::kDate:
      AppendInt32(out, static_cast<std::int32_t>(DayNumber(CheckedDateTime(value))));
      break;
    case ValueForm::kTime:
      AppendInt32(out, static_cast<std::int32_t>(TimeOfDayMillis(value)));
      break;
    case ValueForm::kTimestamp: {
      const sql::DateTime dt = CheckedDateTime(value);
      const std::int64_t millis = DayNumber(dt) * packet::kMillisPerDay +
                                  MillisOfDay(dt.hour, dt.minute, dt.second, dt.nanosecond);
      // At most about 3.2e14, well inside the 2^53 that a double holds exactly.
      AppendFloat64(out, static_cast<double>(millis));
      break;
    }
    case ValueForm::kAnsiString: {
      const std::string bytes = ToCodePage936(value.AsText());
      AppendAnsi(out, std::string_view(bytes).substr(0, FitCodePage936(bytes, field.width)),
                 field.size);
      break;
    }
    case ValueForm::kUnicodeString: {
      const std::u16string units = ToUtf16(value.AsText());
      AppendUtf16(out, std::u16string_view(units).substr(0, FitUtf16(units, field.width)),
                  field.size);
      break;
    }
    case ValueForm::kGuidString:
      AppendAnsi(out, GuidText(value), field.size);
      break;
    case ValueForm::kAnsiBlob: {
      const std::string bytes = ToCodePage936(value.AsText());
      CheckedBlobLength(bytes.size());
      AppendAnsi(out, bytes, field.size);
      break;
    }
    case ValueForm::kUnicodeBlob: {
      const std::u16string units = ToUtf16(value.AsText());
      CheckedBlobLength(units.size() * 2);
      AppendUtf16(out, units, field.size);
      break;
    }
    case ValueForm::kBinaryBlob: {
      const std::vector<std::uint8_t> bytes = value.AsBytes();
      AppendLength(out, CheckedBlobLength(bytes.size()), field.size);
      out.insert(out.end(), bytes.begin(), bytes.end());
      break;
    }
  }
}

}  // namespace quor::datasnap
