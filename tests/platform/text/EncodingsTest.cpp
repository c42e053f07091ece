#include "Encodings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quor::text {
namespace {

using namespace std::string_literals;

// The same text in the three forms the server meets; gbk is absent for text that
// code page 936 cannot hold.
struct SameText {
  const char* name;
  std::string utf8;
  std::optional<std::string> gbk;
  std::u16string utf16;
};

const std::vector<SameText> kSameTexts = {
    {"empty", "", ""s, u""},
    {"ascii", "Port 211", "Port 211"s, u"Port 211"},
    {"chinese", "网络服务器", "\xCD\xF8\xC2\xE7\xB7\xFE\xCE\xF1\xC6\xF7"s,
     u"\u7F51\u7EDC\u670D\u52A1\u5668"},
    {"caption", "提示", "\xCC\xE1\xCA\xBE"s, u"\u63D0\u793A"},
    {"euro sign is 0x80 in code page 936", "€", "\x80"s, u"\u20AC"},
    {"mixed", "瓦拓€,5é", "\xCD\xDF\xCD\xD8\x80,5\xA8\xA6"s, u"\u74E6\u62D3\u20AC,5\u00E9"},
    {"embedded nul", "a\0b"s, "a\0b"s, u"a\0b"s},
    {"surrogate pair", "a😀z", std::nullopt, u"a\xD83D\xDE00z"},
};

TEST(Encodings, SameTextConvertsBetweenAllFormsBothWays) {
  for (const auto& c : kSameTexts) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
    if (c.gbk) {
      EXPECT_EQ(Utf8ToGbk(c.utf8), *c.gbk);
      EXPECT_EQ(GbkToUtf8(*c.gbk), c.utf8);
      EXPECT_EQ(Utf16ToGbk(c.utf16), *c.gbk);
      EXPECT_EQ(GbkToUtf16(*c.gbk), c.utf16);
    }
  }
}

enum class Direction { kUtf8ToGbk, kGbkToUtf8, kUtf8ToUtf16, kUtf16ToUtf8, kUtf16ToGbk };

// Runs one direction with UTF-16 carried as little-endian bytes so one table
// holds every direction.
std::string Convert(Direction direction, const std::string& input, OnError onError) {
  const auto utf16In = [&] { return Utf16FromLeBytes(input); };
  switch (direction) {
    case Direction::kUtf8ToGbk:
      return Utf8ToGbk(input, onError);
    case Direction::kGbkToUtf8:
      return GbkToUtf8(input, onError);
    case Direction::kUtf8ToUtf16:
      return Utf16ToLeBytes(Utf8ToUtf16(input, onError));
    case Direction::kUtf16ToUtf8:
      return Utf16ToUtf8(utf16In(), onError);
    case Direction::kUtf16ToGbk:
      return Utf16ToGbk(utf16In(), onError);
  }
  return {};
}

struct BadText {
  const char* name;
  Direction direction;
  std::string input;
  std::size_t offset;       // where kThrow reports the fault
  std::string messagePart;  // what the message must say
  std::string replaced;     // the kReplace result
};

