// The rows of a local query as the cloud's "tableData": a JSON array of row
// objects, member per field in field order (identity columns left out), at
// most kCloudBatchRows rows per request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sql/RecordSet.h"

namespace quor::sync {

inline constexpr std::size_t kCloudBatchRows = 1002;

struct CloudRowBatch {
  std::string json;      // compact JSON text
  std::size_t next = 0;  // the first row of the next batch
  bool end = true;       // no rows are left after this batch
};

// Rows from `start` (0-based) of the current result set. Values: NULL → null;
// date-times → milliseconds since 1970-01-01 UTC under this machine's time zone;
// long texts as they are; other texts without CR and LF; bytes → Base64 with
// line breaks; numbers and booleans as JSON numbers and booleans. A batch that
// ends exactly at the last row reports the end, so no empty batch follows.
CloudRowBatch SerializeRowsToJson(const sql::RecordSet& records, std::size_t start);

// Standard Base64 with "=" padding and CR LF after every 76 characters,
// the last full line included.
std::string Base64EncodeStream(const std::vector<std::uint8_t>& bytes);

// A local date-time as milliseconds since the epoch, under the time zone rules
// of this machine (TZ).
std::int64_t LocalDateTimeToEpochMillis(const sql::DateTime& local);

}  // namespace quor::sync
