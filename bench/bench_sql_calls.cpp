// Procedure calls per second through the SQL layer (parameter refresh, assignment
// by name, run, return value read back) next to the same calls made with bare
// ODBC, both through FreeTDS to the SQL Server stand-in on loopback. The ratio of
// the two rates is the layer's own cost; the stand-in's is common to both. Rates
// are wall-clock: the process's CPU time includes the stand-in's thread.
//
// The described remote method (GetIDsOfNames + Invoke through the call-pattern
// engine) runs twice in the same process: with the procedure-parameter cache
// off, as every call asks for the parameter list, and on, as a remembered list
// is called by name; BM_LayerRememberedDeclaration is the same by-name call on
// a StoredProc alone.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Connection.h"
#include "ProcedureCache.h"
#include "StoredProc.h"
#include "remote/uDataModuleSvr.h"
#include "tests/support/accountset/AccountSet.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace {

namespace t = quor::test;
using quor::sql::Value;

constexpr const char* kUser = "sa";
constexpr const char* kPassword = "Bench#1";
constexpr const char* kDatabase = "QuorBench";

t::ParamDecl Param(const char* name, t::SqlType type, int size = 0) {
  t::ParamDecl decl;
  decl.name = name;
  decl.type = type;
  decl.size = size;
  return decl;
}

// One stand-in for the whole run: a procedure shaped like the business ones,
// with a text, two integers, a money value and an output.
t::SqlServerStandIn& Server() {
  static std::unique_ptr<t::SqlServerStandIn> server = [] {
    auto s = std::make_unique<t::SqlServerStandIn>();
    s->AddLogin(kUser, kPassword);
    s->AddDatabase(kDatabase);
    t::ProcedureDecl decl;
    decl.name = "AAAAASN";
    t::ParamDecl price = Param("@Price", t::SqlType::Money);
    price.precision = 19;
    price.scale = 4;
    t::ParamDecl next = Param("@Next", t::SqlType::Int);
    next.direction = t::ParamDirection::InputOutput;
    decl.params = {Param("@Kind", t::SqlType::VarChar, 10), Param("@OperatorID", t::SqlType::Int),
                   Param("@CompanyID", t::SqlType::Int), price, next};
    s->DeclareProcedure(decl);
    s->OnProcedure("AAAAASN", [](const t::ProcedureCall& call) {
      t::Reply reply;
      reply.returnStatus = static_cast<std::int32_t>(call["@OperatorID"].AsInt());
      reply.outputs["@Next"] = 1;
      return reply;
    });
    return s;
  }();
  return *server;
}

quor::sql::ConnectionSettings Settings() {
  quor::sql::ConnectionSettings settings;
  settings.dataSource = "127.0.0.1," + std::to_string(Server().Port());
  settings.initialCatalog = kDatabase;
  settings.userId = kUser;
  settings.password = kPassword;
  return settings;
}

void LayerCall(quor::sql::StoredProc& proc, std::int64_t operatorId, bool refresh) {
  proc.Close();
  if (refresh) {
    proc.Params().Clear();
    proc.RefreshParameters();
  }
  proc.SetParamValue("@Kind", Value::Text("BILL"));
  proc.SetParamValue("@OperatorID", Value::Integer(operatorId));
  proc.SetParamValue("@CompanyID", Value::Integer(1));
  proc.SetParamValue("@Price", Value::Decimal("12.5000"));
  proc.ExecProc();
  if (proc.ParamValue("@RETURN_VALUE").AsInteger() != operatorId) {
    throw std::runtime_error("wrong return value");
  }
}

void BM_LayerRefreshAndExecute(benchmark::State& state) {
  quor::sql::Connection connection(Settings());
  quor::sql::StoredProc proc(connection, "InsertProc");
  proc.SetProcedureName("AAAAASN;1");
  std::int64_t n = 0;
  for (auto _ : state) LayerCall(proc, ++n, true);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LayerRefreshAndExecute)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

void BM_LayerExecuteOnly(benchmark::State& state) {
  quor::sql::Connection connection(Settings());
  quor::sql::StoredProc proc(connection, "InsertProc");
  proc.SetProcedureName("AAAAASN;1");
  proc.RefreshParameters();
  std::int64_t n = 0;
  for (auto _ : state) LayerCall(proc, ++n, false);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LayerExecuteOnly)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

