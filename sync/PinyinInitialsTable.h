// The generated data behind PinyinInitials: one initial per ideograph of
// U+4E00..U+9FA5 ("?" where Unicode gives no reading) and the characters whose
// readings begin with different letters, the preferred reading's initial first.
#pragma once

#include <cstddef>

namespace quor::sync {

inline constexpr char32_t kPinyinFirstIdeograph = 0x4E00;
inline constexpr char32_t kPinyinLastIdeograph = 0x9FA5;
inline constexpr std::size_t kPinyinInitialCount = kPinyinLastIdeograph - kPinyinFirstIdeograph + 1;

struct PinyinPolyphone {
  char32_t ideograph;
  const char* initials;  // candidates, the preferred first
};

extern const char kPinyinInitialTable[kPinyinInitialCount + 1];
// Sorted by ideograph.
extern const PinyinPolyphone kPinyinPolyphones[];
extern const std::size_t kPinyinPolyphoneCount;

}  // namespace quor::sync
