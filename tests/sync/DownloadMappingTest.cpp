// The download of one account set over the cloud stand-in (a service with
// tables) and the SQL Server stand-in (an account set that keeps what is
// stored and undoes rolled-back transactions): records and bills created,
// linked back and posted once; the trade and bill-type rules; bills whose
// lines fail; back-links that fail and are finished later; hostile texts;
// replies of the wrong shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "sync/DownloadMapping.h"
#include "sync/PendingLinks.h"
#include "tests/support/files/TempFolder.h"
#include "tests/sync/CloudMappingFixture.h"

namespace quor::sync::testing {
namespace {

using nlohmann::json;

// Local 2026-03-05 10:00 and local 2026-02-01 07:30 (still 2026-01-31 in UTC).
constexpr std::int64_t kMarchFifth = 1772676000000;
constexpr std::int64_t kFebruaryFirst = 1769902200000;

std::string Text(const test::ProcedureCall& call, const char* parameter) {
  return test::TextOf(call[parameter]);
}

double Number(const test::ProcedureCall& call, const char* parameter) {
  const std::string text = Text(call, parameter);
  return text.empty() ? 0 : std::stod(text);
}

class DownloadMappingTest : public CloudMappingTest {
 protected:
  bool Download(const std::string& vocation = "BZ", bool postAtOnce = true) {
    context_.vocation = vocation;
    context_.postAtOnce = postAtOnce;
    return DownloadCloudChanges(client_, connection_, context_);
  }

  void AddPurchase(const std::string& number, std::vector<json> lines) {
    tables_.Add("tb_purchase_info", {{"id", 20},
                                     {"purchase_sn", number},
                                     {"BillType", 112},
                                     {"item_type", 1},
                                     {"ClientID", "00001"},
                                     {"StockID", "00001"},
                                     {"AuditingManID", "00002"},
                                     {"total_amount", 41},
                                     {"discount", 95},
                                     {"remark", "手机开单"},
                                     {"AccountID", "0000100003"},
                                     {"state", 2},
                                     {"wipe_zero", 0},
                                     {"other_cost", 0},
                                     {"business_time", kMarchFifth},
                                     {"already_paid", 41},
                                     {"BillID", 0}});
    for (json& line : lines) {
      line["purchase_sn"] = number;
      line["BillID"] = 0;
      tables_.Add("tb_purchase_detail", line);
    }
  }

  static json GoodsLine(int id, const char* ware, double quantity, double price) {
    return {{"id", id},
            {"WareID", ware},
            {"quantity", quantity},
            {"price", price},
            {"amount", quantity * price},
            {"discount", 100},
            {"true_price", price},
            {"true_amount", quantity * price},
            {"UnitID", "00001"},
            {"UnitNo", 0},
            {"UnitRate", 1},
            {"retail_price_area", price + 1}};
  }

