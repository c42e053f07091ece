// The cloud change queue, table UploadAppServer of master: a desktop client's
// new goods, customer, supplier, account or storehouse record gets a "BASIC"
// row there, and a bill it posted a "BILL" row, so the synchroniser sends them
// to the cloud. Only the interface members add rows; the phone upload and the
// cloud download write records and bills without them.
#pragma once

#include <cstddef>
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

// Whether a record about to be written gets a row should its writer succeed:
// server-side synchronisation applies, the record is created (mode 0) and the
// vocation is not kMobileVocation. The result and identifier are not looked at.
bool MayQueueBasicChange(const BasicChange& change);

// Whether `change` gets a row: MayQueueBasicChange, and the writer's result is 0.
bool QueuesBasicChange(const BasicChange& change);

// The width of the queue's DataBase, Vocation and BasicDB columns, varchar(50).
// master's Chinese collation stores varchar in code page 936, so SQL Server
// counts a Chinese character as two.
inline constexpr std::size_t kQueueNameColumnWidth = 50;

// Throws std::invalid_argument naming the value and the width when a row for
// `change` may be added (MayQueueBasicChange) and its vocation or table would
// not fit the queue. Called before the record is written: a record
// stored without its row fails the call, and the client's retry would store
// the record a second time.
void RequireQueueRowFits(const BasicChange& change);

// Adds the "BASIC" row for `change` on `query` when QueuesBasicChange says so,
// and returns whether it did. The values travel as statement parameters, so no
// text of a client's ever becomes part of the statement. Errors are the
// statement's own (SqlError) and leave the row unwritten.
bool EnqueueBasicChange(sql::Statement& query, const BasicChange& change);

}  // namespace quor::remote

namespace quor::remote {

// A bill a posting (UpdateBillTransfer) has just handled.
struct BillChange {
  std::string database;  // the account set
  std::string vocation;  // the caller's trade code
  std::int32_t billId = 0;
  std::int32_t billType = 0;
  std::int32_t isMobileBill = 0;  // nonzero: the bill came from a phone
  std::int32_t result = 0;        // the posting's iReturn
};

// Whether `change` gets a "BILL" row: server-side synchronisation applies, the
// bill is no phone's and the posting returned 0.
bool QueuesBillChange(const BillChange& change);

// Throws std::invalid_argument when a row for a bill may be added (server-side
// synchronisation applies) and `vocation` would not fit the queue. Called
// before the posting, for the reason RequireQueueRowFits gives.
void RequireBillQueueRowFits(const std::string& vocation);

// Adds the "BILL" row for `change` on `query` when QueuesBillChange says so,
// and returns whether it did; values travel as statement parameters.
bool EnqueueBillChange(sql::Statement& query, const BillChange& change);

}  // namespace quor::remote