void BM_LayerRememberedDeclaration(benchmark::State& state) {
  quor::sql::Connection connection(Settings());
  quor::sql::StoredProc proc(connection, "InsertProc");
  proc.SetProcedureName("AAAAASN;1");
  proc.RefreshParameters();
  const quor::sql::Parameters declaration = proc.Params();
  std::int64_t n = 0;
  for (auto _ : state) {
    proc.UseDeclaration(declaration, nullptr);
    LayerCall(proc, ++n, false);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LayerRememberedDeclaration)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(2.0)
    ->UseRealTime();

// InsertAccountBillLink through a module on the test account set, as a client
// calls it.
void BM_DescribedMethod(benchmark::State& state, bool cache) {
  quor::test::SqlServerStandIn server;
  quor::test::AccountSet accountSet(server);
  auto module = std::make_shared<quor::TDataModuleServer>();
  // After the module: the first one reads the setting.
  quor::sql::ProcedureCache::Shared().SetLifetime(
      cache ? quor::sql::ProcedureCache::kDefaultLifetime : std::chrono::seconds(0));
  quor::sql::ConnectionSettings& settings = module->ADOConnection1().Settings();
  settings.dataSource = "127.0.0.1," + std::to_string(server.Port());
  settings.initialCatalog = quor::test::kAccountSetDatabase;
  settings.userId = quor::test::kAccountSetUser;
  settings.password = quor::test::kAccountSetPassword;
  auto message = std::make_shared<quor::com::Variant>(quor::com::Variant(""));
  auto nRet = std::make_shared<quor::com::Variant>(quor::com::Variant::I4(0));
  const std::vector<quor::com::Variant> args = {
      quor::com::Variant::ByRef(nRet, quor::com::VT_I4), quor::com::Variant::ByRef(message),
      quor::com::Variant::I4(1001), quor::com::Variant("00002"), quor::com::Variant("00001")};
  for (auto _ : state) {
    quor::com::DispId dispId = 0;
    module->GetIDsOfNames("InsertAccountBillLink", dispId);
    quor::com::Variant result;
    quor::com::ExcepInfo excepInfo;
    if (module->Invoke(dispId, quor::com::DISPATCH_METHOD, quor::com::DispParams(args), &result,
                       &excepInfo, nullptr) != quor::com::S_OK) {
      state.SkipWithError(excepInfo.description.c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  quor::sql::ProcedureCache::Shared().Clear();
}
BENCHMARK_CAPTURE(BM_DescribedMethod, cache_off, false)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(2.0)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_DescribedMethod, cache_on, true)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(2.0)
    ->UseRealTime();

// The same work with ODBC calls written out by hand: fixed bindings, no
// conversions beyond what the call needs. The text goes as UTF-16, as the layer
// sends it, so both put the same bytes on the wire and the server side costs the
// same.
class BareOdbc {
 public:
  BareOdbc() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    const std::string text = Server().ConnectionString(kUser, kPassword, kDatabase);
    const SQLRETURN rc =
        SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())),
                         SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) throw std::runtime_error("bare ODBC connect failed");
  }
  ~BareOdbc() {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }

  void Refresh() {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    SQLProcedureColumns(stmt, nullptr, 0, nullptr, 0,
                        reinterpret_cast<SQLCHAR*>(const_cast<char*>("AAAAASN;1")), SQL_NTS,
                        nullptr, 0);
    int rows = 0;
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
      char name[130];
      SQLSMALLINT type = 0;
      SQLLEN indicator = 0;
      SQLGetData(stmt, 4, SQL_C_CHAR, name, sizeof name, &indicator);
      SQLGetData(stmt, 6, SQL_C_SSHORT, &type, 0, &indicator);
      ++rows;
    }
    while (SQLMoreResults(stmt) != SQL_NO_DATA) {
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (rows != 6) throw std::runtime_error("bare ODBC refresh found " + std::to_string(rows));
  }

  void Execute(SQLINTEGER operatorId) {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    SQLINTEGER result = 0;
    SQLINTEGER company = 1;
    SQLINTEGER next = 0;
    SQLWCHAR kind[] = {'B', 'I', 'L', 'L', 0};
    char price[] = "12.5000";
    SQLLEN resultInd = 0, kindInd = 4 * sizeof(SQLWCHAR), opInd = 0, companyInd = 0,
           priceInd = SQL_NTS, nextInd = SQL_NULL_DATA;
    SQLBindParameter(stmt, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &result, 0,
                     &resultInd);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 4, 0, kind, sizeof kind,
                     &kindInd);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &operatorId, 0,
                     &opInd);
    SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &company, 0,
                     &companyInd);
    SQLBindParameter(stmt, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 19, 4, price, sizeof price,
                     &priceInd);
    SQLBindParameter(stmt, 6, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &next, 0,
                     &nextInd);
    SQLRETURN rc = SQLExecDirect(
        stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>("{? = call AAAAASN;1(?,?,?,?,?)}")),
        SQL_NTS);
    while (rc != SQL_NO_DATA && SQL_SUCCEEDED(rc)) rc = SQLMoreResults(stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (rc != SQL_NO_DATA || result != operatorId) {
      throw std::runtime_error("bare ODBC call failed");
    }
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
};

void BM_BareOdbcRefreshAndExecute(benchmark::State& state) {
  BareOdbc odbc;
  SQLINTEGER n = 0;
  for (auto _ : state) {
    odbc.Refresh();
    odbc.Execute(++n);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareOdbcRefreshAndExecute)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

void BM_BareOdbcExecuteOnly(benchmark::State& state) {
  BareOdbc odbc;
  SQLINTEGER n = 0;
  for (auto _ : state) odbc.Execute(++n);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareOdbcExecuteOnly)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