  DownloadContext context_;
};

TEST_F(DownloadMappingTest, AFullPassCreatesRecordsAndBillsAndLinksEachBack) {
  tables_.Add("tb_unit_info", {{"id", 1}, {"name", "箱"}});
  tables_.Add("tb_user_info", {{"id", 2},
                               {"real_name", "李四"},
                               {"user_name", "13800000000"},
                               {"cellphone", "13800000000"},
                               {"email", "li@example.cn"},
                               {"remark", "店员"}});
  tables_.Add("tb_customer_info", {{"id", 3},
                                   {"client_name", "华联超市"},
                                   {"phone", "010-1"},
                                   {"fax", "010-2"},
                                   {"client_name_py", "HLCS"},
                                   {"contacts", "王"}});
  tables_.Add("tb_supplier_info", {{"id", 4},
                                   {"supplier_name", "东方食品"},
                                   {"Fax", "021-9"},
                                   {"Handler", "赵"},
                                   {"supplier_name_py", "DFSP"}});
  tables_.Add("tb_storehouse_info",
              {{"id", 5}, {"storehouse_name", "总仓"}, {"BranchID", "00001"}});
  tables_.Add("tb_color_group", {{"id", 6}, {"name", "基本色"}});
  tables_.Add("tb_color_info", {{"id", 7}, {"name", "红"}, {"color_group_id", 6}});
  tables_.Add("tb_size_group", {{"id", 8}, {"name", "尺码"}});
  tables_.Add("tb_size_info", {{"id", 9}, {"name", "XL"}, {"size_group_id", 8}});
  tables_.Add("tb_goods_info", {{"id", 10},
                                {"name", "可乐"},
                                {"goods_sn", "KL-1"},
                                {"bar_code", "690123"},
                                {"factory_price", 2.5},
                                {"trade_price", 3},
                                {"retail_price_area", 3.5},
                                {"unit", "箱"},
                                {"Standard", "330ml"},
                                {"WareType", "饮料"},
                                {"imagine", "http://img/kl.png"}});
  tables_.Add("tb_goods_img", {{"id", 11},
                               {"goods_id", 10},
                               {"name", "front"},
                               {"type", 1},
                               {"url", "http://img/front.png"},
                               {"state", 1}});
  AddPurchase("CG-001", {GoodsLine(30, "00001", 10, 3.5), GoodsLine(31, "00002", 2, 3)});
  tables_.Add("tb_pay_records", {{"id", 40},
                                 {"business_sn", "SK-9"},
                                 {"BillType", 171},
                                 {"ClientID", "00001"},
                                 {"AuditingManID", "00002"},
                                 {"AccountID", "0000100003"},
                                 {"create_time", kFebruaryFirst},
                                 {"real_amount", 50},
                                 {"state", 2},
                                 {"BillID", 0}});

  ASSERT_TRUE(Download());

  // Each kind of record went through its writer with the cloud row's values.
  struct Expected {
    const char* cloudTable;
    const char* procedure;
    std::vector<std::pair<const char*, std::string>> sent;
  };
  const std::vector<Expected> records = {
      {"tb_unit_info", "AAAAATN", {{"@LongName", "箱"}, {"@Bopomofo", "X"}, {"@MODE", "I"}}},
      {"tb_user_info",
       "AAAAAST",
       {{"@LongName", "李四"}, {"@CodeName", "13800000000"}, {"@Bopomofo", "LS"}}},
      {"tb_customer_info",
       "AAAAASA",
       {{"@LongName", "华联超市"}, {"@IsClient", "1"}, {"@Linkman", "王"}, {"@FaxesNum", "010-2"}}},
      {"tb_storehouse_info",
       "AAAAATH",
       {{"@LongName", "总仓"}, {"@CodeName", "总仓"}, {"@BranchID", "00001"}}},
      {"tb_color_group", "AAAAASB", {{"@LongName", "基本色"}, {"@CodeName", "基本色"}}},
      {"tb_size_group", "AAAAATD", {{"@LongName", "尺码"}}},
      {"tb_color_info", "AAAAASC", {{"@LongName", "红"}}},
      {"tb_size_info", "AAAAATE", {{"@LongName", "XL"}}},
      {"tb_goods_info",
       "AAAAATP",
       {{"@LongName", "可乐"}, {"@CodeName", "KL-1"}, {"@UnitID", "00001"}, {"@WareType", "饮料"}}},
  };
  for (const Expected& e : records) {
    SCOPED_TRACE(e.cloudTable);
    const std::vector<StoredRecord> stored = book_.Records(e.procedure);
    ASSERT_EQ(stored.size(), e.procedure == std::string("AAAAASA") ? 2u : 1u);
    for (const auto& [parameter, value] : e.sent) {
      EXPECT_EQ(Text(stored[0].call, parameter), value) << parameter;
    }
    // The company identifier of the session travels with every record.
    EXPECT_EQ(Text(stored[0].call, "@CompanyID"), "00002");
    const json cloudRows = tables_.Rows(e.cloudTable);
    ASSERT_EQ(cloudRows.size(), 1u);
    EXPECT_EQ(cloudRows[0]["SelfID"], stored[0].id);
  }
  EXPECT_EQ(Text(book_.Records("AAAAASA")[1].call, "@IsClient"), "2");
  EXPECT_EQ(tables_.Rows("tb_supplier_info")[0]["SelfID"], book_.Records("AAAAASA")[1].id);
  // The colour and size learned their group, and joined it locally.
  EXPECT_EQ(tables_.Rows("tb_color_info")[0]["GroupID"], book_.Records("AAAAASB")[0].id);
  EXPECT_EQ(tables_.Rows("tb_size_info")[0]["GroupID"], book_.Records("AAAAATD")[0].id);
  // The ware's prices were stored with it, and its image came down.
  const std::vector<StoredRecord> prices = book_.Records("AAAABCT");
  ASSERT_EQ(prices.size(), 1u);
  EXPECT_DOUBLE_EQ(prices[0].call["@PriceRetail"].AsDouble(), 3.5);
  EXPECT_DOUBLE_EQ(prices[0].call["@IntoPrice"].AsDouble(), 2.5);
  EXPECT_EQ(Text(prices[0].call, "@AppImgUrl"), "http://img/kl.png");
  EXPECT_EQ(tables_.Rows("tb_goods_img")[0]["SelfID"], book_.Records("AAAAATP")[0].id);
  std::vector<std::string> statementStarts;
  for (const StoredStatement& statement : book_.Statements()) {
    statementStarts.push_back(statement.text.substr(0, statement.text.find(' ', 7)));
  }
  EXPECT_EQ(statementStarts,
            (std::vector<std::string>{"INSERT INTO", "INSERT INTO", "Select SelfID",
                                      "Update AAAAAFT", "Delete from", "INSERT INTO"}));

  // The purchase: master, cash line and two goods lines in one transaction, linked, posted.
  const std::vector<StoredBill> bills = book_.Bills();
  ASSERT_EQ(bills.size(), 2u);
  const StoredBill& purchase = bills[0];
  EXPECT_EQ(purchase.procedure, "AAAAART");
  EXPECT_EQ(Text(purchase.master, "@BillType"), "112");
  EXPECT_EQ(Text(purchase.master, "@number"), "CG-001");
  EXPECT_EQ(Text(purchase.master, "@Date"), "2026-03-05");
  EXPECT_EQ(Text(purchase.master, "@summary"), "手机制单");
  EXPECT_EQ(Text(purchase.master, "@PersonID"), "00002");
  EXPECT_DOUBLE_EQ(Number(purchase.master, "@DefDiscount"), 0.95);
  EXPECT_EQ(Text(purchase.master, "@IsMobileBill"), "1");
  ASSERT_EQ(purchase.lines.size(), 3u);
  EXPECT_EQ(Text(purchase.lines[0], "@AccountID"), "0000100003");
  EXPECT_EQ(Text(purchase.lines[0], "@Orientation"), "1010");
  EXPECT_DOUBLE_EQ(Number(purchase.lines[0], "@SumTo"), 41);
  EXPECT_EQ(Text(purchase.lines[1], "@AccountID"), "0000100001");
  EXPECT_EQ(Text(purchase.lines[1], "@WareID"), "00001");
  EXPECT_DOUBLE_EQ(Number(purchase.lines[1], "@Quantity"), 10);
  EXPECT_EQ(Text(purchase.lines[1], "@WareNumber"), "-9999");
  EXPECT_EQ(Text(purchase.lines[2], "@WareID"), "00002");
  EXPECT_EQ(purchase.postings, 1);
  EXPECT_EQ(tables_.Rows("tb_purchase_info")[0]["BillID"], std::to_string(purchase.id));
  for (const json& line : tables_.Rows("tb_purchase_detail")) {
    EXPECT_EQ(line["BillID"], std::to_string(purchase.id));
  }
  // The payment record: its own type, one 1001 line, its date read with the eight hours.
  const StoredBill& payment = bills[1];
  EXPECT_EQ(Text(payment.master, "@BillType"), "171");
  EXPECT_EQ(Text(payment.master, "@Date"), "2026-02-01");
  ASSERT_EQ(payment.lines.size(), 1u);
  EXPECT_EQ(Text(payment.lines[0], "@Orientation"), "1001");
  EXPECT_DOUBLE_EQ(Number(payment.lines[0], "@SumTo"), 50);
  EXPECT_EQ(payment.postings, 1);
  EXPECT_EQ(tables_.Rows("tb_pay_records")[0]["BillID"], std::to_string(payment.id));

  // The notices came where they belong: colours and sizes before goods, basic data before bills.
  const std::vector<std::string> paths = Paths();
  const auto at = [&](const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) - paths.begin();
  };
  EXPECT_LT(at("/business/KEY465"), at("/business/KEY463"));
  EXPECT_LT(at("/business/KEY463"), at("/business/KEY265"));
  EXPECT_LT(at("/business/KEY265"), at("/business/KEY267"));
  const std::vector<test::CloudRequest> masters = CallsTo("KEY267");
  ASSERT_EQ(masters.size(), 5u);
  EXPECT_EQ(masters[0].FormValue("SQLAnd"), " And State=2 ");
  EXPECT_EQ(masters[4].FormValue("SQLAnd"), " And BillType In (171,172) ");
  const std::vector<test::CloudRequest> details = CallsTo("KEY466");
  ASSERT_EQ(details.size(), 1u);
  EXPECT_EQ(details[0].FormValue("SQLAnd"), " And A.purchase_sn = 'CG-001'");
  EXPECT_EQ(details[0].FormValue("SQLOrder"), "order by A.id, A.WareID ");

