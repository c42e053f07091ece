// The uploads of the change queue over the SQL Server stand-in and the cloud
// stand-in: the SELECT each sends (byte for byte where its wording is fixed),
// the rows arriving at the cloud as JSON, the dispatch by queue table and
// bill type, and what is refused before anything is read or sent.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "sync/UploadMapping.h"
#include "tests/support/tds/Declare.h"
#include "tests/sync/CloudMappingFixture.h"

namespace quor::sync::testing {
namespace {

using test::Col;
using test::Reply;
using test::ResultSet;
using test::SqlType;

// The texts as SQL Server must receive them (company 12, no operator).
// tb_user_info
constexpr const char* kStaffText =
    "SELECT 12 AS [cid], A.SelfID AS [SelfID], A.MovePhone AS [user_name], A.LongName AS [rea"
    "l_name], A.MovePhone AS [cellphone], 1 AS [status], 0 AS [store_id], B.SysID AS [is_supe"
    "r], A.EMail AS [eMail], A.Memo AS [remark], A.BranchID AS [BranchID], ISNULL(C.LongName,"
    " '') AS [store_name], 0 AS [optimistic_lock_version], DBO.MD5(ISNULL(B.password, '')) AS"
    " [password], ISNULL(B.Limit, '') AS [pc_Limit] FROM AAAAAND('') A INNER JOIN AAAAACV B O"
    "N A.SelfID = B.PersonID LEFT JOIN AAAAABS C ON A.BranchID=C.SelfID WHERE A.NodeSum = 0  "
    "And A.SelfID='00003'  Order By A.IndexID";

// tb_account_info
constexpr const char* kAccountsText =
    "SELECT 12 AS [cid], A.SelfID AS [SelfID], A.LongName AS [Name], A.LongName AS [text], A."
    "CodeName AS [Account], 1 AS [Store_ID], '公共' AS [Store_Name], (B.SumTo00+B.SumTo) AS [Ba"
    "lance], 1 AS [Account_Type], A.Memo AS [Remark], 0 AS [optimistic_lock_version], OrderNo"
    " AS [show_order] FROM AAAACEW('') A LEFT OUTER JOIN AAAAAAA B ON A.SelfID = B.AccountID "
    "WHERE ((A.SelfID Like '0000100003%') OR (A.ParentID Like '0000100004%')) ";

// tb_storehouse_info
constexpr const char* kStorehousesText =
    "SELECT 12 AS [cid], SelfID AS [SelfID], CodeName AS [storehouse_no], LongName AS [storeh"
    "ouse_name], Memo AS [remark], 1 AS [status], OrderNo AS [show_order], 0 AS [store_id], B"
    "ranchID AS [BranchID], 0 AS [optimistic_lock_version], '公共' AS [store_name], LongName AS"
    " [Text] FROM AAAAANN('') A WHERE SelfID <> '00000'  And A.SelfID='00002' And NodeSum = 0"
    "  Order By IndexID";

// tb_purchase_info
constexpr const char* kPurchaseMasterText =
    "SELECT 12 AS [cid], m.BillID AS [BillID], m.Number AS [purchase_sn], m.ClientID AS [Clie"
    "ntID], C.LongName AS [supplier_name], m.StockID AS [StockID], K.LongName AS [depot_name]"
    ", 2 AS [state], CONVERT(bigint, DATEDIFF([SECOND], '1970-01-01', m.DateTimes) - 28800)*1"
    "000 AS [create_time], CONVERT(bigint, DATEDIFF([SECOND], '1970-01-01', m.DateTimes) - 28"
    "800)*1000 AS [business_time], CONVERT(bigint, DATEDIFF([SECOND], '1970-01-01', m.DateTim"
    "es) - 28800)*1000 AS [update_time], m.SumTo AS [total_amount], m.SumTo AS [true_total_am"
    "ount], m.AuditingMan AS [AuditingManID], P.LongName AS [handler_name], m.Memo AS [remark"
    "], 0 AS [optimistic_lock_version], T.LongName AS [business_type], A.AccountID AS [Accoun"
    "tID], A.LongName AS [account_name], ISNULL(ABS(A.SumTo), 0) AS [already_paid], CASE WHEN"
    " m.BillType =112 THEN 1 WHEN m.BillType =113 THEN 2 END AS [item_type] FROM AAAAABG m IN"
    "NER JOIN AAAAAEO K ON K.SelfID = m.StockID INNER JOIN AAAAABY C ON m.ClientID = C.SelfID"
    " INNER JOIN AAAAADG P ON m.AuditingMan = P.SelfID INNER JOIN AAAAABQ T ON m.BillType = T"
    ".BillType LEFT OUTER JOIN (SELECT DA.BillID, '0000100003' AccountID, '现金' LongName, SUM("
    "DA.SumTo) AS SumTo FROM AAAAAAN DA INNER JOIN AAAAAAC AI ON DA.AccountID = AI.SelfID AND"
    " DA.Orientation = 1010 GROUP BY DA.BillID) A ON m.BillID = A.BillID LEFT OUTER JOIN (SEL"
    "ECT DA.BillID, '000040000300006' AccountID, '优惠' LongName, SUM(DA.SumTo) AS SumTo FROM A"
    "AAAAAN DA INNER JOIN AAAAAAC AI ON DA.AccountID = AI.SelfID AND DA.Orientation = 1011 GR"
    "OUP BY DA.BillID) AY ON m.BillID = AY.BillID LEFT OUTER JOIN (SELECT DA.BillID, '0000400"
    "00300005' AccountID, '代垫运费' LongName, SUM(DA.SumTo) AS SumTo FROM AAAAAAN DA INNER JOIN "
    "AAAAAAC AI ON DA.AccountID = AI.SelfID AND DA.Orientation = 1014 GROUP BY DA.BillID) AD "
    "ON m.BillID = AD.BillID WHERE (m.BillType IN (112, 113)) AND m.Draft = 2 AND (m.IsMobile"
    "Bill = 0) AND (m.OldAbolish = 'F')  AND M.BillID=305 Order by m.BillID ";

// tb_purchase_detail
constexpr const char* kPurchaseLinesText =
    "SELECT 12 AS [cid], D.BillID AS [BillID], M.Number AS [purchase_sn], W.BarCode AS [Bar_C"
    "ode], Abs(D.CS_Quantity) AS [quantity], D.price AS [price], Abs(D.CS_Quantity*D.price) A"
    "S [amount], (D.discount*100) AS [discount], D.UnitNo AS [UnitNo], D.UnitRate AS [UnitRat"
    "e], D.DiscountPrice AS [true_price], Abs(D.CS_Quantity*D.DiscountPrice) AS [true_amount]"
    ", D.WareID AS [WareID], W.CodeName AS [goods_sn], W.LongName AS [good_name], D.CS_ColorI"
    "D AS [ColorID], CONVERT(bigint, DATEDIFF([SECOND], '1970-01-01', D.DateTimes) - 28800)*1"
    "000 AS [update_time], D.CS_ColorName AS [color_name], D.CS_SizeID AS [SizeID], D.CS_Size"
    "Name AS [size_name], D.UnitID AS [UnitID], w.UnitName0 AS [unit], 0 AS [optimistic_lock_"
    "version] FROM AAAAAMK(2) D INNER JOIN AAAAABG M ON D.BillID = M.BillID INNER JOIN AAAAAF"
    "T W ON D.WareID = W.SelfID WHERE (D.BillType IN (112, 113)) AND M.Draft = 2 AND (m.IsMob"
    "ileBill = 0) AND (M.OldAbolish = 'F')  AND M.BillID=305";

// tb_pay_records
constexpr const char* kPurchasePaymentsText =
    "SELECT 12 AS [cid], M.BillID AS [BillID], A.SelfID AS [AccountID], A.LongName AS [accoun"
    "t_name], M.BillType AS [BillType], M.Number AS [business_sn], M.ClientID AS [ClientID], "
    "C.LongName AS [Client_Name], C.LongName AS [Supplier_Name], M.AuditingMan AS [AuditingMa"
    "nID], P.LongName AS [Handler_Name], (CASE WHEN DA.AccountID LIKE '0000200001%' THEN (CAS"
    "E WHEN m.BillType=113 THEN -m.SumTo ELSE m.SumTo END) ELSE (CASE WHEN m.BillType=113 THE"
    "N D.SumTo ELSE -D.SumTo END) END) AS [need_amount], (CASE WHEN m.BillType=113 THEN IsNul"
    "l(D.SumTo,0) ELSE -IsNull(D.SumTo,0) END) AS [real_amount], (CASE WHEN DA.AccountID LIKE"
    " '0000200001%' THEN (M.SumTo - ABS(IsNull(D.SumTo,0))) ELSE 0 END) AS [opposite_side_bal"
    "ance], CONVERT(bigint, DATEDIFF([SECOND], '1970-01-01', M.DateTimes) - 28800)*1000 AS [u"
    "pdate_time], CONVERT(bigint, DATEDIFF([SECOND], '1970-01-01', M.DateTimes) - 28800)*1000"
    " AS [create_time], 0 AS [optimistic_lock_version] FROM AAAAABG M INNER JOIN AAAAABY C ON"
    " M.ClientID = C.SelfID INNER JOIN AAAAADG P ON M.AuditingMan = P.SelfID LEFT JOIN AAAAAA"
    "N DA ON M.BillID = DA.BillID AND (DA.AccountID LIKE '0000200001%' OR DA.AccountID LIKE '"
    "0000100003%' OR DA.AccountID LIKE '0000100004%') INNER JOIN AAAAAAC A ON A.SelfID = DA.A"
    "ccountID LEFT JOIN (SELECT GatheringBillID, Sum(SumTo) As SumTo FROM AAAAADD Group By Ga"
    "theringBillID) d ON M.BillID = d.GatheringBillID WHERE (m.BillType IN (112, 113)) AND M."
    "Draft = 2 AND (m.IsMobileBill = 0) AND (M.OldAbolish = 'F')  AND M.BillID=305";

// tb_store_order
constexpr const char* kStoreOrderMasterText =
    "SELECT 12 AS [cid], m.BillID AS [BillID], m.Number AS [order_no], m.StockID AS [StockID]"
    ", K.LongName AS [storehouse_name], 2 AS [status], CONVERT(bigint, DATEDIFF([SECOND], '19"
    "70-01-01', m.DateTimes) - 28800)*1000 AS [create_time], CONVERT(bigint, DATEDIFF([SECOND"
    "], '1970-01-01', m.DateTimes) - 28800)*1000 AS [business_time], CONVERT(bigint, DATEDIFF"
    "([SECOND], '1970-01-01', m.DateTimes) - 28800)*1000 AS [update_time], m.AuditingMan AS ["
    "AuditingManID], P.LongName AS [submit_user_name], m.Memo AS [remark], 0 AS [optimistic_l"
    "ock_version], 0 AS [all_store], CASE WHEN m.BillType = 300 THEN 2 ELSE 0 END AS [order_t"
    "ype] FROM AAAAABJ m INNER JOIN AAAAAEO K ON K.SelfID = m.StockID INNER JOIN AAAAADG P ON"
    " m.AuditingMan = P.SelfID WHERE (m.BillType IN (300)) AND m.Draft = 0 AND (m.IsMobileBil"
    "l = 0) AND (m.OldAbolish = 'F')  AND M.BillID=306";

// tb_store_order_detail
constexpr const char* kStoreOrderLinesText =
    "SELECT 12 AS [cid], D.BillID AS [BillID], M.Number AS [store_order_no], D.StockID AS [St"
    "ockID], D.Quantity AS [number], 0 AS [optimistic_lock_version], CONVERT(bigint, DATEDIFF"
    "([SECOND], '1970-01-01', D.DateTimes) - 28800)*1000 AS [update_time], D.WareID AS [WareI"
    "D], W.CodeName AS [goods_sn], W.LongName AS [good_name], D.CS_ColorID AS [ColorID], D.CS"
    "_ColorName AS [color_name], D.CS_SizeID AS [SizeID], D.CS_SizeName AS [size_name], IsNul"
    "l(G.Quantity,0) AS [before_number], (IsNull(G.Quantity,0)-D.Quantity) AS [sku_store_num]"
    " FROM AAAAAMN(0) D INNER JOIN AAAAABJ M ON D.BillID = M.BillID INNER JOIN AAAAAFT W ON D"
    ".WareID = W.SelfID LEFT JOIN (SELECT WareID, StockID, Sum(Quantity) As Quantity FROM AAA"
    "AAEY Group By WareID, StockID) G ON D.WareID = G.WareID And D.StockID=G.StockID WHERE (D"
    ".BillType IN (300)) AND M.Draft = 0 AND (m.IsMobileBill = 0) AND (M.OldAbolish = 'F')  A"
    "ND M.BillID=306";

Reply OneRow(std::vector<test::Column> columns, std::vector<test::Value> values) {
  Reply reply;
  reply.resultSets.push_back(ResultSet{std::move(columns), {std::move(values)}});
  return reply;
}

// Batches and statements the stand-ins received, in order.
std::vector<std::string> StatementTexts(const test::SqlServerStandIn& server) {
  std::vector<std::string> texts;
  for (const test::Request& request : server.Requests()) {
    if (request.kind == test::RequestKind::Batch && request.text.rfind("SELECT 12", 0) == 0) {
      texts.push_back(request.text);
    }
  }
  return texts;
}

class UploadMappingTest : public CloudMappingTest {};

TEST_F(UploadMappingTest, BasicUploadsSendTheirSelectAndTheRowsArriveAsJson) {
  struct Case {
    const char* label;
    std::string (*upload)(CloudClient&, sql::Connection&, const std::string&);
    const char* selfId;
    const char* text;
    const char* cloudTable;
    Reply rows;
    nlohmann::json arrived;
  };
  const std::vector<Case> cases = {
      {"one staff record",
       UploadStaff,
       "00003",
       kStaffText,
       "tb_user_info",
       OneRow({Col("cid", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
               Col("real_name", SqlType::NVarChar, 66), Col("status", SqlType::Int),
               Col("password", SqlType::VarChar, 32)},
              {12, "00003", "王小明", 1, "e10adc3949ba59abbe56e057f20f883e"}),
       {{"cid", 12},
        {"SelfID", "00003"},
        {"real_name", "王小明"},
        {"status", 1},
        {"password", "e10adc3949ba59abbe56e057f20f883e"}}},
      {"the whole account table when the identifier is empty",
       UploadAccounts,
       "",
       kAccountsText,
       "tb_account_info",
       OneRow({Col("cid", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
               Col("Store_Name", SqlType::VarChar, 10), Col("Balance", SqlType::Float)},
              {12, "0000100003", "公共", 1250.5}),
       {{"cid", 12}, {"SelfID", "0000100003"}, {"Store_Name", "公共"}, {"Balance", 1250.5}}},
      {"one storehouse",
       UploadStorehouses,
       "00002",
       kStorehousesText,
       "tb_storehouse_info",
       OneRow({Col("cid", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
               Col("Text", SqlType::NVarChar, 66)},
              {12, "00002", "北门店"}),
       {{"cid", 12}, {"SelfID", "00002"}, {"Text", "北门店"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    server_.OnStatement(c.text, c.rows);
    cloud_.ClearRequests();
    EXPECT_EQ(c.upload(client_, connection_, c.selfId), "");
    const std::vector<test::CloudRequest> sent = CallsTo("KEY260");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].FormValue("tableName"), c.cloudTable);
    EXPECT_EQ(sent[0].FormValue("CID"), kCloudCompany);
    EXPECT_EQ(nlohmann::json::parse(sent[0].FormValue("tableData").value_or("")),
              nlohmann::json::array({c.arrived}));
    EXPECT_EQ(tables_.Rows(c.cloudTable).back(), c.arrived);
  }
}

TEST_F(UploadMappingTest, EachQueueTableReachesItsCloudTable) {
  struct Case {
    const char* basicDb;
    const char* cloudTable;
    const char* source;  // the table function the SELECT reads
  };
  const std::vector<Case> cases = {
      {"AAAAAAC", "tb_account_info", "FROM AAAACEW('') A"},
      {"AAAAAFT", "tb_goods_info", "FROM AAAAANV('') A"},
      {"AAAAABY", "tb_customer_info", "A.isClient IN (0, 1, 3, 4, 5)"},
      {"BZ_SupplierInfo", "tb_supplier_info", "A.isClient IN (0, 2)"},
      {"AAAAADG", "tb_user_info", "FROM AAAAAND('') A"},
      {"AAAAAEO", "tb_storehouse_info", "FROM AAAAANN('') A"},
  };
  server_.OnStatementMatching(std::regex("SELECT 12 AS \\[cid\\].*"),
                              OneRow({Col("SelfID", SqlType::VarChar, 25)}, {"00007"}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.basicDb);
    server_.ClearRequests();
    cloud_.ClearRequests();
    EXPECT_EQ(UploadBasicRecord(client_, connection_, c.basicDb, "00007"), "");
    const std::vector<std::string> texts = StatementTexts(server_);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(c.source), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find(" And A.SelfID='00007'"), std::string::npos) << texts[0];
    const std::vector<test::CloudRequest> sent = CallsTo("KEY260");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].FormValue("tableName"), c.cloudTable);
    EXPECT_EQ(sent[0].FormValue("tableData"), R"([{"SelfID":"00007"}])");
  }
  // A table without an upload reads and sends nothing.
  server_.ClearRequests();
  cloud_.ClearRequests();
  EXPECT_EQ(UploadBasicRecord(client_, connection_, "AAAAAFN", "00007"), kUnknownBasicTableText);
  EXPECT_TRUE(StatementTexts(server_).empty());
  EXPECT_TRUE(cloud_.Requests().empty());
}

TEST_F(UploadMappingTest, BillsSendMasterLinesAndPaymentsByTypeAndTrade) {
  struct Case {
    const char* vocation;
    std::int32_t billType;
    const char* completion;
    std::vector<const char*> cloudTables;
    std::vector<const char*> fragments;  // one per statement, in order
  };
  const std::vector<Case> cases = {
      {"FZ",
       112,
       "B",
       {"tb_purchase_info", "tb_purchase_detail", "tb_pay_records"},
       {"AND m.Draft = 2 AND (m.IsMobileBill = 0) AND (m.OldAbolish = 'F')  AND M.BillID=41 ",
        "FROM AAAAAMK(2) D", "LIKE '0000200001%'"}},
      {"BZ",
       116,
       "S",
       {"tb_sale_info", "tb_sale_detail", "tb_pay_records"},
       {"(m.BillType IN (115, 116, 117, 118))", "Abs(D.Quantity*D.DiscountPrice)",
        "LIKE '0000100005%'"}},
      {"MY",
       137,
       "E",
       {"tb_transfer_order", "tb_transfer_order_detail"},
       {"AAAAAEO K2 ON K2.SelfID = m.StockID2", "Abs(D.CS_Quantity) AS [transfer_number]"}},
      {"YY",
       300,
       "",
       {"tb_store_order", "tb_store_order_detail"},
       {"AND m.Draft = 0 AND (m.IsMobileBill = 0)", "FROM AAAAAMN(0) D"}},
  };
  server_.OnStatementMatching(std::regex("SELECT 12 AS \\[cid\\].*"),
                              OneRow({Col("BillID", SqlType::Int)}, {41}));
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.vocation) + " " + std::to_string(c.billType));
    server_.ClearRequests();
    cloud_.ClearRequests();
    const BillUpload upload = UploadBill(client_, connection_, c.vocation, c.billType, 41);
    EXPECT_TRUE(upload.known);
    EXPECT_EQ(upload.completionTable, c.completion);
    EXPECT_EQ(upload.errorText, "");
    const std::vector<std::string> texts = StatementTexts(server_);
    const std::vector<test::CloudRequest> sent = CallsTo("KEY260");
    ASSERT_EQ(texts.size(), c.fragments.size());
    ASSERT_EQ(sent.size(), c.cloudTables.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
      EXPECT_NE(texts[i].find(c.fragments[i]), std::string::npos) << texts[i];
      EXPECT_NE(texts[i].find(" AND M.BillID=41"), std::string::npos) << texts[i];
      EXPECT_EQ(sent[i].FormValue("tableName"), c.cloudTables[i]);
      EXPECT_EQ(sent[i].FormValue("tableData"), R"([{"BillID":41}])");
    }
  }
}

