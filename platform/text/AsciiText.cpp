#include "platform/text/AsciiText.h"

#include <algorithm>
#include <cstdint>

namespace quor::text {

namespace {

std::string_view TrimOf(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return AsciiLower(c); });
  return lower;
}

std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return AsciiUpper(c); });
  return upper;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string_view TrimSpaces(std::string_view text) {
  return TrimOf(text, " \t");
}

std::string_view TrimBlanks(std::string_view text) {
  return TrimOf(text, " \t\r\n");
}

std::size_t AsciiCaseInsensitiveHash::operator()(std::string_view name) const noexcept {
  // FNV-1a over the folded bytes.
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : name) {
    hash ^= static_cast<unsigned char>(AsciiLower(c));
    hash *= 1099511628211ull;
  }
  return static_cast<std::size_t>(hash);
}

}  // namespace quor::text
