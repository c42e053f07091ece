// Names fold only their ASCII letters: a byte of a UTF-8 or code page 936
// character that a Latin-1 folding would change stays as it is, so two
// different Chinese names never compare equal.
#include "platform/text/AsciiText.h"

#include <gtest/gtest.h>

#include <unordered_map>

namespace quor::text {
namespace {

TEST(AsciiText, OnlyAsciiLettersFold) {
  struct Case {
    std::string_view a;
    std::string_view b;
    bool equal;
  };
  const Case cases[] = {
      {"AS_GetRecords", "as_getrecords", true},
      {"HKEY_CLASSES_ROOT", "hkey_classes_root", true},
      {"[ServerConfig]", "[serverconfig]", true},
      {"Name", "Names", false},
      {"", "", true},
      {"@", "`", false},  // 0x40 and 0x60 differ by the case bit but are no letters
      {"[", "{", false},
      {"\xC1", "\xE1", false},          // Latin-1 Á / á: bytes of other characters here
      {"\xB0\xA1", "\xB0\x81", false},  // CP936 啊 and a byte pair 0x20 lower
      {"商品Name", "商品NAME", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + std::string(c.b));
    EXPECT_EQ(EqualsIgnoringAsciiCase(c.a, c.b), c.equal);
    EXPECT_EQ(AsciiLower(c.a) == AsciiLower(c.b), c.equal);
    EXPECT_EQ(AsciiUpper(c.a) == AsciiUpper(c.b), c.equal);
    if (c.equal) {
      EXPECT_EQ(AsciiCaseInsensitiveHash{}(c.a), AsciiCaseInsensitiveHash{}(c.b));
    }
  }
  EXPECT_EQ(AsciiLower("QuorData01 商品"), "quordata01 商品");
  EXPECT_EQ(AsciiUpper("ServerName é"), "SERVERNAME é");
}

TEST(AsciiText, AMapKeyedByNameFindsItInAnyCase) {
  std::unordered_map<std::string, int, AsciiCaseInsensitiveHash, AsciiCaseInsensitiveEqual> ids;
  ids.emplace("ConnectDb", 101);
  ids.emplace("QueryDataBase", 201);
  EXPECT_EQ(ids.find(std::string_view("CONNECTDB"))->second, 101);
  EXPECT_EQ(ids.find(std::string_view("querydatabase"))->second, 201);
  EXPECT_EQ(ids.find(std::string_view("ConnectDb ")), ids.end());
  EXPECT_FALSE(ids.emplace("connectdb", 7).second);
}

TEST(AsciiText, TrimmingTakesOnlyItsBlanksFromBothEnds) {
  struct Case {
    std::string_view text;
    std::string_view spaces;  // TrimSpaces
    std::string_view blanks;  // TrimBlanks
  };
  const Case cases[] = {
      {"", "", ""},
      {" \t ", "", ""},
      {"\r\n", "\r\n", ""},
      {"  a b\t", "a b", "a b"},
      {"\tkey = value\r", "key = value\r", "key = value"},
      {"\r\n Desktop Engine \r\n", "\r\n Desktop Engine \r\n", "Desktop Engine"},
      {"\xA1\xA1x\xA1\xA1", "\xA1\xA1x\xA1\xA1", "\xA1\xA1x\xA1\xA1"},  // CP936 full-width space
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(TrimSpaces(c.text), c.spaces);
    EXPECT_EQ(TrimBlanks(c.text), c.blanks);
  }
}

}  // namespace
}  // namespace quor::text
