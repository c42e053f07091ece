// Rows as they arrive through the real FreeTDS driver from the stand-in: every
// column type the system reads, Chinese text in both code page 936 and UTF-16
// columns, NULLs, several result sets and reading in blocks.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include "Connection.h"
#include "SqlError.h"
#include "StandIn.h"
#include "Statement.h"
#include "StoredProc.h"

namespace quor::sql {
namespace {

namespace t = quor::test;
using testing::Col;
using testing::Rows;

// The ODBC types are those FreeTDS reports for SQL Server's types (it gives
// float as SQL_DOUBLE, decimal as SQL_NUMERIC and money as SQL_DECIMAL).
struct TypeCase {
  t::Column column;
  t::Value sent;
  short sqlType;
  const char* typeName;
  ValueKind kind;
  Value expected;
};

std::vector<TypeCase> TypeCases() {
  std::string longText;
  for (int i = 0; i < 3000; ++i) longText += "长文本";
  std::vector<std::uint8_t> image(20000);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  return {
      {Col("CInt", t::SqlType::Int), -2147483647, SQL_INTEGER, "int", ValueKind::kInteger,
       Value::Integer(-2147483647)},
      {Col("CSmall", t::SqlType::SmallInt), -32768, SQL_SMALLINT, "smallint", ValueKind::kInteger,
       Value::Integer(-32768)},
      {Col("CTiny", t::SqlType::TinyInt), 255, SQL_TINYINT, "tinyint", ValueKind::kInteger,
       Value::Integer(255)},
      {Col("CBig", t::SqlType::BigInt), 9'223'372'036'854'775'807LL, SQL_BIGINT, "bigint",
       ValueKind::kInteger, Value::Integer(9'223'372'036'854'775'807LL)},
      {Col("CBit", t::SqlType::Bit), true, SQL_BIT, "bit", ValueKind::kBoolean,
       Value::Boolean(true)},
      {Col("CFloat", t::SqlType::Float), 3.141592653589793, SQL_DOUBLE, "float", ValueKind::kDouble,
       Value::Double(3.141592653589793)},
      {Col("CReal", t::SqlType::Real), 0.5, SQL_REAL, "real", ValueKind::kDouble,
       Value::Double(0.5)},
      {Col("CDec", t::SqlType::Decimal, 0, 18, 4), t::Decimal{"-12345678901234.5678"}, SQL_NUMERIC,
       "decimal", ValueKind::kDecimal, Value::Decimal("-12345678901234.5678")},
      {Col("CMoney", t::SqlType::Money), t::Decimal{"922337203685477.5807"}, SQL_DECIMAL, "money",
       ValueKind::kDecimal, Value::Decimal("922337203685477.5807")},
      {Col("CDate", t::SqlType::DateTime), t::DateTime{2024, 2, 29, 13, 45, 30, 123},
       SQL_TYPE_TIMESTAMP, "datetime", ValueKind::kDateTime,
       Value::FromDateTime({2024, 2, 29, 13, 45, 30, 123'000'000})},
      {Col("CVar", t::SqlType::VarChar, 40), "商品名称ABC", SQL_VARCHAR, "varchar",
       ValueKind::kText, Value::Text("商品名称ABC")},
      {Col("CNVar", t::SqlType::NVarChar, 40), "客户名称ÄÖ", SQL_WVARCHAR, "nvarchar",
       ValueKind::kText, Value::Text("客户名称ÄÖ")},
      {Col("CChar", t::SqlType::Char, 6), "编号", SQL_CHAR, "char", ValueKind::kText,
       Value::Text("编号  ")},
      {Col("CText", t::SqlType::Text), t::Value(longText), SQL_LONGVARCHAR, "text",
       ValueKind::kText, Value::Text(longText)},
      {Col("CNText", t::SqlType::NText), "备注𠀀", SQL_WLONGVARCHAR, "ntext", ValueKind::kText,
       Value::Text("备注𠀀")},
      {Col("CBin", t::SqlType::VarBinary, 16), t::Bytes{0x00, 0x01, 0xFF}, SQL_VARBINARY,
       "varbinary", ValueKind::kBytes, Value::Bytes({0x00, 0x01, 0xFF})},
      {Col("CImage", t::SqlType::Image), t::Value(t::Bytes(image.begin(), image.end())),
       SQL_LONGVARBINARY, "image", ValueKind::kBytes, Value::Bytes(image)},
  };
}

class RecordSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = testing::MakeStandIn();
    connection_ =
        std::make_unique<Connection>(testing::SettingsFor(*server_, testing::kAccountSet));
    statement_ = std::make_unique<Statement>(*connection_, "QryExecSQL");
  }

