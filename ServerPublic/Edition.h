// The trade editions one executable serves: the program's file name says which,
// by a code followed by a dot ("QuorServerQX.exe", or "QuorServerQX" read as
// "QuorServerQX."). Start-up applies the table once; web publishing and the
// console read the edition's code and caption from the start-up values.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace quor {

struct Edition {
  std::string searchText;  // "BZ.", ..., "ALL."
  std::string vocation;    // the trade code the search text selects
  std::string caption;     // the edition's server caption
};

// The table in search order; the first entry found in the name wins.
std::span<const Edition> EditionTable();

// The edition selected by a program file name (without folder): the name is
// upper-cased, a name without an extension is read as if it ended with ".", and
// each search text is looked for anywhere in it. Nothing when none is found.
std::optional<Edition> FindEdition(const std::string& fileName);

}  // namespace quor