  // A second pass finds everything linked: nothing is stored or posted again.
  ASSERT_TRUE(Download());
  EXPECT_EQ(book_.Records("AAAAASA").size(), 2u);
  EXPECT_EQ(book_.Records("AAAAATP").size(), 1u);
  EXPECT_EQ(book_.Bills().size(), 2u);
  EXPECT_EQ(book_.Bills()[0].postings, 1);
}

TEST_F(DownloadMappingTest, LongNamesGiveUserCodesOfAtMost26Bytes) {
  struct Case {
    std::string name;
    std::string userCode;
  };
  const std::string thirty = "一二三四五六七八九十甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉";
  const std::vector<Case> cases = {
      {thirty, "一二三四五六七八九十甲乙丙"},       // 13 characters, 26 bytes
      {"A" + thirty, "A一二三四五六七八九十甲乙"},  // the 26th byte would split a character
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {"短名", "短名"},
  };
  int id = 100;
  for (const Case& c : cases) {
    tables_.Add("tb_customer_info", {{"id", ++id}, {"client_name", c.name}});
    tables_.Add("tb_storehouse_info", {{"id", id}, {"storehouse_name", c.name}});
  }
  ASSERT_TRUE(Download());
  const std::vector<StoredRecord> customers = book_.Records("AAAAASA");
  const std::vector<StoredRecord> storehouses = book_.Records("AAAAATH");
  ASSERT_EQ(customers.size(), cases.size());
  ASSERT_EQ(storehouses.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(Text(customers[i].call, "@LongName"), cases[i].name);
    EXPECT_EQ(Text(customers[i].call, "@CodeName"), cases[i].userCode);
    EXPECT_EQ(Text(storehouses[i].call, "@CodeName"), cases[i].userCode);
  }
}

TEST_F(DownloadMappingTest, AGarmentBillKeepsOneGoodsLinePerWareAndItsColourSizeLines) {
  tables_.Add("tb_sale_info", {{"id", 50},
                               {"orders_sn", "XS-7"},
                               {"item_type", 1},
                               {"ClientID", "00003"},
                               {"StockID", "00001"},
                               {"PersonID", "00004"},
                               {"AuditingManID", "00002"},
                               {"already_paid", 60},
                               {"state", 2},
                               {"business_time", kMarchFifth}});
  const std::vector<std::tuple<const char*, const char*, double>> rows = {
      {"00001", "00001", 1}, {"00002", "00002", 2}, {"00001", "00003", 3}};
  int id = 60;
  for (const auto& [colour, size, quantity] : rows) {
    json line = GoodsLine(++id, "00007", quantity, 10);
    line["orders_sn"] = "XS-7";
    line["ColorID"] = colour;
    line["SizeID"] = size;
    line["ColorGroupID"] = "00001";
    line["SizeGroupID"] = "00001";
    tables_.Add("tb_sale_detail", line);
  }
  ASSERT_TRUE(Download("FZ"));
  const std::vector<StoredBill> bills = book_.Bills();
  ASSERT_EQ(bills.size(), 1u);
  const StoredBill& sale = bills[0];
  EXPECT_EQ(Text(sale.master, "@BillType"), "115");
  EXPECT_EQ(Text(sale.master, "@PersonID"), "00004");  // the salesman handles a sale
  ASSERT_EQ(sale.lines.size(), 2u);                    // the cash line and one goods line
  EXPECT_EQ(Text(sale.lines[1], "@WareID"), "00007");
  // The size "00002" marks a gift line, decided by the first row of the ware.
  EXPECT_EQ(Text(sale.lines[1], "@DonateStatus"), "0");
  ASSERT_EQ(sale.colourSizes.size(), 3u);
  const std::int32_t goodsLine = std::prev(sale.quantities.end())->first;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    const test::ProcedureCall& line = sale.colourSizes[i];
    EXPECT_EQ(line["@DetailID"].AsInt(), goodsLine);
    EXPECT_EQ(Text(line, "@ColorID"), std::get<0>(rows[i]));
    EXPECT_EQ(Text(line, "@SizeID"), std::get<1>(rows[i]));
    EXPECT_DOUBLE_EQ(line["@Quantity"].AsDouble(), std::get<2>(rows[i]));
    EXPECT_EQ(Text(line, "@BillMode"), "D");
  }
  // After the quantity update the goods line holds the sum of its three rows.
  EXPECT_DOUBLE_EQ(sale.quantities.at(goodsLine), 6);
  EXPECT_EQ(sale.postings, 1);

