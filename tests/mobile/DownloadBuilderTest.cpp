// The phone's download file built from the account set on the SQL Server
// stand-in and read back with SQLite, table by table: the basic data of one
// person, the rights of every person, the bill lines of a date range, texts
// with quotes and Chinese, NULLs; phone text refused before any statement; a
// failing copy leaving no file.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>

#include "PhoneDataFixture.h"
#include "mobile/DownloadBuilder.h"

namespace quor::testing {
namespace {

using test::Col;
using test::Decimal;
using test::Reply;
using test::ResultSet;
using test::SqlType;
using test::Value;

Reply Rows(std::vector<test::Column> columns, std::vector<std::vector<Value>> rows) {
  Reply reply;
  reply.resultSets.push_back(ResultSet{std::move(columns), std::move(rows)});
  return reply;
}

Cell T(const char* text) {
  return Cell(text);
}
const Cell kNull;

class DownloadBuilderTest : public PhoneDataTest {
 protected:
  void Answer(const std::string& pattern, Reply reply) {
    server_.OnStatementMatching(std::regex(pattern), std::move(reply));
  }

  void Build(const mobile::DownloadRequest& request) {
    mobile::BuildDownloadFile(connection_, request, TemplateFile(), target_);
  }

  Table Read(const std::string& sql) const { return ReadSqlite(target_, sql); }

