// What the steps of one upload share: the mobile connection with its
// stored-procedure component, the uploaded file, and the refusal that stops an
// upload when a writer reports a failure code.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "mobile/SqliteFile.h"
#include "platform/com/Variant.h"
#include "platform/sql/Connection.h"
#include "platform/sql/StoredProc.h"

namespace quor::mobile {

class UploadRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct UploadContext {
  sql::Connection& connection;
  sql::StoredProc& proc;
  SqliteFile& file;
  bool transfer = false;
  std::filesystem::path programFolder;
};

// Constants every business operation of an upload is given.
inline constexpr const char* kPhoneOperator = "00000";
inline constexpr const char* kPhoneCompany = "00001";
inline constexpr const char* kPhoneVocation = "Phone";

// The SelfID of the first row of `table` whose CodeName and LongName equal
// `code` and `name` (an empty one is left out of the condition); empty when
// none. Both are sent as parameters.
std::string LookUpSelfId(sql::Connection& connection, std::string_view table,
                         const std::string& code, const std::string& name);
// The SelfID of the row of `table` with IndexID `index`; empty when none.
std::string LookUpSelfIdByIndex(sql::Connection& connection, std::string_view table,
                                std::int64_t index);

// An uploaded row's value read as a whole number, when it is one.
std::optional<std::int64_t> WholeNumber(const std::string& text);
// Binds an uploaded id as the phone stored it: a whole number as such, any
// other text as text.
void BindPhoneId(SqliteStatement& statement, int index, const std::string& text);

}  // namespace quor::mobile
