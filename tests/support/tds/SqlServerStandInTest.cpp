// The stand-in seen through the real FreeTDS driver: what a test scripts must reach the driver
// the way SQL Server would send it, and what the driver sends must be recorded faithfully.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "tests/support/tds/OdbcTestClient.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::test {
namespace {

constexpr const char* kUser = "sa";
constexpr const char* kPassword = "s3cret;pw";
constexpr const char* kAccountSet = "QuorData01";

class SqlServerStandInTest : public ::testing::Test {
 protected:
  explicit SqlServerStandInTest(SqlServerStandInOptions options = {})
      : server_(std::move(options)) {
    server_.AddLogin(kUser, kPassword);
    server_.AddDatabase(kAccountSet);
  }

  std::unique_ptr<OdbcConnection> Connect(const std::string& database = kAccountSet) {
    auto connection = std::make_unique<OdbcConnection>();
    std::optional<std::string> error =
        connection->Connect(server_.ConnectionString(kUser, kPassword, database));
    EXPECT_FALSE(error) << *error;
    return connection;
  }

  std::vector<Request> RequestsOf(RequestKind kind) const {
    std::vector<Request> found;
    for (const Request& r : server_.Requests()) {
      if (r.kind == kind) found.push_back(r);
    }
    return found;
  }

  SqlServerStandIn server_;
};

TEST_F(SqlServerStandInTest, LoginIsAcceptedOrRefusedAsSqlServerWould) {
  struct Case {
    const char* name;
    std::string user, password, database;
    std::string expectedCatalog;  // empty: refused
    std::string expectedError;
  };
  const Case cases[] = {
      {"right password", "sa", kPassword, "master", "master", ""},
      {"user and database in other case", "SA", kPassword, "quordata01", kAccountSet, ""},
      {"wrong password", "sa", "wrong", "master", "", "Login failed for user 'sa'."},
      {"unknown user", "nobody", kPassword, "master", "", "Login failed for user 'nobody'."},
      {"unknown database", "sa", kPassword, "NoSuchDb", "",
       "Cannot open database \"NoSuchDb\" requested by the login. The login failed."},
      {"TDS 7.3", "sa", kPassword, kAccountSet, kAccountSet, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_.ClearRequests();
    OdbcConnection connection;
    std::string connectionString = server_.ConnectionString(c.user, c.password, c.database);
    if (std::string(c.name) == "TDS 7.3") {
      connectionString.replace(connectionString.find("TDS_Version=7.4"), 15, "TDS_Version=7.3");
    }
    std::optional<std::string> error = connection.Connect(connectionString);
    if (c.expectedCatalog.empty()) {
      ASSERT_TRUE(error);
      EXPECT_NE(error->find(c.expectedError), std::string::npos) << *error;
      EXPECT_TRUE(RequestsOf(RequestKind::Login).empty());
    } else {
      ASSERT_FALSE(error) << *error;
      EXPECT_EQ(connection.CurrentCatalog(), c.expectedCatalog);
      std::vector<Request> logins = RequestsOf(RequestKind::Login);
      ASSERT_EQ(logins.size(), 1u);
      EXPECT_EQ(logins[0].user, "sa");
      EXPECT_EQ(logins[0].database, c.expectedCatalog);
    }
  }
}

TEST_F(SqlServerStandInTest, UseSwitchesTheDatabaseAndRefusesAnUnknownOne) {
  auto connection = Connect("master");
  OdbcStatement st(connection->Handle());
  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("USE [QuorData01]"))) << st.Diag();
  EXPECT_EQ(connection->CurrentCatalog(), kAccountSet);
  st.Reset();
  ASSERT_EQ(st.ExecDirect("USE Nowhere"), SQL_ERROR);
  EXPECT_NE(st.Diag().find("911: [FreeTDS][SQL Server]Database 'Nowhere' does not exist. Make "
                           "sure that the name is entered correctly."),
            std::string::npos)
      << st.Diag();
  EXPECT_EQ(connection->CurrentCatalog(), kAccountSet);
  st.Reset();
  server_.OnStatement("select db_name()", [](const StatementCall& call) {
    Reply reply;
    reply.resultSets.push_back({{{"name", SqlType::NVarChar, 128}}, {{call.database}}});
    return reply;
  });
  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("select db_name()"))) << st.Diag();
  EXPECT_EQ(st.FetchAllText(), (std::vector<std::vector<std::string>>{{kAccountSet}}));
}

