// PDU vectors worked out by hand from GSM 03.40 and 03.38: septet packing,
// semi-octet numbers, the submit header, and stored messages with their time
// stamps, encodings and faulty lengths.
#include <gtest/gtest.h>

#include "sms/Pdu.h"
#include "tests/sms/PduVectors.h"

namespace quor::sms {
namespace {

struct HeaderCase {
  const char* number;
  TEncodeStyle style;
  const char* hex;
};

TEST(Pdu, SubmitHeadersPutNumbersInSemiOctets) {
  const HeaderCase cases[] = {
      {"13912345678", TEncodeStyle::esUnicode, "0011000D91683119325476F8000801"},
      {"8613912345678", TEncodeStyle::esUnicode, "0011000D91683119325476F8000801"},
      {"+8613912345678", TEncodeStyle::esSevenBit, "0011000D91683119325476F8000001"},
      {"10086", TEncodeStyle::esUnicode, "00110005810180F6000801"},  // odd digit count
      {"1234", TEncodeStyle::esEightBit, "00110004812143000401"},    // even digit count
      {"+85291234567", TEncodeStyle::esUnicode, "0011000B915892214365F7000801"},
      {"+14155552671", TEncodeStyle::esUnicode, "0011000B914151552576F1000801"},
      {" 10086 ", TEncodeStyle::esUnicode, "00110005810180F6000801"},
  };
  for (const HeaderCase& c : cases) {
    const SubmitHeader header = BuildSubmitHeader(c.number, c.style);
    EXPECT_EQ(header.hex, c.hex) << c.number;
    EXPECT_EQ(header.octets * 2, static_cast<int>(header.hex.size())) << c.number;
  }
  EXPECT_EQ(BuildSubmitHeader("13912345678", TEncodeStyle::esUnicode).octets, 15);
  EXPECT_EQ(BuildSubmitHeader("10086", TEncodeStyle::esUnicode).octets, 11);
}

TEST(Pdu, NumbersWithLettersOrTooManyDigitsAreRefused) {
  for (const char* number :
       {"1391234567a", "", "+", "++86139", "123-456", "123456789012345678901"}) {
    EXPECT_THROW(BuildSubmitHeader(number, TEncodeStyle::esUnicode), PduError) << number;
  }
}

struct UserDataCase {
  const char* text;
  TEncodeStyle style;
  const char* hex;
  int lengthField;
};

TEST(Pdu, UserDataInTheThreeEncodings) {
  const UserDataCase cases[] = {
      {"hello", TEncodeStyle::esSevenBit, "E8329BFD06", 5},
      {"abcdefg", TEncodeStyle::esSevenBit, "61F1985C369F01", 7},
      {"abcdefgh", TEncodeStyle::esSevenBit, "61F1985C369FD1", 8},
      {"@$_", TEncodeStyle::esSevenBit, "004104", 3},  // GSM septets 00 02 11
      {"[", TEncodeStyle::esSevenBit, "1B1E", 2},      // escape 1B then 3C
      {"AB", TEncodeStyle::esEightBit, "4142", 2},
      {"你好", TEncodeStyle::esUnicode, "4F60597D", 4},
      {"A😀", TEncodeStyle::esUnicode, "0041D83DDE00", 6},
  };
  for (const UserDataCase& c : cases) {
    const UserData data = EncodeUserData(c.text, c.style);
    EXPECT_EQ(data.hex, c.hex) << c.text;
    EXPECT_EQ(data.lengthField, c.lengthField) << c.text;
    EXPECT_EQ(data.octets * 2, static_cast<int>(data.hex.size())) << c.text;
  }
}

TEST(Pdu, SubmitCommandAlwaysNamesThreeDigits) {
  const SubmitCommand submit = BuildSubmit("13912345678", "你好", TEncodeStyle::esUnicode);
  EXPECT_EQ(submit.command, "AT+CMGS=019\r");
  EXPECT_EQ(submit.pdu,
            "0011000D91683119325476F800080104"
            "4F60597D"
            "\x1A");
  EXPECT_EQ(BuildSubmit("10086", "hello", TEncodeStyle::esSevenBit).command, "AT+CMGS=016\r");
}

TEST(Pdu, TextsAreCutIntoPartsWithoutSplittingCharacters) {
  EXPECT_EQ(SplitIntoParts(std::string(71, 'x'), TEncodeStyle::esUnicode).size(), 2u);
  EXPECT_EQ(SplitIntoParts(std::string(70, 'x'), TEncodeStyle::esUnicode).size(), 1u);
  EXPECT_EQ(SplitIntoParts(std::string(161, 'x'), TEncodeStyle::esSevenBit).size(), 2u);
  // 159 plain septets and an extension character (two septets) make 161.
  const auto sevenBit = SplitIntoParts(std::string(159, 'x') + "€", TEncodeStyle::esSevenBit);
  ASSERT_EQ(sevenBit.size(), 2u);
  EXPECT_EQ(sevenBit[1], "€");
  std::string emoji;
  for (int i = 0; i < 35; ++i) emoji += "😀";  // 70 units
  const auto unicode = SplitIntoParts("a" + emoji, TEncodeStyle::esUnicode);
  ASSERT_EQ(unicode.size(), 2u);
  EXPECT_EQ(unicode[1], "😀");
  EXPECT_TRUE(SplitIntoParts("", TEncodeStyle::esUnicode).empty());
}

using test::kChineseDeliver;

TEST(Pdu, DeliverWithTimeStampDecodesEveryField) {
  TSMSItem item;
  ASSERT_TRUE(DecodeStoredPdu(kChineseDeliver, item));
  EXPECT_EQ(item.SmscNumber, "+8613800200500");
  EXPECT_EQ(item.SenderNumber, "13912345678");
  EXPECT_EQ(item.Encoding, TEncodeStyle::esUnicode);
  EXPECT_EQ(item.CentreTime, "2024-03-15 10:30:45");
  EXPECT_EQ(item.MsgText, "你好");
}

struct DeliverCase {
  const char* name;
  const char* pdu;
  const char* sender;
  TEncodeStyle encoding;
  const char* text;
};

TEST(Pdu, StoredMessagesDecode) {
  const DeliverCase cases[] = {
      // Seven septets: no extra character from the padding bits.
      {"seven septets",
       "00040B914151552576F1000042305101035423"
       "0761F1985C369F01",
       "+14155552671", TEncodeStyle::esSevenBit, "abcdefg"},
      {"hello, national sender",
       "0004058101"
       "80F60000423051010354230"
       "5E8329BFD06",
       "10086", TEncodeStyle::esSevenBit, "hello"},
      {"DCS F4 is 8-bit",
       "00040B915892214365F700F44230510103542302"
       "0102",
       "+85291234567", TEncodeStyle::esEightBit, "0102"},
      {"a command", test::kCommandDeliver, "13912345678", TEncodeStyle::esUnicode, "#kc*a01"},
      {"DCS F0 is 7-bit",
       "00040B915892214365F700F04230510103542305"
       "E8329BFD06",
       "+85291234567", TEncodeStyle::esSevenBit, "hello"},
      {"DCS 18 is UCS-2 class 0",
       "00040B915892214365F70018423051010354230"
       "24F60",
       "+85291234567", TEncodeStyle::esUnicode, "你"},
      {"GSM characters",
       "0004058101"
       "80F60000423051010354230"
       "3004104",
       "10086", TEncodeStyle::esSevenBit, "@$_"},
  };
  for (const DeliverCase& c : cases) {
    TSMSItem item;
    ASSERT_TRUE(DecodeStoredPdu(c.pdu, item)) << c.name;
    EXPECT_EQ(item.SenderNumber, c.sender) << c.name;
    EXPECT_EQ(item.Encoding, c.encoding) << c.name;
    EXPECT_EQ(item.MsgText, c.text) << c.name;
  }
}

TEST(Pdu, ServiceCentreLengthIsAnOctetCount) {
  // Length 0x0A would read as ten as a decimal too; 0x0B (eleven) would not.
  TSMSItem item;
  ASSERT_TRUE(
      DecodeStoredPdu("0B91"
                      "52761432547698103254"
                      "04058101"
                      "80F60000423051010354230"
                      "5E8329BFD06",
                      item));
  EXPECT_EQ(item.SmscNumber, "+25674123456789012345");
  EXPECT_EQ(item.MsgText, "hello");
}

TEST(Pdu, MalformedPdusDoNotParse) {
  const char* cases[] = {
      "",                                                                // nothing
      "0891683108200005F0",                                              // cut after the centre
      "0891683108200005F0040D91683119325476F8000842305101035423504F60",  // UDL 0x50, 2 octets
      "0891683108200005F0040D91683119325476F8008042305101035423024F60",  // DCS 80 reserved
      "0891683108200005F0040D91683119325476F8002042305101035423024F60",  // compressed
      "0891683108200005F0040D91683119325476F8000842305101035423024G60",  // not hex
      "0891683108200005F0420D91683119325476F8000842305101035423024F60",  // status report
      "0891683108200005F004FF91683119325476F8000842305101035423024F60",  // 255 digits
  };
  for (const char* pdu : cases) {
    TSMSItem item;
    EXPECT_FALSE(DecodeStoredPdu(pdu, item)) << pdu;
  }
}

TEST(Pdu, ReadAndListRepliesCarryIndexAndStatus) {
  const std::string read = std::string("+CMGR: 0,,25\r\n") + kChineseDeliver + "\r\n";
  const auto item = ParseCmgrReply(read, 7);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->MsgIndex, 7);
  EXPECT_EQ(item->MsgStatus, 1);

