// UTF-8 structure checks shared by the converters: they tell a malformed
// sequence from a well-formed character that merely has no form in the target.
#pragma once

#include <cstddef>
#include <string_view>

namespace quor::text {

// Length (1 to 4) of the well-formed UTF-8 sequence starting at text[pos], or 0
// when the bytes there are not one (overlong, surrogate, above U+10FFFF,
// truncated, stray continuation byte).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos);

// The code point of a sequence that Utf8SequenceLength accepted.
char32_t Utf8CodePoint(std::string_view text, std::size_t pos, std::size_t length);

}  // namespace quor::text
