// A phone's upload file processed against the mobile account set on the SQL
// Server stand-in: records found or created, their ids in the bill lines, one
// bill per bill number with its lines, payment lines and posting; the same
// upload again stores nothing; a refusal anywhere leaves the account set as it
// was; files that are no upload store nothing at all.
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "PhoneDataFixture.h"
#include "mobile/UploadProcessor.h"
#include "tests/support/phone/PhoneAccountSet.h"

namespace quor::testing {
namespace {

using test::PhoneAccountSet;

double NumberOf(const test::Value& value) {
  return std::strtod(test::TextOf(value).c_str(), nullptr);
}

// The phone's own rows next to rows it downloaded (with a SelfID, or marked
// downloaded), which the upload leaves alone.
constexpr const char* kPhoneRows = R"SQL(
INSERT INTO AZ_ClientInfo (_ID, SelfID, sClientCode, sClientName) VALUES
  (11, '0000100001', 'C-01', '华东贸易公司'),
  (9001, '', 'C-01', '华东贸易公司');
INSERT INTO AZ_ClientInfo (_ID, SelfID, sClientCode, sClientName, sAddress, sMovePhone, bIsVendor,
                           bIsCustomer, sMemo)
  VALUES (9002, NULL, 'C-09', 'O''Brien "新"', '北京路 1 号', '13800000000', 'Y', 'N', '手机');
INSERT INTO AZ_PersonInfo (_ID, SelfID, sPersonCode, sPersonName, sPersonPhone) VALUES
  (9101, '', 'P-9', '李四', '13900000000');
INSERT INTO AZ_StockInfo (_ID, SelfID, sStockCode, sStockName, sDescription) VALUES
  (9201, '', 'S-9', '二号仓', '手机建');
INSERT INTO AZ_OtherInfo (_ID, nFieldType, SelfID, sFieldName) VALUES (9301, 101, '', '盒'),
  (400002, 101, '00002', '箱');
INSERT INTO AZ_WareInfo (_ID, SelfID, sWareCode, sWareName, nWareUnit, fBuyPrice, fSalePrice,
                         fShowPrice, fMinPrice, fRetailPrice) VALUES
  (9401, '', 'W-9', '绿茶', 9301, 3.5, 5, 5.5, 4, 6),
  (9402, '', 'W-10', '红茶', 400002, 2, 4, 0, 0, 4.5);
INSERT INTO AZ_BillDetailAll (_ID, IsDownData, nDeletionFlag, nBillType, sBillNumber, nClientID,
    nPersonID, nStockID, nWareID, fUnitRate, nWareQty, fPrice, fTotal, fReceived, fDiscount,
    sSerialNo, nDateTime, UnitNo, UnitID, sMemo, sRefNo, sHeaderText) VALUES
  (1, 'N', 0, 115, 'A', 9002, 9101, 9201, 9401, 12, 24, 5, 120, 80, 0, 'A1' || char(10) || 'A2',
   1706745600000, 1, '00002', '手机单', NULL, NULL),
  (2, NULL, NULL, 115, 'A', 9001, 9101, 9201, 9402, 1, -3, 4, -12, 0, 95, NULL,
   1706745600000, 0, '00002', NULL, NULL, NULL),
  (3, '', 0, 171, '', 9002, 9101, 0, 0, 1, 0, 0, 0, 80, 0, NULL,
   1706832000000, 0, '', NULL, 'B', '收款'),
  (4, 'Y', 0, 115, 'XS-OLD', 11, 3, 5, 21, 1, 1, 1, 1, 0, 100, NULL, 1706745600000, 0, '',
   NULL, NULL, NULL),
  (5, 'N', 1, 115, 'DELETED', 11, 3, 5, 21, 1, 1, 1, 1, 0, 100, NULL, 1706745600000, 0, '',
   NULL, NULL, NULL);
)SQL";

class UploadProcessorTest : public PhoneDataTest {
 protected:
  UploadProcessorTest() {
    phone_.AddRecord("AAAAABY", {"0000100001", "C-01", "华东贸易公司", 11});
    phone_.AddRecord("AAAAAFN", {"00002", "", "箱", 2});
  }

  // A fresh upload file as the phone sends it: the template's tables with `rows`.
  std::filesystem::path Upload(const std::string& rows, const std::string& name = "A12345") {
    const std::filesystem::path file = folder_.Path() / (name + "upload_bills.db");
    std::filesystem::copy_file(TemplateFile(), file,
                               std::filesystem::copy_options::overwrite_existing);
    ExecSqlite(file, rows);
    return file;
  }