  // Other trades keep one goods line per row and no colour/size lines.
  tables_.Add("tb_sale_info", {{"id", 51}, {"orders_sn", "XS-8"}, {"item_type", 1}, {"state", 2}});
  for (int row = 0; row < 3; ++row) {
    json line = GoodsLine(70 + row, "00007", 1, 10);
    line["orders_sn"] = "XS-8";
    line["ColorID"] = "00001";
    line["SizeID"] = "00001";
    tables_.Add("tb_sale_detail", line);
  }
  ASSERT_TRUE(Download("BZ"));
  ASSERT_EQ(book_.Bills().size(), 2u);
  EXPECT_EQ(book_.Bills()[1].lines.size(), 4u);
  EXPECT_TRUE(book_.Bills()[1].colourSizes.empty());
}

TEST_F(DownloadMappingTest, SaleTypesDecideVoucherDraftClientAndAccountLines) {
  struct Case {
    const char* label;
    int itemType;
    double wipeZero;
    double otherCost;
    const char* procedure;
    const char* billType;
    const char* draft;
    const char* client;
    std::vector<std::pair<const char*, double>> accountLines;  // account, amount
  };
  const std::vector<Case> cases = {
      {"a retail sale",
       0,
       0.5,
       0,
       "AAAAARV",
       "117",
       "3",
       "",
       {{"", 99.5}, {"000040000300006", 0.5}}},
      {"a rounding left-over is no discount",
       0,
       0.000001,
       0,
       "AAAAARV",
       "117",
       "3",
       "",
       {{"", 99.999999}}},
      {"a sale with freight",
       1,
       0,
       8,
       "AAAAART",
       "115",
       "1",
       "00003",
       {{"", 100}, {"000040000300005", 8}}},
      {"a sale return",
       2,
       1,
       0,
       "AAAAART",
       "116",
       "1",
       "00003",
       {{"", 100}, {"000040000300006", 1}}},
  };
  int id = 0;
  for (const Case& c : cases) {
    tables_.Add("tb_sale_info", {{"id", ++id},
                                 {"orders_sn", "S" + std::to_string(id)},
                                 {"item_type", c.itemType},
                                 {"ClientID", "00003"},
                                 {"AccountID", ""},
                                 {"already_paid", 100},
                                 {"wipe_zero", c.wipeZero},
                                 {"other_cost", c.otherCost},
                                 {"state", 1}});
    json line = GoodsLine(100 + id, "00007", 1, 100);
    line["orders_sn"] = "S" + std::to_string(id);
    tables_.Add("tb_sale_detail", line);
  }
  ASSERT_TRUE(Download());
  const std::vector<StoredBill> bills = book_.Bills();
  ASSERT_EQ(bills.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.label);
    const StoredBill& bill = bills[i];
    EXPECT_EQ(bill.procedure, c.procedure);
    EXPECT_EQ(Text(bill.master, "@BillType"), c.billType);
    EXPECT_EQ(Text(bill.master, "@draft"), c.draft);
    EXPECT_EQ(Text(bill.master, "@ClientID"), c.client);
    EXPECT_EQ(Text(bill.master, "@summary"), "手机草稿");
    ASSERT_EQ(bill.lines.size(), c.accountLines.size() + 1);
    for (std::size_t l = 0; l < c.accountLines.size(); ++l) {
      EXPECT_EQ(Text(bill.lines[l], "@AccountID"), c.accountLines[l].first);
      EXPECT_NEAR(Number(bill.lines[l], "@SumTo"), c.accountLines[l].second, 1e-9);
      EXPECT_EQ(Text(bill.lines[l], "@ClientID"), c.client);
    }
    EXPECT_EQ(Text(bill.lines.back(), "@AccountID"), "0000100001");
  }
}

