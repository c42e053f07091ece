#include "sync/PinyinInitials.h"

#include <algorithm>

#include "platform/text/Utf8.h"
#include "sync/PinyinInitialsTable.h"

namespace quor::sync {

namespace {

// The letter an ideograph stands for, or 0 when it has none and stays as it is.
char InitialOfIdeograph(char32_t c) {
  const PinyinPolyphone* end = kPinyinPolyphones + kPinyinPolyphoneCount;
  const PinyinPolyphone* hit = std::lower_bound(
      kPinyinPolyphones, end, c,
      [](const PinyinPolyphone& entry, char32_t value) { return entry.ideograph < value; });
  if (hit != end && hit->ideograph == c) return hit->initials[0];
  char letter = kPinyinInitialTable[c - kPinyinFirstIdeograph];
  return letter == '?' ? 0 : letter;
}

bool IsBlankForInitials(unsigned char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

std::string PinyinInitials(std::string_view text) {
  if (std::all_of(text.begin(), text.end(),
                  [](char c) { return IsBlankForInitials(static_cast<unsigned char>(c)); }))
    return {};
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = text::Utf8SequenceLength(text, pos);
    if (length == 0) {  // not UTF-8: the byte passes as it is
      out += text[pos++];
      continue;
    }
    if (length == 1) {
      unsigned char c = static_cast<unsigned char>(text[pos]);
      if (!IsBlankForInitials(c))
        out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
      ++pos;
      continue;
    }
    char32_t c = text::Utf8CodePoint(text, pos, length);
    char letter = 0;
    if (c >= kPinyinFirstIdeograph && c <= kPinyinLastIdeograph) letter = InitialOfIdeograph(c);
    if (letter != 0)
      out += letter;
    else if (c != 0x3000)  // the ideographic space is a blank too
      out.append(text.substr(pos, length));
    pos += length;
  }
  return out;
}

}  // namespace quor::sync