  const std::string listing = std::string("+CMGL: 123,1,,25\r\n") + kChineseDeliver +
                              "\r\n+CMGL: 4,0,\"x\",25\r\n" + kChineseDeliver + "\r\n0\r";
  const auto chunks = SplitListing(listing);
  ASSERT_EQ(chunks.size(), 2u);
  const auto first = ParseCmglEntry(chunks[0]);
  const auto second = ParseCmglEntry(chunks[1]);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->MsgIndex, 123);
  EXPECT_EQ(first->MsgStatus, 2);
  EXPECT_EQ(second->MsgIndex, 4);
  EXPECT_EQ(second->MsgStatus, 1);
  EXPECT_TRUE(SplitListing("0\r").empty());
  EXPECT_FALSE(ParseCmglEntry("+CMGL: x,0,,25\r\n00"));
}

TEST(Pdu, DataCodingGroups) {
  EXPECT_EQ(EncodingOfDcs(0x00), TEncodeStyle::esSevenBit);
  EXPECT_EQ(EncodingOfDcs(0x04), TEncodeStyle::esEightBit);
  EXPECT_EQ(EncodingOfDcs(0x08), TEncodeStyle::esUnicode);
  EXPECT_EQ(EncodingOfDcs(0xF4), TEncodeStyle::esEightBit);
  EXPECT_EQ(EncodingOfDcs(0xF5), TEncodeStyle::esEightBit);
  EXPECT_EQ(EncodingOfDcs(0xF3), TEncodeStyle::esSevenBit);
  EXPECT_EQ(EncodingOfDcs(0xE0), TEncodeStyle::esUnicode);
  EXPECT_FALSE(EncodingOfDcs(0x0C));
  EXPECT_FALSE(EncodingOfDcs(0x80));
  EXPECT_FALSE(EncodingOfDcs(0x2C));
}

}  // namespace
}  // namespace quor::sms