  bool Process(const std::filesystem::path& file, bool transfer) {
    return mobile::ProcessUpload(connection_, file, transfer, folder_.Path());
  }

  // The account set as the tests compare it before and after.
  struct Snapshot {
    std::vector<PhoneAccountSet::Record> clients, persons, stores, wares, units;
    std::size_t bills;
    std::size_t marks;
    bool operator==(const Snapshot&) const = default;
  };
  Snapshot Take() const {
    return {phone_.Records("AAAAABY"), phone_.Records("AAAAADG"), phone_.Records("AAAAAEO"),
            phone_.Records("AAAAAFT"), phone_.Records("AAAAAFN"), phone_.Bills().size(),
            phone_.Marks().size()};
  }

  test::PhoneAccountSet phone_{accountSet_};
};

TEST_F(UploadProcessorTest, RecordsAndBillsAreStoredOnceEvenWhenTheUploadComesAgain) {
  const std::filesystem::path file = Upload(kPhoneRows);
  ASSERT_TRUE(Process(file, true));

  // The client the server has is not inserted again; the new one is, with the
  // phone's text exactly as written (quotes of both kinds).
  EXPECT_EQ(phone_.Created("AAAAASA"), 1);
  const test::ProcedureCall client = phone_.WriterCalls("AAAAASA").at(0);
  EXPECT_EQ(client["@LongName"], test::Value("O'Brien \"新\""));
  EXPECT_EQ(client["@CodeName"], test::Value("C-09"));
  EXPECT_EQ(client["@IsClient"], test::Value(2));
  EXPECT_EQ(client["@ManageTypes"], test::Value(-1));
  EXPECT_EQ(client["@Address"], test::Value("北京路 1 号"));
  EXPECT_EQ(client["@Memo"], test::Value("手机"));
  const std::string newClient = phone_.Records("AAAAABY").at(1).selfId;
  EXPECT_EQ(phone_.Created("AAAAAST"), 1);
  EXPECT_EQ(phone_.Created("AAAAATH"), 1);
  EXPECT_EQ(phone_.Created("AAAAATN"), 1);
  EXPECT_EQ(phone_.Created("AAAAATP"), 2);
  // A ware made on the phone with a unit made on the phone gets that unit.
  const std::string newUnit = phone_.Records("AAAAAFN").at(1).selfId;
  const std::vector<test::ProcedureCall> wares = phone_.WriterCalls("AAAAATP");
  ASSERT_EQ(wares.size(), 2u);
  EXPECT_EQ(wares[0]["@UnitID"], test::Value(newUnit));
  EXPECT_EQ(wares[1]["@UnitID"], test::Value("00002"));
  const std::vector<test::ProcedureCall> prices = phone_.WriterCalls("AAAABCT");
  ASSERT_EQ(prices.size(), 2u);
  EXPECT_DOUBLE_EQ(NumberOf(prices[0]["@PrepPrice2"]), 5.5);
  EXPECT_DOUBLE_EQ(NumberOf(prices[0]["@IntoPrice"]), 3.5);

  const std::vector<PhoneAccountSet::Bill> bills = phone_.Bills();
  ASSERT_EQ(bills.size(), 2u);
  const PhoneAccountSet::Bill& a = bills[0];
  EXPECT_EQ(a.procedure, "AAAAART");
  EXPECT_EQ(a.call["@number"], test::Value("A"));
  EXPECT_EQ(a.call["@BillType"], test::Value("115"));
  EXPECT_EQ(a.call["@Date"], test::Value("2024-02-01"));
  EXPECT_EQ(a.call["@summary"], test::Value("手机制单"));
  EXPECT_EQ(a.call["@ClientID"], test::Value(newClient));
  EXPECT_DOUBLE_EQ(NumberOf(a.call["@nSumTo"]), 132.0);
  ASSERT_EQ(a.lines.size(), 3u);
  struct Line {
    const char* account;
    const char* client;
    double quantity, price, total, discount;
    const char* orientation;
  };
  const Line expected[] = {
      // unit rate 12: 24 pieces are 2 boxes at 60; discount 0 is 1
      {"0000100001", newClient.c_str(), 2, 60, 120, 1, "1001"},
      // the 80 received, on the cash account
      {"0000100003", newClient.c_str(), 0, 80, 80, 1, "1010"},
      // absolute quantity and total; discount 95 is 0.95; the server's client
      {"0000100001", "0000100001", 3, 4, 12, 0.95, "1001"},
  };
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const test::ProcedureCall& line = a.lines[i].call;
    EXPECT_EQ(line["@AccountID"], test::Value(expected[i].account));
    EXPECT_EQ(line["@ClientID"], test::Value(expected[i].client));
    EXPECT_DOUBLE_EQ(NumberOf(line["@Quantity"]), expected[i].quantity);
    EXPECT_DOUBLE_EQ(NumberOf(line["@discountprice"]), expected[i].price);
    EXPECT_DOUBLE_EQ(NumberOf(line["@SumTo"]), expected[i].total);
    EXPECT_DOUBLE_EQ(NumberOf(line["@discount"]), expected[i].discount);
    EXPECT_EQ(line["@Orientation"], test::Value(expected[i].orientation));
    EXPECT_EQ(line["@BillID"], test::Value(std::to_string(a.id)));
  }
  EXPECT_EQ(a.serials, (std::vector<std::string>{"A1", "A2"}));
  // The receipt: its number from sRefNo, its memo from sHeaderText, no payment line.
  const PhoneAccountSet::Bill& b = bills[1];
  EXPECT_EQ(b.call["@number"], test::Value("B"));
  EXPECT_EQ(b.call["@BillType"], test::Value("171"));
  EXPECT_EQ(b.call["@Memo"], test::Value("收款"));
  ASSERT_EQ(b.lines.size(), 1u);
  EXPECT_EQ(b.lines[0].call["@AccountID"], test::Value("0000100003"));
  EXPECT_DOUBLE_EQ(NumberOf(b.lines[0].call["@SumTo"]), 80.0);
  EXPECT_TRUE(a.posted);
  EXPECT_TRUE(b.posted);

