#include "ServerPublic/SqlNames.h"

#include <cstddef>

namespace quor {
namespace {

// SQL Server's limit for identifiers (sysname).
constexpr std::size_t kMaxNameLength = 128;
constexpr std::size_t kMaxObjectParts = 4;

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool IsPlainSqlName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return false;
  if (!IsAsciiLetter(name[0]) && name[0] != '_') return false;
  for (const char c : name) {
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '_') return false;
  }
  return true;
}

bool IsPlainObjectName(std::string_view name) {
  std::size_t parts = 0;
  while (true) {
    const std::size_t dot = name.find('.');
    std::string_view part = name.substr(0, dot);
    const bool last = dot == std::string_view::npos;
    if (++parts > kMaxObjectParts) return false;
    if (part.size() >= 2 && part.front() == '[' && part.back() == ']') {
      part = part.substr(1, part.size() - 2);
    }
    if (!(part.empty() && !last) && !IsPlainSqlName(part)) return false;
    if (last) return true;
    name.remove_prefix(dot + 1);
  }
}

}  // namespace quor
