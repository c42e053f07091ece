#include "RegDocument.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "Registry.h"
#include "platform/text/AsciiText.h"

namespace quor::registry {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr const char* kRoots[] = {kLocalMachine, kClassesRoot, "HKEY_CURRENT_USER", "HKEY_USERS",
                                  "HKEY_CURRENT_CONFIG"};

bool IsOneLine(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

void RequireOneLine(std::string_view text, const char* what) {
  if (!IsOneLine(text)) {
    throw RegistryError(std::string(what) + " \"" + std::string(text) +
                        "\" holds a line break or NUL character, which the registry file "
                        "cannot store");
  }
}

bool StartsWith(const KeyPath& path, const KeyPath& prefix) {
  if (path.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (!SameName(path[i], prefix[i])) return false;
  }
  return true;
}

bool SamePath(const KeyPath& a, const KeyPath& b) {
  return a.size() == b.size() && StartsWith(a, b);
}

std::string JoinPath(const KeyPath& path) {
  std::string text;
  for (const auto& part : path) {
    if (!text.empty()) text += '\\';
    text += part;
  }
  return text;
}

std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

std::string ValueLine(const RegValue& value) {
  std::string line = value.name.empty() ? "@" : Quote(value.name);
  line += '=';
  if (value.isDword) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(value.dword));
    line += hex;
  } else {
    line += Quote(value.text);
  }
  return line;
}

struct ParsedFile {
  std::vector<RegSection> sections;
  std::vector<std::string> trailingComments;
};

class Parser {
 public:
  Parser(std::string_view text, const std::filesystem::path& file) : text_(text), file_(file) {}

  ParsedFile Run();

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw RegistryError(file_.string() + ":" + std::to_string(lineNumber_) + ": " + what);
  }
  std::string ReadQuoted(std::string_view line, std::size_t& pos) const;
  void ParseSection(std::string_view line, ParsedFile& parsed);
  void ParseValue(std::string_view line);

  std::string_view text_;
  const std::filesystem::path& file_;
  int lineNumber_ = 0;
  std::vector<std::string> pendingComments_;
  RegSection* current_ = nullptr;
};

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return text::EqualsIgnoringAsciiCase(a, b);
}

KeyPath ParseKeyPath(const std::string& key) {
  RequireOneLine(key, "key");
  KeyPath path;
  std::size_t start = 0;
  while (start <= key.size()) {
    const std::size_t end = std::min(key.find('\\', start), key.size());
    if (end > start) path.emplace_back(key.substr(start, end - start));
    start = end + 1;
  }
  if (path.empty()) throw RegistryError("empty registry key path");
  const auto root = std::find_if(std::begin(kRoots), std::end(kRoots),
                                 [&](const char* name) { return SameName(name, path.front()); });
  if (root == std::end(kRoots)) {
    throw RegistryError("registry key \"" + key + "\" does not start with a root key such as " +
                        kLocalMachine);
  }
  path.front() = *root;
  return path;
}

namespace {

std::string Parser::ReadQuoted(std::string_view line, std::size_t& pos) const {
  std::string text;
  for (++pos; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == '"') {
      ++pos;
      return text;
    }
    if (c == '\\') {
      if (pos + 1 >= line.size() || (line[pos + 1] != '\\' && line[pos + 1] != '"')) {
        Fail("a backslash inside quotes must be written \\\\ (and a quote \\\")");
      }
      ++pos;
    }
    text += line[pos];
  }
  Fail("missing closing quote");
}

void Parser::ParseSection(std::string_view line, ParsedFile& parsed) {
  if (line.back() != ']') Fail("a key line must end with ']'");
  const std::string_view inside = line.substr(1, line.size() - 2);
  if (!inside.empty() && inside.front() == '-') Fail("key deletion lines are not supported");
  KeyPath path;
  try {
    path = ParseKeyPath(std::string(inside));
  } catch (const RegistryError& error) {
    Fail(error.what());
  }
  // A key written twice is one key, as when the file is imported on Windows.
  auto existing = std::find_if(parsed.sections.begin(), parsed.sections.end(),
                               [&](const RegSection& s) { return SamePath(s.path, path); });
  if (existing == parsed.sections.end()) {
    parsed.sections.push_back(RegSection{{}, std::move(path), {}});
    existing = parsed.sections.end() - 1;
  }
  current_ = &*existing;
  current_->comments.insert(current_->comments.end(), pendingComments_.begin(),
                            pendingComments_.end());
  pendingComments_.clear();
}