  // A is finished and posted before B is begun; the branch updates close the upload.
  const std::string idA = std::to_string(a.id);
  const std::string idB = std::to_string(b.id);
  EXPECT_EQ(phone_.Events(),
            (std::vector<std::string>{"master A", "line " + idA, "line " + idA, "line " + idA,
                                      "refer " + idA, "refer " + idA, "post " + idA, "master B",
                                      "line " + idB, "refer " + idB, "refer " + idB, "post " + idB,
                                      "branch AAAAABG", "branch AAAAAAR"}));
  EXPECT_EQ(phone_.Marks().size(), 2u);
  EXPECT_EQ(phone_.Rollbacks(), 0);
  EXPECT_GE(phone_.Commits(), 1);
  EXPECT_TRUE(ReadSqlite(file, "SELECT * FROM AZ_BillDetailAll").empty());

  // The phone missed the answer and sends the same file again.
  const Snapshot before = Take();
  const std::size_t events = phone_.Events().size();
  ASSERT_TRUE(Process(Upload(kPhoneRows, "A54321"), true));
  EXPECT_EQ(Take(), before);
  const std::vector<std::string> after = phone_.Events();
  EXPECT_EQ(std::vector<std::string>(after.begin() + static_cast<long>(events), after.end()),
            (std::vector<std::string>{"branch AAAAABG", "branch AAAAAAR"}));
}

TEST_F(UploadProcessorTest, IdsOfTheStoredRecordsAreWrittenIntoTheUploadedLines) {
  // Without bill lines the ids stay in the file to be seen.
  const std::string rows = std::string(kPhoneRows) +
                           "CREATE TABLE Kept AS SELECT _ID, ClientID, PersonID, StockID, WareID "
                           "FROM AZ_BillDetailAll WHERE 0;"
                           "CREATE TRIGGER KeepLines BEFORE DELETE ON AZ_BillDetailAll BEGIN "
                           "INSERT INTO Kept VALUES (old._ID, old.ClientID, old.PersonID, "
                           "old.StockID, old.WareID); END;";
  const std::filesystem::path file = Upload(rows);
  ASSERT_TRUE(Process(file, false));
  const std::string client = phone_.Records("AAAAABY").at(1).selfId;
  const std::string person = phone_.Records("AAAAADG").at(0).selfId;
  const std::string store = phone_.Records("AAAAAEO").at(0).selfId;
  const std::string ware = phone_.Records("AAAAAFT").at(0).selfId;
  const std::string otherWare = phone_.Records("AAAAAFT").at(1).selfId;
  EXPECT_EQ(
      ReadSqlite(file,
                 "SELECT _ID, ClientID, PersonID, StockID, WareID FROM Kept WHERE "
                 "_ID IN (1, 2) ORDER BY _ID"),
      (Table{{"1", client, person, store, ware}, {"2", "0000100001", person, store, otherWare}}));
  // Not a transfer: nothing posted.
  for (const PhoneAccountSet::Bill& bill : phone_.Bills()) EXPECT_FALSE(bill.posted);
}

