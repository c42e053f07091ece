#include "Value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

#include "platform/text/AsciiText.h"

namespace quor::sql {
namespace {

constexpr std::int64_t kMillisPerDay = 86'400'000;

// Days between 1970-01-01 and the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

const std::int64_t kOleEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

bool ParseInteger(std::string_view text, std::int64_t& out) {
  text = text::TrimSpaces(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && !text.empty();
}

bool ParseDouble(std::string_view text, double& out) {
  text = text::TrimSpaces(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && !text.empty();
}

std::int64_t RoundToInteger(double value) {
  if (!std::isfinite(value) || value >= 9.2233720368547758e18 || value < -9.2233720368547758e18) {
    throw ConversionError("Value " + std::to_string(value) + " is out of the integer range");
  }
  return static_cast<std::int64_t>(std::nearbyint(value));  // default rounding: half to even
}

std::string ShortestDouble(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// Reads exactly `width` digits (or 1..width when flexible) at text[pos].
bool ReadNumber(std::string_view text, std::size_t& pos, std::size_t minWidth, std::size_t maxWidth,
                int& out) {
  std::size_t count = 0;
  int value = 0;
  while (pos < text.size() && count < maxWidth && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++count;
  }
  out = value;
  return count >= minWidth;
}

}  // namespace

DateTime DateTime::FromOleDate(double days) {
  if (!std::isfinite(days) || std::fabs(days) > 2958466.0) {
    throw ConversionError("OLE date " + std::to_string(days) + " is out of range");
  }
  const double whole = std::trunc(days);
  const double fraction = std::fabs(days - whole);
  std::int64_t dayNumber = static_cast<std::int64_t>(whole);
  std::int64_t millis = std::llround(fraction * static_cast<double>(kMillisPerDay));
  if (millis >= kMillisPerDay) {
    millis -= kMillisPerDay;
    dayNumber += days < 0 ? -1 : 1;
  }
  DateTime result;
  CivilFromDays(kOleEpochDays + dayNumber, result.year, result.month, result.day);
  result.hour = static_cast<int>(millis / 3'600'000);
  result.minute = static_cast<int>(millis / 60'000 % 60);
  result.second = static_cast<int>(millis / 1000 % 60);
  result.nanosecond = static_cast<int>(millis % 1000) * 1'000'000;
  return result;
}

DateTime DateTime::FromEpochMillis(std::int64_t millis) {
  std::int64_t days = millis / kMillisPerDay;
  std::int64_t rest = millis % kMillisPerDay;
  if (rest < 0) {
    rest += kMillisPerDay;
    --days;
  }
  DateTime result;
  CivilFromDays(days, result.year, result.month, result.day);
  result.hour = static_cast<int>(rest / 3'600'000);
  result.minute = static_cast<int>(rest / 60'000 % 60);
  result.second = static_cast<int>(rest / 1000 % 60);
  result.nanosecond = static_cast<int>(rest % 1000) * 1'000'000;
  return result;
}

std::int64_t DateTime::ToEpochMillis() const {
  const std::int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return days * kMillisPerDay + hour * 3'600'000LL + minute * 60'000LL + second * 1000LL +
         nanosecond / 1'000'000;
}

double DateTime::ToOleDate() const {
  const std::int64_t dayNumber =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kOleEpochDays;
  const double seconds = hour * 3600.0 + minute * 60.0 + second + nanosecond / 1e9;
  const double fraction = seconds / 86400.0;
  return dayNumber < 0 ? static_cast<double>(dayNumber) - fraction
                       : static_cast<double>(dayNumber) + fraction;
}

std::string DateTime::ToText() const {
  char buffer[48];
  const int millis = nanosecond / 1'000'000;
  if (millis != 0) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day,
                  hour, minute, second, millis);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
  }
  return buffer;
}

bool DateTime::Parse(const std::string& input, DateTime& out) {
  const std::string_view text = text::TrimSpaces(input);
  DateTime value;
  std::size_t pos = 0;
  if (!ReadNumber(text, pos, 4, 4, value.year)) return false;
  if (pos >= text.size() || (text[pos] != '-' && text[pos] != '/')) return false;
  const char separator = text[pos++];
  if (!ReadNumber(text, pos, 1, 2, value.month)) return false;
  if (pos >= text.size() || text[pos++] != separator) return false;
  if (!ReadNumber(text, pos, 1, 2, value.day)) return false;
  if (value.month < 1 || value.month > 12 || value.day < 1 ||
      value.day > DaysInMonth(value.year, value.month)) {
    return false;
  }
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return false;
    ++pos;
    if (!ReadNumber(text, pos, 1, 2, value.hour)) return false;
    if (pos >= text.size() || text[pos++] != ':') return false;
    if (!ReadNumber(text, pos, 2, 2, value.minute)) return false;
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      if (!ReadNumber(text, pos, 2, 2, value.second)) return false;
      if (pos < text.size() && text[pos] == '.') {
        ++pos;
        const std::size_t start = pos;
        int digits = 0;
        if (!ReadNumber(text, pos, 1, 9, digits)) return false;
        for (std::size_t n = pos - start; n < 9; ++n) digits *= 10;
        value.nanosecond = digits;
      }
    }
    if (pos != text.size()) return false;
    if (value.hour > 23 || value.minute > 59 || value.second > 59) return false;
  }
  out = value;
  return true;
}

Value Value::Boolean(bool value) {
  return Value(Data(value));
}
Value Value::Integer(std::int64_t value) {
  return Value(Data(value));
}
Value Value::Double(double value) {
  return Value(Data(value));
}
Value Value::Decimal(std::string text) {
  // Drivers write "-.50" for -0.50; keep one spelling.
  if (!text.empty() && text[0] == '.') {
    text.insert(0, 1, '0');
  } else if (text.size() > 1 && (text[0] == '-' || text[0] == '+') && text[1] == '.') {
    text.insert(1, 1, '0');
  }
  return Value(Data(DecimalValue{std::move(text)}));
}
Value Value::FromDateTime(const DateTime& value) {
  return Value(Data(value));
}
Value Value::Text(std::string utf8) {
  return Value(Data(std::move(utf8)));
}
Value Value::Bytes(std::vector<std::uint8_t> bytes) {
  return Value(Data(std::move(bytes)));
}

bool Value::AsBoolean() const {
  switch (Kind()) {
    case ValueKind::kNull:
      return false;
    case ValueKind::kBoolean:
      return std::get<bool>(data_);
    case ValueKind::kInteger:
      return std::get<std::int64_t>(data_) != 0;
    case ValueKind::kDouble:
      return std::get<double>(data_) != 0.0;
    case ValueKind::kDecimal:
    case ValueKind::kText: {
      const std::string& text = Kind() == ValueKind::kText ? std::get<std::string>(data_)
                                                           : std::get<DecimalValue>(data_).text;
      const std::string_view trimmed = text::TrimSpaces(text);
      if (text::EqualsIgnoringAsciiCase(trimmed, "true")) return true;
      if (text::EqualsIgnoringAsciiCase(trimmed, "false")) return false;
      double number = 0;
      if (ParseDouble(trimmed, number)) return number != 0.0;
      throw ConversionError("Could not convert '" + text + "' to a boolean");
    }
    case ValueKind::kDateTime:
      return std::get<DateTime>(data_).ToOleDate() != 0.0;
    case ValueKind::kBytes:
      break;
  }
  throw ConversionError("Could not convert bytes to a boolean");
}

std::int64_t Value::AsInteger() const {
  switch (Kind()) {
    case ValueKind::kNull:
      return 0;
    case ValueKind::kBoolean:
      // OLE's true is -1; the databases' bit is 1. Keep the database's.
      return std::get<bool>(data_) ? 1 : 0;
    case ValueKind::kInteger:
      return std::get<std::int64_t>(data_);
    case ValueKind::kDouble:
      return RoundToInteger(std::get<double>(data_));
    case ValueKind::kDecimal:
    case ValueKind::kText: {
      const std::string& text = Kind() == ValueKind::kText ? std::get<std::string>(data_)
                                                           : std::get<DecimalValue>(data_).text;
      std::int64_t integer = 0;
      if (ParseInteger(text, integer)) return integer;
      double number = 0;
      if (ParseDouble(text, number)) return RoundToInteger(number);
      throw ConversionError("Could not convert '" + text + "' to an integer");
    }
    case ValueKind::kDateTime:
      return RoundToInteger(std::get<DateTime>(data_).ToOleDate());
    case ValueKind::kBytes:
      break;
  }
  throw ConversionError("Could not convert bytes to an integer");
}

double Value::AsDouble() const {
  switch (Kind()) {
    case ValueKind::kNull:
      return 0.0;
    case ValueKind::kBoolean:
      return std::get<bool>(data_) ? 1.0 : 0.0;
    case ValueKind::kInteger:
      return static_cast<double>(std::get<std::int64_t>(data_));
    case ValueKind::kDouble:
      return std::get<double>(data_);
    case ValueKind::kDecimal:
    case ValueKind::kText: {
      const std::string& text = Kind() == ValueKind::kText ? std::get<std::string>(data_)
                                                           : std::get<DecimalValue>(data_).text;
      double number = 0;
      if (ParseDouble(text, number)) return number;
      throw ConversionError("Could not convert '" + text + "' to a number");
    }
    case ValueKind::kDateTime:
      return std::get<DateTime>(data_).ToOleDate();
    case ValueKind::kBytes:
      break;
  }
  throw ConversionError("Could not convert bytes to a number");
}

std::string Value::AsText() const {
  switch (Kind()) {
    case ValueKind::kNull:
      return {};
    case ValueKind::kBoolean:
      return std::get<bool>(data_) ? "True" : "False";
    case ValueKind::kInteger:
      return std::to_string(std::get<std::int64_t>(data_));
    case ValueKind::kDouble:
      return ShortestDouble(std::get<double>(data_));
    case ValueKind::kDecimal:
      return std::get<DecimalValue>(data_).text;
    case ValueKind::kDateTime:
      return std::get<DateTime>(data_).ToText();
    case ValueKind::kText:
      return std::get<std::string>(data_);
    case ValueKind::kBytes: {
      const auto& bytes = std::get<std::vector<std::uint8_t>>(data_);
      return std::string(bytes.begin(), bytes.end());
    }
  }
  return {};
}

DateTime Value::AsDateTime() const {
  switch (Kind()) {
    case ValueKind::kNull:
      return DateTime{};
    case ValueKind::kDateTime:
      return std::get<DateTime>(data_);
    case ValueKind::kText: {
      DateTime parsed;
      if (DateTime::Parse(std::get<std::string>(data_), parsed)) return parsed;
      throw ConversionError("Could not convert '" + std::get<std::string>(data_) +
                            "' to a date and time");
    }
    case ValueKind::kBytes:
      throw ConversionError("Could not convert bytes to a date and time");
    default:
      return DateTime::FromOleDate(AsDouble());
  }
}

std::vector<std::uint8_t> Value::AsBytes() const {
  switch (Kind()) {
    case ValueKind::kNull:
      return {};
    case ValueKind::kBytes:
      return std::get<std::vector<std::uint8_t>>(data_);
    default: {
      const std::string text = AsText();
      return std::vector<std::uint8_t>(text.begin(), text.end());
    }
  }
}

const std::string& Value::DecimalText() const {
  if (Kind() != ValueKind::kDecimal) throw ConversionError("Value is not a decimal");
  return std::get<DecimalValue>(data_).text;
}

std::string Value::ToDebugString() const {
  switch (Kind()) {
    case ValueKind::kNull:
      return "NULL";
    case ValueKind::kText:
      return "'" + std::get<std::string>(data_) + "'";
    case ValueKind::kBytes: {
      static const char kHex[] = "0123456789ABCDEF";
      std::string text = "0x";
      for (const std::uint8_t byte : std::get<std::vector<std::uint8_t>>(data_)) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0x0F]);
      }
      return text;
    }
    default:
      return AsText();
  }
}

}  // namespace quor::sql
