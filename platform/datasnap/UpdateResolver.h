// Writes the changes a client dataset sends (AS_ApplyUpdates) back to the one
// table its rows came from, in the way the provider runtime does with its
// default options: inserted, modified and deleted records become INSERT,
// UPDATE and DELETE statements with the values as parameters; updates and
// deletes find their row by the original values of every field that is not a
// blob (NULL matched with IS NULL); a statement that touches no row is that
// record's error. All changes of one call are one transaction, rolled back
// when the errors exceed maxErrors (-1: no limit). Only the table and column
// names the server reported ever become statement text, bracket-quoted.
//
// The answer is Null when nothing failed, otherwise an error packet: the
// delta's own fields, then ERROR_RECORDNO (the record's number in the delta,
// from 1), ERROR_MESSAGE and ERROR_CODE (SQL Server's error number, 0 when the
// server reported none), one record per failed change holding its values.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "DeltaReader.h"
#include "platform/com/Variant.h"
#include "platform/sql/Connection.h"
#include "platform/sql/Field.h"

namespace quor::datasnap {

inline constexpr const char* kRecordChangedText = "Record not found or changed by another user";

// Throw std::runtime_error, before anything is written, when the delta's
// records are out of order (a modification without its original record just
// before it) or maxErrors is below -1, and when the delta is not of these
// fields (count, names, types). `provider` names the provider in the message.
void CheckDeltaRecords(const Delta& delta, std::int32_t maxErrors, const std::string& provider);
void CheckDeltaFields(const Delta& delta, std::span<const sql::Field> fields,
                      const std::string& provider);

bool HasChanges(const Delta& delta);

// Every change answered with `message` (counting up to maxErrors + 1).
com::Variant RefuseChanges(const Delta& delta, std::int32_t maxErrors, std::int32_t& errorCount,
                           const std::string& message);

// "[schema].[name]" of the table `name` (as a statement wrote it) as the
// server knows it; nullopt when the current database has no such table.
std::optional<std::string> LookUpTable(sql::Connection& connection, const std::string& name,
                                       int commandTimeout);

// Applies the changes to `quotedTable` (from LookUpTable) on `connection`.
// A lost link fails the call (the server has rolled back).
com::Variant ApplyChanges(sql::Connection& connection, const std::string& quotedTable,
                          std::span<const sql::Field> fields, const Delta& delta,
                          std::int32_t maxErrors, std::int32_t& errorCount, int commandTimeout);

}  // namespace quor::datasnap