TEST_F(UploadProcessorTest, AFailureAnywhereLeavesTheAccountSetAsItWas) {
  struct Case {
    const char* procedure;
    int nth;
    std::int32_t status;
    bool writesBefore;  // something was written before the refusal
    const char* what;
  };
  const Case cases[] = {
      {"AAAAASA", 1, -3, false, "client writer refuses"},
      {"AAAABCT", 2, -2, true, "price update of the second ware refuses"},
      {"AAAAART", 2, -1, true, "second bill header refused"},
      {"AAAAARQ", 3, -7, true, "third line of the first bill refused"},
      {"AAAABBL", 1, 5, true, "posting refused"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Snapshot before = Take();
    const int rollbacks = phone_.Rollbacks();
    phone_.FailCall(c.procedure, c.nth, c.status);
    server_.ClearRequests();
    const std::filesystem::path file = Upload(kPhoneRows);
    EXPECT_FALSE(Process(file, true));
    EXPECT_EQ(Take(), before);
    EXPECT_EQ(phone_.Rollbacks(), rollbacks + (c.writesBefore ? 1 : 0));
    std::vector<std::string> endings;
    for (const test::Request& request : server_.Requests()) {
      if (request.kind == test::RequestKind::Transaction && request.text != "BEGIN TRAN") {
        endings.push_back(request.text);
      }
    }
    ASSERT_FALSE(endings.empty());
    EXPECT_EQ(endings.front(), "ROLLBACK TRAN");
    EXPECT_EQ(std::count(endings.begin(), endings.end(), "COMMIT TRAN"), 0);
    // The uploaded file is as the phone sent it.
    EXPECT_EQ(ReadSqlite(file, "SELECT count(*), count(ClientID) FROM AZ_BillDetailAll"),
              (Table{{"5", "0"}}));
  }
  // Once nothing fails, the same upload is stored whole.
  EXPECT_TRUE(Process(Upload(kPhoneRows), true));
  EXPECT_EQ(phone_.Bills().size(), 2u);
}

TEST_F(UploadProcessorTest, ALineOfTypeZeroOrATransferWithoutPartnerStoresNothing) {
  const char* cases[] = {
      "INSERT INTO AZ_BillDetailAll (_ID, nBillType, sBillNumber) VALUES (1, 115, 'A'), (2, 0, "
      "'B');",
      "INSERT INTO AZ_BillDetailAll (_ID, nBillType, sBillNumber, StockID) VALUES (1, 115, 'A', "
      "NULL), (2, 1361, 'C', 'S1');",
  };
  for (const char* rows : cases) {
    SCOPED_TRACE(rows);
    EXPECT_FALSE(Process(Upload(rows), false));
    EXPECT_TRUE(phone_.Bills().empty());
  }
}

TEST_F(UploadProcessorTest, TransfersAssembliesAndStoreOrdersTakeTheirSpecialValues) {
  const std::filesystem::path file = Upload(R"SQL(
INSERT INTO AZ_BillDetailAll (_ID, nBillType, sBillNumber, StockID, WareID, nWareQty, fUnitRate,
    fPrice, fTotal, fDiscount, nDateTime) VALUES
  (1, 1361, 'C', 'S1', NULL, 0, 1, 0, 0, 100, 0),
  (2, 136, 'C', 'S2', 'W1', 5, 1, 2, 10, 100, 0),
  (3, 1351, 'D', 'S3', 'W2', 1, 1, 9, 9, 100, 0),
  (4, 135, 'D', 'S4', 'W3', 2, 1, 4, 8, 100, 0),
  (5, 4011, 'E', 'S5', 'W4', 1, 1, 1, 1, 100, 0),
  (6, 300, 'F', 'S6', 'W5', -4, 2, 3, 12, 100, 0);
)SQL");
  ASSERT_TRUE(Process(file, false));
  const std::vector<PhoneAccountSet::Bill> bills = phone_.Bills();
  ASSERT_EQ(bills.size(), 4u);
  struct Expected {
    const char* number;
    const char* procedure;
    const char* type;
    const char* draft;
    const char* mode;
    std::vector<std::vector<std::string>> lines;  // procedure, store, second store, orientation
  };
  const Expected expected[] = {
      {"C", "AAAAART", "136", "1", "0", {{"AAAAARQ", "S2", "S1", "1001"}}},
      {"D",
       "AAAAART",
       "135",
       "1",
       "0",
       {{"AAAAARQ", "S3", "S3", "1001"}, {"AAAAARQ", "S4", "S4", "1002"}}},
      {"E", "AAAAART", "135", "1", "401", {{"AAAAARQ", "S5", "S5", "1002"}}},
      {"F", "AAAAARU", "300", "0", "0", {{"AAAAARR", "S6", "", "1001"}}},
  };
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(expected[i].number);
    const PhoneAccountSet::Bill& bill = bills[i];
    EXPECT_EQ(bill.call["@number"], test::Value(expected[i].number));
    EXPECT_EQ(bill.procedure, expected[i].procedure);
    EXPECT_EQ(bill.call["@BillType"], test::Value(expected[i].type));
    EXPECT_EQ(bill.call["@draft"], test::Value(expected[i].draft));
    EXPECT_EQ(bill.call["@nBillMode"], test::Value(expected[i].mode));
    EXPECT_EQ(bill.call["@StockID2"], test::Value(expected[i].lines[0][2]));
    ASSERT_EQ(bill.lines.size(), expected[i].lines.size());
    for (std::size_t j = 0; j < bill.lines.size(); ++j) {
      const test::ProcedureCall& line = bill.lines[j].call;
      EXPECT_EQ(bill.lines[j].procedure, expected[i].lines[j][0]);
      EXPECT_EQ(line["@StockID"], test::Value(expected[i].lines[j][1]));
      EXPECT_EQ(line["@StockID2"], test::Value(expected[i].lines[j][2]));
      EXPECT_EQ(line["@Orientation"], test::Value(expected[i].lines[j][3]));
    }
  }
  // A store order keeps the quantity as written: no absolute value, no unit rate.
  EXPECT_DOUBLE_EQ(NumberOf(bills[3].lines[0].call["@Quantity"]), -4.0);
  EXPECT_DOUBLE_EQ(NumberOf(bills[3].lines[0].call["@price"]), 6.0);
  EXPECT_EQ(bills[0].lines[0].call["@WareID"], test::Value("W1"));
}

