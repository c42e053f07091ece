#include "sync/CloudRows.h"

#include <ctime>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quor::sync {

namespace {

bool IsIdentityField(const sql::Field& field) {
  return field.typeName.find(" identity") != std::string::npos;
}

// Long texts keep their line breaks; the cloud stores them as notes.
bool IsMemoField(const sql::Field& field) {
  const std::string& type = field.typeName;
  if (type == "text" || type == "ntext" || type == "xml") return true;
  return field.size == 0 || field.size >= (1u << 30);
}

std::string WithoutLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

nlohmann::ordered_json CloudJsonOfValue(const sql::Field& field, const sql::Value& value) {
  switch (value.Kind()) {
    case sql::ValueKind::kNull:
      return nullptr;
    case sql::ValueKind::kBoolean:
      return value.AsBoolean();
    case sql::ValueKind::kInteger:
      return value.AsInteger();
    case sql::ValueKind::kDouble:
      return value.AsDouble();
    case sql::ValueKind::kDecimal: {
      const std::string& digits = value.DecimalText();
      if (digits.find('.') == std::string::npos) {
        try {
          return static_cast<std::int64_t>(std::stoll(digits));
        } catch (const std::exception&) {
        }
      }
      return value.AsDouble();
    }
    case sql::ValueKind::kDateTime:
      return LocalDateTimeToEpochMillis(value.AsDateTime());
    case sql::ValueKind::kBytes:
      return Base64EncodeStream(value.AsBytes());
    case sql::ValueKind::kText:
      if (IsMemoField(field)) return value.AsText();
      return WithoutLineBreaks(value.AsText());
  }
  return nullptr;
}

}  // namespace

CloudRowBatch SerializeRowsToJson(const sql::RecordSet& records, std::size_t start) {
  const auto& fields = records.Fields();
  const auto& rows = records.Rows();
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  CloudRowBatch batch;
  std::size_t row = start;
  for (; row < rows.size() && row - start < kCloudBatchRows; ++row) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (IsIdentityField(fields[i])) continue;
      object[fields[i].name] = CloudJsonOfValue(fields[i], rows[row][i]);
    }
    array.push_back(std::move(object));
  }
  batch.next = row;
  batch.end = row >= rows.size();
  batch.json = array.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  return batch;
}

std::string Base64EncodeStream(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve(bytes.size() * 4 / 3 + bytes.size() / 28 + 8);
  std::size_t lineLength = 0;
  auto put = [&](char c) {
    out += c;
    if (++lineLength == 76) {
      out += "\r\n";
      lineLength = 0;
    }
  };
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    put(kAlphabet[(group >> 18) & 63]);
    put(kAlphabet[(group >> 12) & 63]);
    put(kAlphabet[(group >> 6) & 63]);
    put(kAlphabet[group & 63]);
  }
  if (std::size_t left = bytes.size() - i; left > 0) {
    std::uint32_t group = bytes[i] << 16;
    if (left == 2) group |= bytes[i + 1] << 8;
    put(kAlphabet[(group >> 18) & 63]);
    put(kAlphabet[(group >> 12) & 63]);
    put(left == 2 ? kAlphabet[(group >> 6) & 63] : '=');
    put('=');
  }
  return out;
}

std::int64_t LocalDateTimeToEpochMillis(const sql::DateTime& local) {
  std::tm parts{};
  parts.tm_year = local.year - 1900;
  parts.tm_mon = local.month - 1;
  parts.tm_mday = local.day;
  parts.tm_hour = local.hour;
  parts.tm_min = local.minute;
  parts.tm_sec = local.second;
  parts.tm_isdst = -1;
  std::time_t seconds = std::mktime(&parts);
  return static_cast<std::int64_t>(seconds) * 1000 + local.nanosecond / 1000000;
}

}  // namespace quor::sync
