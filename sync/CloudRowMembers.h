// Reading the members of one row the cloud sent: by exact, case-sensitive
// name, a member that is absent or null reading as empty text or 0, so that
// rows of any shape can be walked without raising.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace quor::sync {

// Text of a member: strings as they are, numbers in decimal, booleans as
// "True"/"False", objects and arrays as their JSON text.
std::string RowText(const nlohmann::json& row, std::string_view name);
// Numbers as they are; strings holding a decimal number are read; anything
// else is 0. Integers out of range and fractions are rounded toward zero.
std::int64_t RowInteger(const nlohmann::json& row, std::string_view name);
double RowNumber(const nlohmann::json& row, std::string_view name);

// The elements of a fetch reply that are objects; a reply that is no array
// gives none, and `skipped` counts the elements that were no rows.
std::vector<const nlohmann::json*> ReplyRows(const nlohmann::json* reply, std::size_t& skipped);

// A cloud time (milliseconds since 1970 read with the fixed offset of eight
// hours) as the local date "YYYY-MM-DD".
std::string CloudMillisToDate(std::int64_t millis);

// `text` cut to at most `maxBytes` bytes of code page 936 without splitting a
// character. Text that code page 936 cannot hold is cut by its characters'
// widths as 936 would count them (two bytes for anything beyond ASCII).
std::string CutToCp936Bytes(std::string_view text, std::size_t maxBytes);

}  // namespace quor::sync
