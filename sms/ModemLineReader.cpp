#include "sms/ModemLineReader.h"

#include <cctype>

#include "platform/text/AsciiText.h"

namespace quor::sms {

ModemLineKind ClassifyModemLine(const std::string& line) {
  if (line == "0" || line == "OK") return ModemLineKind::kOk;
  if (line == "4" || line == "ERROR" || line == "3" || line == "NO CARRIER" || line == "6" ||
      line == "7" || line == "8" || line.rfind("+CMS ERROR", 0) == 0 ||
      line.rfind("+CME ERROR", 0) == 0) {
    return ModemLineKind::kError;
  }
  if (line == "2" || line == "RING") return ModemLineKind::kRing;
  if (line.rfind("+CMTI:", 0) == 0) return ModemLineKind::kNotice;
  return ModemLineKind::kInfo;
}

int NoticeIndex(const std::string& line) {
  const std::size_t comma = line.rfind(',');
  if (comma == std::string::npos) return -1;
  const std::string_view digits = text::TrimBlanks(std::string_view(line).substr(comma + 1));
  if (digits.empty() || digits.size() > 6) return -1;
  int index = 0;
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    index = index * 10 + (c - '0');
  }
  return index;
}

ModemLineReader::Event ModemLineReader::Push(char c) {
  if (c == '\r' || c == '\n') {
    std::string trimmed(text::TrimBlanks(current_));
    current_.clear();
    if (trimmed.empty()) return Event::kNone;
    line_ = std::move(trimmed);
    return Event::kLine;
  }
  if (c == '>' && text::TrimBlanks(current_).empty()) {
    current_.clear();
    return Event::kPrompt;
  }
  // A runaway line (garbage without line ends) is cut rather than grown for ever.
  if (current_.size() >= 4096) current_.clear();
  current_.push_back(c);
  return Event::kNone;
}

void ModemLineReader::Reset() {
  current_.clear();
  line_.clear();
}

}  // namespace quor::sms
