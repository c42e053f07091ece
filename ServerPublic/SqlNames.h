// Names the server has to paste into SQL text because SQL cannot take them as
// parameters (table names made from the trade code, a table a client asks to
// list). Only plain names pass, so nothing pasted can end a string, a bracketed
// name or the statement itself.
#pragma once

#include <string_view>

namespace quor {

// A regular identifier: an ASCII letter or "_", then ASCII letters, digits or
// "_", at most 128 characters in all.
bool IsPlainSqlName(std::string_view name);

// One to four plain names joined by ".", each optionally in brackets
// ("[dbo].[T]"); parts before the last may be empty ("master..T").
bool IsPlainObjectName(std::string_view name);

}  // namespace quor
