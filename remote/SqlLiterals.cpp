#include "remote/SqlLiterals.h"

#include <algorithm>

#include "platform/text/Encodings.h"

namespace quor::remote {

std::string QuotedLiteral(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  quoted += '\'';
  return quoted;
}

bool IsStatementText(std::string_view text) {
  return text.find('\0') == std::string_view::npos && text::IsValidUtf8(text);
}

std::optional<std::size_t> Cp936Width(std::string_view text) {
  try {
    return text::Utf8ToGbk(text).size();
  } catch (const text::TextError&) {
    return std::nullopt;
  }
}

bool IsDatabaseName(std::string_view name) {
  constexpr std::size_t kCatalogueWidth = 50;
  if (name.empty() || !IsStatementText(name)) return false;
  const auto letter = [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
  };
  if (!letter(static_cast<unsigned char>(name.front()))) return false;
  const bool regular = std::all_of(name.begin(), name.end(), [&](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return letter(byte) || (c >= '0' && c <= '9') || c == '@' || c == '#' || c == '$';
  });
  const std::optional<std::size_t> width = Cp936Width(name);
  return regular && width && *width <= kCatalogueWidth;
}

std::string BracketQuoted(std::string_view name) {
  std::string quoted = "[";
  for (const char c : name) {
    quoted += c;
    if (c == ']') quoted += ']';
  }
  quoted += ']';
  return quoted;
}

}  // namespace quor::remote