ProcedureDecl SerialNumberProcedure() {
  ProcedureDecl decl;
  decl.name = "AAAAASN";
  decl.params = {
      {"@Kind", SqlType::VarChar, 10},
      {"@Amount", SqlType::Decimal, 0, 18, 4, ParamDirection::Input, Value(Decimal{"0"})},
      {"@Next", SqlType::Int, 0, 0, 0, ParamDirection::InputOutput},
      {"@Code", SqlType::VarChar, 20, 0, 0, ParamDirection::InputOutput, Value(nullptr)},
  };
  return decl;
}

TEST_F(SqlServerStandInTest, ProcedureColumnsListTheReturnValueFirst) {
  server_.DeclareProcedure(SerialNumberProcedure());
  ProcedureDecl elsewhere{"OnlyInMaster", {{"@x", SqlType::Int}}, "master"};
  server_.DeclareProcedure(elsewhere);
  auto connection = Connect();
  const std::vector<std::vector<std::string>> expected = {
      // COLUMN_NAME, COLUMN_TYPE, DATA_TYPE, TYPE_NAME, COLUMN_SIZE, DECIMAL_DIGITS, ORDINAL
      {"@RETURN_VALUE", "5", "4", "int", "10", "0", "0"},
      {"@Kind", "1", "12", "varchar", "10", "<null>", "1"},
      {"@Amount", "1", "3", "decimal", "18", "4", "2"},
      {"@Next", "2", "4", "int", "10", "0", "3"},
      {"@Code", "2", "12", "varchar", "20", "<null>", "4"},
  };
  for (const char* name : {"AAAAASN;1", "aaaaasn", "AAAAASN", "OnlyInMaster"}) {
    SCOPED_TRACE(name);
    OdbcStatement st(connection->Handle());
    std::u16string wide = Wide(name);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLProcedureColumnsW(st.Handle(), nullptr, 0, nullptr, 0,
                                                   reinterpret_cast<SQLWCHAR*>(wide.data()),
                                                   SQL_NTS, nullptr, 0)))
        << st.Diag();
    std::vector<std::string> names = st.ColumnNames();
    ASSERT_EQ(names.size(), 20u);
    EXPECT_EQ(names[3], "COLUMN_NAME");
    std::vector<std::vector<std::string>> rows = st.FetchAllText();
    if (std::string(name) == "OnlyInMaster") {
      EXPECT_TRUE(rows.empty()) << "a procedure of another database is not listed";
      continue;
    }
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i][0], kAccountSet);
      EXPECT_EQ(rows[i][2], "AAAAASN;1");
      std::vector<std::string> picked = {rows[i][3], rows[i][4], rows[i][5], rows[i][6],
                                         rows[i][7], rows[i][9], rows[i][17]};
      EXPECT_EQ(picked, expected[i]) << "row " << i;
    }
  }
  std::vector<Request> rpcs = RequestsOf(RequestKind::Rpc);
  ASSERT_FALSE(rpcs.empty());
  EXPECT_EQ(rpcs[0].procedure, "sp_sproc_columns");
}

// Binds the markers of a call text to SQLINTEGER and wide-text buffers.
struct CallBuffers {
  SQLINTEGER returnValue = -1;
  SQLLEN returnIndicator = 0;
  SQLINTEGER integer = 11;
  SQLLEN integerIndicator = sizeof(SQLINTEGER);
  char16_t text[64] = u"入库单";
  SQLLEN textIndicator = SQL_NTS;
  SQLINTEGER inOut = 3;
  SQLLEN inOutIndicator = sizeof(SQLINTEGER);
};

