// The cloud change queue, table UploadAppServer of master: a desktop client's
// new goods, customer, supplier, account or storehouse record gets a row there
// so the synchroniser sends it to the cloud. Only the interface members add
// rows; the phone upload and the cloud download write records without them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sql/Statement.h"

namespace quor::remote {

// The queue's table name for supplier records (customers written with IsClient 2).
inline constexpr const char* kSupplierTable = "BZ_SupplierInfo";
// The trade code of calls from the mobile side; their records came from the
// cloud and must not go back to it.
inline constexpr const char* kMobileVocation = "Phone";

// A basic record a writer has just stored.
struct BasicChange {
  std::string database;     // the account set
  std::string vocation;     // the caller's trade code
  std::string table;        // the record's table ("AAAAAFT", ... or kSupplierTable)
  std::string selfId;       // the record's identifier
  std::int32_t mode = 0;    // the writer's mode argument: 0 created, other updated
  std::int32_t result = 0;  // the writer's procedure result
};

// Server-side synchronisation applies: the console's in-memory switch
// UseClientAutoSynchro is off and the setting StartAutoSynchro is "True". The
// setting is read through the configuration cache, which the synchroniser's
// own flag follows (it is loaded from there and saved there when changed).
bool ServerSideSynchronisation();

// Whether `change` gets a row: server-side synchronisation applies, the record
// was created (mode 0) with result 0, and the vocation is not kMobileVocation.
bool QueuesBasicChange(const BasicChange& change);

// Adds the "BASIC" row for `change` on `query` when QueuesBasicChange says so,
// and returns whether it did. The values travel as statement parameters, so no
// text of a client's ever becomes part of the statement. Errors are the
// statement's own (SqlError) and leave the row unwritten.
bool EnqueueBasicChange(sql::Statement& query, const BasicChange& change);

}  // namespace quor::remote
