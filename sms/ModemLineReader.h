// Cuts the modem's byte stream into lines. A line ends at CR or LF, so both
// the numeric result codes ("0" CR) and indications that end in CR alone or
// CR LF are recognised; the "> " prompt of AT+CMGS has no line end and is
// reported on its own.
#pragma once

#include <string>

namespace quor::sms {

enum class ModemLineKind {
  kOk,      // "0" or "OK"
  kError,   // "4", "ERROR", "+CMS ERROR: n", "+CME ERROR: n" and the failing codes
  kNotice,  // "+CMTI: mem,index"
  kRing,    // "2" or "RING": an unsolicited call, ignored
  kInfo,    // anything else: echo, +CMGS, +CMGL, PDU lines
};

ModemLineKind ClassifyModemLine(const std::string& line);

// The storage index of a "+CMTI" line (any number of digits); -1 when the
// line carries none.
int NoticeIndex(const std::string& line);

class ModemLineReader {
 public:
  enum class Event { kNone, kLine, kPrompt };

  Event Push(char c);
  // The line of the last kLine event, without its line end.
  const std::string& Line() const { return line_; }
  void Reset();

 private:
  std::string current_;
  std::string line_;
};

}  // namespace quor::sms
