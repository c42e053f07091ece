#include "remote/SerialText.h"

#include <stdexcept>

#include "platform/text/AsciiText.h"

namespace quor::remote {

std::vector<std::string> SerialLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      ++end;
    }
    start = end + 1;
  }
  return lines;
}

std::vector<SerialEntry> SerialEntries(std::string_view text, std::size_t width) {
  if (width != 2 && width != 3) throw std::invalid_argument("serial groups are pairs or triples");
  const std::vector<std::string> lines = SerialLines(text);
  const auto lineAt = [&lines](std::size_t index) {
    return index < lines.size() ? lines[index] : std::string();
  };
  std::vector<SerialEntry> entries;
  for (std::size_t first = 0; first < lines.size(); first += width) {
    if (text::TrimBlanks(lines[first]).empty()) continue;
    SerialEntry entry{lines[first], lineAt(first + 1), width == 3 ? lineAt(first + 2) : ""};
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace quor::remote
