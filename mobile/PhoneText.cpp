#include "mobile/PhoneText.h"

namespace quor::mobile {
namespace {

bool IsBlankChar(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int DigitsValue(std::string_view text) {
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

std::string TrimBlanks(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsBlankChar(text[first])) ++first;
  while (last > first && IsBlankChar(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

bool IsPersonIndex(std::string_view text) {
  const std::string trimmed = TrimBlanks(text);
  return !trimmed.empty() && trimmed.size() <= 18 && AllDigits(trimmed);
}

bool IsCalendarDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  const std::string_view year = text.substr(0, 4);
  const std::string_view month = text.substr(5, 2);
  const std::string_view day = text.substr(8, 2);
  if (!AllDigits(year) || !AllDigits(month) || !AllDigits(day)) return false;
  const int y = DigitsValue(year);
  const int m = DigitsValue(month);
  const int d = DigitsValue(day);
  if (y < 1753 || m < 1 || m > 12 || d < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  const int daysInMonth = kDays[m - 1] + (m == 2 && leap ? 1 : 0);
  return d <= daysInMonth;
}

std::string SqlLiteral(std::string_view text) {
  std::string literal = "'";
  for (char c : text) {
    literal += c;
    if (c == '\'') literal += '\'';
  }
  literal += '\'';
  return literal;
}

}  // namespace quor::mobile
