#include "SqlText.h"

#include "../SqlError.h"
#include "platform/text/AsciiText.h"

namespace quor::sql::detail {
namespace {

bool IsNameStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || u >= 0x80;
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '@' || c == '#' || c == '$';
}

// Index just past a quoted run starting at text[pos] (quote char q, closed by
// `close`, doubled close char as escape); the end of the text when unclosed.
std::size_t SkipQuoted(std::string_view text, std::size_t pos, char close) {
  ++pos;
  while (pos < text.size()) {
    if (text[pos] == close) {
      if (pos + 1 < text.size() && text[pos + 1] == close) {
        pos += 2;
        continue;
      }
      return pos + 1;
    }
    ++pos;
  }
  return pos;
}

// T-SQL block comments nest.
std::size_t SkipBlockComment(std::string_view text, std::size_t pos) {
  int depth = 0;
  while (pos < text.size()) {
    if (text.compare(pos, 2, "/*") == 0) {
      ++depth;
      pos += 2;
    } else if (text.compare(pos, 2, "*/") == 0) {
      pos += 2;
      if (--depth == 0) return pos;
    } else {
      ++pos;
    }
  }
  return pos;
}

void CheckNamePart(std::string_view part, std::string_view whole) {
  for (const char c : part) {
    if (!IsNameChar(c)) {
      throw SqlError("Invalid procedure name '" + std::string(whole) + "'");
    }
  }
}

}  // namespace

ParsedStatement ParseStatementParameters(std::string_view text) {
  ParsedStatement parsed;
  parsed.text.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    std::size_t next = pos + 1;
    if (c == '\'' || c == '"') {
      next = SkipQuoted(text, pos, c);
    } else if (c == '[') {
      next = SkipQuoted(text, pos, ']');
    } else if (c == '-' && text.compare(pos, 2, "--") == 0) {
      next = text.find('\n', pos);
      if (next == std::string_view::npos) next = text.size();
    } else if (c == '/' && text.compare(pos, 2, "/*") == 0) {
      next = SkipBlockComment(text, pos);
    } else if (c == ':' && pos + 1 < text.size() && text[pos + 1] == ':') {
      next = pos + 2;
    } else if (c == ':' && pos + 1 < text.size() && IsNameStart(text[pos + 1]) &&
               !(pos > 0 && IsNameChar(text[pos - 1]))) {
      std::size_t end = pos + 1;
      while (end < text.size() && IsNameChar(text[end])) ++end;
      const std::string name(text.substr(pos + 1, end - pos - 1));
      std::size_t index = parsed.names.size();
      for (std::size_t i = 0; i < parsed.names.size(); ++i) {
        if (!parsed.names[i].empty() && text::EqualsIgnoringAsciiCase(parsed.names[i], name)) index = i;
      }
      if (index == parsed.names.size()) parsed.names.push_back(name);
      parsed.markers.push_back(index);
      parsed.text.push_back('?');
      pos = end;
      continue;
    } else if (c == '?') {
      parsed.markers.push_back(parsed.names.size());
      parsed.names.emplace_back();
    }
    parsed.text.append(text.substr(pos, next - pos));
    pos = next;
  }
  return parsed;
}

ProcedureName ParseProcedureName(std::string_view name) {
  ProcedureName result;
  result.full = std::string(name);
  std::string_view rest = name;
  const std::size_t semicolon = rest.rfind(';');
  if (semicolon != std::string_view::npos) {
    result.group = std::string(rest.substr(semicolon + 1));
    rest = rest.substr(0, semicolon);
    if (result.group.empty() || result.group.size() > 5 ||
        result.group.find_first_not_of("0123456789") != std::string::npos) {
      throw SqlError("Invalid procedure name '" + std::string(name) + "'");
    }
  }
  std::vector<std::string_view> parts;
  while (true) {
    const std::size_t dot = rest.find('.');
    parts.push_back(rest.substr(0, dot));
    if (dot == std::string_view::npos) break;
    rest = rest.substr(dot + 1);
  }
  if (parts.size() > 3 || parts.back().empty()) {
    throw SqlError("Invalid procedure name '" + std::string(name) + "'");
  }
  for (const std::string_view part : parts) CheckNamePart(part, name);
  result.name = std::string(parts.back());
  if (parts.size() >= 2) result.schema = std::string(parts[parts.size() - 2]);
  if (parts.size() == 3) result.catalog = std::string(parts[0]);
  return result;
}

std::string BuildCallText(const ProcedureName& name, bool hasReturnValue,
                          const std::vector<bool>& slots) {
  std::string text = hasReturnValue ? "{? = call " : "{call ";
  text += name.full;
  if (!slots.empty()) {
    text += '(';
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (i > 0) text += ',';
      if (slots[i]) text += '?';
    }
    text += ')';
  }
  text += '}';
  return text;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == '\r' || text[pos] == '\n') {
      lines.emplace_back(text.substr(start, pos - start));
      if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
      start = ++pos;
    } else {
      ++pos;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace quor::sql::detail
