// The serial numbers of a bill line, opening-stock record or stocktake travel
// as one text of lines: pairs (serial number, remark) or triples (serial
// number, remark, status). A group whose last lines are missing reads them as
// empty, so no entry is lost and nothing is read past the end.
//
//   for (const SerialEntry& entry : SerialEntries(text, 2)) ... entry.serial, entry.remark
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quor::remote {

// The lines of a text as a client's string list holds them: separated by
// CR LF, LF or CR; a line break at the very end starts no further line.
std::vector<std::string> SerialLines(std::string_view text);

struct SerialEntry {
  std::string serial;  // as sent, untrimmed
  std::string remark;
  std::string status;  // triples only
};

// Groups of `width` lines (2 or 3) whose serial line is not blank after
// trimming, in order. A last group with fewer lines has its missing lines empty.
std::vector<SerialEntry> SerialEntries(std::string_view text, std::size_t width);

}  // namespace quor::remote
