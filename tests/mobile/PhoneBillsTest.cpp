// Downloads and uploads of bills end to end: scripted phones over real TCP,
// the download file built from the account set on the SQL Server stand-in and
// read back with SQLite, uploads stored in the stand-in's phone account set,
// and two phones at once taking turns on the one shared connection.
#include <sqlite3.h>

#include <fstream>
#include <regex>

#include "tests/mobile/PhoneServerFixture.h"
#include "tests/support/phone/PhoneAccountSet.h"

namespace quor::mobile::testing {
namespace {

namespace fs = std::filesystem;
using quor::test::Col;
using quor::test::Decimal;
using quor::test::Reply;
using quor::test::ResultSet;
using quor::test::SqlType;

Reply RowsReply(std::vector<quor::test::Column> columns,
                std::vector<std::vector<quor::test::Value>> rows,
                std::chrono::milliseconds delay = {}) {
  Reply reply;
  reply.resultSets.push_back(ResultSet{std::move(columns), std::move(rows)});
  reply.delay = delay;
  return reply;
}

// The single-column answers of `sql` on an SQLite file; NULL reads as "NULL".
std::vector<std::string> SqliteColumn(const fs::path& file, const std::string& sql) {
  std::vector<std::string> values;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
      while (sqlite3_step(statement) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        values.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
      }
    } else {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    }
    sqlite3_finalize(statement);
  } else {
    ADD_FAILURE() << "not an SQLite file: " << file;
  }
  sqlite3_close(db);
  return values;
}