TEST_F(DownloadMappingTest, ABillWhoseLinesFailIsRemovedAgainAndComesBackWhole) {
  AddPurchase("CG-002", {GoodsLine(30, "00001", 1, 5), GoodsLine(31, "00009", 1, 6)});
  bool refuseWare = true;
  book_.Refuse(
      "AAAAARQ",
      [&refuseWare](const test::ProcedureCall& call) {
        return refuseWare && test::TextOf(call["@WareID"]) == "00009";
      },
      -3);
  ASSERT_TRUE(Download());
  // Master, cash line and first goods line were undone with the refused line.
  EXPECT_TRUE(book_.Bills().empty());
  const std::vector<std::string> transactions = book_.Transactions();
  EXPECT_NE(std::find(transactions.begin(), transactions.end(), "ROLLBACK TRAN"),
            transactions.end());
  EXPECT_TRUE(CallsTo("KEY263").empty());  // the cloud bill keeps BillID 0
  EXPECT_EQ(tables_.Rows("tb_purchase_info")[0]["BillID"], 0);
  EXPECT_TRUE(Logged("CG-002: its lines were not stored"));

  refuseWare = false;
  ASSERT_TRUE(Download());
  const std::vector<StoredBill> bills = book_.Bills();
  ASSERT_EQ(bills.size(), 1u);
  EXPECT_EQ(bills[0].lines.size(), 3u);
  EXPECT_EQ(bills[0].postings, 1);
  EXPECT_EQ(tables_.Rows("tb_purchase_info")[0]["BillID"], std::to_string(bills[0].id));
}

