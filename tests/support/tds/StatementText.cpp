#include "tests/support/tds/StatementText.h"

#include <cctype>
#include <regex>

#include "tests/support/tds/ScriptBook.h"

namespace quor::test::tds {
namespace {

class Scanner {
 public:
  explicit Scanner(const std::string& text) : text_(text) {}

  void SkipSpace() {
    while (pos_ < text_.size()) {
      if (std::isspace(static_cast<unsigned char>(text_[pos_]))) {
        ++pos_;
      } else if (text_.compare(pos_, 2, "--") == 0) {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else {
        break;
      }
    }
  }
  bool AtEnd() {
    SkipSpace();
    while (pos_ < text_.size() && text_[pos_] == ';') {
      ++pos_;
      SkipSpace();
    }
    return pos_ >= text_.size();
  }
  bool Peek(char ch) {
    SkipSpace();
    return pos_ < text_.size() && text_[pos_] == ch;
  }
  bool Take(char ch) {
    if (!Peek(ch)) return false;
    ++pos_;
    return true;
  }
  // A word: identifier characters, also @, #, $ and dots and brackets of a multi-part name.
  std::string Word() {
    SkipSpace();
    std::size_t start = pos_;
    bool bracket = false;
    while (pos_ < text_.size()) {
      char ch = text_[pos_];
      if (bracket) {
        if (ch == ']') bracket = false;
      } else if (ch == '[') {
        bracket = true;
      } else if (!(std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '@' ||
                   ch == '#' || ch == '$' || ch == '.' || ch == ';' ||
                   static_cast<unsigned char>(ch) >= 0x80)) {
        break;
      }
      if (ch == ';' && !bracket) {
        // ";1" belongs to a procedure name; a lone ";" ends the statement.
        if (pos_ + 1 >= text_.size() || !std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))
          break;
      }
      ++pos_;
    }
    return text_.substr(start, pos_ - start);
  }
  bool Keyword(const char* word) {
    std::size_t save = pos_;
    std::string w = Word();
    if (Lower(w) == word) return true;
    pos_ = save;
    return false;
  }
  std::optional<Value> Literal() {
    SkipSpace();
    if (pos_ >= text_.size()) return std::nullopt;
    char ch = text_[pos_];
    if (ch == 'N' || ch == 'n') {
      if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
        ++pos_;
        return Quoted();
      }
    }
    if (ch == '\'') return Quoted();
    if (text_.compare(pos_, 2, "0x") == 0 || text_.compare(pos_, 2, "0X") == 0) {
      pos_ += 2;
      Bytes bytes;
      while (pos_ + 1 < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[pos_])) &&
             std::isxdigit(static_cast<unsigned char>(text_[pos_ + 1]))) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(text_.substr(pos_, 2), nullptr, 16)));
        pos_ += 2;
      }
      return Value(std::move(bytes));
    }
    if (ch == '-' || ch == '+' || ch == '.' || std::isdigit(static_cast<unsigned char>(ch))) {
      std::size_t start = pos_++;
      while (pos_ < text_.size() &&
             (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.'))
        ++pos_;
      std::string number = text_.substr(start, pos_ - start);
      if (number.find('.') != std::string::npos) return Value(Decimal{number});
      return Value(static_cast<long long>(std::stoll(number)));
    }
    return std::nullopt;
  }

 private:
  std::optional<Value> Quoted() {
    ++pos_;
    std::string out;
    while (pos_ < text_.size()) {
      char ch = text_[pos_++];
      if (ch == '\'') {
        if (pos_ < text_.size() && text_[pos_] == '\'') {
          out += '\'';
          ++pos_;
          continue;
        }
        return Value(std::move(out));
      }
      out += ch;
    }
    return std::nullopt;
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

std::string Unbracket(std::string name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    return name.substr(1, name.size() - 2);
  }
  return name;
}

}  // namespace

std::optional<std::string> ParseUse(const std::string& text) {
  Scanner s(text);
  if (!s.Keyword("use")) return std::nullopt;
  std::string name = Unbracket(s.Word());
  if (name.empty() || !s.AtEnd()) return std::nullopt;
  return name;
}

std::optional<ExecText> ParseExec(const std::string& text, bool bareAllowed) {
  Scanner s(text);
  if (!s.Keyword("exec") && !s.Keyword("execute") && !bareAllowed) return std::nullopt;
  ExecText exec;
  std::string first = s.Word();
  if (!first.empty() && first.front() == '@') {
    if (!s.Take('=')) return std::nullopt;
    exec.returnTarget = first;
    first = s.Word();
  }
  if (first.empty()) return std::nullopt;
  exec.procedure = first;
  if (s.AtEnd()) return exec;
  do {
    ExecArgument arg;
    std::optional<Value> literal = s.Literal();
    if (!literal) {
      std::string word = s.Word();
      if (word.empty()) return std::nullopt;
      if (word.front() == '@' && s.Take('=')) {
        arg.name = word;
        literal = s.Literal();
        if (!literal) word = s.Word();
      }
      if (!literal) {
        if (Lower(word) == "default") {
          arg.isDefault = true;
        } else if (Lower(word) == "null") {
          arg.literal = Value();
        } else if (!word.empty() && word.front() == '@') {
          arg.reference = word;
        } else {
          return std::nullopt;
        }
      }
    }
    if (literal) arg.literal = *literal;
    if (s.Keyword("output") || s.Keyword("out")) arg.output = true;
    exec.arguments.push_back(std::move(arg));
  } while (s.Take(','));
  if (!s.AtEnd()) return std::nullopt;
  return exec;
}

std::vector<ParamDefinition> ParseParamDefinitions(const std::string& text) {
  std::vector<std::string> pieces{""};
  int depth = 0;
  for (char ch : text) {
    if (ch == '(') ++depth;
    if (ch == ')') --depth;
    if (ch == ',' && depth == 0) {
      pieces.emplace_back();
    } else {
      pieces.back() += ch;
    }
  }
  std::vector<ParamDefinition> defs;
  for (const std::string& piece : pieces) {
    std::string item = Trim(piece);
    if (item.empty()) continue;
    ParamDefinition def;
    std::size_t space = item.find_first_of(" \t\r\n");
    def.name = item.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : Trim(item.substr(space));
    static const std::regex kOutput(R"((.*?)\s+(OUTPUT|OUT))", std::regex::icase);
    std::smatch m;
    if (std::regex_match(rest, m, kOutput)) {
      def.output = true;
      rest = m[1].str();
    }
    def.type = rest;
    defs.push_back(std::move(def));
  }
  return defs;
}

bool IsSessionStatement(const std::string& text) {
  static const std::regex kSession(
      R"(\s*(SET\s+\w+.*|BEGIN\s+TRAN(SACTION)?\s*;?|COMMIT(\s+TRAN(SACTION)?)?\s*;?|)"
      R"(ROLLBACK(\s+TRAN(SACTION)?)?\s*;?|IF\s+@@TRANCOUNT\s*>\s*0\s+(COMMIT|ROLLBACK)(\s+TRAN(SACTION)?)?\s*;?)\s*)",
      std::regex::icase);
  return std::regex_match(text, kSession);
}

}  // namespace quor::test::tds