TEST_F(SqlServerStandInTest, ProcedureCallDeliversValuesStatusOutputsAndRows) {
  server_.DeclareProcedure(SerialNumberProcedure());
  std::vector<ProcedureCall> calls;
  server_.OnProcedure("aaaaasn", [&](const ProcedureCall& call) {
    calls.push_back(call);
    Reply reply;
    reply.returnStatus = 7;
    reply.outputs["@next"] = 42;
    reply.outputs["@Code"] = "入-0042";
    reply.resultSets.push_back({{{"Code", SqlType::VarChar, 20}}, {{"BH-0001"}, {"BH-0002"}}});
    return reply;
  });
  auto connection = Connect();
  OdbcStatement st(connection->Handle());
  CallBuffers b;
  SQLBindParameter(st.Handle(), 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &b.returnValue,
                   0, &b.returnIndicator);
  SQLBindParameter(st.Handle(), 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 10, 0, b.text,
                   sizeof b.text, &b.textIndicator);
  SQLBindParameter(st.Handle(), 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &b.integer, 0,
                   &b.integerIndicator);
  SQLBindParameter(st.Handle(), 4, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &b.inOut,
                   0, &b.inOutIndicator);
  char16_t code[21] = u"";
  SQLLEN codeIndicator = SQL_NULL_DATA;
  SQLBindParameter(st.Handle(), 5, SQL_PARAM_INPUT_OUTPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0, code,
                   sizeof code, &codeIndicator);
  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("{? = call AAAAASN;1(?,?,?,?)}"))) << st.Diag();
  EXPECT_EQ(st.FetchAllText(), (std::vector<std::vector<std::string>>{{"BH-0001"}, {"BH-0002"}}));
  while (st.MoreResults()) {
  }
  EXPECT_EQ(b.returnValue, 7);
  EXPECT_EQ(b.inOut, 42);
  EXPECT_EQ(Narrow(code), "入-0042");

  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].procedure, "AAAAASN");
  EXPECT_EQ(calls[0].database, kAccountSet);
  EXPECT_EQ(calls[0]["Kind"], Value("入库单"));
  EXPECT_EQ(calls[0]["@Amount"], Value(Decimal{"11.0000"}));
  EXPECT_EQ(calls[0]["@Next"], Value(3));
  std::vector<Request> rpcs = RequestsOf(RequestKind::Rpc);
  ASSERT_EQ(rpcs.size(), 1u);
  EXPECT_EQ(rpcs[0].procedure, "AAAAASN;1");
  ASSERT_EQ(rpcs[0].params.size(), 4u);
  EXPECT_TRUE(rpcs[0].params[3].value.IsNull());
  EXPECT_EQ(rpcs[0].params[0].type, SqlType::VarChar);
  EXPECT_TRUE(rpcs[0].params[2].output);
  EXPECT_FALSE(rpcs[0].params[1].output);
}

TEST_F(SqlServerStandInTest, ArgumentsLeftOutOfACallTakeTheDeclaredDefaults) {
  ProcedureDecl decl;
  decl.name = "P";
  decl.params = {
      {"@a", SqlType::Int},
      {"@b", SqlType::VarChar, 20, 0, 0, ParamDirection::Input, Value("dflt")},
      {"@c", SqlType::Int, 0, 0, 0, ParamDirection::InputOutput, Value(nullptr)},
  };
  server_.DeclareProcedure(decl);
  std::optional<ProcedureCall> seen;
  server_.OnProcedure("P", [&](const ProcedureCall& call) {
    seen = call;
    return Reply{};
  });
  struct Case {
    const char* text;
    const char* binds;  // which of a, b, c are bound, in marker order
    std::vector<Value> values;
    std::vector<bool> sent;
    std::string error;
  };
  const Case cases[] = {
      {"{? = call P(?,,?)}", "ac", {11, "dflt", 3}, {true, false, true}, ""},
      {"{? = call P(?)}", "a", {11, "dflt", nullptr}, {true, false, false}, ""},
      {"{? = call P(,?,?)}", "bc", {nullptr, "入库单", 3}, {false, true, true}, ""},
      {"{? = call P}",
       "",
       {},
       {},
       "201: [FreeTDS][SQL Server]Procedure or function 'P' expects "
       "parameter '@a', which was not supplied."},
  };
  auto connection = Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    seen.reset();
    OdbcStatement st(connection->Handle());
    CallBuffers b;
    SQLUSMALLINT n = 1;
    SQLBindParameter(st.Handle(), n++, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                     &b.returnValue, 0, &b.returnIndicator);
    for (const char* p = c.binds; *p; ++p) {
      if (*p == 'a')
        SQLBindParameter(st.Handle(), n++, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                         &b.integer, 0, &b.integerIndicator);
      if (*p == 'b')
        SQLBindParameter(st.Handle(), n++, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0, b.text,
                         sizeof b.text, &b.textIndicator);
      if (*p == 'c')
        SQLBindParameter(st.Handle(), n++, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                         &b.inOut, 0, &b.inOutIndicator);
    }
    SQLRETURN r = st.ExecDirect(c.text);
    if (!c.error.empty()) {
      EXPECT_EQ(r, SQL_ERROR);
      EXPECT_NE(st.Diag().find(c.error), std::string::npos) << st.Diag();
      EXPECT_FALSE(seen);
      continue;
    }
    // A call without result sets ends in SQL_NO_DATA with FreeTDS.
    ASSERT_TRUE(SQL_SUCCEEDED(r) || r == SQL_NO_DATA) << st.Diag();
    while (st.MoreResults()) {
    }
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->values, c.values);
    EXPECT_EQ(seen->sent, c.sent);
    EXPECT_EQ(b.returnValue, 0);
  }
}