TEST_F(DownloadMappingTest, RefusedRecordsAndHeadersLeaveNothingAndAreOfferedAgain) {
  tables_.Add("tb_goods_info", {{"id", 10}, {"name", "雪碧"}, {"retail_price_area", 3}});
  AddPurchase("CG-003", {GoodsLine(30, "00001", 1, 5)});
  // The prices are refused: the ware goes with them. The header is refused: no lines.
  book_.Refuse(
      "AAAABCT", [](const test::ProcedureCall&) { return true; }, -4);
  book_.Refuse(
      "AAAAART", [](const test::ProcedureCall&) { return true; }, -1);
  ASSERT_TRUE(Download());
  EXPECT_TRUE(book_.Records("AAAAATP").empty());
  EXPECT_EQ(tables_.Rows("tb_goods_info")[0].value("SelfID", ""), "");
  EXPECT_TRUE(book_.Bills().empty());
  EXPECT_TRUE(CallsTo("KEY466").empty());
  EXPECT_TRUE(Logged("UpdateWareInfoAppend refused it (-4)"));
  EXPECT_TRUE(Logged("InsertBillMaster refused it (-1)"));
}

TEST_F(DownloadMappingTest, FailedBackLinksAreFinishedLaterWithoutSecondRecordsOrPostings) {
  quor::testing::TempFolder folder;
  const std::filesystem::path ledger = folder.Path() / "Data" / "CloudPendingLinks.json";
  tables_.Add("tb_customer_info", {{"id", 3}, {"client_name", "华联超市"}});
  AddPurchase("CG-004", {GoodsLine(30, "00001", 1, 5)});
  tables_.Intercept([](const test::CloudRequest& request) -> std::optional<test::CloudAnswer> {
    const std::string table = request.FormValue("tableName").value_or("");
    if ((request.path == "/business/KEY262" && table == "tb_customer_info") ||
        (request.path == "/business/KEY263" && table == "tb_purchase_info")) {
      return test::CloudAnswer::Status(500, "try later");
    }
    return std::nullopt;
  });
  {
    PendingLinks links(ledger);
    context_.pendingLinks = &links;
    ASSERT_TRUE(Download());
    EXPECT_EQ(links.Size(), 2u);
  }
  EXPECT_EQ(book_.Records("AAAAASA").size(), 1u);
  ASSERT_EQ(book_.Bills().size(), 1u);
  EXPECT_EQ(book_.Bills()[0].postings, 0);  // not posted before the cloud knows the bill

  // A pass that still cannot link makes nothing new either.
  {
    PendingLinks links(ledger);
    context_.pendingLinks = &links;
    ASSERT_TRUE(Download());
  }
  EXPECT_EQ(book_.Records("AAAAASA").size(), 1u);
  EXPECT_EQ(book_.Bills().size(), 1u);

  // After a restart (the links read back from their file) the cloud answers again.
  tables_.Intercept(nullptr);
  {
    PendingLinks links(ledger);
    context_.pendingLinks = &links;
    ASSERT_TRUE(Download());
    EXPECT_EQ(links.Size(), 0u);
  }
  EXPECT_EQ(book_.Records("AAAAASA").size(), 1u);
  EXPECT_EQ(tables_.Rows("tb_customer_info")[0]["SelfID"], book_.Records("AAAAASA")[0].id);
  ASSERT_EQ(book_.Bills().size(), 1u);
  EXPECT_EQ(book_.Bills()[0].postings, 1);
  EXPECT_EQ(tables_.Rows("tb_purchase_info")[0]["BillID"], std::to_string(book_.Bills()[0].id));

  ASSERT_TRUE(Download());
  EXPECT_EQ(book_.Bills()[0].postings, 1);
}

