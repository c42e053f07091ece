#include "IniFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <vector>

#include "platform/registry/WholeFile.h"
#include "platform/text/AsciiText.h"
#include "platform/text/Encodings.h"

namespace quor {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// One line of the file: its text as UTF-8 for finding sections and keys, the
// bytes it is stored as, and its ending ("\r\n", "\n" or "" for a last line
// without one). Lines that are not changed are written back from `stored`.
struct Line {
  std::string text;
  std::string_view stored;
  std::string_view ending;
};

// Files copied from Windows installations are in code page 936.
enum class FileEncoding { kUtf8, kCp936 };

struct Document {
  FileEncoding encoding = FileEncoding::kUtf8;
  bool hasBom = false;
  std::vector<Line> lines;
};

// Splitting at '\n' is safe in code page 936 too: no byte of a double-byte
// character is below 0x40.
Document ParseDocument(std::string_view content) {
  Document document;
  document.hasBom = content.substr(0, kUtf8Bom.size()) == kUtf8Bom;
  if (document.hasBom) content.remove_prefix(kUtf8Bom.size());
  if (!document.hasBom && !text::IsValidUtf8(content)) document.encoding = FileEncoding::kCp936;
  const auto add = [&](std::string_view stored, std::string_view ending) {
    // A byte that is no character in either encoding must not hide the rest
    // of its line, so it reads as '?'; the line itself is kept as stored.
    std::string decoded = document.encoding == FileEncoding::kCp936
                              ? text::GbkToUtf8(stored, text::OnError::kReplace)
                              : std::string(stored);
    document.lines.push_back({std::move(decoded), stored, ending});
  };
  while (!content.empty()) {
    const std::size_t newline = content.find('\n');
    if (newline == std::string_view::npos) {
      add(content, {});
      break;
    }
    const std::size_t textEnd = newline > 0 && content[newline - 1] == '\r' ? newline - 1 : newline;
    add(content.substr(0, textEnd), content.substr(textEnd, newline + 1 - textEnd));
    content.remove_prefix(newline + 1);
  }
  return document;
}

// The section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = text::TrimSpaces(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  return text::TrimSpaces(line.substr(0, line.find(']')));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> ParseKeyLine(std::string_view line) {
  const std::string_view trimmed = text::TrimSpaces(line);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return KeyLine{text::TrimSpaces(trimmed.substr(0, equals)),
                 text::TrimSpaces(trimmed.substr(equals + 1))};
}

// Where a section and a key sit in the file; npos when absent.
struct Location {
  std::size_t sectionLine = std::string_view::npos;
  std::size_t keyLine = std::string_view::npos;
  std::size_t lastContentLine = std::string_view::npos;  // last non-blank line of the section
};

Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location location;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = SectionName(lines[i].text);
    if (location.sectionLine == std::string_view::npos) {
      if (name && text::EqualsIgnoringAsciiCase(*name, section))
        location.sectionLine = location.lastContentLine = i;
      continue;
    }
    if (name) break;
    if (!text::TrimSpaces(lines[i].text).empty()) location.lastContentLine = i;
    const auto keyLine = ParseKeyLine(lines[i].text);
    if (keyLine && location.keyLine == std::string_view::npos &&
        text::EqualsIgnoringAsciiCase(keyLine->key, key)) {
      location.keyLine = i;
    }
  }
  return location;
}

[[noreturn]] void FailWrite(const std::filesystem::path& file, const std::string& reason) {
  throw IniFileError("cannot write configuration file " + file.string() + ": " + reason);
}

void RequireOneLine(const std::filesystem::path& file, std::string_view what,
                    std::string_view text) {
  if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    FailWrite(file, std::string(what) + " holds a line break or NUL character");
  }
}

}  // namespace