TEST_F(UploadMappingTest, PurchaseAndStoreOrderTextsAreSentAsTheyStand) {
  struct Case {
    const char* vocation;
    std::int32_t billType;
    std::int32_t billId;
    std::vector<const char*> texts;
  };
  const std::vector<Case> cases = {
      {"FZ", 113, 305, {kPurchaseMasterText, kPurchaseLinesText, kPurchasePaymentsText}},
      {"BZ", 300, 306, {kStoreOrderMasterText, kStoreOrderLinesText}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.billType);
    // Only the exact texts are answered: any other wording fails the upload.
    for (const char* text : c.texts) {
      server_.OnStatement(text, OneRow({Col("BillID", SqlType::Int)}, {c.billId}));
    }
    cloud_.ClearRequests();
    EXPECT_EQ(UploadBill(client_, connection_, c.vocation, c.billType, c.billId).errorText, "");
    EXPECT_EQ(CallsTo("KEY260").size(), c.texts.size());
  }
}

TEST_F(UploadMappingTest, AFailingPartEndsTheBillUploadWithItsError) {
  server_.OnStatementMatching(std::regex("SELECT 12 AS \\[cid\\].*"),
                              OneRow({Col("BillID", SqlType::Int)}, {41}));
  // The lines' table function is missing: the master went, the lines fail.
  Reply missing;
  missing.error = test::ServerError{208, 1, 16, "Invalid object name 'AAAAAMP'."};
  server_.OnStatementMatching(std::regex("SELECT 12 AS \\[cid\\].*FROM AAAAAMP\\(0\\).*"), missing);
  const BillUpload upload = UploadBill(client_, connection_, "BZ", 115, 41);
  EXPECT_NE(upload.errorText.find("Invalid object name 'AAAAAMP'."), std::string::npos)
      << upload.errorText;
  const std::vector<test::CloudRequest> sent = CallsTo("KEY260");
  ASSERT_EQ(sent.size(), 1u);  // the payments were not sent as if the bill had gone
  EXPECT_EQ(sent[0].FormValue("tableName"), "tb_sale_info");

  // The cloud refusing a batch is an error too.
  cloud_.ClearRequests();
  tables_.Intercept([](const test::CloudRequest& request) -> std::optional<test::CloudAnswer> {
    if (request.path == "/business/KEY260") return test::CloudAnswer::Status(500, "busy");
    return std::nullopt;
  });
  EXPECT_NE(UploadBill(client_, connection_, "BZ", 112, 41).errorText, "");
  EXPECT_EQ(CallsTo("KEY260").size(), 1u);
}

