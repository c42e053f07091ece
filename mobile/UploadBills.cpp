#include "mobile/UploadBills.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "mobile/ImportMarks.h"
#include "platform/sql/Statement.h"
#include "remote/methods/BillWriters.h"

namespace quor::mobile {
namespace {

using remote::RecordValues;

constexpr const char* kGoodsAccount = "0000100001";
constexpr const char* kCashAccount = "0000100003";

// One bill line as the phone stored it.
struct UploadedLine {
  std::int64_t type = 0;
  std::string billNumber, stockId, clientId, personId, wareId, unitId;
  std::string memo, serialNo, refNo, headerText;
  std::int64_t dateTime = 0;
  std::int64_t unitNo = 0;
  double unitRate = 0, quantity = 0, price = 0, total = 0, received = 0, discount = 0;
  std::vector<std::string> allValues;  // every column, for the bill's digest
};

// A line with the values it is stored with.
struct StoredLine {
  std::int64_t type = 0;
  std::string billNumber, date, client, person, store, secondStore, ware, unitId;
  std::int64_t unitNo = 0;
  double unitRate = 1, quantity = 0, price = 0, total = 0, received = 0, discount = 1;
  std::string memo, serials, account = kGoodsAccount;
  std::int32_t orientation = 1001, billMode = 0, lineDraft = 1, billDraft = 1;
};

std::vector<UploadedLine> ReadUploadedLines(SqliteFile& file) {
  SqliteStatement rows = file.Prepare(
      "SELECT * FROM AZ_BillDetailAll WHERE ifnull(nDeletionFlag,0)<>1 And "
      "ifnull(IsDownData,'')<>'Y'");
  const auto column = [&rows](const char* name) { return rows.ColumnIndex(name); };
  const int type = column("nBillType"), number = column("sBillNumber"), stock = column("StockID"),
            dateTime = column("nDateTime"), client = column("ClientID"),
            person = column("PersonID"), ware = column("WareID"), unitNo = column("UnitNo"),
            unitId = column("UnitID"), unitRate = column("fUnitRate"), qty = column("nWareQty"),
            price = column("fPrice"), total = column("fTotal"), received = column("fReceived"),
            discount = column("fDiscount"), memo = column("sMemo"), serial = column("sSerialNo"),
            refNo = column("sRefNo"), header = column("sHeaderText");
  std::vector<UploadedLine> lines;
  while (rows.Step()) {
    UploadedLine line;
    line.type = rows.Integer(type);
    line.billNumber = rows.Text(number);
    line.stockId = rows.Text(stock);
    line.dateTime = rows.Integer(dateTime);
    line.clientId = rows.Text(client);
    line.personId = rows.Text(person);
    line.wareId = rows.Text(ware);
    line.unitNo = rows.Integer(unitNo);
    line.unitId = rows.Text(unitId);
    line.unitRate = rows.Double(unitRate);
    line.quantity = rows.Double(qty);
    line.price = rows.Double(price);
    line.total = rows.Double(total);
    line.received = rows.Double(received);
    line.discount = rows.Double(discount);
    line.memo = rows.Text(memo);
    line.serialNo = rows.Text(serial);
    line.refNo = rows.Text(refNo);
    line.headerText = rows.Text(header);
    for (int i = 0; i < rows.ColumnCount(); ++i) {
      line.allValues.push_back(rows.IsNull(i) ? std::string("\x01NULL") : rows.Text(i));
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// Every LF becomes CR CR and the text ends in CR CR: serial number and an
// empty remark per line, as the serial-number pass reads them.
std::string PhoneSerials(const std::string& text) {
  if (text.empty()) return {};
  std::string serials;
  for (char c : text) {
    if (c == '\n') {
      serials += "\r\r";
    } else {
      serials += c;
    }
  }
  return serials + "\r\r";
}

StoredLine StoredFrom(const UploadedLine& line, std::int64_t type, const std::string& number,
                      const std::string& secondStore) {
  StoredLine stored;
  stored.type = type;
  stored.billNumber = number;
  stored.date = PhoneDate(line.dateTime);
  stored.client = line.clientId;
  stored.person = line.personId;
  stored.store = line.stockId;
  stored.secondStore = secondStore;
  stored.ware = line.wareId;
  stored.unitNo = line.unitNo;
  stored.unitId = line.unitId;
  stored.unitRate = line.unitRate;
  stored.quantity = std::fabs(line.quantity);
  stored.total = std::fabs(line.total);
  stored.price = line.price;
  stored.received = line.received;
  stored.discount = line.discount / 100.0;
  stored.memo = line.memo;
  if (line.unitRate > 1) {
    stored.quantity /= line.unitRate;
    stored.price = line.price * line.unitRate;
  }
  if (type == 171 || type == 172) {
    stored.account = kCashAccount;
    stored.discount = 1;
    stored.billNumber = line.refNo;
    stored.total = line.received;
    stored.memo = line.headerText;
  }
  if (type == 135 || type == 1351) {
    stored.orientation = type == 135 ? 1002 : 1001;
    stored.type = 135;
    stored.secondStore = line.stockId;
  } else if (type == 401 || type == 4011) {
    stored.orientation = type == 401 ? 1001 : 1002;
    stored.type = 135;
    stored.secondStore = line.stockId;
    stored.billMode = 401;
  } else if (type == 300) {
    stored.quantity = line.quantity;
    stored.billDraft = 0;
    stored.lineDraft = 7;
  }
  stored.serials = PhoneSerials(line.serialNo);
  if (stored.discount <= 0) stored.discount = 1;
  return stored;
}

struct PhoneBill {
  std::vector<StoredLine> lines;
  BillDigest digest;
};

// Lines in file order, a transfer line (1361) taking its partner, split into
// bills at each change of bill number.
std::vector<PhoneBill> GroupIntoBills(const std::vector<UploadedLine>& uploaded) {
  std::vector<PhoneBill> bills;
  for (std::size_t i = 0; i < uploaded.size(); ++i) {
    const UploadedLine& first = uploaded[i];
    if (first.type <= 0) {
      throw UploadRefused("a bill line of type " + std::to_string(first.type));
    }
    std::string secondStore;
    const UploadedLine* line = &first;
    std::int64_t type = first.type;
    if (first.type == 1361) {
      if (i + 1 >= uploaded.size()) throw UploadRefused("a transfer line without its partner");
      secondStore = first.stockId;
      line = &uploaded[++i];
      type = line->type;
      if (type <= 0) throw UploadRefused("a bill line of type " + std::to_string(type));
    }
    StoredLine stored = StoredFrom(*line, type, first.billNumber, secondStore);
    if (bills.empty() || bills.back().lines.back().billNumber != stored.billNumber) {
      bills.emplace_back();
    }
    PhoneBill& bill = bills.back();
    for (const UploadedLine* part : {&first, line}) {
      for (const std::string& value : part->allValues) bill.digest.AddValue(value);
      bill.digest.EndLine();
      if (part == line) break;
    }
    bill.lines.push_back(std::move(stored));
  }
  return bills;
}

RecordValues WithOperator(RecordValues values) {
  values.insert(values.begin(), {{"OperatorID", kPhoneOperator}, {"CompanyID", kPhoneCompany}});
  return values;
}

std::int32_t CreateMaster(UploadContext& context, const PhoneBill& bill) {
  const StoredLine& head = bill.lines.front();
  double total = 0;
  for (const StoredLine& line : bill.lines) total += line.total;
  const remote::BillWriteResult master = remote::WriteBillValues(
      "InsertBillMaster", context.proc,
      WithOperator({{"lVchcode", com::Variant::I4(0)},
                    {"szDate", head.date},
                    {"lNumber", head.billNumber},
                    {"iBackBillID", com::Variant::I4(0)},
                    {"lVchtype", com::Variant::I4(static_cast<std::int32_t>(head.type))},
                    {"Summary", "手机制单"},
                    {"Comment", head.memo},
                    {"Btypeid", head.client},
                    {"Etypeid", head.person},
                    {"Ktypeid", head.store},
                    {"Ktypeid2", head.secondStore},
                    {"szperiod", com::Variant::I4(1)},
                    {"Inputno", head.person},
                    {"Draft", com::Variant::I4(head.billDraft)},
                    {"Redword", "F"},
                    {"nBillType", com::Variant::I4(head.billMode)},
                    {"nTotal", total},
                    {"DefDiscount", com::Variant::I4(1)},
                    {"IsRetailBill", com::Variant::I4(0)},
                    {"IsMobileBill", com::Variant::I4(0)},
                    {"NormalChange", com::Variant::I4(0)},
                    {"IsPrepareBill", com::Variant::I4(0)},
                    {"iCardID", com::Variant::I4(0)},
                    {"ServeCount", com::Variant::I4(0)},
                    {"ServeDone", com::Variant::I4(0)}}),
      context.programFolder);
  const std::int32_t billId = master.Output("nRet").ToI4();
  if (billId <= 0) {
    throw UploadRefused("InsertBillMaster refused bill " + head.billNumber + " (" +
                        std::to_string(billId) + ")");
  }
  return billId;
}

void WriteDetail(UploadContext& context, const RecordValues& values, const std::string& number) {
  const remote::BillWriteResult detail =
      remote::WriteBillValues("InsertBillDetail", context.proc, WithOperator(values));
  const std::int32_t result = detail.Output("nRet").ToI4();
  if (result != 0) {
    throw UploadRefused("InsertBillDetail refused a line of bill " + number + " (" +
                        std::to_string(result) + ")");
  }
}

void CreateLines(UploadContext& context, std::int32_t billId, const StoredLine& line) {
  const auto type = com::Variant::I4(static_cast<std::int32_t>(line.type));
  WriteDetail(context,
              {{"nVchCode", com::Variant::I4(billId)},
               {"szatypeid", line.account},
               {"szbtypeid", line.client},
               {"szetypeid", line.person},
               {"szktypeid", line.store},
               {"szktypeid2", line.secondStore},
               {"szptypeid", line.ware},
               {"dqty", line.quantity},
               {"dReferUnitRate", 0.0},
               {"dReferQuantity", 0.0},
               {"dDiscount", line.discount},
               {"dDiscountPrice", line.price},
               {"nGoodNO", com::Variant::I4(-9999)},
               {"dPrice", line.price},
               {"dtotal", line.total},
               {"dTaxPrice", line.price},
               {"szDate", line.date},
               {"cUsedType", com::Variant::I4(line.orientation)},
               {"Period", com::Variant::I4(1)},
               {"dTax_Total", line.discount},
               {"dDiscountTotal", line.discount},
               {"SerialNo", line.serials},
               {"Draft", com::Variant::I4(line.lineDraft)},
               {"nVchType", type},
               {"UnitNo", com::Variant::I4(static_cast<std::int32_t>(line.unitNo))},
               {"UnitID", line.unitId},
               {"UnitRate", line.unitRate},
               {"TicketQuantity", line.quantity},
               {"TicketPrice", line.price},
               {"TicketSumTo", line.total},
               {"EligibleProve", com::Variant::I4(1)}},
              line.billNumber);
  if (line.received > 0 && line.type != 171 && line.type != 172) {
    WriteDetail(context,
                {{"nVchCode", com::Variant::I4(billId)},
                 {"szatypeid", kCashAccount},
                 {"szbtypeid", line.client},
                 {"szetypeid", line.person},
                 {"szktypeid", line.store},
                 {"dqty", 0.0},
                 {"dDiscount", 1.0},
                 {"dDiscountPrice", line.received},
                 {"dtotal", line.received},
                 {"szDate", line.date},
                 {"cUsedType", com::Variant::I4(1010)},
                 {"Period", com::Variant::I4(1)},
                 {"dTax_Total", line.received},
                 {"dDiscountTotal", line.received},
                 {"SerialNo", ""},
                 {"Draft", com::Variant::I4(line.lineDraft)},
                 {"nVchType", type},
                 {"UnitRate", 1.0},
                 {"TicketQuantity", line.quantity},
                 {"TicketSumTo", line.received},
                 {"EligibleProve", com::Variant::I4(1)}},
                line.billNumber);
  }
}

void FinishBill(UploadContext& context, std::int32_t billId, const StoredLine& head) {
  const std::string id = std::to_string(billId);
  context.connection.Execute(
      "UPDATE AAAAAAR SET ReferUnitRate = IsNull((SELECT ReferQtyRate FROM AAAAAFT WHERE SelfID "
      "= AAAAAAR.WareID),0) WHERE BillID = " +
      id);
  context.connection.Execute(
      "UPDATE AAAAAAR SET ReferQuantity = ReferUnitRate*Quantity WHERE BillID = " + id);
  if (!context.transfer) return;
  const remote::BillWriteResult posting = remote::WriteBillValues(
      "UpdateBillTransfer", context.proc,
      WithOperator({{"Vocation", kPhoneVocation},
                    {"nBillID", com::Variant::I4(billId)},
                    {"nBillType", com::Variant::I4(static_cast<std::int32_t>(head.type))},
                    {"iWriteIntoPrice", com::Variant::I4(0)},
                    {"IsMobileBill", com::Variant::I4(0)}}));
  const std::int32_t result = posting.Output("iReturn").ToI4();
  if (result != 0) {
    throw UploadRefused("UpdateBillTransfer refused bill " + head.billNumber + " (" +
                        std::to_string(result) + ")");
  }
}

}  // namespace

std::string PhoneDate(std::int64_t milliseconds) {
  std::int64_t seconds = milliseconds / 1000;
  if (milliseconds % 1000 < 0) --seconds;
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char date[32];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday);
  return date;
}

void ImportPhoneBills(UploadContext& context) {
  const std::vector<PhoneBill> bills = GroupIntoBills(ReadUploadedLines(context.file));
  ImportMarks marks(context.connection);
  if (!bills.empty()) marks.Prepare();
  for (const PhoneBill& bill : bills) {
    const std::string key = bill.digest.Key();
    if (marks.StoredBill(key)) continue;
    const std::int32_t billId = CreateMaster(context, bill);
    for (const StoredLine& line : bill.lines) CreateLines(context, billId, line);
    FinishBill(context, billId, bill.lines.front());
    marks.Mark(key, billId, bill.lines.front().billNumber);
  }
  context.file.Exec("DELETE FROM AZ_BillDetailAll");
  context.connection.Execute(
      "UPDATE AAAAABG SET BranchID = ISNULL ((SELECT BranchID FROM AAAAADG WHERE SelfID = "
      "AAAAABG.PersonID), '') WHERE BranchID = ''");
  context.connection.Execute(
      "UPDATE AAAAAAR SET BranchID = ISNULL ((SELECT BranchID FROM AAAAADG WHERE SelfID = "
      "AAAAAAR.PersonID), '') WHERE BranchID = ''");
}

}  // namespace quor::mobile
