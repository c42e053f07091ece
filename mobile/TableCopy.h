// Streams the rows of one SQL Server query into a table of an SQLite file: the
// rows are read a block at a time and written through one prepared INSERT, so
// memory stays the same whatever the row count. A failure on any row is thrown:
// a download never goes out with rows missing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mobile/SqliteFile.h"
#include "platform/sql/Connection.h"

namespace quor::mobile {

// Rows read from the server per block.
inline constexpr std::size_t kCopyBlockRows = 2000;

// Copies the rows of `query` into `table` by column name and returns how many
// were copied. Texts have every double quote replaced by ” (the phone shows
// the file's texts as they stand and has always been given them so); NULL
// stays NULL; numbers keep their value (whole numbers as integers).
std::size_t CopyQueryIntoTable(sql::Connection& connection, SqliteFile& file,
                               std::string_view table, const std::string& query);

}  // namespace quor::mobile