TEST_F(UploadProcessorTest, AnEmptyBillTableIsASuccessThatStillSetsTheBranches) {
  ASSERT_TRUE(Process(Upload("SELECT 1;"), true));
  EXPECT_TRUE(phone_.Bills().empty());
  EXPECT_EQ(phone_.Events(), (std::vector<std::string>{"branch AAAAABG", "branch AAAAAAR"}));
}

TEST_F(UploadProcessorTest, AFileThatIsNoUploadStoresNothing) {
  const std::filesystem::path notSqlite = folder_.Path() / "text.db";
  std::ofstream(notSqlite) << "<UploadBills>\r\nthis is no database\r\n";
  const std::filesystem::path empty = folder_.Path() / "empty.db";
  std::ofstream{empty};
  const std::filesystem::path damaged = folder_.Path() / "damaged.db";
  {
    std::ofstream out(damaged, std::ios::binary);
    out.write("SQLite format 3\0", 16);
    out << std::string(4000, '\x7f');
  }
  const std::filesystem::path noTable = Upload("DROP TABLE AZ_WareInfo;", "A1");
  const std::filesystem::path noColumn = Upload(
      "DROP TABLE AZ_BillDetailAll; CREATE TABLE AZ_BillDetailAll (_ID INTEGER, nBillType "
      "INTEGER, sBillNumber TEXT); INSERT INTO AZ_BillDetailAll VALUES (1, 115, 'A');",
      "A2");
  const std::filesystem::path cases[] = {notSqlite, empty,    damaged,
                                         noTable,   noColumn, folder_.Path() / "missing.db"};
  for (const std::filesystem::path& file : cases) {
    SCOPED_TRACE(file.filename().string());
    EXPECT_FALSE(Process(file, true));
  }
  EXPECT_TRUE(WorkRequests().empty());
  EXPECT_EQ(ReadSqlite(noColumn, "SELECT count(*) FROM AZ_BillDetailAll"), (Table{{"1"}}));
}

}  // namespace
}  // namespace quor::testing
