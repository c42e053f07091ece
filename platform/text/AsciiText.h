// Letter case and blanks as names compare on the wire, in SQL, INI keys and
// registry paths: only the ASCII letters fold, so bytes of UTF-8 or code page
// 936 text pass through untouched.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quor::text {

char AsciiLower(char c);
char AsciiUpper(char c);
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The text without leading and trailing spaces and tabs.
std::string_view TrimSpaces(std::string_view text);
// The text without leading and trailing spaces, tabs, carriage returns and
// line feeds.
std::string_view TrimBlanks(std::string_view text);

// For hash containers keyed by names that ignore ASCII case.
struct AsciiCaseInsensitiveHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const noexcept;
};
struct AsciiCaseInsensitiveEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return EqualsIgnoringAsciiCase(a, b);
  }
};

}  // namespace quor::text
