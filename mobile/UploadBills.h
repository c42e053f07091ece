// The second half of an upload: the phone's bill lines (not downloaded, not
// deleted) become one bill per run of equal bill numbers through the shared
// bill writers, posted when the upload is a transfer, and the uploaded lines
// are cleared. Bills an earlier upload already stored are skipped (ImportMarks).
#pragma once

#include "mobile/UploadContext.h"

namespace quor::mobile {

// Throws UploadRefused for a line the phone should not have written (a type of
// 0 or less, a transfer line without its partner) and for a writer's failure
// code, and whatever the server or SQLite raise.
void ImportPhoneBills(UploadContext& context);

// "YYYY-MM-DD" of a phone time (milliseconds since 1970-01-01).
std::string PhoneDate(std::int64_t milliseconds);

}  // namespace quor::mobile