void Parser::ParseValue(std::string_view line) {
  if (current_ == nullptr) Fail("a value line before the first [key] line");
  RegValue value;
  std::size_t pos = 0;
  if (line[0] == '@') {
    pos = 1;
  } else {
    value.name = ReadQuoted(line, pos);
  }
  std::string_view rest = text::TrimBlanks(line.substr(pos));
  if (rest.empty() || rest.front() != '=') Fail("expected '=' after the value name");
  rest = text::TrimBlanks(rest.substr(1));
  constexpr std::string_view kDword = "dword:";
  if (!rest.empty() && rest.front() == '"') {
    pos = 0;
    value.text = ReadQuoted(rest, pos);
    if (!text::TrimBlanks(rest.substr(pos)).empty())
      Fail("unexpected text after the closing quote");
  } else if (rest.size() > kDword.size() && SameName(rest.substr(0, kDword.size()), kDword)) {
    const std::string_view digits = rest.substr(kDword.size());
    if (digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != digits.npos) {
      Fail("a dword value is written as dword: and one to eight hexadecimal digits");
    }
    value.isDword = true;
    value.dword = static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
  } else if (rest == "-") {
    Fail("value deletion lines are not supported");
  } else {
    Fail("only string (\"...\") and dword: values are supported");
  }
  value.comments = std::move(pendingComments_);
  pendingComments_.clear();
  auto same = std::find_if(current_->values.begin(), current_->values.end(),
                           [&](const RegValue& v) { return SameName(v.name, value.name); });
  if (same == current_->values.end()) {
    current_->values.push_back(std::move(value));
  } else {
    value.comments.insert(value.comments.begin(), same->comments.begin(), same->comments.end());
    value.name = same->name;
    *same = std::move(value);
  }
}

ParsedFile Parser::Run() {
  ParsedFile parsed;
  std::string_view text = text_;
  if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") {
    lineNumber_ = 1;
    Fail("the file is UTF-16; save it as UTF-8");
  }
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  bool headerSeen = false;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text::TrimBlanks(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    ++lineNumber_;
    if (line.empty()) continue;
    if (!headerSeen) {
      if (line != kHeader) Fail("the first line must be \"" + std::string(kHeader) + "\"");
      headerSeen = true;
    } else if (line.front() == ';') {
      pendingComments_.emplace_back(line);
    } else if (line.front() == '[') {
      ParseSection(line, parsed);
    } else if (line.front() == '"' || line.front() == '@') {
      ParseValue(line);
    } else {
      Fail("expected a [key] line, a \"value\" line or a ; comment");
    }
  }
  parsed.trailingComments = std::move(pendingComments_);
  return parsed;
}

}  // namespace

RegDocument RegDocument::Parse(std::string_view text, const std::filesystem::path& file) {
  ParsedFile parsed = Parser(text, file).Run();
  RegDocument document;
  document.sections_ = std::move(parsed.sections);
  document.trailingComments_ = std::move(parsed.trailingComments);
  return document;
}

std::string RegDocument::Serialize() const {
  std::string text(kHeader);
  text += "\n";
  for (const auto& section : sections_) {
    text += "\n";
    for (const auto& comment : section.comments) text += comment + "\n";
    text += "[" + JoinPath(section.path) + "]\n";
    for (const auto& value : section.values) {
      for (const auto& comment : value.comments) text += comment + "\n";
      text += ValueLine(value) + "\n";
    }
  }
  if (!trailingComments_.empty()) text += "\n";
  for (const auto& comment : trailingComments_) text += comment + "\n";
  return text;
}

bool RegDocument::KeyExists(const KeyPath& key) const {
  if (key.size() == 1) return true;
  return std::any_of(sections_.begin(), sections_.end(),
                     [&](const RegSection& s) { return StartsWith(s.path, key); });
}