IniFile::IniFile(std::filesystem::path file) : file_(std::move(file)) {}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
  section = text::TrimSpaces(section);
  key = text::TrimSpaces(key);
  std::string content;
  const int error = registry::ReadWholeFile(file_, content);
  if (error != 0 && error != ENOENT) {
    // The caller's default stands in, as for a missing file, but an operator
    // needs to learn why the settings were ignored.
    std::cerr << "configuration file " << file_.string()
              << " cannot be read: " << std::strerror(error) << "\n";
  }
  if (error != 0) return std::nullopt;
  const Document document = ParseDocument(content);
  const std::vector<Line>& lines = document.lines;
  const Location location = Find(lines, section, key);
  if (location.keyLine == std::string_view::npos) return std::nullopt;
  std::string_view value = ParseKeyLine(lines[location.keyLine].text)->value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  section = text::TrimSpaces(section);
  key = text::TrimSpaces(key);
  RequireOneLine(file_, "the section name", section);
  RequireOneLine(file_, "the key", key);
  RequireOneLine(file_, "the value", value);
  if (key.empty() || key.find('=') != std::string_view::npos || key.front() == '[' ||
      key.front() == ';') {
    FailWrite(file_, "\"" + std::string(key) + "\" cannot be a key name");
  }
  std::string content;
  // Writing over a file that could not be read would lose everything in it.
  if (const int error = registry::ReadWholeFile(file_, content); error != 0 && error != ENOENT) {
    FailWrite(file_, std::string("it cannot be read: ") + std::strerror(error));
  }
  const Document document = ParseDocument(content);
  const std::vector<Line>& lines = document.lines;
  // New lines follow the file's own line ending (files from Windows use CRLF).
  const std::string_view newline =
      !lines.empty() && lines.front().ending == "\r\n" ? std::string_view("\r\n") : "\n";
  const Location location = Find(lines, section, key);

  // New text goes in the file's own encoding, so a file from Windows stays
  // readable there.
  const auto stored = [&](const std::string& utf8) {
    if (document.encoding == FileEncoding::kUtf8) return utf8;
    try {
      return text::Utf8ToGbk(utf8);
    } catch (const text::TextError& error) {
      FailWrite(file_, "the file is in code page 936, which cannot hold \"" + utf8 + "\" (" +
                           error.what() + ")");
    }
  };
  std::string updated(document.hasBom ? kUtf8Bom : "");
  const auto append = [&](const Line& line) {
    updated.append(line.stored);
    updated.append(line.ending);
  };
  const std::string keyLine = stored([&] {
    if (location.keyLine == std::string_view::npos)
      return std::string(key) + "=" + std::string(value);
    return std::string(ParseKeyLine(lines[location.keyLine].text)->key) + "=" + std::string(value);
  }());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == location.keyLine) {
      updated.append(keyLine);
      updated.append(lines[i].ending);
      continue;
    }
    append(lines[i]);
    if (location.keyLine == std::string_view::npos && i == location.lastContentLine) {
      if (lines[i].ending.empty()) updated.append(newline);
      updated.append(keyLine);
      updated.append(lines[i].ending.empty() ? newline : lines[i].ending);
    }
  }
  if (location.sectionLine == std::string_view::npos) {
    if (!lines.empty()) {
      if (lines.back().ending.empty()) updated.append(newline);
      if (!text::TrimSpaces(lines.back().text).empty()) updated.append(newline);
    }
    updated.append(stored("[" + std::string(section) + "]"));
    updated.append(newline);
    updated.append(keyLine);
    updated.append(newline);
  }
  std::filesystem::path target = file_;
  // Keep a symbolic link (an operator may keep the file elsewhere) and replace
  // what it points to.
  std::error_code linkError;
  if (std::filesystem::is_symlink(file_, linkError)) {
    const auto resolved = std::filesystem::canonical(file_, linkError);
    if (!linkError) target = resolved;
  }
  if (const int error = registry::ReplaceWholeFile(target, updated)) {
    FailWrite(target, std::strerror(error));
  }
}

}  // namespace quor