TEST_F(SqlServerStandInTest, ExecTextInABatchCallsTheProcedure) {
  ProcedureDecl decl;
  decl.name = "P";
  decl.params = {
      {"@a", SqlType::Int},
      {"@b", SqlType::NVarChar, 20, 0, 0, ParamDirection::Input, Value("dflt")},
      {"@c", SqlType::Int, 0, 0, 0, ParamDirection::InputOutput, Value(nullptr)},
  };
  server_.DeclareProcedure(decl);
  std::optional<ProcedureCall> seen;
  server_.OnProcedure("P", [&](const ProcedureCall& call) {
    seen = call;
    Reply reply;
    reply.resultSets.push_back({{{"Result", SqlType::VarChar, 10}}, {{"ok"}}});
    reply.returnStatus = 1;
    return reply;
  });
  struct Case {
    const char* text;
    std::vector<Value> values;
    std::vector<bool> sent;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"exec P 7", {7, "dflt", nullptr}, {true, false, false}, ""},
      {"EXEC dbo.P;1 @b = N'中''文', @a = 8", {8, "中'文", nullptr}, {true, true, false}, ""},
      {"execute P 9, default, 3", {9, "dflt", 3}, {true, false, true}, ""},
      {"P 10", {10, "dflt", nullptr}, {true, false, false}, ""},
      {"exec P @z = 1",
       {},
       {},
       "8145: [FreeTDS][SQL Server]@z is not a parameter for procedure P."},
      {"exec P 1, 'x', 2, 3",
       {},
       {},
       "8144: [FreeTDS][SQL Server]Procedure or function P has too "
       "many arguments specified."},
      {"exec Missing 1",
       {},
       {},
       "2812: [FreeTDS][SQL Server]Could not find stored procedure "
       "'Missing'."},
  };
  auto connection = Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    seen.reset();
    OdbcStatement st(connection->Handle());
    SQLRETURN r = st.ExecDirect(c.text);
    if (!c.error.empty()) {
      EXPECT_EQ(r, SQL_ERROR);
      EXPECT_NE(st.Diag().find(c.error), std::string::npos) << st.Diag();
      EXPECT_FALSE(seen);
      continue;
    }
    ASSERT_TRUE(SQL_SUCCEEDED(r)) << st.Diag();
    EXPECT_EQ(st.FetchAllText(), (std::vector<std::vector<std::string>>{{"ok"}}));
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->values, c.values);
    EXPECT_EQ(seen->sent, c.sent);
  }
}

