// The first half of an upload: the clients, persons, stores, units and wares
// made on the phone (rows without a SelfID) are found on the server by code
// and name or created through the shared record writers, and their server ids
// are written into the uploaded bill lines that refer to them.
#pragma once

#include "mobile/UploadContext.h"

namespace quor::mobile {

// Throws UploadRefused when a writer reports a failure code, and whatever the
// server or SQLite raise.
void ImportPhoneRecords(UploadContext& context);

}  // namespace quor::mobile
