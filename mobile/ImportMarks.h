// What keeps a phone's upload from being stored twice. A phone that sent an
// upload and missed the "<Success>" sends the same file again; every bill
// stored from an upload leaves a row in the account-set table
// QuorPhoneUploadBill keyed by a digest of the bill's lines as the phone wrote
// them, in the same transaction as the bill itself. A bill whose key is there
// was stored before and is skipped; basic records need no mark, since they are
// looked up by code and name before one is created.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sql/Connection.h"

namespace quor::mobile {

// Digest of a bill as the phone sent it: every value of every line, in order.
class BillDigest {
 public:
  void AddValue(std::string_view value);
  void EndLine();
  // 32 hexadecimal digits.
  std::string Key() const;

 private:
  void Mix(unsigned char byte);
  std::uint64_t first_ = 0xcbf29ce484222325ULL;
  std::uint64_t second_ = 0x84222325cbf29ce4ULL;
};

class ImportMarks {
 public:
  explicit ImportMarks(sql::Connection& connection);
  // Creates the table when the account set has none yet.
  void Prepare();
  // The bill stored under `key` by an earlier upload.
  std::optional<std::int32_t> StoredBill(const std::string& key);
  void Mark(const std::string& key, std::int32_t billId, const std::string& billNumber);

 private:
  sql::Connection& connection_;
};

}  // namespace quor::mobile