const std::vector<BadText> kBadTexts = {
    {"stray byte in UTF-8", Direction::kUtf8ToGbk, "a\xFFz", 1, "invalid UTF-8 at byte 1", "a?z"},
    {"truncated UTF-8 at the end", Direction::kUtf8ToGbk, "ab\xE4\xB8", 2, "invalid UTF-8", "ab??"},
    {"overlong UTF-8", Direction::kUtf8ToUtf16, "\xC0\xAF", 0, "invalid UTF-8", "?\0?\0"s},
    {"UTF-8 encoded surrogate", Direction::kUtf8ToUtf16, "x\xED\xA0\x80", 1, "invalid UTF-8",
     "x\0?\0?\0?\0"s},
    {"beyond U+10FFFF", Direction::kUtf8ToUtf16, "\xF4\x90\x80\x80", 0, "invalid UTF-8",
     "?\0?\0?\0?\0"s},
    {"emoji has no code page 936 form", Direction::kUtf8ToGbk, "a😀b", 1,
     "U+1F600 at byte 1 has no code page 936 form", "a?b"},
    {"Thai has no code page 936 form", Direction::kUtf8ToGbk, "中ฒ", 3,
     "U+0E12 at byte 3 has no code page 936 form", "\xD6\xD0?"},
    {"lone high surrogate", Direction::kUtf16ToUtf8, "a\0\x00\xD8z\0"s, 2,
     "unpaired UTF-16 surrogate at byte 2", "a?z"},
    {"lone low surrogate", Direction::kUtf16ToUtf8, "\x00\xDC"s, 0, "unpaired UTF-16 surrogate",
     "?"},
    {"high surrogate at the end", Direction::kUtf16ToUtf8, "a\0\x3D\xD8"s, 2,
     "unpaired UTF-16 surrogate", "a?"},
    {"surrogate pair has no code page 936 form", Direction::kUtf16ToGbk, "\x3D\xD8\x00\xDEz\0"s, 0,
     "U+1F600 at byte 0 has no code page 936 form", "?z"},
    {"byte 0xFF is not code page 936", Direction::kGbkToUtf8, "a\xFF", 1,
     "invalid code page 936 sequence at byte 1", "a?"},
    {"lead byte before a space", Direction::kGbkToUtf8, "\x81 x", 0, "invalid code page 936",
     "? x"},
    {"unassigned double-byte code", Direction::kGbkToUtf8, "\xA1\x40z", 0, "invalid code page 936",
     "?z"},
    {"lead byte at the end", Direction::kGbkToUtf8, "ok\x81", 2, "invalid code page 936", "ok?"},
};

TEST(Encodings, BadInputThrowsWithOffsetOrIsReplacedByQuestionMarks) {
  for (const auto& c : kBadTexts) {
    SCOPED_TRACE(c.name);
    try {
      Convert(c.direction, c.input, OnError::kThrow);
      ADD_FAILURE() << "no TextError";
    } catch (const TextError& error) {
      EXPECT_EQ(error.Offset(), c.offset);
      EXPECT_NE(std::string(error.what()).find(c.messagePart), std::string::npos) << error.what();
    }
    EXPECT_EQ(Convert(c.direction, c.input, OnError::kReplace), c.replaced);
  }
}

TEST(Encodings, ConverterRecoversAfterAFailedConversion) {
  EXPECT_THROW(Utf8ToGbk("\xFF"), TextError);
  EXPECT_EQ(Utf8ToGbk("中"), "\xD6\xD0");
  EXPECT_THROW(Utf16ToUtf8(u"\xD800"), TextError);
  EXPECT_EQ(Utf16ToUtf8(u"\u4E2D"), "中");
}

TEST(Encodings, LongTextCrossesConversionBufferBoundaries) {
  std::string utf8;
  std::string gbk;
  for (int i = 0; i < 5000; ++i) {
    utf8 += "中€z";
    gbk += "\xD6\xD0\x80z";
  }
  utf8 += "\xFF";
  gbk += "?";
  EXPECT_EQ(Utf8ToGbk(utf8, OnError::kReplace), gbk);
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(utf8.substr(0, utf8.size() - 1))),
            utf8.substr(0, utf8.size() - 1));
}

TEST(Encodings, Utf16WireBytesAreLittleEndian) {
  EXPECT_EQ(Utf16ToLeBytes(u"\u4E2Dz"), "\x2D\x4Ez\0"s);
  EXPECT_EQ(Utf16FromLeBytes("\x2D\x4Ez\0"s), u"\u4E2Dz");
  EXPECT_THROW(Utf16FromLeBytes("abc"), TextError);
}

TEST(Encodings, Utf8ValidityFollowsTheUnicodeTable) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain", true},
      {"中文€😀", true},
      {"\x80", false},
      {"\xC1\xBF", false},
      {"\xE0\x9F\xBF", false},
      {"\xED\xBF\xBF", false},
      {"\xEE\x80\x80", true},
      {"\xF4\x8F\xBF\xBF", true},
      {"\xF5\x80\x80\x80", false},
      {"\xE4\xB8", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.text), c.valid) << "case: " << testing::PrintToString(c.text);
  }
}

TEST(Encodings, ThreadsConvertAtTheSameTimeWithoutMixingState) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      const std::string utf8 = "线程" + std::to_string(t) + "€";
      for (int i = 0; i < 2000; ++i) {
        if (GbkToUtf8(Utf8ToGbk(utf8)) != utf8 || Utf16ToUtf8(Utf8ToUtf16(utf8)) != utf8 ||
            Utf8ToGbk("\xFF", OnError::kReplace) != "?") {
          ++failures[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace quor::text
