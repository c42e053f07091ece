// Checks on what a phone sends before it comes near a statement, and the one
// quoting rule for server-side ids that are embedded in statement texts.
#pragma once

#include <string>
#include <string_view>

namespace quor::mobile {

// The text without surrounding blanks (spaces, tabs, CR, LF).
std::string TrimBlanks(std::string_view text);

// A person index: one to eighteen decimal digits once surrounding blanks are
// removed (the IndexID of a person; "00000" and "1" included).
bool IsPersonIndex(std::string_view text);

// A real calendar date written "YYYY-MM-DD" (years 1753 to 9999, the range
// SQL Server's datetime holds).
bool IsCalendarDate(std::string_view text);

// `text` between single quotes with every single quote doubled: a literal SQL
// Server reads back as exactly `text`.
std::string SqlLiteral(std::string_view text);

}  // namespace quor::mobile
