#include "remote/methods/BillWriters.h"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>
#include <system_error>

#include "platform/com/VariantConvert.h"
#include "platform/datasnap/VariantValue.h"
#include "platform/text/AsciiText.h"
#include "remote/ClientPath.h"
#include "remote/SerialText.h"
#include "remote/methods/ArgumentText.h"
#include "remote/methods/CallPattern.h"
#include "remote/methods/MethodCatalogue.h"

namespace quor::remote {
namespace {

namespace fs = std::filesystem;

constexpr std::array<std::string_view, 5> kMasterProcedures = {
    "AAAAARU;1", "AAAABBF;1", "AAAAART;1", "AAAAARV;1", "AAAABBD;1"};

// Where each argument of InsertBillMaster that not every procedure takes goes,
// per procedure in the order of kMasterProcedures; empty: not sent.
struct MasterFeed {
  std::string_view argument;
  std::array<std::string_view, 5> parameter;
};

// clang-format off
constexpr MasterFeed kMasterFeeds[] = {
    {"lVchcode", {"", "@BillID", "", "", "@BillID"}},
    {"iBackBillID", {"", "", "@BackBillID", "@BackBillID", "@BackBillID"}},
    {"iCardID", {"", "", "@VIPCardID", "@VIPCardID", "@VIPCardID"}},
    {"iVIPDiscFlag", {"", "", "@VIPDiscFlag", "@VIPDiscFlag", "@VIPDiscFlag"}},
    {"iVIPSaveFlag", {"", "", "@VIPSaveFlag", "@VIPSaveFlag", "@VIPSaveFlag"}},
    {"iVDisCount", {"", "", "@VIPDisCount", "@VIPDisCount", "@VIPDisCount"}},
    {"iVCardOdd", {"", "", "@VIPCardOdd", "@VIPCardOdd", "@VIPCardOdd"}},
    {"InvoiceType", {"@AuditingMan1", "@AuditingMan1", "@InvoiceType", "@InvoiceType", "@InvoiceType"}},
    {"InvoiceNo", {"", "", "@InvoiceNo", "@InvoiceNo", "@InvoiceNo"}},
    {"InvoiceDate", {"", "", "@InvoiceDate", "@InvoiceDate", "@InvoiceDate"}},
    {"InvoiceSumTo", {"", "", "@InvoiceSumTo", "@InvoiceSumTo", "@InvoiceSumTo"}},
    {"FreightID", {"@FreightID", "@FreightID", "@FreightID", "", "@FreightID"}},
    {"ServeRate", {"", "", "@ServeRate", "", "@ServeRate"}},
    {"ServeTerm", {"", "", "@ServeTerm", "", "@ServeTerm"}},
    {"ServeCount", {"", "", "@ServeCount", "", "@ServeCount"}},
    {"ServeDone", {"", "", "@ServeDone", "", "@ServeDone"}},
    {"ChangeSumTo", {"", "", "@ChangeSumTo", "", "@ChangeSumTo"}},
    {"IsRetailBill", {"", "", "@IsRetailBill", "", "@IsRetailBill"}},
    {"IsMobileBill", {"", "", "@IsMobileBill", "", ""}},
    {"NormalChange", {"", "", "@NormalChange", "", "@NormalChange"}},
    {"IsPrepareBill", {"", "", "@IsPrepareBill", "", ""}},
    {"IsConveyBill", {"", "", "@IsConveyBill", "", "@IsConveyBill"}},
    {"ShopID", {"@ShopID", "", "@ShopID", "@ShopID", ""}},
};
// clang-format on

std::int32_t IntegerArgument(std::string_view member, std::string_view name,
                             const com::Variant& value) {
  com::Variant number;
  if (com::TryChangeType(value, com::VT_I4, number) != com::S_OK) {
    throw std::runtime_error(std::string(member) + ": " + std::string(name) + " \"" +
                             TextOf(value) + "\" is no whole number; nothing was stored");
  }
  return number.GetI4();
}

std::size_t SlotOf(const MethodDescription& method, std::string_view name) {
  std::size_t slot = 0;
  for (const Argument& argument : method.arguments) {
    if (argument.direction == ArgDirection::kRetVal) continue;
    if (text::EqualsIgnoringAsciiCase(argument.name, name)) return slot;
    ++slot;
  }
  throw std::logic_error(std::string(method.name) + " has no argument " + std::string(name));
}

// InsertBillMaster's row with the parameters of one of its five procedures.
const MethodDescription& MasterRowFor(std::string_view procedure) {
  static const std::map<std::string_view, MethodDescription> kRows = [] {
    std::map<std::string_view, MethodDescription> rows;
    for (std::size_t p = 0; p < kMasterProcedures.size(); ++p) {
      MethodDescription row = BillRow("InsertBillMaster");
      row.procedure = kMasterProcedures[p];
      for (Argument& argument : row.arguments) {
        for (const MasterFeed& feed : kMasterFeeds) {
          if (feed.argument != argument.name) continue;
          if (feed.parameter[p].empty()) {
            argument.send = SendRule::kNotSent;
          } else {
            argument.parameter = feed.parameter[p];
          }
        }
      }
      rows.emplace(kMasterProcedures[p], std::move(row));
    }
    return rows;
  }();
  return kRows.at(procedure);
}

void RunRow(sql::StoredProc& proc, const MethodDescription& row, com::DispatchArgs& args,
            std::string_view procedure = {}) {
  PrepareProcedure(proc, procedure.empty() ? row.procedure : procedure);
  AssignArguments(proc, row, args);
  proc.ExecProc();
  ReadResults(proc, row, args);
}

bool IsPlainFolderName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find("..") != std::string_view::npos) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '/' || c == '\\' || c == ':' || byte < 0x20 || byte == 0x7f;
  });
}

}  // namespace

