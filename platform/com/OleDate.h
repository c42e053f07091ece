// OLE Automation dates: a double counting days since 1899-12-30, the fraction
// being the time of day. For dates before the base the fraction still counts
// forward from midnight (-1.25 is 1899-12-29 06:00), which plain arithmetic on
// the double gets wrong, so every conversion goes through here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quor::com {

struct DateParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  friend bool operator==(const DateParts&, const DateParts&) = default;
};

// The range Automation accepts: 0100-01-01 to 9999-12-31 23:59:59.
inline constexpr double kMinOleDate = -657434.0;
inline constexpr double kMaxOleDate = 2958465.99999999;

bool IsOleDateInRange(double date);

// Nullopt for an invalid calendar date or time, or one outside the range.
std::optional<double> EncodeOleDate(const DateParts& parts);
// Rounds to the nearest millisecond. Nullopt outside the range or for NaN.
std::optional<DateParts> DecodeOleDate(double date);

// "YYYY-MM-DD hh:mm:ss" rounded to the second; the time is left out when it
// is midnight, the date when it is the base day (so 0.5 is "12:00:00").
// Nullopt when the date is out of range.
std::optional<std::string> FormatOleDate(double date);
// Accepts "YYYY-MM-DD", "YYYY-MM-DD hh:mm", "YYYY-MM-DD hh:mm:ss", the same
// with "/" between the date parts (the clients' short date form), one- or
// two-digit month, day, hour, minute and second, a time alone ("hh:mm[:ss]"),
// and surrounding spaces. Years have four digits.
std::optional<double> ParseOleDate(std::string_view text);

}  // namespace quor::com
