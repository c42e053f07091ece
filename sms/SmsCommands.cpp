#include "sms/SmsCommands.h"

#include "platform/text/AsciiText.h"

namespace quor::sms {
namespace {

constexpr std::string_view kPlaceholder = "<\?\?\?>";

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

std::vector<std::string> SplitText(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      pieces.emplace_back(text.substr(start));
      return pieces;
    }
    pieces.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
}

bool StartsWithPrefix(std::string_view text, std::string_view prefix) {
  if (prefix.empty() || text.size() < prefix.size()) return false;
  return text::EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::vector<CommandItem> CommandItems(std::string_view text, std::string_view prefix) {
  const std::string trimmed(text::TrimBlanks(text));
  std::vector<CommandItem> items;
  if (!StartsWithPrefix(trimmed, prefix)) return items;
  const std::vector<std::string> pieces = SplitText(trimmed, ';');
  if (pieces.empty() || pieces[0].empty()) return items;
  const std::string upperPrefix = text::AsciiUpper(prefix);
  for (const std::string& piece : pieces) {
    const std::vector<std::string> parts = SplitText(piece, '*');
    if (parts.size() != 2 || parts[0].empty()) continue;
    CommandItem item{text::AsciiUpper(parts[0]), text::AsciiUpper(parts[1])};
    if (item.keyword.find(upperPrefix) != std::string::npos) {
      item.keyword.erase(0, std::min(upperPrefix.size(), item.keyword.size()));
    }
    items.push_back(std::move(item));
  }
  return items;
}

std::string NormalisedPhone(std::string_view phone) {
  std::string digits;
  for (char c : text::TrimBlanks(phone)) {
    if (c != ' ' && c != '-') digits.push_back(c);
  }
  for (std::string_view international : {"+86", "0086"}) {
    if (digits.rfind(international, 0) == 0) return digits.substr(international.size());
  }
  if (digits.size() == 13 && digits.rfind("861", 0) == 0) return digits.substr(2);
  return digits;
}

bool SamePhone(std::string_view a, std::string_view b) {
  const std::string left = NormalisedPhone(a);
  return !left.empty() && left == NormalisedPhone(b);
}

BoundStatement BindTemplate(std::string_view sqlTemplate, std::string_view parameter) {
  const std::string upper = text::AsciiUpper(sqlTemplate);
  BoundStatement bound;
  std::size_t pos = 0;
  while (pos < upper.size()) {
    const char c = upper[pos];
    if (c == '\'') {
      std::size_t end = pos + 1;
      std::string literal;
      while (end < upper.size()) {
        if (upper[end] == '\'' && end + 1 < upper.size() && upper[end + 1] == '\'') {
          literal.push_back('\'');
          end += 2;
          continue;
        }
        if (upper[end] == '\'') break;
        literal.push_back(upper[end++]);
      }
      const std::size_t stop = std::min(end + 1, upper.size());
      if (literal.find(kPlaceholder) != std::string::npos) {
        bound.sql += "?";
        bound.values.push_back(ReplaceAll(literal, kPlaceholder, parameter));
      } else {
        bound.sql.append(upper, pos, stop - pos);
      }
      pos = stop;
      continue;
    }
    if (upper.compare(pos, kPlaceholder.size(), kPlaceholder) == 0) {
      bound.sql += "?";
      bound.values.emplace_back(parameter);
      pos += kPlaceholder.size();
      continue;
    }
    bound.sql.push_back(c);
    ++pos;
  }
  return bound;
}

}  // namespace quor::sms
