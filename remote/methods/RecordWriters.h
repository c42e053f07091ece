// The basic-record writers shared by the three roads that store records: the
// desktop interface, the phone upload and the cloud download. Each runs the
// procedure of the interface member of the same name, with that member's
// parameter rules, on a stored-procedure component the caller passes (on any
// connection). None adds a change-queue row: that belongs to the interface
// members alone.
//
//   sql::StoredProc proc(phoneConnection, "PhoneProc");
//   remote::WriteResult unit = remote::WriteRecordValues(
//       "InsertUnitInfo", proc,
//       {{"Mode", com::Variant::I4(0)}, {"SelfID", "00000"}, {"LongName", "箱"}});
//   if (unit.nRet == 0) ... unit.newId ...
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/DispatchTable.h"
#include "platform/sql/StoredProc.h"
#include "remote/methods/MethodDescription.h"

namespace quor::remote {

// In-arguments of the member by name (letter case free), in any order. An
// argument left out is sent as the blank of its parameter's declared type:
// empty text, 0, false, or NULL for dates, binary and anything else; a mode
// argument left out counts as 0 (create). A name the member does not take as an
// in-argument, or one named twice, is refused with std::invalid_argument.
using RecordValues = std::vector<std::pair<std::string, com::Variant>>;

struct WriteResult {
  std::int32_t nRet = 0;  // the procedure's return value
  com::Variant newId;     // NewSelfID (OutGroupID for the group kinds); empty when none
};

// Runs the record writer `writer` (one of SharedRecordWriterNames) with
// `values`. Errors are those of the call pattern (SqlError from the server,
// conversion errors naming the member and argument), rethrown as they were
// raised; a name that is no record writer is refused with
// std::invalid_argument.
WriteResult WriteRecordValues(std::string_view writer, sql::StoredProc& proc,
                              const RecordValues& values);

// `values` in the declared order of `member`'s arguments, each marked in
// `named`; a slot without a value is left empty. Refuses, naming `writer`, what
// RecordValues says is refused. Shared by the record and the bill writers so
// that both take their values by the same rules.
std::vector<com::Variant> ValuesInDeclaredOrder(std::string_view writer,
                                                const com::MemberInfo& member,
                                                const RecordValues& values,
                                                std::vector<bool>& named);

// The members WriteRecordValues runs, by name.
const std::vector<std::string>& SharedRecordWriterNames();

// The interface road: the call pattern of `method` on `proc`, with the
// arguments as the member received them (declared order); out arguments are
// written into args.
void WriteRecord(sql::StoredProc& proc, const MethodDescription& method, com::DispatchArgs& args);

}  // namespace quor::remote
