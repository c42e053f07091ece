// Text work of the SQL layer that never touches the driver: parameter markers
// in statement texts, procedure names, and the call text sent for a procedure.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quor::sql::detail {

// A statement text with its parameter markers found. ":name" markers (outside
// strings, quoted names and comments, not part of "::" and not glued to a word or
// number before them) are replaced by "?"; "?" markers stay. `markers` gives, per
// "?" of `text`, the index into `names`; a name used twice is one parameter.
struct ParsedStatement {
  std::string text;
  std::vector<std::string> names;  // ":name" as "name"; "?" markers have empty names
  std::vector<std::size_t> markers;
};
ParsedStatement ParseStatementParameters(std::string_view text);

// A procedure name as callers give it: "[catalog.][schema.]name[;group]".
struct ProcedureName {
  std::string catalog;
  std::string schema;
  std::string name;   // without the group suffix
  std::string group;  // digits after ';', empty when none
  std::string full;   // as given, used in the call text
};
// Only names made of letters, digits and _ @ # $ (any non-ASCII letter too) are
// taken: the name ends up in a call text, so nothing that could change its
// meaning (spaces, quotes, brackets, separators) may pass. Throws SqlError.
ProcedureName ParseProcedureName(std::string_view name);

// "{? = call name(?,,?)}": `hasReturnValue` adds "? =", each entry of `slots`
// is true for a bound parameter and false for one left to its default (an empty
// slot). Trailing defaults should already be cut by the caller.
std::string BuildCallText(const ProcedureName& name, bool hasReturnValue,
                          const std::vector<bool>& slots);

// Lines of a text split at CR LF, LF or CR; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace quor::sql::detail
