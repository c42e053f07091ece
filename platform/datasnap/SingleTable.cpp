#include "SingleTable.h"

#include <array>
#include <vector>

#include "platform/text/AsciiText.h"

namespace quor::datasnap {
namespace {

enum class TokenKind { kWord, kQuotedName, kNumber, kString, kPunct };

struct Token {
  TokenKind kind;
  std::string text;
};

bool IsWordStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '#' || c == '@' ||
         u >= 0x80;
}

bool IsWordChar(char c) {
  return IsWordStart(c) || (c >= '0' && c <= '9') || c == '$';
}

// nullopt for text the parser does not take at all (comments, unclosed quotes).
std::optional<std::vector<Token>> Tokenize(std::string_view text) {
  std::vector<Token> tokens;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++pos;
    } else if (text.compare(pos, 2, "--") == 0 || text.compare(pos, 2, "/*") == 0) {
      return std::nullopt;
    } else if (IsWordStart(c)) {
      const std::size_t start = pos;
      while (pos < text.size() && IsWordChar(text[pos])) ++pos;
      tokens.push_back({TokenKind::kWord, std::string(text.substr(start, pos - start))});
    } else if (c >= '0' && c <= '9') {
      const std::size_t start = pos;
      while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
      tokens.push_back({TokenKind::kNumber, std::string(text.substr(start, pos - start))});
    } else if (c == '[' || c == '"' || c == '\'') {
      const char close = c == '[' ? ']' : c;
      const std::size_t start = pos++;
      for (;;) {
        if (pos >= text.size()) return std::nullopt;
        if (text[pos] == close) {
          if (pos + 1 < text.size() && text[pos + 1] == close) {
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        ++pos;
      }
      tokens.push_back({c == '\'' ? TokenKind::kString : TokenKind::kQuotedName,
                        std::string(text.substr(start, pos - start))});
    } else {
      tokens.push_back({TokenKind::kPunct, std::string(1, c)});
      ++pos;
    }
  }
  return tokens;
}

bool IsKeyword(const Token& token, std::string_view keyword) {
  return token.kind == TokenKind::kWord && text::EqualsIgnoringAsciiCase(token.text, keyword);
}

bool IsPunct(const Token& token, char c) {
  return token.kind == TokenKind::kPunct && token.text.size() == 1 && token.text[0] == c;
}

// Words that make a statement something other than rows of one table.
constexpr std::array<std::string_view, 21> kReserved = {
    "SELECT",  "FROM",   "WHERE", "ORDER",    "BY",     "JOIN",      "UNION",
    "GROUP",   "HAVING", "INTO",  "DISTINCT", "EXCEPT", "INTERSECT", "FOR",
    "COMPUTE", "OPTION", "AS",    "CROSS",    "APPLY",  "PIVOT",     "TOP"};

bool IsReserved(const Token& token) {
  for (const std::string_view word : kReserved) {
    if (IsKeyword(token, word)) return true;
  }
  return false;
}

bool IsNamePart(const Token& token) {
  return (token.kind == TokenKind::kWord && !IsReserved(token)) ||
         (token.kind == TokenKind::kQuotedName && token.text[0] == '[');
}

// A dotted name of up to `maxParts` parts starting at tokens[pos]; pos moves past it.
std::optional<std::string> DottedName(const std::vector<Token>& tokens, std::size_t& pos,
                                      std::size_t maxParts) {
  std::string name;
  for (std::size_t part = 0; part < maxParts; ++part) {
    if (pos >= tokens.size() || !IsNamePart(tokens[pos])) return std::nullopt;
    name += tokens[pos++].text;
    if (pos < tokens.size() && IsPunct(tokens[pos], '.')) {
      name += '.';
      ++pos;
    } else {
      return name;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> SingleTableOf(std::string_view statement) {
  const std::optional<std::vector<Token>> parsed = Tokenize(statement);
  if (!parsed) return std::nullopt;
  const std::vector<Token>& tokens = *parsed;
  std::size_t pos = 0;
  if (pos >= tokens.size() || !IsKeyword(tokens[pos++], "SELECT")) return std::nullopt;
  if (pos < tokens.size() && IsKeyword(tokens[pos], "TOP")) {
    ++pos;
    if (pos >= tokens.size() || tokens[pos].kind != TokenKind::kNumber) return std::nullopt;
    ++pos;
  }
  if (pos < tokens.size() && IsPunct(tokens[pos], '*')) {
    ++pos;
  } else {
    for (;;) {
      if (!DottedName(tokens, pos, 4)) return std::nullopt;
      if (pos < tokens.size() && IsPunct(tokens[pos], ',')) {
        ++pos;
        continue;
      }
      break;
    }
  }
  if (pos >= tokens.size() || !IsKeyword(tokens[pos++], "FROM")) return std::nullopt;
  std::optional<std::string> table = DottedName(tokens, pos, 3);
  if (!table) return std::nullopt;
  if (pos + 3 < tokens.size() && IsKeyword(tokens[pos], "WITH")) {
    if (!IsPunct(tokens[pos + 1], '(') || !IsKeyword(tokens[pos + 2], "NOLOCK") ||
        !IsPunct(tokens[pos + 3], ')')) {
      return std::nullopt;
    }
    pos += 4;
  }
  if (pos == tokens.size()) return table;
  if (!IsKeyword(tokens[pos], "WHERE") && !IsKeyword(tokens[pos], "ORDER")) return std::nullopt;
  for (std::size_t i = pos + 1; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    if (IsPunct(token, ';')) return std::nullopt;
    if (token.kind != TokenKind::kWord) continue;
    for (const std::string_view word :
         {"SELECT", "JOIN", "UNION", "GROUP", "HAVING", "INTO", "EXCEPT", "INTERSECT", "FOR",
          "COMPUTE", "OPTION", "APPLY", "PIVOT", "FROM"}) {
      if (IsKeyword(token, word)) return std::nullopt;
    }
  }
  return table;
}

}  // namespace quor::datasnap
