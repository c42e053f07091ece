// The bill writers shared by the three roads that store bills: the desktop
// interface, the phone upload and the cloud download. Each runs the
// procedures of the interface member of the same name, with that member's
// rules, on a stored-procedure component the caller passes (on any
// connection). None assigns a bill number or adds a change-queue row: those
// belong to the interface members alone.
//
//   sql::StoredProc proc(phoneConnection, "PhoneBillProc");
//   remote::BillWriteResult line = remote::WriteBillValues(
//       "InsertBillDetail", proc,
//       {{"nVchCode", com::Variant::I4(305)}, {"szptypeid", "0000100001"}, {"dqty", 2.0},
//        {"Draft", com::Variant::I4(0)}, {"nVchType", com::Variant::I4(11)},
//        {"SerialNo", "SN1\r\nfirst\r\nSN2\r\nsecond"}});
//   line.Output("OutDetailID") ... line.Output("nRet")
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/DispatchTable.h"
#include "platform/sql/StoredProc.h"
#include "remote/methods/MethodDescription.h"
#include "remote/methods/RecordWriters.h"

namespace quor::remote {

// The five members WriteBillValues runs, by name: InsertBillMaster,
// InsertBillDetail, InsertBillDetailColorSize, UpdateBillTransfer and
// DeleteBillMaster.
const std::vector<std::string>& SharedBillWriterNames();

struct BillWriteResult {
  // Every out argument of the member by name, in declared order.
  std::vector<std::pair<std::string, com::Variant>> outputs;
  // The value of one out argument; throws std::out_of_range for another name.
  const com::Variant& Output(std::string_view name) const;
};

// Runs the bill writer `writer` with `values` (in-arguments of the member by
// name, letter case free, in any order; one left out is sent empty). A name
// the member does not take, or one given twice, is std::invalid_argument.
// DeleteBillMaster removes the bill's annex folder below `programFolder`.
BillWriteResult WriteBillValues(std::string_view writer, sql::StoredProc& proc,
                                const RecordValues& values,
                                const std::filesystem::path& programFolder = {});

// The routines themselves, on the arguments in the member's declared order.
// InsertBillMaster: the procedure chosen by Draft and lVchcode (lNumber is
// sent as it stands).
void WriteBillMaster(sql::StoredProc& proc, com::DispatchArgs& args);
// InsertBillDetail: the procedure chosen by Draft and nVchType, then the
// serial-number pass; nRet is 0 when every serial number was stored, else the
// return value of the first serial procedure that refused one.
void WriteBillDetail(sql::StoredProc& proc, com::DispatchArgs& args);
// UpdateBillTransfer without the change-queue row.
void WriteBillTransfer(sql::StoredProc& proc, com::DispatchArgs& args);
// DeleteBillMaster, then its annex folder below `programFolder` when the
// folder's name is one plain name (see AnnexFolderName).
void WriteBillDeletion(sql::StoredProc& proc, com::DispatchArgs& args,
                       const std::filesystem::path& programFolder);

// The procedures InsertBillMaster and InsertBillDetail choose. Throw
// std::runtime_error naming the argument when Draft, lVchcode or nVchType is
// no integer.
std::string_view BillMasterProcedure(const com::Variant& draft, const com::Variant& billId);
std::string_view BillDetailProcedure(const com::Variant& draft, const com::Variant& billType);

// "@<UserGUID>_<type>_<id>", the annex folder of a bill directly below
// "Annex"; nothing when the name would hold a path separator, "..", a NUL or
// another control character, or ":".
std::optional<std::string> AnnexFolderName(std::string_view userGuid, std::int32_t billType,
                                           std::int32_t billId);

// The row of a bill or stock member by name (std::logic_error when none).
const MethodDescription& BillRow(std::string_view name);

}  // namespace quor::remote