TEST_F(UploadMappingTest, UnknownBillTypesSendNothing) {
  for (const std::int32_t type : {117, 118, 171, 0, -5}) {
    SCOPED_TRACE(type);
    server_.ClearRequests();
    const BillUpload upload = UploadBill(client_, connection_, "BZ", type, 41);
    EXPECT_FALSE(upload.known);
    EXPECT_EQ(upload.completionTable, "");
    EXPECT_EQ(upload.errorText, "");
    EXPECT_TRUE(StatementTexts(server_).empty());
  }
  EXPECT_TRUE(cloud_.Requests().empty());
}

TEST_F(UploadMappingTest, NothingIsReadWithoutASessionOrWithACompanyIdThatIsNoNumber) {
  struct Case {
    const char* label;
    const char* cid;
  };
  const std::vector<Case> cases = {
      {"no session", ""},
      {"SQL in the identifier", "12 OR 1=1"},
      {"a negative number", "-12"},
      {"letters", "12a"},
      {"too many digits for a number", "1234567890123456789"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    client_.Session().cid = c.cid;
    server_.ClearRequests();
    cloud_.ClearRequests();
    EXPECT_NE(UploadGoods(client_, connection_, "00001"), "");
    EXPECT_NE(UploadBill(client_, connection_, "BZ", 112, 41).errorText, "");
    for (const test::Request& request : server_.Requests()) {
      EXPECT_EQ(request.text.find("SELECT"), std::string::npos) << request.text;
    }
    EXPECT_TRUE(cloud_.Requests().empty());
  }
}

TEST_F(UploadMappingTest, AQuoteInTheRecordIdentifierStaysInsideItsLiteral) {
  server_.OnStatementMatching(std::regex("SELECT 12 AS \\[cid\\].*"),
                              OneRow({Col("SelfID", SqlType::VarChar, 25)}, {"x"}));
  EXPECT_EQ(UploadCustomers(client_, connection_, "0'; DELETE FROM AAAAABY;--"), "");
  const std::vector<std::string> texts = StatementTexts(server_);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find(" And A.SelfID='0''; DELETE FROM AAAAABY;--' And A.NodeSum = 0"),
            std::string::npos)
      << texts[0];
}

}  // namespace
}  // namespace quor::sync::testing