TEST_F(DownloadMappingTest, HostileCloudTextsAreStoredAsWrittenNeverRun) {
  const std::string name = "O'Brien'); DELETE FROM AAAAABY;--";
  const std::string unit = "箱'; DROP TABLE AAAAAFN;--";
  const std::string group = "00001'); DELETE FROM AAAAACA;--";
  tables_.Add("tb_unit_info", {{"id", 1}, {"name", unit}});
  tables_.Add("tb_customer_info", {{"id", 3}, {"client_name", name}, {"remark", "a\r\nb"}});
  tables_.Add("tb_color_info", {{"id", 7}, {"name", "红"}, {"GroupID", group}});
  tables_.Add("tb_goods_info", {{"id", 10}, {"name", "可乐"}, {"unit", unit}});
  tables_.Add("tb_goods_img", {{"id", 11}, {"goods_id", 10}, {"name", name}, {"url", name}});
  // A bill number that would end the cloud's own condition is not used at all.
  AddPurchase("X' OR '1'='1", {GoodsLine(30, "00001", 1, 5)});
  ASSERT_TRUE(Download());

  EXPECT_EQ(Text(book_.Records("AAAAASA").at(0).call, "@LongName"), name);
  EXPECT_EQ(Text(book_.Records("AAAAASA").at(0).call, "@Memo"), "a\r\nb");
  EXPECT_EQ(Text(book_.Records("AAAAATN").at(0).call, "@LongName"), unit);
  // The unit lookup found the hostile unit by its name, as a parameter.
  EXPECT_EQ(Text(book_.Records("AAAAATP").at(0).call, "@UnitID"),
            book_.Records("AAAAATN").at(0).id);
  const std::vector<StoredStatement> statements = book_.Statements();
  ASSERT_EQ(statements.size(), 5u);
  for (const StoredStatement& statement : statements) {
    SCOPED_TRACE(statement.text);
    EXPECT_EQ(statement.text.find("DELETE FROM"), std::string::npos);
    EXPECT_EQ(statement.text.find("DROP"), std::string::npos);
    EXPECT_FALSE(statement.params.empty());
  }
  EXPECT_EQ(statements[0].text, "INSERT INTO AAAAACA (GroupID, ColorID) VALUES (@P1, @P2)");
  EXPECT_EQ(test::TextOf(statements[0].params[0]), group);
  EXPECT_EQ(test::TextOf(statements[1].params[0]), unit);
  EXPECT_EQ(test::TextOf(statements[3].params[1]), name);  // the image's name
  EXPECT_TRUE(book_.Bills().empty());
  EXPECT_TRUE(CallsTo("KEY466").empty());
  EXPECT_TRUE(Logged("was left alone"));
}