TEST_F(SqlServerStandInTest, ResultSetColumnsReachTheDriverWithTheirTypesAndValues) {
  struct Case {
    Column column;
    Value value;
    SQLSMALLINT odbcType;  // as FreeTDS maps the wire type (float -> SQL_DOUBLE, ...)
    std::string text;      // the value as the driver renders it in SQL_C_WCHAR
  };
  const std::vector<Case> cases = {
      {{"i", SqlType::Int}, -7, SQL_INTEGER, "-7"},
      {{"si", SqlType::SmallInt}, 32000, SQL_SMALLINT, "32000"},
      {{"ti", SqlType::TinyInt}, 255, SQL_TINYINT, "255"},
      {{"bi", SqlType::BigInt}, 9007199254740993LL, SQL_BIGINT, "9007199254740993"},
      {{"b", SqlType::Bit}, true, SQL_BIT, "1"},
      {{"f", SqlType::Float}, 1.5, SQL_DOUBLE, "1.5"},
      {{"r", SqlType::Real}, 0.25, SQL_REAL, "0.25"},
      {{"d", SqlType::Decimal, 0, 18, 4}, Decimal{"-12.3456"}, SQL_NUMERIC, "-12.3456"},
      {{"n", SqlType::Numeric, 0, 38, 2},
       Decimal{"12345678901234567890123456789012.34"},
       SQL_NUMERIC,
       "12345678901234567890123456789012.34"},
      {{"m", SqlType::Money}, Decimal{"-1234.5678"}, SQL_DECIMAL, "-1234.5678"},
      {{"dt", SqlType::DateTime},
       DateTime{2024, 2, 29, 13, 14, 15, 120},
       SQL_TYPE_TIMESTAMP,
       "2024-02-29 13:14:15.120"},
      {{"c", SqlType::Char, 6}, "账套", SQL_CHAR, "账套  "},
      {{"vc", SqlType::VarChar, 40}, "供应商：深圳‘测试’", SQL_VARCHAR, "供应商：深圳‘测试’"},
      {{"vcm", SqlType::VarChar, -1}, "长文本", SQL_VARCHAR, "长文本"},
      {{"nc", SqlType::NChar, 3}, "单", SQL_WCHAR, "单  "},
      {{"nvc", SqlType::NVarChar, 20}, "客户𠀀名", SQL_WVARCHAR, "客户𠀀名"},
      {{"t", SqlType::Text}, "备注文本", SQL_LONGVARCHAR, "备注文本"},
      {{"nt", SqlType::NText}, "说明", SQL_WLONGVARCHAR, "说明"},
      {{"vb", SqlType::VarBinary, 8}, Bytes{0x01, 0x02, 0xFF}, SQL_VARBINARY, "0102ff"},
      {{"img", SqlType::Image}, Bytes{0xAB, 0x00}, SQL_LONGVARBINARY, "ab00"},
  };
  ResultSet rs;
  std::vector<Value> row, nulls;
  for (const Case& c : cases) {
    rs.columns.push_back(c.column);
    row.push_back(c.value);
    nulls.push_back(nullptr);
  }
  rs.rows = {row, nulls};
  server_.OnStatement("select every type", Reply{{rs}});
  auto connection = Connect();
  OdbcStatement st(connection->Handle());
  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("select every type"))) << st.Diag();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SQLWCHAR name[64];
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeColW(st.Handle(), static_cast<SQLUSMALLINT>(i + 1), name, 64, &nameLength, &type,
                    &size, &digits, &nullable);
    EXPECT_EQ(type, cases[i].odbcType) << cases[i].column.name;
    EXPECT_EQ(nullable, SQL_NULLABLE) << cases[i].column.name;
  }
  std::vector<std::vector<std::string>> rows = st.FetchAllText();
  ASSERT_EQ(rows.size(), 2u);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(rows[0][i], cases[i].text) << cases[i].column.name;
    EXPECT_EQ(rows[1][i], "<null>") << cases[i].column.name;
  }
}

