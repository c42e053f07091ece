#include "platform/com/Guid.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <unordered_set>

#include "platform/com/HResult.h"

namespace quor::com {
namespace {

TEST(GuidTest, TextAndWireBytesOfKnownIds) {
  struct Case {
    const char* text;
    std::array<std::uint8_t, 16> wire;
  };
  const Case cases[] = {
      {"{C1C424E1-600A-461D-8759-8D739C78CBDC}",
       {0xE1, 0x24, 0xC4, 0xC1, 0x0A, 0x60, 0x1D, 0x46, 0x87, 0x59, 0x8D, 0x73, 0x9C, 0x78, 0xCB,
        0xDC}},
      {"{CA6564C2-4683-11D1-88D4-00A0248E5091}",
       {0xC2, 0x64, 0x65, 0xCA, 0x83, 0x46, 0xD1, 0x11, 0x88, 0xD4, 0x00, 0xA0, 0x24, 0x8E, 0x50,
        0x91}},
      {"{00000000-0000-0000-0000-000000000000}", {}},
      {"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}",
       {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF}},
  };
  for (const Case& c : cases) {
    const Guid guid = Guid::Parse(c.text);
    EXPECT_EQ(guid.ToBytes(), c.wire) << c.text;
    EXPECT_EQ(Guid::FromBytes(c.wire), guid) << c.text;
    EXPECT_EQ(guid.ToString(), c.text);
  }
  EXPECT_EQ(Guid::Parse("{C1C424E1-600A-461D-8759-8D739C78CBDC}").data1, 0xC1C424E1u);
  EXPECT_TRUE(Guid::Parse("{00000000-0000-0000-0000-000000000000}").IsNull());
}

TEST(GuidTest, ParsingIgnoresLetterCaseAndFormatsUpperCase) {
  const Guid lower = Guid::Parse("{c1c424e1-600a-461d-8759-8d739c78cbdc}");
  EXPECT_EQ(lower, Guid::Parse("{C1C424E1-600A-461D-8759-8D739C78CBDC}"));
  EXPECT_EQ(lower.ToString(), "{C1C424E1-600A-461D-8759-8D739C78CBDC}");
  std::unordered_set<Guid, GuidHash> ids{lower};
  EXPECT_TRUE(ids.contains(Guid::Parse("{C1c424E1-600A-461d-8759-8D739C78CBDC}")));
}

TEST(GuidTest, MalformedTextIsRefused) {
  const char* cases[] = {
      "C1C424E1-600A-461D-8759-8D739C78CBDC",     // no braces
      "{C1C424E1-600A-461D-8759-8D739C78CBDC",    // no closing brace
      "{C1C424E1-600A-461D-8759-8D739C78CBD}",    // one digit short
      "{C1C424E1-600A-461D-8759-8D739C78CBDC0}",  // one digit long
      "{C1C424E1600A-461D-8759-8D739C78CBDC-}",   // dash misplaced
      "{G1C424E1-600A-461D-8759-8D739C78CBDC}",   // not hex
      "{C1C424E1-600A-461D-8759-8D739C78CB C}",   // a space
      "{C1C424E1-600A-461D-8759+8D739C78CBDC}",   // plus for a dash
      " {C1C424E1-600A-461D-8759-8D739C78CBDC}",  // leading space
      "",
  };
  for (const char* text : cases) {
    EXPECT_EQ(Guid::TryParse(text), std::nullopt) << text;
    EXPECT_THROW(Guid::Parse(text), HResultError) << text;
  }
}

}  // namespace
}  // namespace quor::com