const MethodDescription& BillRow(std::string_view name) {
  for (const auto* family : {&BillMethods(), &StockSerialMethods()}) {
    for (const MethodDescription& method : *family) {
      if (method.name == name) return method;
    }
  }
  throw std::logic_error("no bill member " + std::string(name));
}

const std::vector<std::string>& SharedBillWriterNames() {
  static const std::vector<std::string> kNames = {"InsertBillMaster", "InsertBillDetail",
                                                  "InsertBillDetailColorSize", "UpdateBillTransfer",
                                                  "DeleteBillMaster"};
  return kNames;
}

const com::Variant& BillWriteResult::Output(std::string_view name) const {
  for (const auto& [outName, value] : outputs) {
    if (text::EqualsIgnoringAsciiCase(outName, name)) return value;
  }
  throw std::out_of_range("no out argument " + std::string(name));
}

std::string_view BillMasterProcedure(const com::Variant& draft, const com::Variant& billId) {
  const std::int32_t mode = IntegerArgument("InsertBillMaster", "Draft", draft);
  const std::int32_t bill = IntegerArgument("InsertBillMaster", "lVchcode", billId);
  if (mode == 0 || mode == 8) return bill == 0 ? kMasterProcedures[0] : kMasterProcedures[1];
  if (bill == 0) return kMasterProcedures[2];
  return bill == -100 ? kMasterProcedures[3] : kMasterProcedures[4];
}

std::string_view BillDetailProcedure(const com::Variant& draft, const com::Variant& billType) {
  const std::int32_t mode = IntegerArgument("InsertBillDetail", "Draft", draft);
  const std::int32_t type = IntegerArgument("InsertBillDetail", "nVchType", billType);
  if (mode == 0) return "AAAAARQ;1";
  if (type == 117 || type == 118) return "AAAAARS;1";
  if (mode == 7 || mode == 8) return "AAAAARR;1";
  return "AAAAARQ;1";
}

std::optional<std::string> AnnexFolderName(std::string_view userGuid, std::int32_t billType,
                                           std::int32_t billId) {
  if (!IsPlainFolderName(userGuid)) return std::nullopt;
  std::string name =
      "@" + std::string(userGuid) + "_" + std::to_string(billType) + "_" + std::to_string(billId);
  if (!IsPlainFolderName(name)) return std::nullopt;
  return name;
}

void WriteBillMaster(sql::StoredProc& proc, com::DispatchArgs& args) {
  const MethodDescription& row = BillRow("InsertBillMaster");
  const std::string_view procedure =
      BillMasterProcedure(args[SlotOf(row, "Draft")], args[SlotOf(row, "lVchcode")]);
  RunRow(proc, MasterRowFor(procedure), args);
}

