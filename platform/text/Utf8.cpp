#include "Utf8.h"

namespace quor::text {
namespace {

bool InRange(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return 0;
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const std::size_t left = text.size() - pos;
  const unsigned char lead = at(0);
  if (lead < 0x80) return 1;
  // Second-byte ranges follow the well-formed byte sequence table of Unicode
  // (chapter 3): they exclude overlong forms, surrogates and values past U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  std::size_t length = 0;
  if (InRange(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (lead == 0xE0) {
    length = 3;
    low = 0xA0;
  } else if (lead == 0xED) {
    length = 3;
    high = 0x9F;
  } else if (InRange(lead, 0xE1, 0xEF)) {
    length = 3;
  } else if (lead == 0xF0) {
    length = 4;
    low = 0x90;
  } else if (lead == 0xF4) {
    length = 4;
    high = 0x8F;
  } else if (InRange(lead, 0xF1, 0xF3)) {
    length = 4;
  } else {
    return 0;
  }
  if (left < length || !InRange(at(1), low, high)) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!InRange(at(i), 0x80, 0xBF)) return 0;
  }
  return length;
}

char32_t Utf8CodePoint(std::string_view text, std::size_t pos, std::size_t length) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t codePoint = at(0) & kLeadMask[length];
  for (std::size_t i = 1; i < length; ++i) codePoint = (codePoint << 6) | (at(i) & 0x3F);
  return codePoint;
}

}  // namespace quor::text
