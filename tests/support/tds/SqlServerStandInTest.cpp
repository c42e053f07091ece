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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_.ClearRequests();
    OdbcConnection connection;
    std::optional<std::string> error =
        connection.Connect(server_.ConnectionString(c.user, c.password, c.database));
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
  ASSERT_TRUE(SQL_SUCCEEDED(st.ExecDirect("{? = call AAAAASN;1(?,?,?)}"))) << st.Diag();
  EXPECT_EQ(st.FetchAllText(), (std::vector<std::vector<std::string>>{{"BH-0001"}, {"BH-0002"}}));
  while (st.MoreResults()) {
  }
  EXPECT_EQ(b.returnValue, 7);
  EXPECT_EQ(b.inOut, 42);

  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].procedure, "AAAAASN");
  EXPECT_EQ(calls[0].database, kAccountSet);
  EXPECT_EQ(calls[0]["Kind"], Value("入库单"));
  EXPECT_EQ(calls[0]["@Amount"], Value(Decimal{"11.0000"}));
  EXPECT_EQ(calls[0]["@Next"], Value(3));
  std::vector<Request> rpcs = RequestsOf(RequestKind::Rpc);
  ASSERT_EQ(rpcs.size(), 1u);
  EXPECT_EQ(rpcs[0].procedure, "AAAAASN;1");
  ASSERT_EQ(rpcs[0].params.size(), 3u);
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

}  // namespace
}  // namespace quor::test