  std::unique_ptr<t::SqlServerStandIn> server_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Statement> statement_;
};

TEST_F(RecordSetTest, EveryColumnTypeArrivesWithItsTypeAndValueAndNullsStayNull) {
  const std::vector<TypeCase> cases = TypeCases();
  t::ResultSet result;
  std::vector<t::Value> values;
  std::vector<t::Value> nulls;
  for (const TypeCase& c : cases) {
    result.columns.push_back(c.column);
    values.push_back(c.sent);
    nulls.push_back(nullptr);
  }
  result.rows = {values, nulls};
  t::Reply reply;
  reply.resultSets.push_back(result);
  server_->OnStatement("select * from AllTypes", reply);

  statement_->SetText("select * from AllTypes");
  RecordSet& rows = statement_->Open();
  ASSERT_EQ(rows.Fields().size(), cases.size());
  ASSERT_EQ(rows.RecordCount(), 2u);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const TypeCase& c = cases[i];
    const Field& field = rows.Fields()[i];
    EXPECT_EQ(field.name, c.column.name);
    EXPECT_EQ(field.sqlType, c.sqlType) << c.column.name;
    EXPECT_EQ(field.typeName, c.typeName) << c.column.name;
    EXPECT_EQ(field.kind, c.kind) << c.column.name;
    EXPECT_TRUE(field.nullable) << c.column.name;
    const Value& got = rows.FieldValue(i);
    EXPECT_EQ(got, c.expected) << c.column.name << ": " << got.ToDebugString().substr(0, 80);
  }
  rows.Next();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_TRUE(rows.FieldValue(i).IsNull()) << cases[i].column.name;
  }
}

TEST_F(RecordSetTest, FieldsReportSizePrecisionAndScale) {
  struct Case {
    t::Column column;
    std::size_t size;
    int precision;
    int scale;
  };
  const Case cases[] = {
      {Col("Price", t::SqlType::Decimal, 0, 12, 3), 12, 12, 3},
      {Col("Amount", t::SqlType::Money), 19, 19, 4},
      {Col("Name", t::SqlType::VarChar, 50), 50, 50, 0},
      {Col("Title", t::SqlType::NVarChar, 30), 30, 30, 0},
      {Col("Code", t::SqlType::VarBinary, 8), 8, 8, 0},
      {Col("Qty", t::SqlType::Int), 10, 10, 0},
  };
  t::ResultSet result;
  for (const Case& c : cases) result.columns.push_back(c.column);
  t::Column notNull = Col("Key", t::SqlType::Int);
  notNull.nullable = false;
  result.columns.push_back(notNull);
  t::Reply reply;
  reply.resultSets.push_back(result);
  server_->OnStatement("select shape", reply);
  statement_->SetText("select shape");
  RecordSet& rows = statement_->Open();
  ASSERT_EQ(rows.Fields().size(), std::size(cases) + 1);
  EXPECT_TRUE(rows.Eof());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Field& field = rows.Fields()[i];
    EXPECT_EQ(field.size, cases[i].size) << field.name;
    EXPECT_EQ(field.precision, cases[i].precision) << field.name;
    EXPECT_EQ(field.scale, cases[i].scale) << field.name;
  }
  EXPECT_FALSE(rows.Fields().back().nullable);
}

TEST_F(RecordSetTest, SeveralResultSetsAreWalkedInOrder) {
  t::Reply reply;
  reply.resultSets.push_back(Rows({Col("A", t::SqlType::Int)}, {{1}, {2}}));
  reply.resultSets.push_back(
      Rows({Col("B", t::SqlType::VarChar, 10), Col("C", t::SqlType::Int)}, {{"x", 3}}));
  reply.resultSets.push_back(Rows({Col("D", t::SqlType::Int)}, {}));
  server_->OnStatement("exec TwoQueries", reply);
  statement_->SetText("exec TwoQueries");
  RecordSet& rows = statement_->Open();
  EXPECT_EQ(rows.ResultIndex(), 0u);
  EXPECT_EQ(rows.Fields()[0].name, "A");
  EXPECT_EQ(rows.RecordCount(), 2u);
  ASSERT_TRUE(rows.NextResult());
  EXPECT_EQ(rows.ResultIndex(), 1u);
  ASSERT_EQ(rows.Fields().size(), 2u);
  EXPECT_EQ(rows.FieldByName("b").AsText(), "x");
  EXPECT_EQ(rows.FieldByName("C").AsInteger(), 3);
  ASSERT_TRUE(rows.NextResult());
  EXPECT_EQ(rows.Fields()[0].name, "D");
  EXPECT_TRUE(rows.Eof());
  EXPECT_FALSE(rows.NextResult());
  EXPECT_THROW(rows.FieldByName("Nope"), SqlError);
}

