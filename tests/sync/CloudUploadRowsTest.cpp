// Table uploads end to end: rows read from the SQL Server stand-in through the
// real driver go to the cloud stand-in as "tableData" batches.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/sql/Connection.h"
#include "sync/CloudClient.h"
#include "sync/CloudRows.h"
#include "tests/support/cloud/CloudStandIn.h"
#include "tests/support/tds/Declare.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::sync {
namespace {

using quor::test::CloudAnswer;
using quor::test::Col;
using quor::test::SqlType;

class ShanghaiTime {
 public:
  ShanghaiTime() {
    if (const char* tz = std::getenv("TZ")) saved_ = tz, had_ = true;
    ::setenv("TZ", "Asia/Shanghai", 1);
    ::tzset();
  }
  ~ShanghaiTime() {
    if (had_)
      ::setenv("TZ", saved_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

class CloudUploadRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.AddLogin("sa", "Secret#1");
    server_.AddDatabase("QuorData01");
    sql::ConnectionSettings settings;
    settings.dataSource = "127.0.0.1," + std::to_string(server_.Port());
    settings.initialCatalog = "QuorData01";
    settings.userId = "sa";
    settings.password = "Secret#1";
    settings.connectTimeoutSeconds = 5;
    connection_ = std::make_unique<sql::Connection>(settings);
    CloudEndpoint endpoint{"127.0.0.1", cloud_.Port(), 5};
    client_ = std::make_unique<CloudClient>(endpoint);
    cloud_.OnPath("/business/KEY268", CloudAnswer::Json(R"({"id":"12","SelfID":"00001"})"));
    cloud_.OnPath("/business/KEY260", CloudAnswer::Json(R"({"result":"ok"})"));
    std::string error;
    ASSERT_TRUE(client_->OpenCloudSession("shop", "key", error)) << error;
    cloud_.ClearRequests();
  }

  std::vector<nlohmann::json> SentBatches() {
    std::vector<nlohmann::json> batches;
    for (auto& request : cloud_.RequestsTo("/business/KEY260")) {
      EXPECT_EQ(request.FormValue("tableName"), "tb_goods_info");
      EXPECT_EQ(request.FormValue("CID"), "12");
      batches.push_back(nlohmann::json::parse(request.FormValue("tableData").value_or("")));
    }
    return batches;
  }

  quor::test::SqlServerStandIn server_;
  quor::test::CloudStandIn cloud_;
  std::unique_ptr<sql::Connection> connection_;
  std::unique_ptr<CloudClient> client_;
};

TEST_F(CloudUploadRowsTest, RowsTravelInBatchesOf1002WithNoEmptyBatchAfterAFullOne) {
  struct Case {
    int rows;
    std::vector<std::size_t> batches;
  };
  const Case cases[] = {{0, {0}},
                        {1, {1}},
                        {1002, {1002}},
                        {1003, {1002, 1}},
                        {2004, {1002, 1002}},
                        {2005, {1002, 1002, 1}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rows);
    std::string sql = "SELECT SelfID FROM Rows" + std::to_string(c.rows);
    quor::test::ResultSet rows{{Col("SelfID", SqlType::VarChar, 25)}, {}};
    for (int i = 0; i < c.rows; ++i) rows.rows.push_back({std::to_string(i)});
    server_.OnStatement(sql, quor::test::Reply{{rows}});
    cloud_.ClearRequests();
    CloudReply reply = client_->UploadTableRows(*connection_, "tb_goods_info", sql);
    EXPECT_EQ(reply.errorText, "");
    ASSERT_TRUE(reply.json.has_value());
    EXPECT_EQ((*reply.json)["result"], "ok");
    auto batches = SentBatches();
    ASSERT_EQ(batches.size(), c.batches.size());
    int next = 0;
    for (std::size_t b = 0; b < batches.size(); ++b) {
      ASSERT_EQ(batches[b].size(), c.batches[b]);
      for (auto& row : batches[b]) EXPECT_EQ(row["SelfID"], std::to_string(next++));
    }
    if (c.rows == 0) {
      EXPECT_EQ(cloud_.Requests()[0].FormValue("tableData"), "[]");
    }
  }
}

TEST_F(CloudUploadRowsTest, ValuesAreEncodedByTheirColumnKind) {
  ShanghaiTime zone;
  std::vector<std::uint8_t> image57(57);
  for (std::size_t i = 0; i < image57.size(); ++i) image57[i] = static_cast<std::uint8_t>(i * 7);
  quor::test::ResultSet rows{
      {Col("Name", SqlType::NVarChar, 50), Col("Memo", SqlType::NText),
       Col("Note", SqlType::VarChar, 0), Col("Price", SqlType::Money), Col("Qty", SqlType::Int),
       Col("Rate", SqlType::Float), Col("Used", SqlType::Bit), Col("Made", SqlType::DateTime),
       Col("Picture", SqlType::Image), Col("Gone", SqlType::VarChar, 10)},
      {{"A\r\nB\n中", "line1\r\nline2", "x\ny", quor::test::Decimal{"12.3400"}, -7, 1.5, true,
        quor::test::DateTime{2024, 1, 2, 3, 4, 5, 0}, quor::test::Bytes(image57), nullptr}}};
  server_.OnStatement("SELECT * FROM Kinds", quor::test::Reply{{rows}});
  client_->UploadTableRows(*connection_, "tb_goods_info", "SELECT * FROM Kinds");
  auto batches = SentBatches();
  ASSERT_EQ(batches.size(), 1u);
  const nlohmann::json& row = batches[0][0];
  EXPECT_EQ(row["Name"], "AB中");
  EXPECT_EQ(row["Memo"], "line1\r\nline2");
  EXPECT_EQ(row["Note"], "x\ny");
  EXPECT_DOUBLE_EQ(row["Price"].get<double>(), 12.34);
  EXPECT_EQ(row["Qty"], -7);
  EXPECT_DOUBLE_EQ(row["Rate"].get<double>(), 1.5);
  EXPECT_EQ(row["Used"], true);
  // 2024-01-02 03:04:05 in Shanghai is 2024-01-01 19:04:05 UTC.
  EXPECT_EQ(row["Made"], 1704135845000LL);
  std::string picture = row["Picture"];
  ASSERT_EQ(picture.size(), 78u);
  EXPECT_EQ(picture.substr(76), "\r\n");
  EXPECT_TRUE(row["Gone"].is_null());
  // Members keep the column order.
  std::string text = cloud_.Requests()[0].FormValue("tableData").value_or("");
  EXPECT_LT(text.find("\"Name\""), text.find("\"Memo\""));
  EXPECT_LT(text.find("\"Picture\""), text.find("\"Gone\""));
}

TEST_F(CloudUploadRowsTest, AFailingStatementSendsNothingAndReportsTheServersText) {
  CloudReply reply = client_->UploadTableRows(*connection_, "tb_goods_info", "SELECT nothing");
  EXPECT_NE(reply.errorText, "");
  EXPECT_TRUE(cloud_.Requests().empty());
}

TEST_F(CloudUploadRowsTest, AFailingBatchStopsTheUploadWithItsError) {
  quor::test::ResultSet rows{{Col("SelfID", SqlType::VarChar, 25)}, {}};
  for (int i = 0; i < 2005; ++i) rows.rows.push_back({std::to_string(i)});
  server_.OnStatement("SELECT SelfID FROM Many", quor::test::Reply{{rows}});
  cloud_.OnPath("/business/KEY260", CloudAnswer::Status(500));
  CloudReply reply =
      client_->UploadTableRows(*connection_, "tb_goods_info", "SELECT SelfID FROM Many");
  EXPECT_NE(reply.errorText, "");
  EXPECT_EQ(cloud_.Requests().size(), 1u);
}

TEST(Base64EncodeStream, BreaksLinesAfterEvery76Characters) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::string expected;
  };
  std::vector<std::uint8_t> zeros57(57, 0);
  std::vector<std::uint8_t> zeros58(58, 0);
  const Case cases[] = {
      {{}, ""},
      {{'M'}, "TQ=="},
      {{'M', 'a'}, "TWE="},
      {{'M', 'a', 'n'}, "TWFu"},
      {{0xFB, 0xFF}, "+/8="},
      {zeros57, std::string(76, 'A') + "\r\n"},
      {zeros58, std::string(76, 'A') + "\r\nAA=="},
  };
  for (const Case& c : cases) EXPECT_EQ(Base64EncodeStream(c.bytes), c.expected);
}

}  // namespace
}  // namespace quor::sync
