#include "PasswordScrambler.h"

#include <gtest/gtest.h>

#include <string>

namespace quor {
namespace {

TEST(PasswordScrambler, AnyTextRoundTripsThroughPrintableHexadecimal) {
  const std::string cases[] = {
      "sa",
      "P@ss w0rd!",
      "密码123",
      "\"quoted\" = ;[section]",
      "  leading and trailing spaces  ",
      std::string("\x01\x7F\xFF\0bytes", 8),
      std::string(300, 'x'),
      "ABCDEF0123",
  };
  for (const auto& password : cases) {
    const std::string stored = EncodePassword(password);
    SCOPED_TRACE("password: " + ::testing::PrintToString(password));
    EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos) << stored;
    EXPECT_EQ(stored.find(password), std::string::npos) << "password visible in " << stored;
    EXPECT_EQ(DecodePassword(stored), password);
  }
  EXPECT_EQ(EncodePassword(""), "");
  EXPECT_EQ(DecodePassword(""), "");
}

TEST(PasswordScrambler, PasswordsDifferingInOneLetterShareNoVisiblePart) {
  const std::string a = EncodePassword("secret-1");
  const std::string b = EncodePassword("secret-2");
  ASSERT_EQ(a.size(), b.size());
  int same = 0;
  for (std::size_t i = 0; i + 1 < a.size(); i += 2) same += a.substr(i, 2) == b.substr(i, 2);
  EXPECT_LE(same, 2) << a << " vs " << b;
}

TEST(PasswordScrambler, TextNotInTheStoredFormIsTakenAsThePassword) {
  std::string damaged = EncodePassword("sa-password");
  damaged[6] = damaged[6] == '0' ? '1' : '0';
  const std::string cases[] = {
      "plain typed by hand", "1234", "ABC", "12345G", damaged, EncodePassword("x").substr(0, 4),
  };
  for (const auto& stored : cases) {
    EXPECT_EQ(DecodePassword(stored), stored) << "stored: " << stored;
  }
}

}  // namespace
}  // namespace quor