  // A person who sees part of the account set: person 12 is "00002" of no
  // company (so the company "00001").
  void ScriptBasicData() {
    server_.OnStatement(
        "SELECT SelfID, CompanyID FROM AAAAADG WHERE IndexID = 12",
        Rows({Col("SelfID", SqlType::VarChar, 25), Col("CompanyID", SqlType::VarChar, 25)},
             {{"00002", ""}}));
    Answer(
        R"(SELECT A\.IndexID AS _ID, A\.SelfID, A\.CodeName As sPersonCode.* FROM AAAAAND\('00002'\) A .*)",
        Rows({Col("_ID", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
              Col("sPersonCode", SqlType::VarChar, 26), Col("sPersonName", SqlType::NVarChar, 66),
              Col("sPersonPhone", SqlType::VarChar, 50), Col("nCompanyID", SqlType::Int),
              Col("nDeletionFlag", SqlType::Int), Col("sPersonPass", SqlType::VarChar, 50)},
             {{3, "00002", "P-02", "王小明", nullptr, 1, 170002, "pw\"1"}}));
    Answer(
        R"(.* FROM AAAAAMR\('00002'\) A LEFT JOIN AAAAABW B ON A\.SelfID = B\.ClientID And B\.CompanyID='00001' .*)",
        Rows({Col("_ID", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
              Col("sClientCode", SqlType::VarChar, 26), Col("sClientName", SqlType::NVarChar, 66),
              Col("bIsVendor", SqlType::VarChar, 1), Col("bIsCustomer", SqlType::VarChar, 1),
              Col("InitReceiveTotal", SqlType::Money, 0, 19, 4),
              Col("ReceiveTotal", SqlType::Money, 0, 19, 4)},
             {{11, "0000100001", "C-01", "华东\"贸易\"公司", "N", "Y", nullptr,
               Decimal{"1234.5600"}},
              {12, "0000100002", "C-02", "O'Brien", "Y", "Y", Decimal{"-3.2500"},
               Decimal{"0.0000"}}}));
    Answer(R"(.* FROM AAAAANN\('00002'\) WHERE SelfID <> '00000' .*)",
           Rows({Col("_ID", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
                 Col("sStockName", SqlType::NVarChar, 66)},
                {{5, "00001", "主仓库"}}));
    Answer(R"(SELECT IndexID \+ 120000 AS _ID, 102 AS nFieldType.* FROM AAAAANV\('00002'\) .*)",
           Rows({Col("_ID", SqlType::Int), Col("nFieldType", SqlType::Int),
                 Col("SelfID", SqlType::VarChar, 25), Col("sFieldName", SqlType::NVarChar, 66),
                 Col("sMemo", SqlType::VarChar, 20)},
                {{120007, 102, "00003", "饮料", "商品分类"}}));
    Answer(R"(SELECT \(IndexID \+ 400000\) AS _ID, 101 AS nFieldType.*)",
           Rows({Col("_ID", SqlType::Int), Col("nFieldType", SqlType::Int),
                 Col("SelfID", SqlType::VarChar, 25), Col("sFieldName", SqlType::NVarChar, 66)},
                {{400002, 101, "00002", "箱"}}));
    Answer(
        R"(SELECT A\.IndexID \+ 100000 AS _ID.* INNER JOIN AAAAANV\('00002'\) A ON A\.SelfID = B\.WareID)",
        Rows({Col("_ID", SqlType::Int), Col("nWareID", SqlType::Int),
              Col("fUnitRate", SqlType::Float), Col("fSalePrice", SqlType::Money, 0, 19, 4),
              Col("fMinPrice", SqlType::Money, 0, 19, 4)},
             {{100021, 21, 1.0, Decimal{"12.5000"}, nullptr},
              {200003, 21, 12.0, Decimal{"150.0000"}, nullptr}}));
    Answer(
        R"(SELECT A\.IndexID AS _ID, A\.SelfID, A\.LongName AS sWareName.*CompanyID='00001' GROUP BY WareID.*)",
        Rows({Col("_ID", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
              Col("sWareName", SqlType::NVarChar, 66), Col("sBarCode", SqlType::VarChar, 30),
              Col("fBuyPrice", SqlType::Float), Col("nStockQty", SqlType::Float),
              Col("nStrictSerial", SqlType::Bit)},
             {{21, "0000100001", "乌龙茶 \"500ml\"", nullptr, nullptr, 40.0, true},
              {22, "0000100002", "Green tea", "6901234", 2.75, 0.0, false}}));
    Answer(
        R"(SELECT 'Y' AS IsDownData, G\.IndexID AS _ID.*G\.CompanyID='00001' INNER JOIN AAAAANV\('00002'\) W .*)",
        Rows({Col("IsDownData", SqlType::VarChar, 1), Col("_ID", SqlType::Int),
              Col("nStockID", SqlType::Int), Col("nWareID", SqlType::Int),
              Col("nQuantity", SqlType::Float), Col("fCostPrice", SqlType::Money, 0, 19, 4)},
             {{"Y", 77, 5, 21, 40.0, Decimal{"3.2500"}}}));
    server_.OnStatement("SELECT * FROM AAAAAFH", Rows({Col("SubName", SqlType::VarChar, 30),
                                                       Col("SubValue", SqlType::NVarChar, 200)},
                                                      {{"CO_Version", "9.33"},
                                                       {"CO_LongName", "快乐\"小店'"},
                                                       {"CO_Telephone", "010-1234"}}));
  }

  // Bill 25 has two goods lines (line 2 arrives first), bill 26 one, bill 27
  // is a receipt; no store orders.
  void ScriptBills(const std::string& begin, const std::string& end) {
    const std::string range = ".*M\\.IsMobileBill = 0 And D\\.\\[DATE\\] >= '" + begin +
                              "' AND D\\.\\[DATE\\] <= '" + end + "'";
    const std::vector<test::Column> goods = {Col("_ID", SqlType::BigInt),
                                             Col("BillID", SqlType::Int),
                                             Col("IsDownData", SqlType::VarChar, 1),
                                             Col("nBillType", SqlType::Int),
                                             Col("nDateTime", SqlType::Numeric, 0, 38, 0),
                                             Col("fPrice", SqlType::Money, 0, 19, 4),
                                             Col("sBillNumber", SqlType::VarChar, 30),
                                             Col("fDiscount", SqlType::Float),
                                             Col("fReceived", SqlType::Money, 0, 19, 4),
                                             Col("sMemo", SqlType::NText)};
    Answer(
        R"(SELECT CAST\(D\.BillID AS bigint\)\*100000000\+D\.BillDetailID AS _ID.*FROM AAAACAX D)" +
            range,
        Rows(goods, {{2500000002LL, 25, "Y", 115, Decimal{"1706745600000"}, nullptr, "XS-25", 100.0,
                      Decimal{"50.0000"}, "第二行"},
                     {2500000001LL, 25, "Y", 115, Decimal{"1706745600000"}, Decimal{"5.0000"},
                      "XS-25", 95.0, Decimal{"50.0000"}, nullptr},
                     {2600000001LL, 26, "Y", 1361, Decimal{"1706832000000"}, Decimal{"2.5000"},
                      "DB-26", 100.0, Decimal{"30.0000"}, "调拨"}}));
    Answer(
        R"(SELECT CAST\(D\.BillID AS bigint\)\*200000000\+D\.BillDetailID AS _ID.*FROM AAAAAAN D)" +
            range,
        Rows({Col("_ID", SqlType::BigInt), Col("BillID", SqlType::Int),
              Col("nBillType", SqlType::Int), Col("nStockDirection", SqlType::VarChar, 1),
              Col("fReceived", SqlType::Money, 0, 19, 4), Col("sRefNo", SqlType::VarChar, 30)},
             {{5400000001LL, 27, 171, "", Decimal{"80.0000"}, "SK-27"}}));
    Answer(
        R"(SELECT CAST\(D\.BillID AS bigint\)\*300000000\+D\.BillDetailID AS _ID.*FROM AAAAAAX D)" +
            range,
        Rows({Col("_ID", SqlType::BigInt), Col("BillID", SqlType::Int)}, {}));
  }

  std::filesystem::path target_ = folder_.Path() / "5120down_bills.db";
};

TEST_F(DownloadBuilderTest, BasicDataOfAPersonAndTheBillLinesOfTheRange) {
  ScriptBasicData();
  ScriptBills("2024-01-01", "2024-03-31");
  Build({"12", "2024-01-01", "2024-03-31"});

  // Texts in UTF-8 with ” for ", NULLs as NULL, money exact, whole numbers as integers.
  EXPECT_EQ(Read("SELECT _ID, SelfID, sPersonName, sPersonPhone, nDeletionFlag, sPersonPass FROM "
                 "AZ_PersonInfo"),
            (Table{{T("3"), T("00002"), T("王小明"), kNull, T("170002"), T("pw”1")}}));
  EXPECT_EQ(Read("SELECT _ID, sClientName, bIsVendor, InitReceiveTotal, ReceiveTotal FROM "
                 "AZ_ClientInfo ORDER BY _ID"),
            (Table{{T("11"), T("华东”贸易”公司"), T("N"), kNull, T("1234.56")},
                   {T("12"), T("O'Brien"), T("Y"), T("-3.25"), T("0.0")}}));
  EXPECT_EQ(Read("SELECT _ID, SelfID, sStockName FROM AZ_StockInfo"),
            (Table{{T("5"), T("00001"), T("主仓库")}}));
  EXPECT_EQ(Read("SELECT _ID, nWareID, fUnitRate, fSalePrice, fMinPrice FROM AZ_WareMultiUnit "
                 "ORDER BY _ID"),
            (Table{{T("100021"), T("21"), T("1.0"), T("12.5"), kNull},
                   {T("200003"), T("21"), T("12.0"), T("150.0"), kNull}}));
  EXPECT_EQ(Read("SELECT _ID, sWareName, sBarCode, fBuyPrice, nStockQty, nStrictSerial FROM "
                 "AZ_WareInfo ORDER BY _ID"),
            (Table{{T("21"), T("乌龙茶 ”500ml”"), kNull, kNull, T("40.0"), T("1")},
                   {T("22"), T("Green tea"), T("6901234"), T("2.75"), T("0.0"), T("0")}}));
  EXPECT_EQ(Read("SELECT IsDownData, _ID, nStockID, nWareID, nQuantity, fCostPrice FROM "
                 "AZ_StockWare"),
            (Table{{T("Y"), T("77"), T("5"), T("21"), T("40.0"), T("3.25")}}));
  // Classes, units, then the company rows, whose texts are stored exactly as
  // the account set holds them (a quote of either kind included).
  EXPECT_EQ(
      Read("SELECT _ID, nFieldType, SelfID, sFieldName, sFieldValue, sMemo, sIsActive FROM "
           "AZ_OtherInfo ORDER BY _ID"),
      (Table{{T("2"), T("1001"), kNull, T("公司名称"), T("快乐\"小店'"), T("公司名称"), T("Y")},
             {T("3"), T("1002"), kNull, T("公司电话"), T("010-1234"), T("公司电话"), T("Y")},
             {T("4"), T("1003"), kNull, T("公司地址"), T(""), T("公司地址"), T("Y")},
             {T("120007"), T("102"), T("00003"), T("饮料"), kNull, T("商品分类"), kNull},
             {T("400002"), T("101"), T("00002"), T("箱"), kNull, kNull, kNull}}));

  // Line ids past int's range; the received amount once per bill, on its
  // first line; a receipt keeps its own; a NULL price stays NULL and the
  // rows after it are there.
  EXPECT_EQ(Read("SELECT _ID, BillID, nBillType, nDateTime, fPrice, sBillNumber, fDiscount, "
                 "fReceived, sMemo FROM AZ_BillDetailAll WHERE nBillType <> 171 ORDER BY _ID"),
            (Table{{T("2500000001"), T("25"), T("115"), T("1706745600000"), T("5.0"), T("XS-25"),
                    T("95.0"), T("50.0"), kNull},
                   {T("2500000002"), T("25"), T("115"), T("1706745600000"), kNull, T("XS-25"),
                    T("100.0"), T("0.0"), T("第二行")},
                   {T("2600000001"), T("26"), T("1361"), T("1706832000000"), T("2.5"), T("DB-26"),
                    T("100.0"), T("30.0"), T("调拨")}}));
  EXPECT_EQ(Read("SELECT _ID, nBillType, nStockDirection, fReceived, sRefNo FROM AZ_BillDetailAll "
                 "WHERE nBillType = 171"),
            (Table{{T("5400000001"), T("171"), T(""), T("80.0"), T("SK-27")}}));
  EXPECT_TRUE(Read("SELECT * FROM AZ_UserLimit").empty());
  // The nine tables are the template's, with its columns and their affinities.
  EXPECT_EQ(Read("SELECT count(*) FROM sqlite_master WHERE type='table'"), (Table{{T("9")}}));
  EXPECT_EQ(
      Read("SELECT name, type FROM pragma_table_info('AZ_BillDetailAll') WHERE name IN "
           "('_ID', 'sSerialNo', 'fReceived') ORDER BY name"),
      (Table{{T("_ID"), T("INT")}, {T("fReceived"), T("REAL")}, {T("sSerialNo"), T("TEXT")}}));
  EXPECT_FALSE(std::filesystem::exists(target_.string() + ".building"));
}

TEST_F(DownloadBuilderTest, PersonOneGetsEveryPersonAndTheirRights) {
  server_.OnStatement(
      "SELECT SelfID, CompanyID FROM AAAAADG WHERE IndexID = 1",
      Rows({Col("SelfID", SqlType::VarChar, 25), Col("CompanyID", SqlType::VarChar, 25)},
           {{"00000", "00001"}}));
  Answer(
      R"(SELECT A\.IndexID AS _ID.* FROM AAAAADG A LEFT JOIN AAAAACV B ON A\.SelfID = B\.PersonID WHERE A\.SelfID = '00000' OR NodeSum = 0)",
      Rows({Col("_ID", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
            Col("sPersonName", SqlType::NVarChar, 66), Col("sPersonPass", SqlType::VarChar, 50)},
           {{1, "00000", "系统管理员", "admin"}, {7, "00007", "张三", ""}}));
  // Person 7: rights 112, 308 and 405; person 8: blanks only (no rows);
  // person 9: right 0 only.
  std::string limit(7 * 406, '0');
  for (int right : {112, 308, 405}) limit[static_cast<std::size_t>(7 * right)] = '1';
  Answer(R"(SELECT A\.IndexID AS nPersonID, B\.Limit FROM AAAAADG A INNER JOIN AAAAACV B .*)",
         Rows({Col("nPersonID", SqlType::Int), Col("Limit", SqlType::Text)},
              {{7, limit}, {8, "   "}, {9, "1"}}));
  Build({" 1 ", "2000-01-01", "2020-01-01"});

  EXPECT_EQ(Read("SELECT _ID, SelfID, sPersonName, sPersonPass FROM AZ_PersonInfo ORDER BY _ID"),
            (Table{{T("1"), T("00000"), T("系统管理员"), T("admin")},
                   {T("7"), T("00007"), T("张三"), T("")}}));
  const Table rights = Read(
      "SELECT _id, nCompanyID, nPersonID, nWindowID, sWinCaption, sIsActive, nSortNo FROM "
      "AZ_UserLimit ORDER BY _id");
  ASSERT_EQ(rights.size(), 136u);
  EXPECT_EQ(rights.front(), (std::vector<Cell>{T("10000000"), T("1"), T("7"), T("308"),
                                               T("商品资料"), T("Y"), T("0")}));
  EXPECT_EQ(rights[67], (std::vector<Cell>{T("10000067"), T("1"), T("7"), T("80004"), T("关于我们"),
                                           T("Y"), T("67")}));
  EXPECT_EQ(rights[68][0], T("10000068"));
  EXPECT_EQ(rights[68][2], T("9"));
  const auto active = [&](const char* person, const char* window) {
    for (const auto& row : rights) {
      if (row[2] == T(person) && row[3] == T(window)) return *row[5];
    }
    return std::string("missing");
  };
  struct Case {
    const char* person;
    const char* window;
    const char* expected;
  };
  const Case cases[] = {
      {"7", "800112", "Y"},  // right 112 at position 784
      {"7", "112", "Y"},    {"7", "308", "Y"},   {"7", "338", "N"},
      {"7", "70112", "Y"},  // 405 and 112
      {"7", "70113", "N"},  // 405 without 113
      {"7", "78135", "N"},  // 405 without 135
      {"7", "800115", "N"}, {"7", "70001", "Y"}, {"7", "80001", "Y"},
      {"9", "308", "N"},    {"9", "70001", "Y"}, {"9", "70112", "N"},
      {"9", "574", "N"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(active(c.person, c.window), c.expected) << c.person << "/" << c.window;
  }
  for (const char* empty : {"AZ_WareInfo", "AZ_ClientInfo", "AZ_BillDetailAll", "AZ_OtherInfo"}) {
    EXPECT_TRUE(Read(std::string("SELECT * FROM ") + empty).empty()) << empty;
  }
}

TEST_F(DownloadBuilderTest, APersonIndexWithoutPersonStillGetsTheBills) {
  server_.OnStatement(
      "SELECT SelfID, CompanyID FROM AAAAADG WHERE IndexID = 99",
      Rows({Col("SelfID", SqlType::VarChar, 25), Col("CompanyID", SqlType::VarChar, 25)}, {}));
  ScriptBills("2024-02-01", "2024-02-29");
  Build({"99", "2024-02-01", "2024-02-29"});
  EXPECT_TRUE(Read("SELECT * FROM AZ_PersonInfo").empty());
  EXPECT_TRUE(Read("SELECT * FROM AZ_OtherInfo").empty());
  EXPECT_EQ(Read("SELECT count(*) FROM AZ_BillDetailAll"), (Table{{T("4")}}));
}

TEST_F(DownloadBuilderTest, PhoneTextThatIsNoIndexOrDateNeverReachesAStatement) {
  const mobile::DownloadRequest cases[] = {
      {"1 OR 1=1", "2024-01-01", "2024-01-31"},
      {"", "2024-01-01", "2024-01-31"},
      {"12a", "2024-01-01", "2024-01-31"},
      {"１２", "2024-01-01", "2024-01-31"},
      {"1234567890123456789", "2024-01-01", "2024-01-31"},
      {"12", "2024-02-30", "2024-03-01"},
      {"12", "2023-02-29", "2023-03-01"},
      {"12", "2024/01/01", "2024-01-31"},
      {"12", "2024-01-01' OR '1'='1", "2024-01-31"},
      {"12", "2024-01-01", ""},
      {"12", "2024-1-01", "2024-01-31"},
      {"12", "2024-13-01", "2024-01-31"},
  };
  std::ofstream(target_) << "an old download";
  for (const mobile::DownloadRequest& request : cases) {
    SCOPED_TRACE(request.personIndex + " / " + request.beginDate + " / " + request.endDate);
    EXPECT_THROW(Build(request), std::invalid_argument);
  }
  EXPECT_TRUE(WorkRequests().empty());
  // A refusal builds nothing, so the old file is left to whoever owns it.
  EXPECT_TRUE(std::filesystem::exists(target_));
}

TEST_F(DownloadBuilderTest, AFailingCopyFailsTheBuildAndLeavesNoFile) {
  ScriptBasicData();
  Reply broken = Rows({Col("_ID", SqlType::Int), Col("SelfID", SqlType::VarChar, 25)},
                      {{21, "0000100001"}, {22, "0000100002"}, {23, "0000100003"}});
  broken.error = test::ServerError{8115, 2, 16, "Arithmetic overflow error converting to int."};
  broken.errorAfterRows = 1;
  Answer(R"(SELECT A\.IndexID AS _ID, A\.SelfID, A\.LongName AS sWareName.*)", broken);
  ScriptBills("2024-01-01", "2024-03-31");
  std::ofstream(target_) << "an old download";
  EXPECT_ANY_THROW(Build({"12", "2024-01-01", "2024-03-31"}));
  EXPECT_FALSE(std::filesystem::exists(target_));
  EXPECT_FALSE(std::filesystem::exists(target_.string() + ".building"));
  // Nothing after the failing table was asked for.
  for (const std::string& text : WorkRequests()) {
    EXPECT_EQ(text.find("AAAACAX"), std::string::npos) << text;
  }
}

TEST_F(DownloadBuilderTest, ATemplateThatIsNotThereFailsTheBuild) {
  ScriptBasicData();
  EXPECT_THROW(mobile::BuildDownloadFile(connection_, {"12", "2024-01-01", "2024-01-31"},
                                         folder_.Path() / "Data" / "jxcdatabase.db", target_),
               std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(target_));
  EXPECT_FALSE(std::filesystem::exists(folder_.Path() / "Data" / "jxcdatabase.db"));
}

TEST_F(DownloadBuilderTest, AFileStillBeingSentIsLeftAsItIs) {
  std::ofstream(target_) << "being sent";
  const int sender = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(sender, 0);
  ASSERT_EQ(::flock(sender, LOCK_SH), 0);
  ScriptBasicData();
  Build({"12", "2024-01-01", "2024-03-31"});
  ::close(sender);
  std::ifstream in(target_);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "being sent");
  EXPECT_TRUE(WorkRequests().empty());
}

}  // namespace
}  // namespace quor::testing