std::vector<std::string> RegDocument::SubKeys(const KeyPath& key) const {
  std::vector<std::string> names;
  for (const auto& section : sections_) {
    if (section.path.size() <= key.size() || !StartsWith(section.path, key)) continue;
    const std::string& child = section.path[key.size()];
    if (std::none_of(names.begin(), names.end(),
                     [&](const std::string& name) { return SameName(name, child); })) {
      names.push_back(child);
    }
  }
  return names;
}

const RegSection* RegDocument::FindSection(const KeyPath& key) const {
  const auto found = std::find_if(sections_.begin(), sections_.end(),
                                  [&](const RegSection& s) { return SamePath(s.path, key); });
  return found == sections_.end() ? nullptr : &*found;
}

RegSection* RegDocument::FindSection(const KeyPath& key) {
  return const_cast<RegSection*>(std::as_const(*this).FindSection(key));
}

const RegValue* RegDocument::FindValue(const KeyPath& key, std::string_view name) const {
  const RegSection* section = FindSection(key);
  if (section == nullptr) return nullptr;
  const auto found = std::find_if(section->values.begin(), section->values.end(),
                                  [&](const RegValue& v) { return SameName(v.name, name); });
  return found == section->values.end() ? nullptr : &*found;
}

RegSection& RegDocument::SectionForWriting(const KeyPath& key) {
  if (RegSection* section = FindSection(key)) return *section;
  // Keep the file in tree order so operators find a key next to its relatives:
  // a key that exists only through its descendants goes before them, a new key
  // after the last key below its nearest existing ancestor.
  auto position = sections_.end();
  const auto firstBelow =
      std::find_if(sections_.begin(), sections_.end(),
                   [&](const RegSection& s) { return StartsWith(s.path, key); });
  if (firstBelow != sections_.end()) {
    position = firstBelow;
  } else {
    for (std::size_t depth = key.size() - 1; depth >= 1; --depth) {
      const KeyPath ancestor(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(depth));
      const auto lastBelow =
          std::find_if(sections_.rbegin(), sections_.rend(),
                       [&](const RegSection& s) { return StartsWith(s.path, ancestor); });
      if (lastBelow != sections_.rend()) {
        position = lastBelow.base();
        break;
      }
    }
  }
  changed_ = true;
  return *sections_.insert(position, RegSection{{}, key, {}});
}

void RegDocument::CreateKey(const KeyPath& key) {
  if (!KeyExists(key)) SectionForWriting(key);
}

bool RegDocument::DeleteKey(const KeyPath& key) {
  if (key.size() == 1) throw RegistryError("the root key " + key.front() + " cannot be deleted");
  const auto removed = std::erase_if(
      sections_, [&](const RegSection& section) { return StartsWith(section.path, key); });
  changed_ = changed_ || removed > 0;
  return removed > 0;
}

RegValue& RegDocument::ValueForWriting(const KeyPath& key, const std::string& name) {
  RequireOneLine(name, "value name");
  if (key.size() == 1) throw RegistryError("values cannot be stored in the root key " + key[0]);
  RegSection& section = SectionForWriting(key);
  const auto found = std::find_if(section.values.begin(), section.values.end(),
                                  [&](const RegValue& v) { return SameName(v.name, name); });
  if (found != section.values.end()) return *found;
  section.values.push_back(RegValue{{}, name, false, {}, 0});
  changed_ = true;
  return section.values.back();
}

void RegDocument::SetString(const KeyPath& key, const std::string& name, const std::string& text) {
  RequireOneLine(text, "value");
  RegValue& value = ValueForWriting(key, name);
  if (value.isDword || value.text != text) changed_ = true;
  value.isDword = false;
  value.text = text;
  value.dword = 0;
}

void RegDocument::SetDword(const KeyPath& key, const std::string& name, std::uint32_t dword) {
  RegValue& value = ValueForWriting(key, name);
  if (!value.isDword || value.dword != dword) changed_ = true;
  value.isDword = true;
  value.text.clear();
  value.dword = dword;
}

bool RegDocument::DeleteValue(const KeyPath& key, std::string_view name) {
  RegSection* section = FindSection(key);
  if (section == nullptr) return false;
  const auto removed =
      std::erase_if(section->values, [&](const RegValue& v) { return SameName(v.name, name); });
  changed_ = changed_ || removed > 0;
  return removed > 0;
}

}  // namespace quor::registry
