// One upload pass of the synchroniser over 10,000 queued goods records: the
// change queue and the account set on the SQL Server stand-in, the cloud on
// the cloud stand-in, both on loopback in this process. Prints rows per
// second and how the pass thread's time divides: its own CPU work, time in
// cloud exchanges, and the rest (waiting on SQL Server). Its own main.
//
//   bench_sync_upload [rows]
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <regex>
#include <string>
#include <unordered_set>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "sync/SyncLog.h"
#include "sync/uDataSynchroServer.h"
#include "tests/support/cloud/CloudStandIn.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/Declare.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace {

using quor::test::Col;
using quor::test::SqlType;

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  const int rowCount = argc > 1 ? std::atoi(argv[1]) : 10000;
  quor::testing::TempFolder folder;
  quor::SetConfigFilePath(folder.Path() / "QuorServerBZ.dat");
  quor::testing::WriteText(
      folder.Path() / "QuorServerBZ.dat",
      "[ServerConfig]\r\nUseClientAutoSynchro=False\r\nStartAutoSynchro=True\r\n");
  quor::ResetConfigCacheForTests();
  quor::LoadConsoleSwitches();
  std::string lastLog;
  quor::sync::SetSyncLogSink([&](const std::string& line) { lastLog = line; });

  quor::test::SqlServerStandIn server;
  server.AddLogin("sa", "Secret#1");
  server.AddDatabase("QuorData01");
  std::mutex queueMutex;
  std::unordered_set<int> queued;
  for (int i = 1; i <= rowCount; ++i) queued.insert(i);

  // The goods upload's SELECT finds its record.
  server.OnStatementMatching(
      std::regex("(SELECT|select) [\\s\\S]*"), [](const quor::test::StatementCall&) {
        quor::test::ResultSet goods{
            {Col("cid", SqlType::Int), Col("SelfID", SqlType::VarChar, 25),
             Col("goods_name", SqlType::NVarChar, 100), Col("price", SqlType::Money)},
            {{31, "0000100001", "长城润滑油 4L", quor::test::Decimal{"88.5000"}}}};
        return quor::test::Reply{{goods}};
      });
  server.OnStatementMatching(
      std::regex("SELECT \\[name\\] FROM dbo\\.sysobjects[\\s\\S]*"),
      quor::test::Reply{{{{Col("name", SqlType::VarChar, 128)}, {{"ValtoDataBaseFZ"}}}}});
  server.OnStatementMatching(
      std::regex("SELECT \\* FROM UploadAppServer A INNER JOIN[\\s\\S]*"),
      [&](const quor::test::StatementCall&) {
        std::lock_guard lock(queueMutex);
        quor::test::ResultSet rows{
            {Col("IndexID", SqlType::Int), Col("DataBase", SqlType::VarChar, 50),
             Col("Vocation", SqlType::VarChar, 50), Col("DataMode", SqlType::VarChar, 10),
             Col("BillID", SqlType::Int), Col("BillType", SqlType::Int),
             Col("BasicDB", SqlType::VarChar, 50), Col("SelfID", SqlType::VarChar, 25),
             Col("CompanyCDB", SqlType::VarChar, 100), Col("CompanyCID", SqlType::Int),
             Col("CompanyKey", SqlType::VarChar, 100)},
            {}};
        for (int i = 1; i <= rowCount; ++i)
          if (queued.count(i))
            rows.rows.push_back({i, "QuorData01", "FZ", "BASIC", 0, 0, "AAAAAFT",
                                 "00001" + std::to_string(10000 + i), "shop", 31, "key"});
        return quor::test::Reply{{rows}};
      });
  server.OnStatementMatching(std::regex("DELETE FROM UploadAppServer WHERE IndexID = .*"),
                             [&](const quor::test::StatementCall& call) {
                               std::lock_guard lock(queueMutex);
                               quor::test::Reply reply;
                               reply.rowsAffected = static_cast<std::int64_t>(
                                   queued.erase(static_cast<int>(call.params.at(0).value.AsInt())));
                               return reply;
                             });

  quor::test::CloudStandIn cloud;
  cloud.OnPath("/business/KEY268",
               quor::test::CloudAnswer::Json(R"({"id":"31","SelfID":"00001"})"));
  cloud.OnPath("/business/KEY260", quor::test::CloudAnswer::Json(R"({"result":"ok"})"));
  cloud.OnPath("/business/KEY264", quor::test::CloudAnswer::Json(R"({"result":"ok"})"));

  quor::sync::SynchroOptions options;
  options.endpoint = quor::sync::CloudEndpoint{"127.0.0.1", cloud.Port(), 30};
  const std::uint16_t port = server.Port();
  options.connectionFor = [port](const std::string& catalog) {
    quor::sql::ConnectionSettings settings;
    settings.dataSource = "127.0.0.1," + std::to_string(port);
    settings.initialCatalog = catalog;
    settings.userId = "sa";
    settings.password = "Secret#1";
    return settings;
  };
  quor::sync::TDataSynchroServer synchro(options);

  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = ThreadCpuSeconds();
  synchro.PumpUploadQueue();
  const double cpu = ThreadCpuSeconds() - cpuStart;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const auto times = synchro.CloudExchangeTimes();
  const double cloudWall = std::chrono::duration<double>(times.wall).count();
  const double cloudCpu = std::chrono::duration<double>(times.cpu).count();
  const double sqlWait = wall - cloudWall - (cpu - cloudCpu);

  std::size_t left;
  {
    std::lock_guard lock(queueMutex);
    left = queued.size();
  }
  std::printf("queued rows            %d (left after the pass: %zu)\n", rowCount, left);
  std::printf("cloud requests         %zu\n", times.requests);
  std::printf("pass wall time         %.3f s\n", wall);
  std::printf("rows per second        %.0f\n", rowCount / wall);
  std::printf("in cloud exchanges     %.3f s (%.1f %%; of it the pass thread's CPU %.3f s)\n",
              cloudWall, 100 * cloudWall / wall, cloudCpu);
  std::printf("waiting on SQL Server  %.3f s (%.1f %%; wall outside exchanges minus CPU there)\n",
              sqlWait, 100 * sqlWait / wall);
  std::printf("server's own CPU work  %.3f s (%.1f %% of the pass)\n", cpu, 100 * cpu / wall);
  std::printf("log: %s\n", lastLog.c_str());
  quor::sync::SetSyncLogSink({});
  quor::SetConfigFilePath({});
  return left == 0 ? 0 : 1;
}
