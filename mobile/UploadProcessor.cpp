#include "mobile/UploadProcessor.h"

#include <iostream>
#include <optional>

#include "mobile/SqliteFile.h"
#include "mobile/UploadBills.h"
#include "mobile/UploadContext.h"
#include "mobile/UploadFileCheck.h"
#include "mobile/UploadRecords.h"
#include "platform/sql/StoredProc.h"
#include "platform/sql/Transaction.h"

namespace quor::mobile {
namespace {

void LogUpload(const std::filesystem::path& file, const std::string& message) {
  std::cerr << "phone upload " << file.filename().string() << ": " << message << std::endl;
}

}  // namespace

bool ProcessUpload(sql::Connection& connection, const std::filesystem::path& file, bool transfer,
                   const std::filesystem::path& programFolder) {
  if (const std::optional<std::string> fault = UploadFileFault(file)) {
    LogUpload(file, *fault);
    return false;
  }
  try {
    SqliteFile upload(file, SqliteFile::Mode::kReadWrite);
    upload.Exec("BEGIN TRANSACTION");
    sql::StoredProc proc(connection, "PhoneProc");
    UploadContext context{connection, proc, upload, transfer, programFolder};
    sql::Transaction transaction(connection);
    ImportPhoneRecords(context);
    ImportPhoneBills(context);
    upload.Exec("COMMIT");
    transaction.Commit();
    return true;
  } catch (const std::exception& error) {
    LogUpload(file, std::string("nothing stored: ") + error.what());
    return false;
  }
}

}  // namespace quor::mobile
