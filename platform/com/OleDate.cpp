#include "platform/com/OleDate.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace quor::com {
namespace {

using std::chrono::sys_days;

constexpr long long kMillisecondsPerDay = 86'400'000;

sys_days Base() {
  return sys_days{std::chrono::year{1899} / 12 / 30};
}

// Whole days and the time of day in units (1/unitsPerDay of a day), rounded to
// the nearest unit; a time that rounds up to midnight moves to the next day.
struct SplitDate {
  long long days;
  long long units;
};

SplitDate Split(double date, long long unitsPerDay) {
  const double whole = std::trunc(date);
  long long days = static_cast<long long>(whole);
  long long units = std::llround(std::fabs(date - whole) * static_cast<double>(unitsPerDay));
  if (units >= unitsPerDay) {
    units -= unitsPerDay;
    ++days;
  }
  return {days, units};
}

std::chrono::year_month_day CivilOf(long long days) {
  return std::chrono::year_month_day{Base() + std::chrono::days{days}};
}

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool AtEnd() const { return position_ == text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[position_]; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++position_;
    return true;
  }
  void SkipSpaces() {
    while (Peek() == ' ' || Peek() == '\t') ++position_;
  }
  // Between minDigits and maxDigits decimal digits.
  std::optional<int> Number(int minDigits, int maxDigits) {
    int value = 0;
    int count = 0;
    while (count < maxDigits && Peek() >= '0' && Peek() <= '9') {
      value = value * 10 + (text_[position_++] - '0');
      ++count;
    }
    if (count < minDigits) return std::nullopt;
    if (Peek() >= '0' && Peek() <= '9') return std::nullopt;
    return value;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

bool ScanTime(Scanner& scanner, DateParts& parts) {
  const auto hour = scanner.Number(1, 2);
  if (!hour || !scanner.Take(':')) return false;
  const auto minute = scanner.Number(1, 2);
  if (!minute) return false;
  parts.hour = *hour;
  parts.minute = *minute;
  parts.second = 0;
  if (scanner.Take(':')) {
    const auto second = scanner.Number(1, 2);
    if (!second) return false;
    parts.second = *second;
  }
  return true;
}

}  // namespace

bool IsOleDateInRange(double date) {
  return date >= kMinOleDate && date < 2958466.0;
}

std::optional<double> EncodeOleDate(const DateParts& parts) {
  if (parts.year < 100 || parts.year > 9999) return std::nullopt;
  const std::chrono::year_month_day civil{std::chrono::year{parts.year},
                                          std::chrono::month{static_cast<unsigned>(parts.month)},
                                          std::chrono::day{static_cast<unsigned>(parts.day)}};
  if (parts.month < 1 || parts.day < 1 || !civil.ok()) return std::nullopt;
  if (parts.hour < 0 || parts.hour > 23 || parts.minute < 0 || parts.minute > 59 ||
      parts.second < 0 || parts.second > 59 || parts.millisecond < 0 || parts.millisecond > 999) {
    return std::nullopt;
  }
  const long long days = (sys_days{civil} - Base()).count();
  const long long milliseconds =
      ((parts.hour * 60LL + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond;
  const double time = static_cast<double>(milliseconds) / kMillisecondsPerDay;
  return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

std::optional<DateParts> DecodeOleDate(double date) {
  if (!IsOleDateInRange(date)) return std::nullopt;
  const SplitDate split = Split(date, kMillisecondsPerDay);
  const auto civil = CivilOf(split.days);
  DateParts parts;
  parts.year = static_cast<int>(civil.year());
  parts.month = static_cast<int>(static_cast<unsigned>(civil.month()));
  parts.day = static_cast<int>(static_cast<unsigned>(civil.day()));
  parts.hour = static_cast<int>(split.units / 3'600'000);
  parts.minute = static_cast<int>(split.units / 60'000 % 60);
  parts.second = static_cast<int>(split.units / 1000 % 60);
  parts.millisecond = static_cast<int>(split.units % 1000);
  return parts;
}

std::optional<std::string> FormatOleDate(double date) {
  if (!IsOleDateInRange(date)) return std::nullopt;
  const SplitDate split = Split(date, 86'400);
  char text[32];
  int length = 0;
  if (split.days != 0) {
    const auto civil = CivilOf(split.days);
    length =
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(civil.year()),
                      static_cast<unsigned>(civil.month()), static_cast<unsigned>(civil.day()));
  }
  if (split.units != 0 || split.days == 0) {
    std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length),
                  "%s%02lld:%02lld:%02lld", length > 0 ? " " : "", split.units / 3600,
                  split.units / 60 % 60, split.units % 60);
  }
  return std::string(text);
}

std::optional<double> ParseOleDate(std::string_view text) {
  Scanner scanner(text);
  scanner.SkipSpaces();
  DateParts parts;
  const bool timeOnly = text.find(':') != std::string_view::npos &&
                        text.find_first_of("-/") == std::string_view::npos;
  if (timeOnly) {
    if (!ScanTime(scanner, parts)) return std::nullopt;
  } else {
    const auto year = scanner.Number(4, 4);
    if (!year) return std::nullopt;
    const char separator = scanner.Peek();
    if (separator != '-' && separator != '/') return std::nullopt;
    scanner.Take(separator);
    const auto month = scanner.Number(1, 2);
    if (!month || !scanner.Take(separator)) return std::nullopt;
    const auto day = scanner.Number(1, 2);
    if (!day) return std::nullopt;
    parts.year = *year;
    parts.month = *month;
    parts.day = *day;
    scanner.SkipSpaces();
    if (!scanner.AtEnd() && !ScanTime(scanner, parts)) return std::nullopt;
  }
  scanner.SkipSpaces();
  if (!scanner.AtEnd()) return std::nullopt;
  return EncodeOleDate(parts);
}

}  // namespace quor::com
