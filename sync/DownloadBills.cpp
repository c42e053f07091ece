// The bill half of the download: each cloud bill without a local bill
// number becomes a local bill with its account and goods lines, is told its
// local number, and is posted when the account set posts downloaded bills.
#include <cmath>
#include <exception>

#include "platform/sql/Transaction.h"
#include "sync/CloudRowMembers.h"
#include "sync/DownloadPass.h"
#include "sync/UploadSql.h"

namespace quor::sync {
namespace {

using com::Variant;
using Row = nlohmann::json;

enum class BillKind { kPurchase, kSale, kTransfer, kStoreOrder, kPayment };

BillKind BillKindOf(const CloudBillTable& table) {
  if (table.masterTable == "tb_purchase_info") return BillKind::kPurchase;
  if (table.masterTable == "tb_sale_info") return BillKind::kSale;
  if (table.masterTable == "tb_transfer_order") return BillKind::kTransfer;
  if (table.masterTable == "tb_store_order") return BillKind::kStoreOrder;
  return BillKind::kPayment;
}

// Amounts below this are rounding left-overs, not discounts or freight.
constexpr double kNoAmount = 0.00001;

// The bill's number travels inside SQL conditions that the cloud applies to
// its own tables, so a number that could end its literal is refused.
bool IsPlainBillNumber(const std::string& number) {
  if (number.empty() || number.size() > 100) return false;
  for (const char c : number) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\'' || c == '\\' || c == '"' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

// A downloaded master row read into the values of the local bill.
struct CloudBill {
  std::string number;
  std::int32_t type = 0;
  std::int32_t voucher = 0;
  std::int32_t draft = 1;
  std::string client;
  std::string handler;
  std::string storehouse;
  std::string storehouse2;
  std::string auditor;
  std::string summary;
  std::string remark;
  std::string account;
  std::string date;
  double total = 0;
  double discount = 0;
  double paid = 0;
  double wipeZero = 0;
  double otherCost = 0;
};

CloudBill ReadCloudBill(const Row& row, const CloudBillTable& table, BillKind kind) {
  CloudBill bill;
  bill.number = RowText(row, table.numberMember);
  const auto rowType = static_cast<std::int32_t>(RowInteger(row, "BillType"));
  const std::int64_t itemType = RowInteger(row, "item_type");
  bill.client = RowText(row, "ClientID");
  bill.auditor = RowText(row, "AuditingManID");
  bill.handler = kind == BillKind::kSale ? RowText(row, "PersonID") : bill.auditor;
  if (kind == BillKind::kTransfer) {
    bill.storehouse = RowText(row, "InStockID");
    bill.storehouse2 = RowText(row, "OutStockID");
  } else {
    bill.storehouse = RowText(row, "StockID");
  }
  bill.total = RowNumber(row, "total_amount");
  bill.discount = RowNumber(row, "discount");
  bill.remark = RowText(row, "remark");
  bill.account = RowText(row, "AccountID");
  bill.wipeZero = RowNumber(row, "wipe_zero");
  bill.otherCost = RowNumber(row, "other_cost");
  const bool payment = kind == BillKind::kPayment;
  bill.paid = RowNumber(row, payment ? "real_amount" : "already_paid");
  bill.date = CloudMillisToDate(RowInteger(row, payment ? "create_time" : "business_time"));
  bill.summary = RowInteger(row, "state") == 2 ? "手机制单" : "手机草稿";
  switch (kind) {
    case BillKind::kPurchase:
      bill.type = itemType == 1 ? 112 : itemType == 2 ? 113 : rowType;
      break;
    case BillKind::kSale:
      bill.type = itemType == 1 ? 115 : itemType == 2 ? 116 : 117;
      if (bill.type == 117) bill.paid -= bill.wipeZero;
      break;
    case BillKind::kTransfer:
      bill.type = 136;
      break;
    case BillKind::kStoreOrder:
      bill.type = 300;
      break;
    case BillKind::kPayment:
      bill.type = rowType;
      break;
  }
  if (bill.type == 117 || bill.type == 118) {
    bill.voucher = -100;
    bill.draft = 3;
    bill.client.clear();
  } else if (bill.type == 300) {
    bill.voucher = 0;
    bill.draft = 0;
  }
  return bill;
}

std::int32_t BillOutputInteger(const remote::BillWriteResult& result, std::string_view name) {
  const Variant& value = result.Output(name);
  return value.IsEmpty() || value.IsNull() ? 0 : value.ToI4();
}

// One account line of the bill; false when the line was refused.
bool WriteAccountLine(DownloadPass& pass, const CloudBill& bill, std::int32_t billId,
                      const std::string& account, double amount, int usedType) {
  const remote::BillWriteResult line =
      pass.WriteBill("InsertBillDetail", {{"nVchCode", Variant::I4(billId)},
                                          {"szatypeid", account},
                                          {"szbtypeid", bill.client},
                                          {"szetypeid", bill.handler},
                                          {"szktypeid", bill.storehouse},
                                          {"dtotal", Variant::R8(amount)},
                                          {"dDiscountTotal", Variant::R8(amount)},
                                          {"cUsedType", Variant::I4(usedType)},
                                          {"szDate", bill.date},
                                          {"Draft", Variant::I4(bill.draft)},
                                          {"nVchType", Variant::I4(bill.type)},
                                          {"UnitRate", Variant::I4(1)}});
  return BillOutputInteger(line, "nRet") >= 0;
}

// The master, its account lines and its goods lines; the bill number, or 0
// when anything was refused (the caller's transaction then undoes it all).
std::int32_t WriteLocalBill(DownloadPass& pass, const CloudBillTable& table, BillKind kind,
                            const CloudBill& bill) {
  const remote::BillWriteResult master =
      pass.WriteBill("InsertBillMaster", {{"lVchcode", Variant::I4(bill.voucher)},
                                          {"szDate", bill.date},
                                          {"lNumber", bill.number},
                                          {"iBackBillID", Variant::I4(0)},
                                          {"lVchtype", Variant::I4(bill.type)},
                                          {"Summary", bill.summary},
                                          {"Comment", bill.remark},
                                          {"Btypeid", bill.client},
                                          {"Etypeid", bill.handler},
                                          {"Ktypeid", bill.storehouse},
                                          {"Ktypeid2", bill.storehouse2},
                                          {"Inputno", bill.auditor},
                                          {"Draft", Variant::I4(bill.draft)},
                                          {"Redword", "F"},
                                          {"nTotal", Variant::R8(bill.total)},
                                          {"IsMobileBill", Variant::I4(1)},
                                          {"DefDiscount", Variant::R8(bill.discount / 100)}});
  const std::int32_t billId = BillOutputInteger(master, "nRet");
  if (billId <= 0) {
    pass.Log(table.masterTable + " " + bill.number + ": InsertBillMaster refused it (" +
             std::to_string(billId) + ")");
    return 0;
  }
  const bool payment = kind == BillKind::kPayment;
  bool stored =
      WriteAccountLine(pass, bill, billId, bill.account, bill.paid, payment ? 1001 : 1010);
  if (stored && std::fabs(bill.wipeZero) > kNoAmount) {
    stored = WriteAccountLine(pass, bill, billId, "000040000300006", bill.wipeZero, 1011);
  }
  if (stored && std::fabs(bill.otherCost) > kNoAmount) {
    stored = WriteAccountLine(pass, bill, billId, "000040000300005", bill.otherCost, 1014);
  }
  if (!stored) {
    pass.Log(table.masterTable + " " + bill.number + ": an account line was refused");
    return 0;
  }
  if (payment) return billId;

  const bool byStoreOrder = kind == BillKind::kTransfer || kind == BillKind::kStoreOrder;
  const std::string filter = std::string(byStoreOrder ? " And A.store_order_no = '"
                                                      : " And A." + table.numberMember + " = '") +
                             bill.number + "'";
  const DownloadedBill values{billId,       bill.type,       bill.client,
                              bill.handler, bill.storehouse, bill.date};
  if (!DownloadBillDetailsIn(pass, table.detailTable, filter, table.detailOrder, values)) {
    pass.Log(table.masterTable + " " + bill.number + ": its lines were not stored; the bill " +
             "is dropped and comes again next pass");
    return 0;
  }
  if (IsGarmentTrade(pass.Context().vocation)) {
    // The goods line of a ware counts what its colour/size lines hold.
    const std::string id = std::to_string(billId);
    pass.Execute(
        "UPDATE AAAAAAR SET Quantity=TB.Quantity FROM (SELECT BillID,DetailID,Sum(Quantity)"
        "Quantity FROM AAAAAAS D WHERE BillID=" +
            id +
            " GROUP BY BillID,DetailID) TB "
            "WHERE AAAAAAR.BillID=TB.BillID AND AAAAAAR.BillDetailID=TB.DetailID And "
            "AAAAAAR.BillID=" +
            id,
        {});
    pass.Execute(
        "UPDATE AAAAAAR SET SumTo=Quantity*Price,DiscountSumTo=Quantity*DiscountPrice,"
        "TaxSumTo=Quantity*TaxPrice,CostSumTo=Quantity*CostPrice WHERE BillID = " +
            id,
        {});
  }
  return billId;
}

// The cloud rows learn the local bill number: the lines first, so that a bill
// whose master is linked never has lines still waiting.
bool LinkBill(DownloadPass& pass, const CloudBillTable& table, BillKind kind,
              const std::string& number, std::int32_t billId) {
  const std::string id = std::to_string(billId);
  if (!table.detailTable.empty()) {
    const bool byStoreOrder = kind == BillKind::kTransfer || kind == BillKind::kStoreOrder;
    if (!pass.Succeeded(pass.Client().SetCloudBillColumn(
                            table.detailTable, "BillID", id,
                            byStoreOrder ? "store_order_no" : table.numberMember, number),
                        table.detailTable + " " + number + ": back-link to bill " + id)) {
      return false;
    }
  }
  return pass.Succeeded(
      pass.Client().SetCloudBillColumn(table.masterTable, "BillID", id, table.numberMember, number),
      table.masterTable + " " + number + ": back-link to bill " + id);
}

void PostBill(DownloadPass& pass, const CloudBillTable& table, const std::string& number,
              std::int32_t billId, std::int32_t billType) {
  const remote::BillWriteResult posted =
      pass.WriteBill("UpdateBillTransfer", {{"Vocation", pass.Context().vocation},
                                            {"nBillID", Variant::I4(billId)},
                                            {"nBillType", Variant::I4(billType)},
                                            {"iWriteIntoPrice", Variant::I4(0)},
                                            {"IsMobileBill", Variant::I4(1)}});
  const std::int32_t result = BillOutputInteger(posted, "iReturn");
  if (result != 0) {
    pass.Log(table.masterTable + " " + number + ": bill " + std::to_string(billId) +
             " was stored but not posted (" + std::to_string(result) + ")");
  }
}

// A bill stored earlier whose back-link failed: "id/type".
std::string PendingBillValue(std::int32_t billId, std::int32_t billType) {
  return std::to_string(billId) + "/" + std::to_string(billType);
}

bool ParsePendingBill(const std::string& value, std::int32_t& billId, std::int32_t& billType) {
  const std::size_t slash = value.find('/');
  if (slash == std::string::npos) return false;
  try {
    billId = std::stoi(value.substr(0, slash));
    billType = std::stoi(value.substr(slash + 1));
  } catch (const std::exception&) {
    return false;
  }
  return billId > 0;
}

void DownloadOneBill(DownloadPass& pass, const CloudBillTable& table, BillKind kind,
                     const Row& row) {
  const CloudBill bill = ReadCloudBill(row, table, kind);
  if (!IsPlainBillNumber(bill.number)) {
    pass.Log(table.masterTable + ": a bill numbered \"" + bill.number +
             "\" was left alone (no number, or one that cannot travel in a condition)");
    return;
  }
  std::int32_t billId = 0;
  std::int32_t billType = bill.type;
  const auto pending = pass.Links().Find(pass.Scope(), table.masterTable, bill.number);
  if (pending && ParsePendingBill(*pending, billId, billType)) {
    pass.Log(table.masterTable + " " + bill.number + ": finishing bill " + std::to_string(billId) +
             " stored earlier");
  } else {
    sql::Transaction transaction(pass.AccountSet());
    billId = WriteLocalBill(pass, table, kind, bill);
    if (billId <= 0) return;  // rolled back
    transaction.Commit();
  }
  if (!LinkBill(pass, table, kind, bill.number, billId)) {
    pass.Links().Remember(pass.Scope(), table.masterTable, bill.number,
                          PendingBillValue(billId, billType));
    return;
  }
  pass.Links().Forget(pass.Scope(), table.masterTable, bill.number);
  if (pass.Context().postAtOnce) PostBill(pass, table, bill.number, billId, billType);
}

}  // namespace

bool DownloadBillsIn(DownloadPass& pass, const CloudBillTable& table) {
  const CloudReply reply = pass.Client().FetchBillMasters(table.masterTable, table.stateFilter);
  if (!pass.Succeeded(reply, "fetching " + table.masterTable)) return false;
  if (!reply.json || !reply.json->is_array()) {
    pass.Log(table.masterTable +
             (reply.json ? ": the reply is no list of bills" : ": the reply is no JSON") +
             "; nothing stored");
    return false;
  }
  std::size_t skipped = 0;
  const std::vector<const Row*> rows = ReplyRows(reply.json ? &*reply.json : nullptr, skipped);
  if (skipped != 0) {
    pass.Log(table.masterTable + ": " + std::to_string(skipped) + " elements were no bills");
  }
  const BillKind kind = BillKindOf(table);
  for (const Row* row : rows) {
    try {
      DownloadOneBill(pass, table, kind, *row);
    } catch (const std::exception& error) {
      pass.Log(table.masterTable + " " + RowText(*row, table.numberMember) + ": " + error.what());
    }
  }
  return true;
}

bool DownloadBillDetailsIn(DownloadPass& pass, const std::string& detailTable,
                           const std::string& filter, const std::string& order,
                           const DownloadedBill& bill) {
  const CloudReply reply = pass.Client().FetchBillDetails(detailTable, filter, order);
  if (!pass.Succeeded(reply, "fetching " + detailTable)) return false;
  // Lines that cannot be read are not the same as a bill without lines.
  if (!reply.json || !reply.json->is_array()) {
    pass.Log(detailTable + ": the reply is no list of lines");
    return false;
  }
  std::size_t skipped = 0;
  const std::vector<const Row*> rows = ReplyRows(&*reply.json, skipped);
  if (skipped != 0) {
    pass.Log(detailTable + ": " + std::to_string(skipped) + " elements were no lines");
    return false;
  }
  const bool garment = IsGarmentTrade(pass.Context().vocation);
  const char* quantityMember = bill.billType == 136   ? "transfer_number"
                               : bill.billType == 300 ? "number"
                                                      : "quantity";
  const char* colourSizeMode = bill.billType == 117 || bill.billType == 118 ? "R"
                               : bill.billType == 300                       ? "O"
                                                                            : "D";
  const std::int32_t lineDraft = bill.billType == 300 ? 7 : 1;
  bool anyLine = false;
  std::string lastWare;
  std::int32_t lastLine = 0;
  for (const Row* row : rows) {
    const Row& line = *row;
    const std::string ware = RowText(line, "WareID");
    const double quantity = RowNumber(line, quantityMember);
    const std::string colour = RowText(line, "ColorID");
    const std::string size = RowText(line, "SizeID");
    // Garment rows arrive ordered by ware; one goods line carries them all.
    if (!garment || !anyLine || ware != lastWare) {
      const remote::BillWriteResult written = pass.WriteBill(
          "InsertBillDetail",
          {{"nVchCode", Variant::I4(bill.billId)},
           {"szatypeid", "0000100001"},
           {"szbtypeid", bill.client},
           {"szetypeid", bill.handler},
           {"szktypeid", bill.storehouse},
           {"szptypeid", ware},
           {"dqty", Variant::R8(quantity)},
           {"dDiscount", Variant::R8(RowNumber(line, "discount") / 100)},
           {"dDiscountPrice", Variant::R8(RowNumber(line, "true_price"))},
           {"nGoodNO", Variant::I4(-9999)},
           {"dPrice", Variant::R8(RowNumber(line, "price"))},
           {"dTaxPrice", Variant::R8(RowNumber(line, "price"))},
           {"dtotal", Variant::R8(RowNumber(line, "amount"))},
           {"szDate", bill.date},
           {"cUsedType", Variant::I4(1001)},
           {"dTax_Total", Variant::R8(RowNumber(line, "true_amount"))},
           {"dDiscountTotal", Variant::R8(RowNumber(line, "true_amount"))},
           {"Draft", Variant::I4(lineDraft)},
           {"nVchType", Variant::I4(bill.billType)},
           {"UnitNo", Variant::I4(static_cast<std::int32_t>(RowInteger(line, "UnitNo")))},
           {"UnitID", RowText(line, "UnitID")},
           {"UnitRate", Variant::R8(RowNumber(line, "UnitRate"))},
           {"RetailPrice", Variant::R8(RowNumber(line, "retail_price_area"))},
           {"DonateStatus", Variant::I4(size == "00002" ? 1 : 0)},
           {"EligibleProve", Variant::I4(1)}});
      if (BillOutputInteger(written, "nRet") < 0) {
        pass.Log(detailTable + ": the line of ware " + ware + " was refused (" +
                 std::to_string(BillOutputInteger(written, "nRet")) + ")");
        return false;
      }
      lastLine = BillOutputInteger(written, "OutDetailID");
      lastWare = ware;
      anyLine = true;
    }
    if (garment && lastLine >= 1 && !colour.empty() && !size.empty()) {
      const remote::BillWriteResult written = pass.WriteBill(
          "InsertBillDetailColorSize", {{"BillID", Variant::I4(bill.billId)},
                                        {"DetailID", Variant::I4(lastLine)},
                                        {"ColorID", colour},
                                        {"SizeID", size},
                                        {"ColorGroupID", RowText(line, "ColorGroupID")},
                                        {"SizeGroupID", RowText(line, "SizeGroupID")},
                                        {"Quantity", Variant::R8(quantity)},
                                        {"BillMode", colourSizeMode}});
      if (BillOutputInteger(written, "iReturn") < 0) {
        pass.Log(detailTable + ": the colour/size line " + colour + "/" + size + " of ware " +
                 ware + " was refused");
        return false;
      }
    }
  }
  return true;
}

bool DownloadBills(CloudClient& client, sql::Connection& accountSet, const DownloadContext& context,
                   const CloudBillTable& table) {
  DownloadPass pass(client, accountSet, context);
  return DownloadBillsIn(pass, table);
}

bool DownloadBillDetails(CloudClient& client, sql::Connection& accountSet,
                         const DownloadContext& context, const std::string& detailTable,
                         const std::string& filter, const std::string& order,
                         const DownloadedBill& bill) {
  DownloadPass pass(client, accountSet, context);
  return DownloadBillDetailsIn(pass, detailTable, filter, order, bill);
}

}  // namespace quor::sync