void WriteBillDetail(sql::StoredProc& proc, com::DispatchArgs& args) {
  const MethodDescription& row = BillRow("InsertBillDetail");
  const com::Variant& draft = args[SlotOf(row, "Draft")];
  const std::string_view procedure = BillDetailProcedure(draft, args[SlotOf(row, "nVchType")]);
  const std::vector<SerialEntry> serials = SerialEntries(TextOf(args[SlotOf(row, "SerialNo")]), 2);
  RunRow(proc, row, args, procedure);
  const std::size_t retSlot = SlotOf(row, "nRet");
  const std::int32_t lineId = args[retSlot].ToI4();
  if (lineId <= 0) return;

  const MethodDescription& serialRow =
      BillRow(IntegerArgument("InsertBillDetail", "Draft", draft) == 7 ? "UpdateBillSerialOrder"
                                                                       : "UpdateBillSerialDraft");
  const auto in = [&](const char* name) { return args[SlotOf(row, name)]; };
  std::int32_t outcome = 0;
  for (const SerialEntry& entry : serials) {
    com::DispatchArgs serialArgs({in("OperatorID"), in("CompanyID"), in("nVchType"), in("nVchCode"),
                                  com::Variant::I4(lineId), in("szDate"), in("szptypeid"),
                                  in("szbtypeid"), in("szktypeid"), in("szetypeid"),
                                  com::Variant(entry.serial), com::Variant(entry.remark),
                                  com::Variant::I4(0)});
    RunRow(proc, serialRow, serialArgs);
    outcome = serialArgs[12].ToI4();
    if (outcome != 0) break;
  }
  args[retSlot] = com::Variant::I4(outcome);
}

void WriteBillTransfer(sql::StoredProc& proc, com::DispatchArgs& args) {
  const MethodDescription& row = BillRow("UpdateBillTransfer");
  for (const char* name : {"szWareIDo", "szClientIDo", "szAccountIDo", "szStockIDo"}) {
    args[SlotOf(row, name)] = com::Variant();
  }
  RunRow(proc, row, args);
  const std::size_t result = SlotOf(row, "iReturn");
  if (args[result].ToI4() == 0) {
    args[result] =
        com::ChangeType(datasnap::ToVariant(proc.ParamValue("@ErrorReturn")), com::VT_I4);
  }
}

void WriteBillDeletion(sql::StoredProc& proc, com::DispatchArgs& args,
                       const fs::path& programFolder) {
  const MethodDescription& row = BillRow("DeleteBillMaster");
  const std::int32_t billType =
      IntegerArgument("DeleteBillMaster", "nBillType", args[SlotOf(row, "nBillType")]);
  const std::int32_t billId =
      IntegerArgument("DeleteBillMaster", "nBillID", args[SlotOf(row, "nBillID")]);
  const std::optional<std::string> annex =
      AnnexFolderName(TextOf(args[SlotOf(row, "UserGUID")]), billType, billId);
  RunRow(proc, row, args);
  if (!annex || programFolder.empty()) return;
  const std::optional<fs::path> folder = ResolveClientPath({programFolder}, "Annex\\" + *annex);
  if (!folder || !IsFolder(*folder)) return;
  std::error_code error;
  fs::remove_all(*folder, error);  // the outcome is not reported
}

BillWriteResult WriteBillValues(std::string_view writer, sql::StoredProc& proc,
                                const RecordValues& values, const fs::path& programFolder) {
  const auto& names = SharedBillWriterNames();
  if (std::find(names.begin(), names.end(), writer) == names.end()) {
    throw std::invalid_argument(std::string(writer) + " is no bill writer");
  }
  const MethodDescription& row = BillRow(writer);
  const com::MemberInfo member = DispatchMemberOf(row);
  std::vector<bool> named;
  std::vector<com::Variant> declared = ValuesInDeclaredOrder(writer, member, values, named);
  for (std::size_t slot = 0; slot < member.params.size(); ++slot) {
    const com::ParamInfo& param = member.params[slot];
    if (param.type == com::VT_VARIANT) continue;
    com::Variant converted;
    if (com::Failed(com::TryChangeType(declared[slot], param.type, converted))) {
      throw std::invalid_argument(std::string(writer) + ": argument " + param.name +
                                  " does not convert to " + com::VarTypeName(param.type));
    }
    declared[slot] = std::move(converted);
  }
  com::DispatchArgs args(std::move(declared));
  if (writer == "InsertBillMaster") {
    WriteBillMaster(proc, args);
  } else if (writer == "InsertBillDetail") {
    WriteBillDetail(proc, args);
  } else if (writer == "UpdateBillTransfer") {
    WriteBillTransfer(proc, args);
  } else if (writer == "DeleteBillMaster") {
    WriteBillDeletion(proc, args, programFolder);
  } else {
    RunRow(proc, row, args);
  }
  BillWriteResult result;
  for (std::size_t slot = 0; slot < member.params.size(); ++slot) {
    if (member.params[slot].mode == com::ParamMode::In) continue;
    result.outputs.emplace_back(member.params[slot].name, args[slot]);
  }
  return result;
}

}  // namespace quor::remote