TEST_F(SqlServerStandInTest, ParametersArriveDecodedWhateverTheirWireType) {
  std::vector<Value> received;
  server_.OnProcedure("Echo", [&](const ProcedureCall& call) {
    received = call.values;
    return Reply{};
  });
  SQLINTEGER i = -42;
  SQLBIGINT big = -9007199254740993LL;
  double f = 2.75;
  char16_t narrow[32] = u"采购订单";
  char16_t wide[32] = u"客户𠀀名";
  SQL_TIMESTAMP_STRUCT ts{2023, 12, 31, 23, 59, 58, 997000000};
  char decimal[] = "-1234.5600";
  unsigned char bytes[] = {0x00, 0x10, 0xFF};
  unsigned char bit = 1;
  SQLINTEGER nullInt = 0;
  std::u16string longText(100000, u'长');
  longText[0] = u'A';
  SQLLEN nts = SQL_NTS, bytesLen = sizeof bytes, nullInd = SQL_NULL_DATA,
         longLen = static_cast<SQLLEN>(longText.size() * 2), fixed = 0;
  auto connection = Connect();
  OdbcStatement st(connection->Handle());
  SQLHSTMT h = st.Handle();
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &i, 0, &fixed);
  SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &big, 0, &fixed);
  SQLBindParameter(h, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &f, 0, &fixed);
  SQLBindParameter(h, 4, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 30, 0, narrow, sizeof narrow,
                   &nts);
  SQLBindParameter(h, 5, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 30, 0, wide, sizeof wide,
                   &nts);
  SQLBindParameter(h, 6, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, &ts, 0,
                   &fixed);
  SQLBindParameter(h, 7, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 18, 4, decimal, sizeof decimal,
                   &nts);
  SQLBindParameter(h, 8, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 10, 0, bytes, sizeof bytes,
                   &bytesLen);
  SQLBindParameter(h, 9, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 0, 0, &bit, 0, &fixed);
  SQLBindParameter(h, 10, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &nullInt, 0, &nullInd);
  SQLBindParameter(h, 11, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR, longText.size(), 0,
                   longText.data(), longLen, &longLen);
  SQLRETURN r = st.ExecDirect("{call Echo(?,?,?,?,?,?,?,?,?,?,?)}");
  ASSERT_TRUE(SQL_SUCCEEDED(r) || r == SQL_NO_DATA) << st.Diag();
  const std::vector<Value> expected = {
      -42,
      -9007199254740993LL,
      2.75,
      "采购订单",
      "客户𠀀名",
      DateTime{2023, 12, 31, 23, 59, 58, 997},
      Decimal{"-1234.5600"},
      Bytes{0x00, 0x10, 0xFF},
      1,
      nullptr,
      Narrow(longText),
  };
  ASSERT_EQ(received.size(), expected.size());
  for (std::size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(received[k], expected[k])
        << "parameter " << k + 1 << ": " << received[k].ToString().substr(0, 80);
  }
  std::vector<Request> rpcs = RequestsOf(RequestKind::Rpc);
  ASSERT_EQ(rpcs.size(), 1u);
  EXPECT_EQ(rpcs[0].params[3].type, SqlType::VarChar) << "SQL_VARCHAR goes out as varchar";
  EXPECT_EQ(rpcs[0].params[4].type, SqlType::NVarChar);
  EXPECT_EQ(rpcs[0].params[10].type, SqlType::NVarChar) << "long text goes out chunked (PLP)";
}

