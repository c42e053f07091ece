// The phone's download file: an SQLite file shaped by the template
// Data/jxcdatabase.db that holds the basic data a person may see and either
// the rights of every person (person index "1") or the bill lines of a date
// range, read from the mobile account set.
#pragma once

#include <filesystem>
#include <string>

#include "platform/sql/Connection.h"

namespace quor::mobile {

struct DownloadRequest {
  std::string personIndex, beginDate, endDate;
};

// Builds the phone's download file at `target` from the account set on `connection`, using
// the template SQLite file `templateFile`. Throws (std::invalid_argument for a person index
// that is not digits or dates that are not real "YYYY-MM-DD"; std::runtime_error / SqlError
// otherwise); on any throw `target` does not exist afterwards.
// A target held under an flock() by someone else (a file still being sent) is
// left as it is and nothing is built.
void BuildDownloadFile(sql::Connection& connection, const DownloadRequest& request,
                       const std::filesystem::path& templateFile,
                       const std::filesystem::path& target);

// The template's place below the program folder: "Data/jxcdatabase.db".
std::filesystem::path DownloadTemplatePath(const std::filesystem::path& programFolder);

}  // namespace quor::mobile
