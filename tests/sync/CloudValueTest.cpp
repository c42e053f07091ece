// Reply values and cloud times as the download reads them, and the pinyin
// initials of company codes and search codes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sync/CloudClient.h"
#include "sync/PinyinInitials.h"
#include "sync/PinyinInitialsTable.h"

namespace quor::sync {
namespace {

TEST(CloudValue, EachJsonKindBecomesItsTypedValue) {
  struct Case {
    const char* json;
    com::Variant expected;
  };
  const Case cases[] = {
      {"9007199254740993", com::Variant::I8(9007199254740993LL)},
      {"-5", com::Variant::I8(-5)},
      {"2.5", com::Variant::R8(2.5)},
      {"true", com::Variant::Bool(true)},
      {R"("长城")", com::Variant::String("长城")},
      {"null", com::Variant()},
      {R"({"b":1,"a":[1,"x"]})", com::Variant::String(R"({"a":[1,"x"],"b":1})")},
      {"[]", com::Variant::String("[]")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    com::Variant value = CloudValue(nlohmann::json::parse(c.json));
    EXPECT_EQ(value.Type(), c.expected.Type());
    EXPECT_TRUE(value == c.expected);
  }
}

TEST(CloudTime, MillisecondsAreReadWithAFixedEightHourOffsetBothWays) {
  struct Case {
    std::int64_t millis;
    sql::DateTime local;
  };
  const Case cases[] = {
      {0, {1970, 1, 1, 8, 0, 0, 0}},
      {-28800000, {1970, 1, 1, 0, 0, 0, 0}},
      {1704135845123, {2024, 1, 2, 3, 4, 5, 123000000}},
      {951753600000, {2000, 2, 29, 0, 0, 0, 0}},
      {-86400000LL * 365 - 28800000, {1969, 1, 1, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.millis);
    EXPECT_EQ(CloudMillisToDateTime(c.millis), c.local) << CloudMillisToDateTime(c.millis).ToText();
    EXPECT_EQ(DateTimeToCloudMillis(c.local), c.millis);
  }
}

TEST(PinyinInitials, IdeographsBecomeTheInitialsOfTheirReadings) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"", ""},
      {"   ", ""},
      {"北京市 abc", "BJSABC"},
      {"丁万且乐龟", "DWQLG"},
      {"长城润滑油", "ZCRHY"},  // 长 by its customary reading zhǎng
      {"北方汽车配件", "BFQCPJ"},
      {"A1-中国(Z)", "A1-ZG(Z)"},
      {"ＡＢ①é", "ＡＢ①é"},      // outside the ideographs: kept as they are
      {"北京　汽车", "BJQC"},    // the ideographic space is a blank
      {"\xff\x41", "\xff\x41"},  // bytes that are no UTF-8 pass unchanged
  };
  for (const Case& c : cases) EXPECT_EQ(PinyinInitials(c.text), c.expected) << c.text;
}

TEST(PinyinInitials, TheTableHoldsOneCapitalPerIdeographOfTheRange) {
  std::string table(kPinyinInitialTable);
  ASSERT_EQ(table.size(), 20902u);
  std::size_t unknown = 0;
  for (char c : table) {
    if (c == '?')
      ++unknown;
    else
      EXPECT_TRUE(c >= 'A' && c <= 'Z') << c;
  }
  EXPECT_LT(unknown, 50u);
  for (std::size_t i = 1; i < kPinyinPolyphoneCount; ++i)
    EXPECT_LT(kPinyinPolyphones[i - 1].ideograph, kPinyinPolyphones[i].ideograph);
}

}  // namespace
}  // namespace quor::sync