TEST_F(DownloadMappingTest, RepliesOfTheWrongShapeStoreNothingAndThePassGoesOn) {
  struct Case {
    const char* label;
    std::string unitsReply;  // the answer to the unit fetch
    std::vector<std::string> storedUnits;
    const char* logged;  // the reason the log gives; none for a reply that is fine
  };
  const std::vector<Case> cases = {
      {"an object instead of rows",
       R"({"id":1,"name":"箱"})",
       {},
       "tb_unit_info: the reply is no list of rows"},
      {"no JSON at all", "<html>busy</html>", {}, "tb_unit_info: the reply is no JSON"},
      {"elements that are no rows",
       R"([1,"x",null,{"id":5,"name":"盒"}])",
       {"盒"},
       "tb_unit_info: 3 elements were no rows"},
      {"a row without its id",
       R"([{"name":"袋"}])",
       {},
       "tb_unit_info: a row without \"id\" was left alone"},
      {"members of other types", R"([{"id":"6","name":12.5}])", {"12.5"}, nullptr},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::size_t before = book_.Records("AAAAATN").size();
    tables_.Intercept([&c](const test::CloudRequest& request) -> std::optional<test::CloudAnswer> {
      if (request.path == "/business/KEY266" &&
          request.FormValue("tableName") == std::string("tb_unit_info")) {
        return test::CloudAnswer::Json(c.unitsReply);
      }
      return std::nullopt;
    });
    tables_.Add("tb_storehouse_info", {{"id", ++round}, {"storehouse_name", c.label}});
    ASSERT_TRUE(Download());
    const std::vector<StoredRecord> units = book_.Records("AAAAATN");
    ASSERT_EQ(units.size(), before + c.storedUnits.size());
    for (std::size_t i = 0; i < c.storedUnits.size(); ++i) {
      EXPECT_EQ(Text(units[before + i].call, "@LongName"), c.storedUnits[i]);
    }
    if (c.logged != nullptr) {
      EXPECT_TRUE(Logged(c.logged)) << c.logged;
    }
    // The rest of the pass went on: the storehouse of this round was stored.
    const std::vector<StoredRecord> storehouses = book_.Records("AAAAATH");
    ASSERT_EQ(storehouses.size(), static_cast<std::size_t>(round));
    EXPECT_EQ(Text(storehouses.back().call, "@LongName"), c.label);
  }

  // Lines of the wrong shape drop their bill.
  tables_.Intercept([](const test::CloudRequest& request) -> std::optional<test::CloudAnswer> {
    if (request.path == "/business/KEY466") return test::CloudAnswer::Json(R"({"rows":[]})");
    return std::nullopt;
  });
  AddPurchase("CG-005", {GoodsLine(30, "00001", 1, 5)});
  ASSERT_TRUE(Download());
  EXPECT_TRUE(book_.Bills().empty());
  // A master row missing its members is stored with empty values and zeros.
  tables_.Intercept(nullptr);
  tables_.Add("tb_pay_records", {{"business_sn", "SK-1"}});
  ASSERT_TRUE(Download());
  ASSERT_EQ(book_.Bills().size(), 2u);
  const StoredBill payment = book_.Bills()[1];
  EXPECT_EQ(Text(payment.master, "@number"), "SK-1");
  EXPECT_EQ(Text(payment.master, "@BillType"), "0");
  EXPECT_EQ(Text(payment.master, "@Date"), "1970-01-01");
}

TEST_F(DownloadMappingTest, NothingIsFetchedWithoutASession) {
  client_.Session().cid.clear();
  tables_.Add("tb_unit_info", {{"id", 1}, {"name", "箱"}});
  EXPECT_FALSE(Download());
  EXPECT_TRUE(cloud_.Requests().empty());
  EXPECT_TRUE(book_.Records("AAAAATN").empty());
}

}  // namespace
}  // namespace quor::sync::testing