TEST_F(SqlServerStandInTest, StatementsAreAnsweredByTextByPatternOrWithAClearError) {
  ResultSet first{{{"Id", SqlType::Int}, {"Name", SqlType::NVarChar, 20}}, {{1, "甲"}, {2, "乙"}}};
  ResultSet second{{{"Total", SqlType::Money}}, {{Decimal{"3.5000"}}}};
  server_.OnStatement("select * from Goods", Reply{{first, second}});
  Reply updated;
  updated.rowsAffected = 3;
  server_.OnStatement("update Goods set Price = 0", updated);
  server_.OnStatementMatching(
      std::regex(R"(select Name from Goods where Id = (\d+))", std::regex::icase),
      [](const StatementCall& call) {
        Reply reply;
        reply.resultSets.push_back({{{"Name", SqlType::VarChar, 20}}, {{"#" + call.captures[0]}}});
        return reply;
      });
  std::vector<StatementCall> parameterised;
  server_.OnStatementMatching(std::regex(R"(select @P1 \+ @P2)"), [&](const StatementCall& call) {
    parameterised.push_back(call);
    Reply reply;
    reply.resultSets.push_back(
        {{{"Sum", SqlType::Int}}, {{call.params[0].value.AsInt() + call.params[1].value.AsInt()}}});
    return reply;
  });
  auto connection = Connect();
  OdbcStatement st(connection->Handle());

  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("select * from Goods"))) << st.Diag();
  EXPECT_EQ(st.FetchAllText(), (std::vector<std::vector<std::string>>{{"1", "甲"}, {"2", "乙"}}));
  ASSERT_TRUE(st.MoreResults());
  EXPECT_EQ(st.FetchAllText(), (std::vector<std::vector<std::string>>{{"3.5000"}}));
  EXPECT_FALSE(st.MoreResults());
  st.Reset();

  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("update Goods set Price = 0"))) << st.Diag();
  SQLLEN count = -1;
  SQLRowCount(st.Handle(), &count);
  EXPECT_EQ(count, 3);
  st.Reset();

  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("SELECT Name FROM Goods WHERE Id = 17"))) << st.Diag();
  EXPECT_EQ(st.FetchAllText(), (std::vector<std::vector<std::string>>{{"#17"}}));
  st.Reset();

  SQLINTEGER a = 40, b = 2;
  SQLLEN fixed = 0;
  SQLBindParameter(st.Handle(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0, &fixed);
  SQLBindParameter(st.Handle(), 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &b, 0, &fixed);
  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("select ? + ?"))) << st.Diag();
  EXPECT_EQ(st.FetchAllText(), (std::vector<std::vector<std::string>>{{"42"}}));
  ASSERT_EQ(parameterised.size(), 1u);
  EXPECT_EQ(parameterised[0].params[0].name, "@P1");
  st.Reset();

  ASSERT_EQ(st.ExecDirect("delete from Nowhere"), SQL_ERROR);
  EXPECT_NE(st.Diag().find("208: [FreeTDS][SQL Server]Invalid object name: SqlServerStandIn has "
                           "no script for this statement: delete from Nowhere"),
            std::string::npos)
      << st.Diag();

  std::vector<Request> batches = RequestsOf(RequestKind::Batch);
  ASSERT_GE(batches.size(), 4u);
  EXPECT_EQ(batches[0].text, "select * from Goods");
  EXPECT_EQ(batches[0].database, kAccountSet);
  EXPECT_EQ(batches[0].user, "sa");
  std::vector<Request> rpcs = RequestsOf(RequestKind::Rpc);
  ASSERT_EQ(rpcs.size(), 1u);
  EXPECT_EQ(rpcs[0].procedure, "sp_executesql");
  EXPECT_EQ(rpcs[0].text, "select @P1 + @P2");
}

TEST_F(SqlServerStandInTest, AnErrorAfterSomeRowsReachesTheClientWithItsText) {
  Reply reply;
  reply.resultSets.push_back({{{"No", SqlType::Int}}, {{1}, {2}, {3}}});
  reply.error = ServerError{50001, 1, 16, "库存不足，不能出库"};
  reply.errorAfterRows = 2;
  server_.OnProcedure("Post", reply);
  auto connection = Connect();
  OdbcStatement st(connection->Handle());
  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("{call Post}"))) << st.Diag();
  std::vector<std::string> fetched;
  SQLRETURN r;
  while ((r = SQLFetch(st.Handle())) == SQL_SUCCESS) {
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    SQLGetData(st.Handle(), 1, SQL_C_SLONG, &v, 0, &ind);
    fetched.push_back(std::to_string(v));
  }
  EXPECT_EQ(fetched, (std::vector<std::string>{"1", "2"}));
  std::string diag = st.Diag();
  if (r != SQL_ERROR) {
    EXPECT_EQ(SQLMoreResults(st.Handle()), SQL_ERROR);
    diag = st.Diag();
  }
  EXPECT_NE(diag.find("50001: [FreeTDS][SQL Server]库存不足，不能出库"), std::string::npos) << diag;
}

TEST_F(SqlServerStandInTest, ACancelledSlowReplyLeavesTheConnectionUsable) {
  Reply slow;
  slow.delay = std::chrono::seconds(20);
  slow.resultSets.push_back({{{"x", SqlType::Int}}, {{1}}});
  server_.OnStatement("waitfor delay '00:00:20'", slow);
  server_.OnStatement("select 2", Reply{{{{{"y", SqlType::Int}}, {{2}}}}});
  auto connection = Connect();
  OdbcStatement st(connection->Handle());
  SQLSetStmtAttr(st.Handle(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
  ASSERT_EQ(st.ExecDirect("waitfor delay '00:00:20'"), SQL_ERROR);
  EXPECT_NE(st.Diag().find("[HYT00]"), std::string::npos) << st.Diag();
  st.Reset();
  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("select 2"))) << st.Diag();
  EXPECT_EQ(st.FetchAllText(), (std::vector<std::vector<std::string>>{{"2"}}));
  EXPECT_EQ(RequestsOf(RequestKind::Attention).size(), 1u);
}

