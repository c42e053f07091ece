// Client values that the account-set statements have to carry in their text
// (BACKUP and RESTORE take no parameters for names): texts between single
// quotes with their quotes doubled, and database names checked and quoted as
// identifiers, so that no value can end a literal, an identifier or the
// statement.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quor::remote {

// "'" + text with every "'" doubled + "'".
std::string QuotedLiteral(std::string_view text);

// A database name this server creates files for and pastes into statements:
// a regular identifier of SQL Server (a letter, "_" or a character beyond
// ASCII, then letters, digits, "_", "@", "#", "$" or characters beyond ASCII)
// that code page 936 can hold in at most 50 bytes, the width of the
// catalogue's DBName. The catalogue's delete procedure drops the database by
// its bare name, so a name that needs quoting could be restored but never
// deleted; one wider than the catalogue column would be restored and then
// have no catalogue row.
bool IsDatabaseName(std::string_view name);

// Code page 936 bytes of `text`; nothing when it has characters outside it.
std::optional<std::size_t> Cp936Width(std::string_view text);

// "[" + name + "]" (names that pass IsDatabaseName hold no "]").
std::string BracketQuoted(std::string_view name);

// Text a statement may carry at all: UTF-8 without NUL.
bool IsStatementText(std::string_view text);

}  // namespace quor::remote
