// A driver for the phone's download file: the SQL Server stand-in, in a child
// process of its own, holds an account set of 100,000 wares, 20,000 clients
// and 200,000 bill lines; this process first streams the rows of every query
// the build runs and throws them away (the stand-in and the driver alone),
// then builds the download file from the same queries. It prints both times,
// their ratio, and this process's peak resident set while building at a tenth
// of the rows and at all of them (the rows are streamed, so the peak should
// not grow with them).
//
//   bench_phone_download [scale, default 1.0]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "mobile/DownloadBuilder.h"
#include "mobile/DownloadQueries.h"
#include "mobile/TableCopy.h"
#include "platform/sql/Connection.h"
#include "platform/sql/RecordSet.h"
#include "platform/sql/Statement.h"
#include "tests/support/accountset/AccountSet.h"
#include "tests/support/tds/Declare.h"

namespace {

namespace fs = std::filesystem;
using namespace quor;
using test::Col;
using test::Decimal;
using test::SqlType;
using test::Value;
using Clock = std::chrono::steady_clock;

constexpr const char* kBegin = "2024-01-01";
constexpr const char* kEnd = "2024-12-31";

struct Sizes {
  int wares, clients, billLines;
};

std::string Id(int n) {
  char id[16];
  std::snprintf(id, sizeof id, "%010d", n);
  return id;
}

std::string Price(int n) {
  return std::to_string(n % 1000) + "." + std::to_string(n % 100) + "00";
}

test::Reply Wares(int count) {
  test::ResultSet rows;
  rows.columns = {Col("_ID", SqlType::Int),
                  Col("SelfID", SqlType::VarChar, 25),
                  Col("sWareName", SqlType::NVarChar, 66),
                  Col("sWareCode", SqlType::VarChar, 26),
                  Col("sBarCode", SqlType::VarChar, 30),
                  Col("sWareMemo", SqlType::NVarChar, 250),
                  Col("nWareClass", SqlType::Int),
                  Col("nWareUnit", SqlType::Int),
                  Col("nWareStatus", SqlType::Int),
                  Col("fBuyPrice", SqlType::Money, 0, 19, 4),
                  Col("fSalePrice", SqlType::Money, 0, 19, 4),
                  Col("fMinPrice", SqlType::Money, 0, 19, 4),
                  Col("fRetailPrice", SqlType::Money, 0, 19, 4),
                  Col("nPersonID", SqlType::Int),
                  Col("nCompanyID", SqlType::Int),
                  Col("sBopomofo", SqlType::VarChar, 50),
                  Col("nStockQty", SqlType::Float),
                  Col("nStrictSerial", SqlType::Bit)};
  rows.rows.reserve(static_cast<std::size_t>(count));
  for (int i = 1; i <= count; ++i) {
    rows.rows.push_back({i, Id(i), "乌龙茶 \"特级\" " + std::to_string(i), "W-" + std::to_string(i),
                         "690" + Id(i), i % 3 == 0 ? Value() : Value("散装"), 120001 + i % 100,
                         400001 + i % 20, 600001, Decimal{Price(i)}, Decimal{Price(i + 7)}, Value(),
                         Decimal{Price(i + 9)}, 1, 1, "WLC", double(i % 50), i % 7 == 0});
  }
  test::Reply reply;
  reply.resultSets.push_back(std::move(rows));
  return reply;
}

test::Reply Units(int count) {
  test::ResultSet rows;
  rows.columns = {Col("_ID", SqlType::Int),
                  Col("nWareID", SqlType::Int),
                  Col("sWareID", SqlType::VarChar, 25),
                  Col("sUnitID", SqlType::VarChar, 25),
                  Col("fUnitRate", SqlType::Float),
                  Col("nUnitRowNumber", SqlType::Int),
                  Col("fSalePrice", SqlType::Money, 0, 19, 4),
                  Col("fMinPrice", SqlType::Money, 0, 19, 4),
                  Col("fRetailPrice", SqlType::Money, 0, 19, 4),
                  Col("fBuyPrice", SqlType::Money, 0, 19, 4)};
  for (int i = 1; i <= count; ++i) {
    rows.rows.push_back({100000 + i, i, Id(i), "00001", 1.0, 0, Decimal{Price(i)}, Value(),
                         Decimal{Price(i + 3)}, Decimal{Price(i + 1)}});
  }
  test::Reply reply;
  reply.resultSets.push_back(std::move(rows));
  return reply;
}

test::Reply StockRows(int count) {
  test::ResultSet rows;
  rows.columns = {Col("IsDownData", SqlType::VarChar, 1),
                  Col("_ID", SqlType::Int),
                  Col("nStockID", SqlType::Int),
                  Col("nWareID", SqlType::Int),
                  Col("sWareName", SqlType::NVarChar, 66),
                  Col("sBopomofo", SqlType::VarChar, 50),
                  Col("nQuantity", SqlType::Float),
                  Col("fCostPrice", SqlType::Money, 0, 19, 4),
                  Col("fCostTotal", SqlType::Money, 0, 19, 4),
                  Col("sIsActive", SqlType::VarChar, 1),
                  Col("nPersonID", SqlType::Int),
                  Col("nCompanyID", SqlType::Int)};
  for (int i = 1; i <= count; ++i) {
    rows.rows.push_back({"Y", i, 1 + i % 5, i, "乌龙茶 " + std::to_string(i), "WLC", double(i % 50),
                         Decimal{Price(i)}, Decimal{Price(i * 3)}, "Y", 1, 1});
  }
  test::Reply reply;
  reply.resultSets.push_back(std::move(rows));
  return reply;
}

test::Reply Clients(int count) {
  test::ResultSet rows;
  rows.columns = {Col("_ID", SqlType::Int),
                  Col("SelfID", SqlType::VarChar, 25),
                  Col("sClientCode", SqlType::VarChar, 26),
                  Col("sClientName", SqlType::NVarChar, 66),
                  Col("sAddress", SqlType::NVarChar, 250),
                  Col("bIsActive", SqlType::VarChar, 1),
                  Col("sLinkman", SqlType::NVarChar, 66),
                  Col("sMovePhone", SqlType::VarChar, 50),
                  Col("sFaxNumber", SqlType::VarChar, 50),
                  Col("sTelephone", SqlType::VarChar, 50),
                  Col("sQQNumber", SqlType::VarChar, 50),
                  Col("sEMail", SqlType::VarChar, 50),
                  Col("sMemo", SqlType::NVarChar, 250),
                  Col("nPersonID", SqlType::Int),
                  Col("nCompanyID", SqlType::Int),
                  Col("bIsVendor", SqlType::VarChar, 1),
                  Col("bIsCustomer", SqlType::VarChar, 1),
                  Col("sBopomofo", SqlType::VarChar, 50),
                  Col("InitReceiveTotal", SqlType::Money, 0, 19, 4),
                  Col("InitPayableTotal", SqlType::Money, 0, 19, 4),
                  Col("ReceiveTotal", SqlType::Money, 0, 19, 4),
                  Col("PayableTotal", SqlType::Money, 0, 19, 4)};
  for (int i = 1; i <= count; ++i) {
    rows.rows.push_back({i,
                         Id(i),
                         "C-" + std::to_string(i),
                         "华东贸易公司 " + std::to_string(i),
                         "上海市 " + std::to_string(i) + " 号",
                         "Y",
                         "王经理",
                         "13800000000",
                         Value(),
                         "021-5555",
                         Value(),
                         "a@b.cn",
                         Value(),
                         1,
                         1,
                         "Y",
                         "Y",
                         "HDMY",
                         Decimal{Price(i)},
                         Value(),
                         Decimal{Price(i + 5)},
                         Decimal{"0.0000"}});
  }
  test::Reply reply;
  reply.resultSets.push_back(std::move(rows));
  return reply;
}

test::Reply BillLines(int count) {
  test::ResultSet rows;
  rows.columns = {Col("_ID", SqlType::BigInt),
                  Col("BillID", SqlType::Int),
                  Col("IsDownData", SqlType::VarChar, 1),
                  Col("nCompanyID", SqlType::Int),
                  Col("nBillType", SqlType::Int),
                  Col("nStockDirection", SqlType::Int),
                  Col("nStockID", SqlType::Int),
                  Col("nDateTime", SqlType::Numeric, 0, 38, 0),
                  Col("nClientID", SqlType::Int),
                  Col("nWareID", SqlType::Int),
                  Col("sWareName", SqlType::NVarChar, 66),
                  Col("nWareUnit", SqlType::Int),
                  Col("fUnitRate", SqlType::Float),
                  Col("nWareQty", SqlType::Float),
                  Col("fPrice", SqlType::Money, 0, 19, 4),
                  Col("fTotal", SqlType::Money, 0, 19, 4),
                  Col("fCostTotal", SqlType::Money, 0, 19, 4),
                  Col("nTrueStockID", SqlType::Int),
                  Col("nPersonID", SqlType::Int),
                  Col("sBillNumber", SqlType::VarChar, 30),
                  Col("fDiscount", SqlType::Float),
                  Col("fReceived", SqlType::Money, 0, 19, 4),
                  Col("fPriorTotal", SqlType::Money, 0, 19, 4),
                  Col("sMemo", SqlType::NText)};
  for (int i = 0; i < count; ++i) {
    const int bill = 1 + i / 4;
    const int line = 1 + i % 4;
    rows.rows.push_back({static_cast<long long>(bill) * 100000000LL + line,
                         bill,
                         "Y",
                         1,
                         115,
                         -1,
                         1 + bill % 5,
                         Decimal{std::to_string(1704067200000LL + bill * 60000LL)},
                         1 + bill % 20000,
                         1 + i % 100000,
                         "乌龙茶 " + std::to_string(i % 100000),
                         400001,
                         1.0,
                         double(1 + i % 9),
                         Decimal{Price(i)},
                         Decimal{Price(i * 2)},
                         Decimal{Price(i)},
                         -1,
                         1 + bill % 50,
                         "XS-" + std::to_string(bill),
                         100.0,
                         Decimal{Price(bill)},
                         Decimal{"0.0000"},
                         bill % 10 == 0 ? Value("手机单") : Value()});
  }
  test::Reply reply;
  reply.resultSets.push_back(std::move(rows));
  return reply;
}

test::Reply Empty(std::vector<test::Column> columns) {
  test::Reply reply;
  reply.resultSets.push_back({std::move(columns), {}});
  return reply;
}

// The stand-in with the account set, in this (child) process, until stdin of
// `control` closes.
[[noreturn]] void ServeAccountSet(const Sizes& sizes, int portPipe, int control) {
  test::SqlServerStandIn server;
  test::AccountSet accountSet(server);
  const auto answer = [&server](const std::string& pattern, auto make) {
    server.OnStatementMatching(std::regex(pattern),
                               [make](const test::StatementCall&) { return make(); });
  };
  server.OnStatement(
      "SELECT SelfID, CompanyID FROM AAAAADG WHERE IndexID = 12",
      test::Reply{{{{Col("SelfID", SqlType::VarChar, 25), Col("CompanyID", SqlType::VarChar, 25)},
                    {{"00002", "00001"}}}}});
  answer(R"(.* FROM AAAAAND\(.*)", [] {
    test::ResultSet rows;
    rows.columns = {Col("_ID", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
                    Col("sPersonName", SqlType::NVarChar, 66)};
    for (int i = 1; i <= 50; ++i) rows.rows.push_back({i, Id(i), "职员 " + std::to_string(i)});
    return test::Reply{{rows}};
  });
  answer(R"(.* FROM AAAAAMR\(.*)", [n = sizes.clients] { return Clients(n); });
  answer(R"(.* FROM AAAAANN\('00002'\) WHERE .*)", [] {
    test::ResultSet rows;
    rows.columns = {Col("_ID", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
                    Col("sStockName", SqlType::NVarChar, 66)};
    for (int i = 1; i <= 5; ++i) rows.rows.push_back({i, Id(i), "仓库 " + std::to_string(i)});
    return test::Reply{{rows}};
  });
  answer(R"(SELECT IndexID \+ 120000 .*)", [] {
    return Empty({Col("_ID", SqlType::Int), Col("sFieldName", SqlType::NVarChar, 66)});
  });
  answer(R"(SELECT \(IndexID \+ 400000\) .*)", [] {
    return Empty({Col("_ID", SqlType::Int), Col("sFieldName", SqlType::NVarChar, 66)});
  });
  answer(R"(SELECT A\.IndexID \+ 100000 AS _ID.*)", [n = sizes.wares] { return Units(n); });
  answer(R"(SELECT A\.IndexID AS _ID, A\.SelfID, A\.LongName AS sWareName.*)",
         [n = sizes.wares] { return Wares(n); });
  answer(R"(SELECT 'Y' AS IsDownData, G\.IndexID.*)", [n = sizes.wares] { return StockRows(n); });
  server.OnStatement(
      "SELECT * FROM AAAAAFH",
      test::Reply{{{{Col("SubName", SqlType::VarChar, 30), Col("SubValue", SqlType::NVarChar, 200)},
                    {{"CO_LongName", "快乐小店"}}}}});
  answer(R"(SELECT CAST\(D\.BillID AS bigint\)\*100000000.*)",
         [n = sizes.billLines] { return BillLines(n); });
  answer(R"(SELECT CAST\(D\.BillID AS bigint\)\*[23]00000000.*)", [] {
    return Empty({Col("_ID", SqlType::BigInt), Col("BillID", SqlType::Int)});
  });
  const std::string port = std::to_string(server.Port()) + "\n";
  if (write(portPipe, port.data(), port.size()) < 0) std::_Exit(1);
  char byte;
  while (read(control, &byte, 1) > 0) {
  }
  std::_Exit(0);
}

struct Child {
  pid_t pid = -1;
  int control = -1;
  std::uint16_t port = 0;
};

Child StartAccountSet(const Sizes& sizes) {
  int portPipe[2];
  int control[2];
  if (pipe(portPipe) != 0 || pipe(control) != 0) throw std::runtime_error("pipe");
  const pid_t pid = fork();
  if (pid == 0) {
    close(portPipe[0]);
    close(control[1]);
    ServeAccountSet(sizes, portPipe[1], control[0]);
  }
  close(portPipe[1]);
  close(control[0]);
  char text[16] = {};
  const ssize_t got = read(portPipe[0], text, sizeof text - 1);
  close(portPipe[0]);
  if (got <= 0) throw std::runtime_error("the stand-in did not start");
  return {pid, control[1], static_cast<std::uint16_t>(std::atoi(text))};
}

void StopAccountSet(const Child& child) {
  close(child.control);
  waitpid(child.pid, nullptr, 0);
}

void Connect(sql::Connection& connection, std::uint16_t port) {
  sql::ConnectionSettings& settings = connection.Settings();
  settings.dataSource = "127.0.0.1," + std::to_string(port);
  settings.initialCatalog = test::kAccountSetDatabase;
  settings.userId = test::kAccountSetUser;
  settings.password = test::kAccountSetPassword;
  connection.Open();
}

long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

void ResetPeakResident() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

// Every query of the build, its rows read block by block and dropped.
std::size_t StreamOnly(sql::Connection& connection) {
  std::vector<std::string> queries = {mobile::PersonLookupQuery("12")};
  for (const auto& [table, query] : mobile::BasicDataQueries("00002", "00001")) {
    queries.push_back(query);
  }
  queries.push_back(mobile::CompanyValuesQuery());
  for (const auto& [table, query] : mobile::BillLineQueries(kBegin, kEnd)) queries.push_back(query);
  std::size_t rows = 0;
  for (const std::string& query : queries) {
    sql::Statement select(connection, "Stream");
    select.SetParamCheck(false);
    select.SetText(query);
    select.SetCommandTimeout(0);
    sql::RecordSet& records = select.Open(mobile::kCopyBlockRows);
    do {
      rows += records.Rows().size();
    } while (records.ReadNextBlock() > 0);
  }
  return rows;
}

struct Run {
  std::size_t rows = 0;
  double streamSeconds = 0, buildSeconds = 0;
  long peakKiB = 0;
  std::uintmax_t fileBytes = 0;
};

Run Measure(const Sizes& sizes, const fs::path& templateFile, const fs::path& target) {
  const Child child = StartAccountSet(sizes);
  Run run;
  {
    sql::Connection connection;
    Connect(connection, child.port);
    auto start = Clock::now();
    run.rows = StreamOnly(connection);
    run.streamSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    ResetPeakResident();
    start = Clock::now();
    mobile::BuildDownloadFile(connection, {"12", kBegin, kEnd}, templateFile, target);
    run.buildSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.peakKiB = PeakResidentKiB();
    run.fileBytes = fs::file_size(target);
  }
  StopAccountSet(child);
  fs::remove(target);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
  const fs::path templateFile = QUOR_BENCH_DOWNLOAD_TEMPLATE;
  const fs::path target =
      fs::temp_directory_path() / ("bench_down_bills_" + std::to_string(getpid()) + ".db");
  const Sizes full{static_cast<int>(100000 * scale), static_cast<int>(20000 * scale),
                   static_cast<int>(200000 * scale)};
  const Sizes tenth{full.wares / 10, full.clients / 10, full.billLines / 10};
  std::printf("phone download: %d wares, %d clients, %d bill lines (rows of the build: wares x3)\n",
              full.wares, full.clients, full.billLines);
  for (const auto& [label, sizes] : {std::pair{"tenth", tenth}, std::pair{"full ", full}}) {
    const Run run = Measure(sizes, templateFile, target);
    std::printf(
        "%s: %zu rows  stream only %.3f s  build %.3f s  build/stream %.2f  peak RSS while "
        "building %ld KiB  file %.1f MiB\n",
        label, run.rows, run.streamSeconds, run.buildSeconds, run.buildSeconds / run.streamSeconds,
        run.peakKiB, static_cast<double>(run.fileBytes) / (1024.0 * 1024.0));
  }
  return 0;
}
