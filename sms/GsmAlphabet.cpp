#include "sms/GsmAlphabet.h"

#include <array>

#include "platform/text/Utf8.h"

namespace quor::sms {
namespace {

constexpr std::array<char32_t, 128> kBasic = {
    U'@',      U'\u00A3', U'$',      U'\u00A5', U'\u00E8', U'\u00E9', U'\u00F9', U'\u00EC',
    U'\u00F2', U'\u00C7', U'\n',     U'\u00D8', U'\u00F8', U'\r',     U'\u00C5', U'\u00E5',
    U'\u0394', U'_',      U'\u03A6', U'\u0393', U'\u039B', U'\u03A9', U'\u03A0', U'\u03A8',
    U'\u03A3', U'\u0398', U'\u039E', U'\x1B',   U'\u00C6', U'\u00E6', U'\u00DF', U'\u00C9',
    U' ',      U'!',      U'"',      U'#',      U'\u00A4', U'%',      U'&',      U'\'',
    U'(',      U')',      U'*',      U'+',      U',',      U'-',      U'.',      U'/',
    U'0',      U'1',      U'2',      U'3',      U'4',      U'5',      U'6',      U'7',
    U'8',      U'9',      U':',      U';',      U'<',      U'=',      U'>',      U'?',
    U'\u00A1', U'A',      U'B',      U'C',      U'D',      U'E',      U'F',      U'G',
    U'H',      U'I',      U'J',      U'K',      U'L',      U'M',      U'N',      U'O',
    U'P',      U'Q',      U'R',      U'S',      U'T',      U'U',      U'V',      U'W',
    U'X',      U'Y',      U'Z',      U'\u00C4', U'\u00D6', U'\u00D1', U'\u00DC', U'\u00A7',
    U'\u00BF', U'a',      U'b',      U'c',      U'd',      U'e',      U'f',      U'g',
    U'h',      U'i',      U'j',      U'k',      U'l',      U'm',      U'n',      U'o',
    U'p',      U'q',      U'r',      U's',      U't',      U'u',      U'v',      U'w',
    U'x',      U'y',      U'z',      U'\u00E4', U'\u00F6', U'\u00F1', U'\u00FC', U'\u00E0',
};

struct Extension {
  std::uint8_t septet;
  char32_t codePoint;
};

constexpr Extension kExtension[] = {
    {0x0A, U'\f'}, {0x14, U'^'}, {0x28, U'{'}, {0x29, U'}'}, {0x2F, U'\\'},
    {0x3C, U'['},  {0x3D, U'~'}, {0x3E, U']'}, {0x40, U'|'}, {0x65, U'\u20AC'},
};

constexpr std::uint8_t kEscape = 0x1B;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::vector<std::uint8_t> ToGsmSeptets(std::string_view utf8) {
  std::vector<std::uint8_t> septets;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t length = text::Utf8SequenceLength(utf8, pos);
    if (length == 0) {
      septets.push_back('?');
      ++pos;
      continue;
    }
    const char32_t c = text::Utf8CodePoint(utf8, pos, length);
    pos += length;
    bool found = false;
    for (std::size_t i = 0; i < kBasic.size() && !found; ++i) {
      if (kBasic[i] == c && i != kEscape) {
        septets.push_back(static_cast<std::uint8_t>(i));
        found = true;
      }
    }
    for (const Extension& extension : kExtension) {
      if (found) break;
      if (extension.codePoint == c) {
        septets.push_back(kEscape);
        septets.push_back(extension.septet);
        found = true;
      }
    }
    if (!found) septets.push_back('?');
  }
  return septets;
}

std::string FromGsmSeptets(const std::vector<std::uint8_t>& septets) {
  std::string text;
  for (std::size_t i = 0; i < septets.size(); ++i) {
    const std::uint8_t septet = septets[i] & 0x7F;
    if (septet == kEscape && i + 1 < septets.size()) {
      const std::uint8_t next = septets[++i] & 0x7F;
      char32_t c = kBasic[next];
      for (const Extension& extension : kExtension) {
        if (extension.septet == next) c = extension.codePoint;
      }
      AppendUtf8(text, c);
      continue;
    }
    AppendUtf8(text, septet == kEscape ? U' ' : kBasic[septet]);
  }
  return text;
}

}  // namespace quor::sms
