// Tells whether a statement's rows come from one table, so that changes to
// them can be written back to it: only a plain "SELECT [TOP n] columns FROM
// table [WITH (NOLOCK)] [WHERE ...] [ORDER BY ...]" whose columns are bare or
// qualified column names (or "*") qualifies. Anything else (expressions,
// aliases, joins, several tables, subqueries, unions, grouping, DISTINCT,
// several statements, comments) does not, since its rows may not map one to
// one onto rows of a table.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quor::datasnap {

// The table's name as the statement writes it ("Goods", "dbo.[Goods]"), to be
// looked up on the server; nullopt when the statement does not qualify.
std::optional<std::string> SingleTableOf(std::string_view statement);

}  // namespace quor::datasnap