void RunSqlite(const fs::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
      << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

std::string FileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PhoneBillsTest : public PhoneServerFixture {
 protected:
  void SetUp() override {
    PhoneServerFixture::SetUp();
    fs::create_directories(ProgramFolder() / "Data");
    fs::copy_file(QUOR_TEST_DOWNLOAD_TEMPLATE, ProgramFolder() / "Data" / "jxcdatabase.db");
  }

  // A person the account set does not know still gets the bill lines of the
  // range: one sale line whose number names the person.
  void ScriptDownload(const std::string& person, const std::string& begin, const std::string& end,
                      std::chrono::milliseconds delay = {}) {
    sqlServer_.OnStatement(
        "SELECT SelfID, CompanyID FROM AAAAADG WHERE IndexID = " + person,
        RowsReply({Col("SelfID", SqlType::VarChar, 25), Col("CompanyID", SqlType::VarChar, 25)}, {},
                  delay));
    const std::string range = ".*'" + begin + "'.*'" + end + "'.*";
    sqlServer_.OnStatementMatching(
        std::regex(".*FROM AAAACAX D" + range),
        RowsReply({Col("_ID", SqlType::BigInt), Col("BillID", SqlType::Int),
                   Col("IsDownData", SqlType::VarChar, 1), Col("nBillType", SqlType::Int),
                   Col("fPrice", SqlType::Money, 0, 19, 4),
                   Col("sBillNumber", SqlType::VarChar, 30), Col("sMemo", SqlType::NText)},
                  {{2500000001LL, 25, "Y", 115, Decimal{"5.0000"}, "XS-" + person,
                    "\"带引号\" 的备注"}}));
    sqlServer_.OnStatementMatching(
        std::regex(".*FROM AAAAAAN D" + range),
        RowsReply({Col("_ID", SqlType::BigInt), Col("BillID", SqlType::Int)}, {}));
    sqlServer_.OnStatementMatching(
        std::regex(".*FROM AAAAAAX D" + range),
        RowsReply({Col("_ID", SqlType::BigInt), Col("BillID", SqlType::Int)}, {}));
  }

  void SendDownBills(PhoneClient& phone, const std::string& person, const std::string& begin,
                     const std::string& end) {
    phone.SendLine("<DownBills>");
    phone.SendLine(person);
    phone.SendLine(begin);
    phone.SendLine(end);
  }

  // The file a phone received, kept where the test can open it.
  fs::path Received(const std::string& bytes, const std::string& name) {
    const fs::path file = received_.Path() / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

  quor::testing::TempFolder received_;
};

TEST_F(PhoneBillsTest, DownBillsSendsTheBuiltFileThenClosesAndDeletesIt) {
  ScriptDownload("99", "2024-02-01", "2024-02-29");
  WriteSettings();
  StartServer();
  PhoneClient phone(port_, "127.0.5.1");
  EXPECT_EQ(phone.Login("99", "李四"), "<QUORSERVER>");
  SendDownBills(phone, "99", "2024-02-01", "2024-02-29");
  EXPECT_EQ(phone.ReadLine(), "<Success>");
  const std::string bytes = phone.ReadToEnd();
  ASSERT_TRUE(bytes.starts_with(std::string("SQLite format 3\0", 16)));

  const fs::path file = Received(bytes, "down.db");
  EXPECT_EQ(SqliteColumn(file, "SELECT sBillNumber FROM AZ_BillDetailAll"),
            std::vector<std::string>{"XS-99"});
  EXPECT_EQ(SqliteColumn(file, "SELECT sMemo FROM AZ_BillDetailAll"),
            std::vector<std::string>{"”带引号” 的备注"});
  // The file was named after the connection and is gone once sent.
  EXPECT_TRUE(fs::is_directory(ProgramFolder() / "UpDown" / "127_0_5_1"));
  EXPECT_EQ(FilesLeft(), (std::vector<std::string>{"Data/jxcdatabase.db"}));
}

TEST_F(PhoneBillsTest, TheConsoleBuildsADownloadFileOnTheSharedConnection) {
  ScriptDownload("99", "2000-01-01", "2020-01-01");
  WriteSettings();
  StartServer();
  const fs::path target = ProgramFolder() / "UpDown" / "down_bills.db";
  fs::create_directories(target.parent_path());
  server_->BuildDownload({"99", "2000-01-01", "2020-01-01"}, target);
  EXPECT_EQ(SqliteColumn(target, "SELECT sBillNumber FROM AZ_BillDetailAll"),
            std::vector<std::string>{"XS-99"});
  server_->SetMobileDatabase("");
  EXPECT_THROW(server_->BuildDownload({"99", "2000-01-01", "2020-01-01"}, target),
               std::runtime_error)
      << "without an account set there is nothing to build from";
}

TEST_F(PhoneBillsTest, AFailingBuildEndsTheConnectionWithoutAnAnswerOrAFile) {
  // Nothing scripted: the account set fails the first statement.
  WriteSettings();
  StartServer();
  PhoneClient phone(port_, "127.0.5.2");
  SendDownBills(phone, "7", "2024-02-01", "2024-02-29");
  EXPECT_TRUE(phone.ClosedByServer());
  EXPECT_EQ(FilesLeft(), (std::vector<std::string>{"Data/jxcdatabase.db"}));
}

TEST_F(PhoneBillsTest, TwoPhonesDownloadingAtOnceTakeTurnsOnTheSharedConnection) {
  using namespace std::chrono_literals;
  ScriptDownload("98", "2024-01-01", "2024-01-31", 300ms);
  ScriptDownload("99", "2024-02-01", "2024-02-29", 300ms);
  WriteSettings();
  StartServer();
  PhoneClient first(port_, "127.0.5.3");
  PhoneClient second(port_, "127.0.5.4");
  sqlServer_.ClearRequests();
  SendDownBills(first, "98", "2024-01-01", "2024-01-31");
  SendDownBills(second, "99", "2024-02-01", "2024-02-29");
  EXPECT_EQ(first.ReadLine(), "<Success>");
  EXPECT_EQ(second.ReadLine(), "<Success>");
  EXPECT_EQ(SqliteColumn(Received(first.ReadToEnd(), "first.db"),
                         "SELECT sBillNumber FROM AZ_BillDetailAll"),
            std::vector<std::string>{"XS-98"});
  EXPECT_EQ(SqliteColumn(Received(second.ReadToEnd(), "second.db"),
                         "SELECT sBillNumber FROM AZ_BillDetailAll"),
            std::vector<std::string>{"XS-99"});

  // Each build's statements arrive together: one phone's, then the other's.
  std::string order;
  for (const quor::test::Request& request : sqlServer_.Requests()) {
    if (request.kind != quor::test::RequestKind::Batch &&
        request.kind != quor::test::RequestKind::Rpc) {
      continue;
    }
    const std::string& text = request.text;
    if (text.find("IndexID = 98") != std::string::npos ||
        text.find("'2024-01-01'") != std::string::npos) {
      order += 'A';
    } else if (text.find("IndexID = 99") != std::string::npos ||
               text.find("'2024-02-01'") != std::string::npos) {
      order += 'B';
    }
  }
  EXPECT_TRUE(order == "AAAABBBB" || order == "BBBBAAAA") << order;
}

// A phone's upload: a client made on the phone and one sale with a line.
constexpr const char* kUploadRows = R"SQL(
INSERT INTO AZ_ClientInfo (_ID, SelfID, sClientCode, sClientName, bIsVendor, bIsCustomer)
  VALUES (9002, NULL, 'C-09', 'O''Brien "新"', 'N', 'Y');
INSERT INTO AZ_PersonInfo (_ID, SelfID, sPersonCode, sPersonName) VALUES (9101, '', 'P-9', '李四');
INSERT INTO AZ_StockInfo (_ID, SelfID, sStockCode, sStockName) VALUES (9201, '', 'S-9', '二号仓');
INSERT INTO AZ_OtherInfo (_ID, nFieldType, SelfID, sFieldName) VALUES (9301, 101, '', '盒');
INSERT INTO AZ_WareInfo (_ID, SelfID, sWareCode, sWareName, nWareUnit, fBuyPrice, fSalePrice,
                         fShowPrice, fMinPrice, fRetailPrice)
  VALUES (9401, '', 'W-9', '绿茶', 9301, 3.5, 5, 5.5, 4, 6);
INSERT INTO AZ_BillDetailAll (_ID, IsDownData, nDeletionFlag, nBillType, sBillNumber, nClientID,
    nPersonID, nStockID, nWareID, fUnitRate, nWareQty, fPrice, fTotal, fReceived, fDiscount,
    nDateTime, UnitNo, UnitID)
  VALUES (1, 'N', 0, 115, 'A', 9002, 9101, 9201, 9401, 1, 2, 5, 10, 0, 0, 1706745600000, 0, '');
)SQL";

TEST_F(PhoneBillsTest, AnUploadIsStoredOnceAndPostedWhenTransferred) {
  quor::test::PhoneAccountSet phoneAccounts(accountSet_);
  WriteSettings();
  StartServer();
  const fs::path upload = received_.Path() / "upload.db";
  fs::copy_file(QUOR_TEST_DOWNLOAD_TEMPLATE, upload);
  RunSqlite(upload, kUploadRows);
  const std::string bytes = FileBytes(upload);

  PhoneClient phone(port_, "127.0.5.5");
  phone.SendLine("<TransferBills>");
  phone.SendBody(bytes);
  EXPECT_EQ(phone.ReadLine(), "<Success>");
  ASSERT_EQ(phoneAccounts.Bills().size(), 1u);
  EXPECT_TRUE(phoneAccounts.Bills()[0].posted);
  EXPECT_EQ(phoneAccounts.Created("AAAAASA"), 1);

  // The same file again, as after an answer the phone never got: nothing twice.
  phone.SendLine("<UploadBills>");
  phone.SendBody(bytes);
  EXPECT_EQ(phone.ReadLine(), "<Success>");
  EXPECT_EQ(phoneAccounts.Bills().size(), 1u);
  EXPECT_EQ(phoneAccounts.Created("AAAAASA"), 1);
  EXPECT_EQ(FilesLeft(), (std::vector<std::string>{"Data/jxcdatabase.db"}));
}

TEST_F(PhoneBillsTest, UploadsThatAreNoUploadFileFailAndLeaveNothing) {
  quor::test::PhoneAccountSet phoneAccounts(accountSet_);
  WriteSettings();
  StartServer();
  PhoneClient phone(port_, "127.0.5.6");
  for (const std::string& body :
       {std::string(), std::string("not an SQLite file"), std::string("SQLite format 3\0", 16)}) {
    SCOPED_TRACE(body.size());
    phone.SendLine("<UploadBills>");
    phone.SendBody(body);
    EXPECT_EQ(phone.ReadLine(), "<Failure>");
  }
  EXPECT_TRUE(phoneAccounts.Bills().empty());
  EXPECT_EQ(FilesLeft(), (std::vector<std::string>{"Data/jxcdatabase.db"}));
}

}  // namespace
}  // namespace quor::mobile::testing