TEST_F(SqlServerStandInTest, ADroppedConnectionFailsTheCallAndClosesTheSocket) {
  Reply drop;
  drop.dropConnection = true;
  server_.OnProcedure("Crash", drop);
  auto connection = Connect();
  OdbcStatement st(connection->Handle());
  ASSERT_EQ(st.ExecDirect("{call Crash}"), SQL_ERROR);
  EXPECT_NE(st.Diag().find("Unexpected EOF from the server"), std::string::npos) << st.Diag();
  for (int i = 0; i < 200 && server_.OpenConnections() != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(server_.OpenConnections(), 0u);
}

class SmallPacketStandInTest : public SqlServerStandInTest {
 protected:
  SmallPacketStandInTest() : SqlServerStandInTest(SmallPackets()) {}
  static SqlServerStandInOptions SmallPackets() {
    SqlServerStandInOptions options;
    options.packetSize = 512;
    return options;
  }
};

TEST_F(SmallPacketStandInTest, ALargeReplyIsSplitToTheNegotiatedPacketSize) {
  ResultSet rs{{{"No", SqlType::Int}, {"Text", SqlType::NVarChar, 300}}, {}};
  std::vector<std::vector<std::string>> expected;
  for (int i = 0; i < 400; ++i) {
    std::string text = std::to_string(i) + std::string(120, 'x') + "单据";
    rs.rows.push_back({i, text});
    expected.push_back({std::to_string(i), text});
  }
  server_.OnStatement("select many", Reply{{rs}});
  auto connection = Connect();
  OdbcStatement st(connection->Handle());
  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("select many"))) << st.Diag();
  EXPECT_EQ(st.FetchAllText(), expected);
}

TEST_F(SqlServerStandInTest, TransactionRequestsBeginAndCommit) {
  auto connection = Connect();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(connection->Handle(), SQL_ATTR_AUTOCOMMIT,
                                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
      << Diagnostics(SQL_HANDLE_DBC, connection->Handle());
  ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, connection->Handle(), SQL_COMMIT)))
      << Diagnostics(SQL_HANDLE_DBC, connection->Handle());
  std::vector<std::string> texts;
  for (const Request& r : RequestsOf(RequestKind::Transaction)) texts.push_back(r.text);
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], "BEGIN TRAN");
  EXPECT_EQ(texts[1], "COMMIT TRAN");
}

// Connects with "Driver=FreeTDS;<target>;..." as sa with an empty password.
std::optional<std::string> ConnectTo(const std::string& target) {
  OdbcConnection connection;
  return connection.Connect("Driver=FreeTDS;" + target + ";UID=sa;PWD=;TDS_Version=7.4;");
}

TEST(SqlServerStandInDefaultPort, ServesTheDefaultPortForms) {
  SqlServerStandInOptions options;
  options.port = 1433;
  SqlServerStandIn server(options);
  server.AddLogin("sa", "");
  // FreeTDS needs the port spelled out, even 1433.
  for (const char* target : {"Server=127.0.0.1;Port=1433", "Server=127.0.0.1,1433"}) {
    SCOPED_TRACE(target);
    std::optional<std::string> error = ConnectTo(target);
    EXPECT_FALSE(error) << *error;
  }
}

TEST(SqlServerStandInBrowser, LeadsAnInstanceNameToTheServersPort) {
  SqlServerStandIn server;
  server.AddLogin("sa", "");
  server.StartBrowser(1434, "VTSQLSERVER");
  for (const char* target : {"Server=127.0.0.1\\VTSQLSERVER", "Server=127.0.0.1\\vtsqlserver"}) {
    SCOPED_TRACE(target);
    std::optional<std::string> error = ConnectTo(target);
    EXPECT_FALSE(error) << *error;
  }
  EXPECT_EQ(server.Requests().size(), 2u);
}

}  // namespace
}  // namespace quor::test
