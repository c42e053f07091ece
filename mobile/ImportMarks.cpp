#include "mobile/ImportMarks.h"

#include <cstdio>

#include "platform/sql/RecordSet.h"
#include "platform/sql/Statement.h"

namespace quor::mobile {
namespace {

void AddTextParam(sql::Statement& statement, std::string value) {
  statement.Params()
      .Add(sql::Parameter("", sql::ParamDirection::kInput))
      .SetValue(sql::Value::Text(std::move(value)));
}

}  // namespace

void BillDigest::Mix(unsigned char byte) {
  // Two FNV-1a streams with different offsets give a 128-bit key.
  first_ = (first_ ^ byte) * 0x100000001b3ULL;
  second_ = (second_ ^ static_cast<unsigned char>(byte + 0x5b)) * 0x100000001b3ULL;
}

void BillDigest::AddValue(std::string_view value) {
  // The length first, so that no two lists of values read as the same bytes.
  const std::string length = std::to_string(value.size()) + ":";
  for (char c : length) Mix(static_cast<unsigned char>(c));
  for (char c : value) Mix(static_cast<unsigned char>(c));
}

void BillDigest::EndLine() {
  Mix(0x1e);
}

std::string BillDigest::Key() const {
  char key[33];
  std::snprintf(key, sizeof key, "%016llx%016llx", static_cast<unsigned long long>(first_),
                static_cast<unsigned long long>(second_));
  return key;
}

ImportMarks::ImportMarks(sql::Connection& connection) : connection_(connection) {}

void ImportMarks::Prepare() {
  connection_.Execute(
      "IF OBJECT_ID(N'QuorPhoneUploadBill', N'U') IS NULL CREATE TABLE QuorPhoneUploadBill "
      "(UploadKey varchar(40) NOT NULL PRIMARY KEY, BillID int NOT NULL, BillNumber "
      "nvarchar(100) NULL, ImportTime datetime NOT NULL DEFAULT GETDATE())");
}

std::optional<std::int32_t> ImportMarks::StoredBill(const std::string& key) {
  sql::Statement lookup(connection_, "PhoneUploadMark");
  lookup.SetParamCheck(false);
  lookup.SetText("SELECT BillID FROM QuorPhoneUploadBill WHERE UploadKey = ?");
  AddTextParam(lookup, key);
  sql::RecordSet& rows = lookup.Open();
  if (rows.Eof()) return std::nullopt;
  return static_cast<std::int32_t>(rows.FieldByName("BillID").AsInteger());
}

void ImportMarks::Mark(const std::string& key, std::int32_t billId, const std::string& billNumber) {
  sql::Statement insert(connection_, "PhoneUploadMark");
  insert.SetParamCheck(false);
  insert.SetText(
      "INSERT INTO QuorPhoneUploadBill (UploadKey, BillID, BillNumber) VALUES (?, ?, ?)");
  AddTextParam(insert, key);
  insert.Params()
      .Add(sql::Parameter("", sql::ParamDirection::kInput))
      .SetValue(sql::Value::Integer(billId));
  AddTextParam(insert, billNumber);
  insert.Execute();
}

}  // namespace quor::mobile
