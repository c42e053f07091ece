#include "sms/Pdu.h"

#include <charconv>
#include <cstdio>

#include "platform/text/AsciiText.h"
#include "platform/text/Encodings.h"
#include "platform/text/Utf8.h"
#include "sms/GsmAlphabet.h"

namespace quor::sms {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string Hex2(unsigned value) {
  return {kHexDigits[(value >> 4) & 0xF], kHexDigits[value & 0xF]};
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Semi-octets of a digit string: each pair swapped, an odd count padded with F.
std::string SemiOctets(std::string digits) {
  if (digits.size() % 2 != 0) digits.push_back('F');
  std::string out;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    out.push_back(digits[i + 1]);
    out.push_back(digits[i]);
  }
  return out;
}

// Reads octets from PDU hex; running past the end or meeting a non-hex
// character throws, which the decoder turns into "does not parse".
class HexReader {
 public:
  explicit HexReader(std::string_view hex) : hex_(hex) {}

  std::uint8_t Octet() {
    if (pos_ + 2 > hex_.size()) throw PduError("PDU too short");
    const int high = HexValue(hex_[pos_]);
    const int low = HexValue(hex_[pos_ + 1]);
    if (high < 0 || low < 0) throw PduError("PDU is not hex");
    pos_ += 2;
    return static_cast<std::uint8_t>(high * 16 + low);
  }

  std::vector<std::uint8_t> Octets(std::size_t count) {
    if (count > Remaining()) throw PduError("PDU shorter than its lengths");
    std::vector<std::uint8_t> octets;
    octets.reserve(count);
    for (std::size_t i = 0; i < count; ++i) octets.push_back(Octet());
    return octets;
  }

  std::size_t Remaining() const { return (hex_.size() - pos_) / 2; }

 private:
  std::string_view hex_;
  std::size_t pos_ = 0;
};

// Digits of semi-octets: pairs swapped, the filler F dropped; A..E are the
// dialling characters * # a b c.
std::string DigitsOf(const std::vector<std::uint8_t>& octets, std::size_t digitCount) {
  static constexpr char kDigits[] = "0123456789*#abc";
  std::string digits;
  for (std::uint8_t octet : octets) {
    for (int nibble : {octet & 0xF, octet >> 4}) {
      if (digits.size() == digitCount || nibble == 0xF) continue;
      digits.push_back(kDigits[nibble]);
    }
  }
  return digits;
}

constexpr std::uint8_t kTypeOfNumberMask = 0x70;
constexpr std::uint8_t kInternational = 0x10;
constexpr std::uint8_t kAlphanumeric = 0x50;

// An address as people write it: international numbers with "+" and their
// whole country code, except China's own (86), which the server has always
// shown and stored in national form.
std::string AddressText(std::uint8_t type, const std::string& digits) {
  if ((type & kTypeOfNumberMask) != kInternational) return digits;
  if (digits.size() == 13 && digits.rfind("86", 0) == 0) return digits.substr(2);
  return "+" + digits;
}

// Originating or destination address: digit count, type, semi-octets.
std::string ReadAddress(HexReader& reader) {
  const std::size_t digitCount = reader.Octet();
  if (digitCount > 20) throw PduError("address too long");
  const std::uint8_t type = reader.Octet();
  const std::vector<std::uint8_t> octets = reader.Octets((digitCount + 1) / 2);
  if ((type & kTypeOfNumberMask) == kAlphanumeric) {
    return FromGsmSeptets(UnpackSeptets(octets, digitCount * 4 / 7));
  }
  return AddressText(type, DigitsOf(octets, digitCount));
}

std::string ReadServiceCentre(HexReader& reader) {
  const std::size_t length = reader.Octet();
  if (length == 0) return {};
  if (length > 11) throw PduError("service centre address too long");
  const std::uint8_t type = reader.Octet();
  const std::string digits = DigitsOf(reader.Octets(length - 1), 2 * (length - 1));
  if ((type & kTypeOfNumberMask) == kInternational) return "+" + digits;
  return digits;
}

std::string ReadTimeStamp(HexReader& reader) {
  const std::vector<std::uint8_t> octets = reader.Octets(7);
  int fields[6];
  for (int i = 0; i < 6; ++i) {
    const int low = octets[i] & 0xF;
    const int high = octets[i] >> 4;
    if (low > 9 || high > 9) return {};
    fields[i] = low * 10 + high;
  }
  const int year = 2000 + fields[0];
  if (fields[1] < 1 || fields[1] > 12 || fields[2] < 1 || fields[2] > 31 || fields[3] > 23 ||
      fields[4] > 59 || fields[5] > 59) {
    return {};
  }
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, fields[1], fields[2],
                fields[3], fields[4], fields[5]);
  return text;
}

