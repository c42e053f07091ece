#include "mobile/UploadFileCheck.h"

#include <cstring>
#include <fstream>
#include <set>
#include <vector>

#include "mobile/SqliteFile.h"
#include "platform/text/AsciiText.h"

namespace quor::mobile {
namespace {

struct UploadTable {
  const char* name;
  std::vector<const char*> columns;
};

const std::vector<UploadTable>& UploadTables() {
  static const std::vector<UploadTable> kTables = {
      {"AZ_ClientInfo",
       {"_ID", "SelfID", "sClientCode", "sClientName", "sAddress", "sLinkman", "sMovePhone",
        "sFaxNumber", "sTelephone", "sQQNumber", "sEMail", "sMemo", "sBopomofo", "bIsVendor",
        "bIsCustomer"}},
      {"AZ_PersonInfo",
       {"_ID", "SelfID", "sPersonCode", "sPersonName", "sPersonPhone", "sMail", "sAddress",
        "sBopomofo", "sMemo"}},
      {"AZ_StockInfo", {"_ID", "SelfID", "sStockCode", "sStockName", "sBopomofo", "sDescription"}},
      {"AZ_WareInfo",
       {"_ID", "SelfID", "sWareCode", "sWareName", "sBarCode", "sWareMemo", "fBuyPrice",
        "fSalePrice", "fShowPrice", "fMinPrice", "fRetailPrice", "nWareUnit", "sBopomofo"}},
      {"AZ_OtherInfo", {"_ID", "SelfID", "nFieldType", "sFieldName"}},
      {"AZ_BillDetailAll",
       {"_ID",       "nDeletionFlag",   "IsDownData", "nBillType",  "sBillNumber", "StockID",
        "nStockID",  "nStockDirection", "nDateTime",  "ClientID",   "nClientID",   "PersonID",
        "nPersonID", "WareID",          "nWareID",    "nWareUnit",  "UnitNo",      "UnitID",
        "fUnitRate", "nWareQty",        "fPrice",     "fTotal",     "fReceived",   "fDiscount",
        "sMemo",     "sSerialNo",       "sRefNo",     "sHeaderText"}},
  };
  return kTables;
}

bool HasSqliteHeader(const std::filesystem::path& file) {
  static constexpr char kMagic[] = "SQLite format 3";  // 16 bytes with its NUL
  std::ifstream in(file, std::ios::binary);
  char header[sizeof kMagic] = {};
  if (!in.read(header, sizeof header)) return false;
  return std::memcmp(header, kMagic, sizeof kMagic) == 0;
}

std::set<std::string> ColumnsOf(SqliteFile& db, const char* table) {
  std::set<std::string> columns;
  SqliteStatement info = db.Prepare("SELECT name FROM pragma_table_info(?)");
  info.BindText(1, table);
  while (info.Step()) columns.insert(text::AsciiLower(info.Text(0)));
  return columns;
}

}  // namespace

std::optional<std::string> UploadFileFault(const std::filesystem::path& file) {
  std::error_code status;
  if (!std::filesystem::is_regular_file(file, status)) return "the upload file is missing";
  if (!HasSqliteHeader(file)) return "the upload is no SQLite file";
  try {
    SqliteFile db(file, SqliteFile::Mode::kReadWrite);
    SqliteStatement check = db.Prepare("PRAGMA quick_check");
    while (check.Step()) {
      if (check.Text(0) != "ok") return "the upload file is damaged: " + check.Text(0);
    }
    for (const UploadTable& table : UploadTables()) {
      const std::set<std::string> columns = ColumnsOf(db, table.name);
      if (columns.empty()) return std::string("the upload has no table ") + table.name;
      for (const char* column : table.columns) {
        if (columns.count(text::AsciiLower(column)) == 0) {
          return std::string("the upload's table ") + table.name + " has no column " + column;
        }
      }
    }
  } catch (const SqliteFailure& error) {
    return std::string("the upload file cannot be read: ") + error.what();
  }
  return std::nullopt;
}

}  // namespace quor::mobile
