#include "mobile/DownloadBuilder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <system_error>

#include "mobile/DownloadQueries.h"
#include "mobile/PhoneText.h"
#include "mobile/SqliteFile.h"
#include "mobile/TableCopy.h"
#include "mobile/UserRights.h"
#include "platform/sql/RecordSet.h"
#include "platform/sql/Statement.h"

namespace quor::mobile {
namespace fs = std::filesystem;
namespace {

constexpr std::array<const char*, 9> kDownloadTables = {
    "AZ_ClientInfo",    "AZ_PersonInfo", "AZ_StockInfo", "AZ_StockWare",    "AZ_UserLimit",
    "AZ_WareMultiUnit", "AZ_WareInfo",   "AZ_OtherInfo", "AZ_BillDetailAll"};

// True when the target is there and someone holds a lock on it (a download
// still being sent from it).
bool TargetInUse(const fs::path& target) {
  const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return busy;
}

// Rows of a small query, read whole.
struct SmallQuery {
  explicit SmallQuery(sql::Connection& connection, const std::string& text)
      : statement(connection, "PhoneDownloadLookup") {
    statement.SetParamCheck(false);
    statement.SetText(text);
    rows = &statement.Open();
  }
  sql::Statement statement;
  sql::RecordSet* rows = nullptr;
};

std::string FieldText(const sql::RecordSet& rows, std::size_t row, std::string_view field) {
  const int index = rows.FieldIndex(field);
  if (index < 0)
    throw std::runtime_error("the account set's reply has no column " + std::string(field));
  return rows.Rows()[row][static_cast<std::size_t>(index)].AsText();
}

void FillCompanyRows(sql::Connection& connection, SqliteFile& file) {
  SmallQuery values(connection, CompanyValuesQuery());
  const sql::RecordSet& rows = *values.rows;
  const auto valueOf = [&](std::string_view name) {
    for (std::size_t i = 0; i < rows.RecordCount(); ++i) {
      if (FieldText(rows, i, "SubName") == name) return FieldText(rows, i, "SubValue");
    }
    return std::string();
  };
  struct CompanyRow {
    int id;
    int fieldType;
    const char* label;
    const char* subName;
  };
  static constexpr CompanyRow kRows[] = {{2, 1001, "公司名称", "CO_LongName"},
                                         {3, 1002, "公司电话", "CO_Telephone"},
                                         {4, 1003, "公司地址", "CO_Address"}};
  // Bound values: a company name with a quote in it is stored as it is.
  SqliteStatement insert = file.Prepare(
      "INSERT INTO AZ_OtherInfo (_ID, nCompanyID, nFieldType, sFieldName, sFieldValue, sMemo, "
      "sIsActive) VALUES (?, 1, ?, ?, ?, ?, 'Y')");
  for (const CompanyRow& row : kRows) {
    insert.BindInteger(1, row.id);
    insert.BindInteger(2, row.fieldType);
    insert.BindText(3, row.label);
    insert.BindText(4, valueOf(row.subName));
    insert.BindText(5, row.label);
    insert.Run();
    insert.Reset();
  }
}

void FillBasicData(sql::Connection& connection, SqliteFile& file, const std::string& personIndex) {
  std::string personId;
  std::string companyId;
  {
    SmallQuery person(connection, PersonLookupQuery(personIndex));
    if (person.rows->RecordCount() == 0) return;
    personId = FieldText(*person.rows, 0, "SelfID");
    companyId = FieldText(*person.rows, 0, "CompanyID");
  }
  if (companyId.empty()) companyId = "00001";
  file.Exec("BEGIN TRANSACTION");
  if (personId == "00000") {
    CopyQueryIntoTable(connection, file, "AZ_PersonInfo", AllPersonsQuery());
  } else {
    for (const auto& [table, query] : BasicDataQueries(personId, companyId)) {
      CopyQueryIntoTable(connection, file, table, query);
    }
    FillCompanyRows(connection, file);
  }
  file.Exec("COMMIT");
}

void FillRights(sql::Connection& connection, SqliteFile& file) {
  file.Exec("BEGIN TRANSACTION");
  sql::Statement select(connection, "PhoneDownloadRights");
  select.SetParamCheck(false);
  select.SetText(RightsQuery());
  select.SetCommandTimeout(0);
  sql::RecordSet& rows = select.Open(kCopyBlockRows);
  const int personField = rows.FieldIndex("nPersonID");
  const int limitField = rows.FieldIndex("Limit");
  if (personField < 0 || limitField < 0) {
    throw std::runtime_error("the rights query has no nPersonID or Limit column");
  }
  SqliteStatement insert = file.Prepare(
      "INSERT INTO AZ_UserLimit (_id,nCompanyID,nPersonID,nWindowID,sWinCaption,sIsActive,nSortNo)"
      " VALUES (?,1,?,?,?,?,?)");
  std::int64_t counter = 10000000;
  do {
    for (const sql::Row& row : rows.Rows()) {
      const std::string limit = row[static_cast<std::size_t>(limitField)].AsText();
      if (TrimBlanks(limit).empty()) continue;
      const sql::Value& person = row[static_cast<std::size_t>(personField)];
      const std::vector<PhoneWindow>& windows = PhoneWindows();
      for (std::size_t position = 0; position < windows.size(); ++position) {
        insert.BindInteger(1, counter++);
        if (person.IsNull()) {
          insert.BindNull(2);
        } else {
          insert.BindInteger(2, person.AsInteger());
        }
        insert.BindInteger(3, windows[position].windowId);
        insert.BindText(4, windows[position].caption);
        insert.BindText(5, WindowActive(limit, windows[position].windowId) ? "Y" : "N");
        insert.BindInteger(6, static_cast<std::int64_t>(position));
        insert.Run();
        insert.Reset();
      }
    }
  } while (rows.ReadNextBlock() > 0);
  select.Close();
  file.Exec("COMMIT");
}

void FillBillLines(sql::Connection& connection, SqliteFile& file, const DownloadRequest& request) {
  file.Exec("BEGIN TRANSACTION");
  for (const auto& [table, query] : BillLineQueries(request.beginDate, request.endDate)) {
    CopyQueryIntoTable(connection, file, table, query);
  }
  // A bill's received amount belongs to the bill, not to each of its lines:
  // only its first line (lowest line id) keeps it. Goods and store-order bills
  // are numbered apart, so the two kinds are grouped apart.
  file.Exec(
      "UPDATE AZ_BillDetailAll SET fReceived=0 WHERE nBillType NOT IN (171,172) AND _ID NOT IN "
      "(SELECT MIN(_ID) FROM AZ_BillDetailAll WHERE nBillType NOT IN (171,172) GROUP BY BillID, "
      "nBillType=300)");
  file.Exec("COMMIT");
}

void RemoveQuietly(const fs::path& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

}  // namespace

fs::path DownloadTemplatePath(const fs::path& programFolder) {
  return programFolder / "Data" / "jxcdatabase.db";
}

void BuildDownloadFile(sql::Connection& connection, const DownloadRequest& request,
                       const fs::path& templateFile, const fs::path& target) {
  if (!IsPersonIndex(request.personIndex)) {
    throw std::invalid_argument("the person index is not a number: " + request.personIndex);
  }
  if (!IsCalendarDate(request.beginDate) || !IsCalendarDate(request.endDate)) {
    throw std::invalid_argument("the dates are not YYYY-MM-DD: " + request.beginDate + ", " +
                                request.endDate);
  }
  if (TargetInUse(target)) return;
  RemoveQuietly(target);
  std::error_code status;
  if (!fs::is_regular_file(templateFile, status)) {
    throw std::runtime_error("the download template is missing: " + templateFile.string());
  }
  // Built under another name and renamed when complete, so that nobody ever
  // sends half a file.
  const fs::path part = target.string() + ".building";
  RemoveQuietly(part);
  try {
    {
      SqliteFile file(part, SqliteFile::Mode::kCreate);
      // A fresh file that is thrown away on any failure needs no journal.
      file.Exec("PRAGMA journal_mode=OFF");
      file.Exec("PRAGMA synchronous=OFF");
      SqliteStatement attach = file.Prepare("ATTACH ? AS DB1");
      attach.BindText(1, templateFile.string());
      attach.Run();
      for (const char* table : kDownloadTables) {
        file.Exec(std::string("CREATE TABLE ") + table + " AS SELECT * FROM DB1." + table +
                  " WHERE 1=0");
      }
      file.Exec("DETACH DATABASE DB1");
      const std::string personIndex = TrimBlanks(request.personIndex);
      FillBasicData(connection, file, personIndex);
      if (personIndex == "1") {
        FillRights(connection, file);
      } else {
        FillBillLines(connection, file, request);
      }
    }
    fs::rename(part, target);
  } catch (...) {
    RemoveQuietly(part);
    RemoveQuietly(target);
    throw;
  }
}

}  // namespace quor::mobile