std::string HexOf(const std::vector<std::uint8_t>& bytes) {
  std::string hex;
  for (std::uint8_t b : bytes) hex += Hex2(b);
  return hex;
}

// The user data after TP-UDL, with a user-data header (concatenation,
// ports) skipped when the first octet announces one.
std::string ReadUserText(HexReader& reader, TEncodeStyle encoding, bool hasHeader) {
  const std::size_t length = reader.Octet();
  if (encoding == TEncodeStyle::esSevenBit) {
    if (length > 160) throw PduError("user data too long");
    const std::vector<std::uint8_t> octets = reader.Octets((length * 7 + 7) / 8);
    std::size_t skipSeptets = 0;
    if (hasHeader) {
      if (octets.empty()) throw PduError("user data header missing");
      const std::size_t headerOctets = octets[0] + 1u;
      skipSeptets = (headerOctets * 8 + 6) / 7;
      if (skipSeptets > length) throw PduError("user data header too long");
    }
    return FromGsmSeptets(UnpackSeptets(octets, length - skipSeptets, skipSeptets * 7));
  }
  if (length > 140) throw PduError("user data too long");
  std::vector<std::uint8_t> octets = reader.Octets(length);
  if (hasHeader) {
    if (octets.empty() || octets[0] + 1u > octets.size()) throw PduError("bad user data header");
    octets.erase(octets.begin(), octets.begin() + octets[0] + 1);
  }
  if (encoding == TEncodeStyle::esEightBit) return HexOf(octets);
  if (octets.size() % 2 != 0) throw PduError("odd UCS-2 length");
  std::u16string units;
  for (std::size_t i = 0; i < octets.size(); i += 2) {
    units.push_back(static_cast<char16_t>(octets[i] << 8 | octets[i + 1]));
  }
  return text::Utf16ToUtf8(units, text::OnError::kReplace);
}

int ParseNumber(std::string_view text, int fallback) {
  text = text::TrimBlanks(text);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return fallback;
  return value;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

std::uint8_t StatusOf(int stat) {
  return stat >= 0 && stat <= 3 ? stat + 1 : 0;
}

// The header fields after "<tag>: " and the PDU on the following line.
bool HeaderAndPdu(std::string_view text, std::string_view tag,
                  std::vector<std::string_view>& fields, std::string_view& pdu) {
  const std::size_t at = text.find(tag);
  if (at == std::string_view::npos) return false;
  std::string_view rest = text.substr(at + tag.size());
  if (rest.empty() || rest[0] != ':') return false;
  rest.remove_prefix(1);
  const std::size_t lineEnd = rest.find_first_of("\r\n");
  if (lineEnd == std::string_view::npos) return false;
  fields = SplitFields(rest.substr(0, lineEnd));
  rest.remove_prefix(lineEnd);
  const std::size_t pduStart = rest.find_first_not_of("\r\n");
  if (pduStart == std::string_view::npos) return false;
  rest.remove_prefix(pduStart);
  pdu = rest.substr(0, rest.find_first_of("\r\n"));
  pdu = text::TrimBlanks(pdu);
  return !pdu.empty();
}

}  // namespace

int PartLength(TEncodeStyle style) {
  switch (style) {
    case TEncodeStyle::esSevenBit:
      return 160;
    case TEncodeStyle::esEightBit:
      return 140;
    case TEncodeStyle::esUnicode:
      return 70;
  }
  return 70;
}

