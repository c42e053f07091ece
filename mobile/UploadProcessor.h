// Turns a phone's upload file into account-set data: the records and bills made
// on the phone, all in one transaction on the mobile connection, so an upload is
// stored whole or not at all and an upload sent again stores nothing twice.
#pragma once

#include <filesystem>

#include "platform/sql/Connection.h"

namespace quor::mobile {

// Runs the upload processing on the uploaded SQLite file `file`; `transfer` posts the bills.
// True only when the whole upload was stored (one transaction on `connection`); false after a
// rollback for any refusal or failure (reason logged). Never throws for bad files.
bool ProcessUpload(sql::Connection& connection, const std::filesystem::path& file, bool transfer,
                   const std::filesystem::path& programFolder);

}  // namespace quor::mobile
