#include "sync/CloudRowMembers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "sync/CloudClient.h"

namespace quor::sync {
namespace {

const nlohmann::json* RowMemberOf(const nlohmann::json& row, std::string_view name) {
  if (!row.is_object()) return nullptr;
  const auto found = row.find(std::string(name));
  if (found == row.end() || found->is_null()) return nullptr;
  return &*found;
}

bool ParseRowDecimal(const std::string& text, double& value) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  while (first < last && (*first == ' ' || *first == '\t')) ++first;
  while (last > first && (last[-1] == ' ' || last[-1] == '\t')) --last;
  if (first == last) return false;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && std::isfinite(value);
}

// Bytes of one UTF-8 sequence starting with `lead`.
std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

std::string RowText(const nlohmann::json& row, std::string_view name) {
  const nlohmann::json* member = RowMemberOf(row, name);
  if (member == nullptr) return {};
  if (member->is_string()) return member->get<std::string>();
  if (member->is_boolean()) return member->get<bool>() ? "True" : "False";
  return member->dump();
}

double RowNumber(const nlohmann::json& row, std::string_view name) {
  const nlohmann::json* member = RowMemberOf(row, name);
  if (member == nullptr) return 0;
  if (member->is_number()) return member->get<double>();
  if (member->is_boolean()) return member->get<bool>() ? 1 : 0;
  double value = 0;
  if (member->is_string() && ParseRowDecimal(member->get<std::string>(), value)) return value;
  return 0;
}

std::int64_t RowInteger(const nlohmann::json& row, std::string_view name) {
  const nlohmann::json* member = RowMemberOf(row, name);
  if (member == nullptr) return 0;
  if (member->is_number_integer()) {
    if (member->is_number_unsigned() &&
        member->get<std::uint64_t>() >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::numeric_limits<std::int64_t>::max();
    }
    return member->get<std::int64_t>();
  }
  const double value = RowNumber(row, name);
  constexpr double kLimit = 9.2e18;
  if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (value <= -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

std::vector<const nlohmann::json*> ReplyRows(const nlohmann::json* reply, std::size_t& skipped) {
  std::vector<const nlohmann::json*> rows;
  skipped = 0;
  if (reply == nullptr || !reply->is_array()) return rows;
  for (const nlohmann::json& element : *reply) {
    if (element.is_object()) {
      rows.push_back(&element);
    } else {
      ++skipped;
    }
  }
  return rows;
}

std::string CloudMillisToDate(std::int64_t millis) {
  const sql::DateTime local = CloudMillisToDateTime(millis);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.year, local.month, local.day);
  return text;
}

std::string CutToCp936Bytes(std::string_view text, std::size_t maxBytes) {
  std::size_t bytes = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length =
        std::min(Utf8SequenceLength(static_cast<unsigned char>(text[at])), text.size() - at);
    const std::size_t width = length == 1 ? 1 : 2;
    if (bytes + width > maxBytes) break;
    bytes += width;
    at += length;
  }
  return std::string(text.substr(0, at));
}

}  // namespace quor::sync
