#include "platform/com/OleDate.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quor::com {
namespace {

TEST(OleDateTest, CalendarDatesMatchTheirAutomationNumbers) {
  struct Case {
    DateParts parts;
    double date;
  };
  const Case cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},       {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
      {{1900, 3, 1, 0, 0, 0, 0}, 61.0},  // no 29 February 1900 here
      {{2024, 1, 1, 12, 0, 0, 0}, 45292.5},    {{2024, 2, 29, 18, 0, 0, 0}, 45351.75},
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25},  // before the base the time still counts forward
      {{1899, 12, 30, 6, 0, 0, 0}, 0.25},      {{100, 1, 1, 0, 0, 0, 0}, -657434.0},
      {{9999, 12, 31, 0, 0, 0, 0}, 2958465.0},
  };
  for (const Case& c : cases) {
    const auto encoded = EncodeOleDate(c.parts);
    ASSERT_TRUE(encoded.has_value()) << c.date;
    EXPECT_DOUBLE_EQ(*encoded, c.date);
    EXPECT_EQ(DecodeOleDate(c.date), c.parts) << c.date;
  }
}

TEST(OleDateTest, ImpossibleDatesAreRefused) {
  const DateParts cases[] = {
      {2023, 2, 29, 0, 0, 0, 0}, {2024, 13, 1, 0, 0, 0, 0}, {2024, 0, 1, 0, 0, 0, 0},
      {2024, 1, 0, 0, 0, 0, 0},  {2024, 1, 1, 24, 0, 0, 0}, {2024, 1, 1, 0, 60, 0, 0},
      {2024, 1, 1, 0, 0, 60, 0}, {99, 12, 31, 0, 0, 0, 0},  {10000, 1, 1, 0, 0, 0, 0},
      {2024, 1, 1, -1, 0, 0, 0},
  };
  for (const DateParts& parts : cases) {
    EXPECT_EQ(EncodeOleDate(parts), std::nullopt)
        << parts.year << "-" << parts.month << "-" << parts.day << " " << parts.hour << ":"
        << parts.minute << ":" << parts.second;
  }
  EXPECT_EQ(DecodeOleDate(3e6), std::nullopt);
  EXPECT_EQ(DecodeOleDate(-1e6), std::nullopt);
  EXPECT_EQ(FormatOleDate(3e6), std::nullopt);
}

TEST(OleDateTest, TimesRoundToTheNearestUnitAcrossMidnight) {
  const double justBeforeMidnight = 45292.0 + (86400.0 - 0.0004) / 86400.0;
  EXPECT_EQ(DecodeOleDate(justBeforeMidnight), (DateParts{2024, 1, 2, 0, 0, 0, 0}));
  EXPECT_EQ(FormatOleDate(45292.0 + 86399.6 / 86400.0), "2024-01-02");
  EXPECT_EQ(FormatOleDate(-2.0 - 86399.6 / 86400.0), "1899-12-29")
      << "before the base the carry goes to the following day as well";
}

}  // namespace
}  // namespace quor::com