std::vector<std::string> SplitIntoParts(std::string_view utf8, TEncodeStyle style) {
  const std::size_t limit = static_cast<std::size_t>(PartLength(style));
  std::vector<std::string> parts;
  std::string current;
  std::size_t used = 0;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    std::size_t length = text::Utf8SequenceLength(utf8, pos);
    if (length == 0) length = 1;
    const std::string_view character = utf8.substr(pos, length);
    std::size_t cost = 1;
    if (style == TEncodeStyle::esSevenBit) {
      cost = ToGsmSeptets(character).size();
    } else if (style == TEncodeStyle::esEightBit) {
      cost = length;
    } else {
      cost = length == 4 ? 2 : 1;
    }
    if (used + cost > limit && !current.empty()) {
      parts.push_back(std::move(current));
      current.clear();
      used = 0;
    }
    current.append(character);
    used += cost;
    pos += length;
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

SubmitHeader BuildSubmitHeader(std::string_view number, TEncodeStyle style) {
  const std::string trimmed(text::TrimBlanks(number));
  const bool plus = !trimmed.empty() && trimmed[0] == '+';
  const std::string digits = plus ? trimmed.substr(1) : trimmed;
  if (digits.empty() || digits.size() > 20 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    throw PduError("短信号码无效: " + trimmed);
  }
  std::string hex;
  const bool mobile = (trimmed.size() == 11 && trimmed[0] == '1') ||
                      (trimmed.size() == 13 && trimmed.rfind("861", 0) == 0) ||
                      (trimmed.size() == 14 && trimmed.rfind("+861", 0) == 0);
  if (mobile) {
    hex = "0011000D9168" + SemiOctets(trimmed.substr(trimmed.size() - 11));
  } else {
    hex = "001100" + Hex2(static_cast<unsigned>(digits.size())) + (plus ? "91" : "81") +
          SemiOctets(digits);
  }
  switch (style) {
    case TEncodeStyle::esSevenBit:
      hex += "000001";
      break;
    case TEncodeStyle::esEightBit:
      hex += "000401";
      break;
    case TEncodeStyle::esUnicode:
      hex += "000801";
      break;
  }
  return {hex, static_cast<int>(hex.size() / 2)};
}

std::string PackSeptets(const std::vector<std::uint8_t>& septets) {
  std::string hex;
  unsigned accumulator = 0;
  int bits = 0;
  for (std::uint8_t septet : septets) {
    accumulator |= static_cast<unsigned>(septet & 0x7F) << bits;
    bits += 7;
    while (bits >= 8) {
      hex += Hex2(accumulator & 0xFF);
      accumulator >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) hex += Hex2(accumulator & 0xFF);
  return hex;
}

std::vector<std::uint8_t> UnpackSeptets(const std::vector<std::uint8_t>& octets, std::size_t count,
                                        std::size_t skipBits) {
  std::vector<std::uint8_t> septets;
  septets.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t bit = skipBits + i * 7;
    const std::size_t index = bit / 8;
    const unsigned shift = bit % 8;
    if (index >= octets.size()) break;
    unsigned value = octets[index] >> shift;
    if (shift > 1 && index + 1 < octets.size()) value |= octets[index + 1] << (8 - shift);
    septets.push_back(static_cast<std::uint8_t>(value & 0x7F));
  }
  return septets;
}

UserData EncodeUserData(std::string_view part, TEncodeStyle style) {
  UserData data;
  switch (style) {
    case TEncodeStyle::esSevenBit: {
      const std::vector<std::uint8_t> septets = ToGsmSeptets(part);
      data.hex = PackSeptets(septets);
      data.lengthField = static_cast<int>(septets.size());
      break;
    }
    case TEncodeStyle::esEightBit:
      for (char c : part) data.hex += Hex2(static_cast<unsigned char>(c));
      data.lengthField = static_cast<int>(part.size());
      break;
    case TEncodeStyle::esUnicode:
      for (char16_t unit : text::Utf8ToUtf16(part, text::OnError::kReplace)) {
        data.hex += Hex2(unit >> 8) + Hex2(unit & 0xFF);
      }
      data.lengthField = static_cast<int>(data.hex.size() / 2);
      break;
  }
  data.octets = static_cast<int>(data.hex.size() / 2);
  return data;
}

SubmitCommand BuildSubmit(std::string_view number, std::string_view part, TEncodeStyle style) {
  const SubmitHeader header = BuildSubmitHeader(number, style);
  const UserData data = EncodeUserData(part, style);
  const int length = header.octets + data.octets;
  if (length > 999 || data.lengthField > 255) throw PduError("短信内容过长");
  char command[32];
  std::snprintf(command, sizeof command, "AT+CMGS=%03d\r", length);
  return {command, header.hex + Hex2(static_cast<unsigned>(data.lengthField)) + data.hex + "\x1A"};
}

std::optional<TEncodeStyle> EncodingOfDcs(std::uint8_t dcs) {
  auto alphabet = [](std::uint8_t bits) -> std::optional<TEncodeStyle> {
    switch (bits & 0x0C) {
      case 0x00:
        return TEncodeStyle::esSevenBit;
      case 0x04:
        return TEncodeStyle::esEightBit;
      case 0x08:
        return TEncodeStyle::esUnicode;
      default:
        return std::nullopt;
    }
  };
  if ((dcs & 0x80) == 0) {
    if (dcs & 0x20) return std::nullopt;  // compressed
    return alphabet(dcs);
  }
  switch (dcs & 0xF0) {
    case 0xC0:
    case 0xD0:
      return TEncodeStyle::esSevenBit;
    case 0xE0:
      return TEncodeStyle::esUnicode;
    case 0xF0:
      return (dcs & 0x04) ? TEncodeStyle::esEightBit : TEncodeStyle::esSevenBit;
    default:
      return std::nullopt;
  }
}

bool DecodeStoredPdu(std::string_view hex, TSMSItem& item) {
  try {
    HexReader reader(hex);
    const std::string centre = ReadServiceCentre(reader);
    const std::uint8_t firstOctet = reader.Octet();
    const bool hasHeader = (firstOctet & 0x40) != 0;
    const int kind = firstOctet & 0x03;
    std::string address;
    std::string time;
    if (kind == 0) {  // SMS-DELIVER
      address = ReadAddress(reader);
    } else if (kind == 1) {  // SMS-SUBMIT kept in the SIM
      reader.Octet();        // message reference
      address = ReadAddress(reader);
    } else {
      return false;
    }
    reader.Octet();  // protocol identifier
    const std::optional<TEncodeStyle> encoding = EncodingOfDcs(reader.Octet());
    if (!encoding) return false;
    if (kind == 0) {
      time = ReadTimeStamp(reader);
    } else {
      const int validity = (firstOctet >> 3) & 0x03;
      if (validity == 2) reader.Octet();
      if (validity == 1 || validity == 3) reader.Octets(7);
    }
    const std::string text = ReadUserText(reader, *encoding, hasHeader);
    item.SmscNumber = centre;
    item.Encoding = *encoding;
    item.CentreTime = time;
    item.MsgText = text;
    if (kind == 0) {
      item.SenderNumber = address;
    } else {
      item.DestNumber = address;
    }
    return true;
  } catch (const PduError&) {
    return false;
  }
}

std::optional<TSMSItem> ParseCmgrReply(std::string_view reply, int index) {
  std::vector<std::string_view> fields;
  std::string_view pdu;
  if (!HeaderAndPdu(reply, "+CMGR", fields, pdu) || fields.empty()) return std::nullopt;
  const int stat = ParseNumber(fields[0], -1);
  if (stat < 0) return std::nullopt;
  TSMSItem item;
  item.MsgIndex = index;
  item.MsgStatus = StatusOf(stat);
  if (!DecodeStoredPdu(pdu, item)) return std::nullopt;
  return item;
}

std::optional<TSMSItem> ParseCmglEntry(std::string_view chunk) {
  std::vector<std::string_view> fields;
  std::string_view pdu;
  if (!HeaderAndPdu(chunk, "+CMGL", fields, pdu) || fields.size() < 2) return std::nullopt;
  const int index = ParseNumber(fields[0], -1);
  const int stat = ParseNumber(fields[1], -1);
  if (index < 0 || stat < 0) return std::nullopt;
  TSMSItem item;
  item.MsgIndex = index;
  item.MsgStatus = StatusOf(stat);
  if (!DecodeStoredPdu(pdu, item)) return std::nullopt;
  return item;
}

std::vector<std::string_view> SplitListing(std::string_view reply) {
  std::vector<std::string_view> chunks;
  std::size_t at = reply.find("+CMGL");
  while (at != std::string_view::npos) {
    const std::size_t next = reply.find("+CMGL", at + 5);
    chunks.push_back(reply.substr(at, next == std::string_view::npos ? next : next - at));
    at = next;
  }
  return chunks;
}

}  // namespace quor::sms
