// The PDU codec against an independent one: the npm package node-pdu parses
// the same PDUs (stored messages, and the submits this server writes) and
// must agree field by field on number, encoding, text and time stamp.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>

#include "sms/Pdu.h"
#include "tests/sms/PduVectors.h"

namespace quor::sms::test {
namespace {

struct Parsed {
  std::string kind, phone, type, alphabet, textHex, stamp, centre;
};

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

// One line per PDU from the independent codec.
std::vector<Parsed> ParseWithNode(const std::vector<std::string>& pdus) {
  std::string command =
      "NODE_PATH=" + Quoted(QUOR_NODE_PDU_MODULES) + " node " + Quoted(QUOR_PARITY_SCRIPT);
  for (const std::string& pdu : pdus) command += " " + Quoted(pdu);
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return {};
  std::string output;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe.get())) output.append(buffer, n);
  std::vector<Parsed> lines;
  std::istringstream stream(output);
  for (std::string line; std::getline(stream, line);) {
    std::vector<std::string> fields;
    std::istringstream fieldStream(line);
    for (std::string field; std::getline(fieldStream, field, '\t');) fields.push_back(field);
    fields.resize(7);
    lines.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]});
  }
  return lines;
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 0xF]);
  }
  return hex;
}

// How this server writes an address the other codec gives as digits and type.
std::string AsWeWriteIt(const Parsed& parsed) {
  if (parsed.type != "91") return parsed.phone;
  if (parsed.phone.size() == 13 && parsed.phone.rfind("86", 0) == 0) return parsed.phone.substr(2);
  return "+" + parsed.phone;
}

int AlphabetOf(TEncodeStyle style) {
  return style == TEncodeStyle::esSevenBit ? 0 : style == TEncodeStyle::esEightBit ? 1 : 2;
}

TEST(PduParity, StoredMessagesDecodeAsTheIndependentCodecReadsThem) {
  const std::vector<std::string> pdus = {kChineseDeliver, kSevenSeptetDeliver, kEightBitDeliver,
                                         kCommandDeliver};
  const std::vector<Parsed> theirs = ParseWithNode(pdus);
  ASSERT_EQ(theirs.size(), pdus.size()) << "node-pdu did not run";
  for (std::size_t i = 0; i < pdus.size(); ++i) {
    TSMSItem ours;
    ASSERT_TRUE(DecodeStoredPdu(pdus[i], ours)) << pdus[i];
    EXPECT_EQ(theirs[i].kind, "deliver") << pdus[i];
    EXPECT_EQ(ours.SenderNumber, AsWeWriteIt(theirs[i])) << pdus[i];
    EXPECT_EQ(std::to_string(AlphabetOf(ours.Encoding)), theirs[i].alphabet) << pdus[i];
    const std::string ourText =
        ours.Encoding == TEncodeStyle::esEightBit ? ours.MsgText : Hex(ours.MsgText);
    EXPECT_EQ(ourText, theirs[i].textHex) << pdus[i];
    std::string stamp = theirs[i].stamp.substr(0, 19);
    if (stamp.size() == 19) stamp[10] = ' ';
    EXPECT_EQ(ours.CentreTime, stamp) << pdus[i];
    EXPECT_EQ(ours.SmscNumber.empty() ? "" : ours.SmscNumber.substr(1), theirs[i].centre)
        << pdus[i];
  }
}

struct SubmitCase {
  const char* number;
  const char* text;
  TEncodeStyle style;
};

TEST(PduParity, SubmitsThisServerWritesReadBackTheSameElsewhere) {
  const SubmitCase cases[] = {
      {"13912345678", "你好，世界", TEncodeStyle::esUnicode},
      {"10086", "hello", TEncodeStyle::esSevenBit},
      {"1234", "AB", TEncodeStyle::esEightBit},
      {"+85291234567", "Grüße @ $5_ok", TEncodeStyle::esSevenBit},
      {"+14155552671", "A😀", TEncodeStyle::esUnicode},
      {"8613912345678", "abcdefg", TEncodeStyle::esSevenBit},
  };
  std::vector<std::string> pdus;
  for (const SubmitCase& c : cases) {
    std::string pdu = BuildSubmit(c.number, c.text, c.style).pdu;
    pdu.pop_back();  // Ctrl-Z
    pdus.push_back(pdu);
  }
  const std::vector<Parsed> theirs = ParseWithNode(pdus);
  ASSERT_EQ(theirs.size(), pdus.size()) << "node-pdu did not run";
  for (std::size_t i = 0; i < pdus.size(); ++i) {
    const SubmitCase& c = cases[i];
    EXPECT_EQ(theirs[i].kind, "submit") << pdus[i];
    const std::string number(c.number);
    const bool mobile = number.size() == 11 || number.rfind("86", 0) == 0;
    EXPECT_EQ(theirs[i].phone, mobile ? "86" + number.substr(number.size() - 11)
                                      : (number[0] == '+' ? number.substr(1) : number))
        << pdus[i];
    EXPECT_EQ(theirs[i].alphabet, std::to_string(AlphabetOf(c.style))) << pdus[i];
    EXPECT_EQ(theirs[i].textHex, Hex(c.text)) << pdus[i];
  }
}

}  // namespace
}  // namespace quor::sms::test