TEST_F(RecordSetTest, BlocksOfRowsAreReadOneAfterAnother) {
  t::ResultSet big = Rows({Col("ID", t::SqlType::Int), Col("Name", t::SqlType::NVarChar, 20)}, {});
  for (int i = 0; i < 2500; ++i) big.rows.push_back({i, "行" + std::to_string(i)});
  t::Reply reply;
  reply.resultSets.push_back(big);
  reply.resultSets.push_back(Rows({Col("Total", t::SqlType::Int)}, {{2500}}));
  server_->OnStatement("select * from Big", reply);
  statement_->SetText("select * from Big");

  RecordSet& blocks = statement_->Open(1000);
  EXPECT_FALSE(blocks.Complete());
  EXPECT_EQ(blocks.RecordCount(), 1000u);
  EXPECT_EQ(blocks.ReadNextBlock(), 1000u);
  EXPECT_EQ(blocks.FieldByName("ID").AsInteger(), 1000);
  EXPECT_EQ(blocks.ReadNextBlock(), 500u);
  EXPECT_EQ(blocks.ReadNextBlock(), 0u);
  ASSERT_TRUE(blocks.NextResult());
  EXPECT_EQ(blocks.FieldByName("Total").AsInteger(), 2500);
  EXPECT_FALSE(blocks.NextResult());
  EXPECT_TRUE(blocks.Complete());

  // The cursor crosses block boundaries by itself.
  statement_->Close();
  RecordSet& cursor = statement_->Open(700);
  int expected = 0;
  for (; !cursor.Eof(); cursor.Next()) {
    ASSERT_EQ(cursor.FieldByName("ID").AsInteger(), expected);
    ASSERT_EQ(cursor.FieldByName("Name").AsText(), "行" + std::to_string(expected));
    ++expected;
  }
  EXPECT_EQ(expected, 2500);

  // Closing half-way reads the reply through instead of cancelling it, and the
  // connection serves the next statement.
  statement_->Close();
  statement_->Open(100);
  server_->ClearRequests();
  statement_->Close();
  t::Reply one;
  one.resultSets.push_back(Rows({Col("N", t::SqlType::Int)}, {{1}}));
  server_->OnStatement("select 1 as N", one);
  statement_->SetText("select 1 as N");
  EXPECT_EQ(statement_->Open().FieldByName("N").AsInteger(), 1);
  for (const t::Request& request : server_->Requests()) {
    EXPECT_NE(request.kind, t::RequestKind::Attention);
  }
}

TEST_F(RecordSetTest, AProceduresOutputsAreReadOnceItsRowsAreReadInBlocks) {
  server_->DeclareProcedure(
      testing::Procedure("AAAABLK", {testing::Output(testing::Param("@Total", t::SqlType::Int))}));
  t::Reply reply;
  reply.returnStatus = 3;
  reply.outputs["@Total"] = 250;
  t::ResultSet rows = Rows({Col("ID", t::SqlType::Int)}, {});
  for (int i = 0; i < 250; ++i) rows.rows.push_back({i});
  reply.resultSets.push_back(rows);
  server_->OnProcedure("AAAABLK", reply);
  StoredProc proc(*connection_, "ADOStoredProc");
  proc.SetProcedureName("AAAABLK");
  proc.RefreshParameters();
  RecordSet& blocks = proc.Open(100);
  EXPECT_TRUE(proc.ParamValue("@Total").IsNull());
  while (blocks.ReadNextBlock() > 0) {
  }
  EXPECT_FALSE(blocks.NextResult());
  EXPECT_EQ(proc.ParamValue("@Total").AsInteger(), 250);
  EXPECT_EQ(proc.ParamValue("@RETURN_VALUE").AsInteger(), 3);
}

}  // namespace
}  // namespace quor::sql
