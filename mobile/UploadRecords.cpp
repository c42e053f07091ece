#include "mobile/UploadRecords.h"

#include <map>

#include "remote/methods/RecordWriters.h"

namespace quor::mobile {
namespace {

using remote::RecordValues;

// One uploaded row, read by column name.
class PhoneRow {
 public:
  explicit PhoneRow(SqliteStatement& rows) : rows_(rows) {}
  std::string Text(std::string_view column) const {
    const int index = rows_.ColumnIndex(column);
    return index < 0 ? std::string() : rows_.Text(index);
  }
  double Number(std::string_view column) const {
    const int index = rows_.ColumnIndex(column);
    return index < 0 ? 0.0 : rows_.Double(index);
  }

 private:
  SqliteStatement& rows_;
};

// Runs a record writer and returns the new record's id; a failure code or a
// missing id stops the upload.
std::string CreateRecord(UploadContext& context, std::string_view writer,
                         const RecordValues& values) {
  RecordValues all = {{"OperatorID", kPhoneOperator}, {"CompanyID", kPhoneCompany}};
  all.insert(all.end(), values.begin(), values.end());
  const remote::WriteResult result = remote::WriteRecordValues(writer, context.proc, all);
  const std::string id =
      result.newId.IsEmpty() || result.newId.IsNull() ? std::string() : result.newId.ToString();
  if (result.nRet != 0 || id.empty()) {
    throw UploadRefused(std::string(writer) + " refused the phone's record (" +
                        std::to_string(result.nRet) + ")");
  }
  return id;
}

// Writes the server id of a phone row into the bill lines that name it.
void WriteBackId(UploadContext& context, const char* idColumn, const char* phoneColumn,
                 const std::string& serverId, const std::string& phoneId) {
  SqliteStatement update = context.file.Prepare(std::string("UPDATE AZ_BillDetailAll SET ") +
                                                idColumn + "=? WHERE " + phoneColumn + "=?");
  update.BindText(1, serverId);
  BindPhoneId(update, 2, phoneId);
  update.Run();
}

void ImportClients(UploadContext& context) {
  SqliteStatement rows =
      context.file.Prepare("SELECT * FROM AZ_ClientInfo WHERE ifnull(SelfID,'')=''");
  while (rows.Step()) {
    const PhoneRow row(rows);
    const std::string code = row.Text("sClientCode");
    const std::string name = row.Text("sClientName");
    std::string id = LookUpSelfId(context.connection, "AAAAABY", code, name);
    if (id.empty()) {
      const bool vendor = row.Text("bIsVendor") == "Y";
      const bool customer = row.Text("bIsCustomer") == "Y";
      const std::int32_t isClient = vendor && customer ? 0 : customer ? 1 : vendor ? 2 : 0;
      id = CreateRecord(context, "InsertClientInfo",
                        {{"Vocation", kPhoneVocation},
                         {"lMode", com::Variant::I4(0)},
                         {"ParId", "00000"},
                         {"dbName", "AAAAABY"},
                         {"Fullname", name},
                         {"szName", name},
                         {"UserCode", code},
                         {"Telephone", row.Text("sTelephone")},
                         {"MovePhone", row.Text("sMovePhone")},
                         {"Address", row.Text("sAddress")},
                         {"Person", row.Text("sLinkman")},
                         {"QQNumber", row.Text("sQQNumber")},
                         {"EMail", row.Text("sEMail")},
                         {"Comment", row.Text("sMemo")},
                         {"namepy", row.Text("sBopomofo")},
                         {"FaxNum", row.Text("sFaxNumber")},
                         {"IsClient", com::Variant::I4(isClient)},
                         {"ManageTypes", com::Variant::I4(-1)}});
    }
    WriteBackId(context, "ClientID", "nClientID", id, row.Text("_ID"));
  }
}

void ImportPersons(UploadContext& context) {
  SqliteStatement rows =
      context.file.Prepare("SELECT * FROM AZ_PersonInfo WHERE ifnull(SelfID,'')=''");
  while (rows.Step()) {
    const PhoneRow row(rows);
    const std::string name = row.Text("sPersonName");
    std::string id = LookUpSelfId(context.connection, "AAAAADG", "", name);
    if (id.empty()) {
      id = CreateRecord(context, "InsertPersonInfo",
                        {{"Vocation", kPhoneVocation},
                         {"lMode", com::Variant::I4(0)},
                         {"ParId", "00000"},
                         {"dbName", "AAAAADG"},
                         {"Fullname", name},
                         {"UserCode", row.Text("sPersonCode")},
                         {"MovePhone", row.Text("sPersonPhone")},
                         {"EMail", row.Text("sMail")},
                         {"Address", row.Text("sAddress")},
                         {"Comment", row.Text("sMemo")},
                         {"namepy", row.Text("sBopomofo")},
                         {"UserImage", com::Variant::Null()},
                         {"Abdicate", false},
                         {"IsManagerMan", false},
                         {"IsJobPermit", false},
                         {"IsImpleDoctor", false}});
    }
    WriteBackId(context, "PersonID", "nPersonID", id, row.Text("_ID"));
  }
  // The root person is nobody in particular on a bill.
  context.file.Exec("UPDATE AZ_BillDetailAll SET PersonID='' WHERE PersonID='00000'");
}

void ImportStores(UploadContext& context) {
  SqliteStatement rows =
      context.file.Prepare("SELECT * FROM AZ_StockInfo WHERE ifnull(SelfID,'')=''");
  while (rows.Step()) {
    const PhoneRow row(rows);
    const std::string code = row.Text("sStockCode");
    const std::string name = row.Text("sStockName");
    std::string id = LookUpSelfId(context.connection, "AAAAAEO", code, name);
    if (id.empty()) {
      id = CreateRecord(context, "InsertStockInfo",
                        {{"Vocation", kPhoneVocation},
                         {"lMode", com::Variant::I4(0)},
                         {"ParId", "00000"},
                         {"dbName", "AAAAAEO"},
                         {"Fullname", name},
                         {"szName", name},
                         {"UserCode", code},
                         {"StockType", com::Variant::I4(1)},
                         {"Comment", row.Text("sDescription")},
                         {"Bopomofo", row.Text("sBopomofo")},
                         {"ForRetail", com::Variant::I4(0)},
                         {"CurrRow", com::Variant::I4(0)}});
    }
    WriteBackId(context, "StockID", "nStockID", id, row.Text("_ID"));
  }
}

// Units come before the wares, so that a ware made on the phone with a unit
// made on the phone gets that unit's server id (phone unit _ID -> SelfID).
std::map<std::int64_t, std::string> ImportUnits(UploadContext& context) {
  std::map<std::int64_t, std::string> phoneUnits;
  SqliteStatement rows = context.file.Prepare(
      "SELECT * FROM AZ_OtherInfo WHERE nFieldType=101 And ifnull(SelfID,'')=''");
  while (rows.Step()) {
    const PhoneRow row(rows);
    const std::string name = row.Text("sFieldName");
    std::string id = LookUpSelfId(context.connection, "AAAAAFN", "", name);
    if (id.empty()) {
      id = CreateRecord(context, "InsertUnitInfo",
                        {{"Mode", com::Variant::I4(0)},
                         {"SelfID", "00000"},
                         {"LongName", name},
                         {"CodeName", ""},
                         {"Memo", ""},
                         {"Bopomofo", ""},
                         {"CurrRow", com::Variant::I4(0)}});
    }
    if (const std::optional<std::int64_t> phoneId = WholeNumber(row.Text("_ID"))) {
      phoneUnits[*phoneId] = id;
    }
  }
  return phoneUnits;
}

void ImportWares(UploadContext& context, const std::map<std::int64_t, std::string>& phoneUnits) {
  SqliteStatement rows =
      context.file.Prepare("SELECT * FROM AZ_WareInfo WHERE ifnull(SelfID,'')=''");
  while (rows.Step()) {
    const PhoneRow row(rows);
    std::string unitId;
    if (const std::optional<std::int64_t> unit = WholeNumber(row.Text("nWareUnit"))) {
      const auto made = phoneUnits.find(*unit);
      unitId = made != phoneUnits.end()
                   ? made->second
                   : LookUpSelfIdByIndex(context.connection, "AAAAAFN", *unit - 400000);
    }
    const std::string code = row.Text("sWareCode");
    const std::string name = row.Text("sWareName");
    std::string id = LookUpSelfId(context.connection, "AAAAAFT", code, name);
    if (id.empty()) {
      id = CreateRecord(context, "InsertWareInfo",
                        {{"Vocation", kPhoneVocation},
                         {"lMode", com::Variant::I4(0)},
                         {"ParId", "00000"},
                         {"dbName", "AAAAAFT"},
                         {"Fullname", name},
                         {"szName", name},
                         {"UserCode", code},
                         {"UnitID", unitId},
                         {"UnitRate1", com::Variant::I4(1)},
                         {"BuyDiscount", "0"},
                         {"Comment", row.Text("sWareMemo")},
                         {"namepy", row.Text("sBopomofo")},
                         {"Barcode", row.Text("sBarCode")},
                         {"UserImage", com::Variant::Null()}});
    }
    const remote::WriteResult prices =
        remote::WriteRecordValues("UpdateWareInfoAppend", context.proc,
                                  {{"OperatorID", kPhoneOperator},
                                   {"CompanyID", kPhoneCompany},
                                   {"WareID", id},
                                   {"UnitRowNumber", com::Variant::I4(0)},
                                   {"PriceRetail", row.Number("fRetailPrice")},
                                   {"PrepPrice1", row.Number("fSalePrice")},
                                   {"PrepPrice2", row.Number("fShowPrice")},
                                   {"MinPrice", row.Number("fMinPrice")},
                                   {"IntoPrice", row.Number("fBuyPrice")},
                                   {"AppImgUrl", ""}});
    if (prices.nRet != 0) {
      throw UploadRefused("UpdateWareInfoAppend refused the prices of " + id + " (" +
                          std::to_string(prices.nRet) + ")");
    }
    WriteBackId(context, "WareID", "nWareID", id, row.Text("_ID"));
  }
}

}  // namespace

void ImportPhoneRecords(UploadContext& context) {
  ImportClients(context);
  ImportPersons(context);
  ImportStores(context);
  const std::map<std::int64_t, std::string> phoneUnits = ImportUnits(context);
  ImportWares(context, phoneUnits);
}

}  // namespace quor::mobile
