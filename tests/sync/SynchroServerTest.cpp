// The synchroniser's scheduling and queue pump over the SQL Server stand-in
// (master with its catalogue tables and change queue, two account sets) and
// the cloud stand-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "platform/ui/ScriptedMessageBoxes.h"
#include "sync/SyncLog.h"
#include "sync/uDataSynchroServer.h"
#include "tests/support/cloud/CloudStandIn.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/Declare.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::sync {
namespace {

using quor::test::CloudAnswer;
using quor::test::CloudRequest;
using quor::test::Col;
using quor::test::SqlType;

struct CatalogueRow {
  std::string vocation;
  std::string database;
  int cid;
  int autoSynchro;
  std::string companyKey;
};

struct QueueEntry {
  int indexId;
  std::string database;
  std::string vocation;
  std::string dataMode;
  int billId;
  int billType;
  std::string basicDb;
  std::string selfId;
};

class SynchroServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetConfigCacheForTests();
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    SetSyncLogSink([this](const std::string& line) {
      std::lock_guard lock(mutex_);
      log_.push_back(line);
    });
    server_.AddLogin("sa", "Secret#1");
    server_.AddDatabase("QuorData01");
    server_.AddDatabase("QuorData02");
    // Every other statement the uploads run in an account set finds one row (patterns
    // registered later are tried first).
    server_.OnStatementMatching(
        std::regex("(SELECT|select) [\\s\\S]*"), [](const quor::test::StatementCall& call) {
          quor::test::Reply reply;
          reply.resultSets.push_back({{Col("SelfID", SqlType::VarChar, 25)}, {{call.database}}});
          return reply;
        });
    server_.OnStatementMatching(
        std::regex("SELECT \\[name\\] FROM dbo\\.sysobjects WHERE \\[xtype\\] = 'u' AND \\[name\\] "
                   "LIKE 'ValtoDataBase%'"),
        quor::test::Reply{{{{Col("name", SqlType::VarChar, 128)},
                            {{"ValtoDataBaseFZ"}, {"ValtoDataBaseCW"}, {"ValtoDataBaseBZ"}}}}});
    // The account-set list: the catalogue rows that take part.
    server_.OnStatementMatching(
        std::regex("SELECT 'FZ' As Vocation[\\s\\S]*"),
        [this](const quor::test::StatementCall& call) { return CatalogueReply(call.text); });
    server_.OnStatementMatching(std::regex("SELECT \\* FROM UploadAppServer A INNER JOIN[\\s\\S]*"),
                                [this](const quor::test::StatementCall&) { return QueueReply(); });
    server_.OnStatementMatching(
        std::regex("DELETE FROM UploadAppServer WHERE IndexID = .*"),
        [this](const quor::test::StatementCall& call) {
          std::lock_guard lock(mutex_);
          quor::test::Reply reply;
          std::int64_t id = call.params.at(0).value.AsInt();
          auto before = queue_.size();
          queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                      [&](const QueueEntry& e) { return e.indexId == id; }),
                       queue_.end());
          deleted_.push_back(static_cast<int>(id));
          reply.rowsAffected = static_cast<std::int64_t>(before - queue_.size());
          return reply;
        });
    cloud_.OnPath("/business/KEY268", [](const CloudRequest& request) {
      if (request.FormValue("AppCompanyKey") == "bad")
        return CloudAnswer::Json(R"({"id":"","SelfID":""})");
      return CloudAnswer::Json(R"({"id":"31","SelfID":"00001"})");
    });
    cloud_.OnPath("/business/KEY260", CloudAnswer::Json(R"({"ok":1})"));
    cloud_.OnPath("/business/KEY264", CloudAnswer::Json(R"({"ok":1})"));
    cloud_.OnPath("/business/KEY270", CloudAnswer::Json(R"({"ok":1})"));
  }

  void TearDown() override {
    SetSyncLogSink({});
    SetConfigFilePath({});
    ResetConfigCacheForTests();
  }

  void WriteSettings(const std::string& lines) {
    quor::testing::WriteText(folder_.Path() / "QuorServerBZ.dat", "[ServerConfig]\r\n" + lines);
    ResetConfigCacheForTests();
    LoadConsoleSwitches();
  }

  SynchroOptions Options(int timeoutSeconds = 5) {
    SynchroOptions options;
    options.endpoint = CloudEndpoint{"127.0.0.1", cloud_.Port(), timeoutSeconds};
    std::uint16_t port = server_.Port();
    options.connectionFor = [port](const std::string& catalog) {
      sql::ConnectionSettings settings;
      settings.dataSource = "127.0.0.1," + std::to_string(port);
      settings.initialCatalog = catalog;
      settings.userId = "sa";
      settings.password = "Secret#1";
      settings.connectTimeoutSeconds = 5;
      return settings;
    };
    return options;
  }

  static constexpr const char* kServerSynchronises =
      "UseClientAutoSynchro=False\r\nStartAutoSynchro=True\r\n";

  quor::test::Reply CatalogueReply(const std::string& text) {
    std::lock_guard lock(mutex_);
    quor::test::ResultSet rows{
        {Col("Vocation", SqlType::VarChar, 2), Col("DbName", SqlType::VarChar, 50),
         Col("CompanyCDB", SqlType::VarChar, 100), Col("CompanyCID", SqlType::Int),
         Col("CompanyKey", SqlType::VarChar, 100)},
        {}};
    for (const CatalogueRow& row : catalogue_)
      if (row.cid > 0 && row.autoSynchro == 1 &&
          text.find("FROM ValtoDataBase" + row.vocation + " ") != std::string::npos)
        rows.rows.push_back({row.vocation, row.database, "shop", row.cid, row.companyKey});
    return quor::test::Reply{{rows}};
  }

  quor::test::Reply QueueReply() {
    std::lock_guard lock(mutex_);
    quor::test::ResultSet rows{
        {Col("IndexID", SqlType::Int), Col("DataBase", SqlType::VarChar, 50),
         Col("Vocation", SqlType::VarChar, 50), Col("DataMode", SqlType::VarChar, 10),
         Col("BillID", SqlType::Int), Col("BillType", SqlType::Int),
         Col("BasicDB", SqlType::VarChar, 50), Col("SelfID", SqlType::VarChar, 25),
         Col("Vocation", SqlType::VarChar, 2), Col("DBName", SqlType::VarChar, 50),
         Col("CompanyCDB", SqlType::VarChar, 100), Col("CompanyCID", SqlType::Int),
         Col("CompanyKey", SqlType::VarChar, 100)},
        {}};
    for (const QueueEntry& entry : queue_)
      for (const CatalogueRow& row : catalogue_)
        if (row.cid > 0 && row.autoSynchro == 1 && row.vocation == entry.vocation &&
            row.database == entry.database)
          rows.rows.push_back({entry.indexId, entry.database, entry.vocation, entry.dataMode,
                               entry.billId, entry.billType, entry.basicDb, entry.selfId,
                               row.vocation, row.database, "shop", row.cid, row.companyKey});
    std::stable_sort(rows.rows.begin(), rows.rows.end(), [](const auto& a, const auto& b) {
      return std::make_pair(a[2].AsText(), a[1].AsText()) <
             std::make_pair(b[2].AsText(), b[1].AsText());
    });
    return quor::test::Reply{{rows}};
  }

  std::vector<int> QueuedIds() {
    std::lock_guard lock(mutex_);
    std::vector<int> ids;
    for (auto& entry : queue_) ids.push_back(entry.indexId);
    return ids;
  }

  std::size_t MasterStatementsNaming(const std::string& part) {
    std::size_t count = 0;
    for (auto& request : server_.Requests())
      if (request.text.find(part) != std::string::npos) ++count;
    return count;
  }

  quor::testing::TempFolder folder_;
  quor::test::SqlServerStandIn server_;
  quor::test::CloudStandIn cloud_;
  std::mutex mutex_;  // guards the four members below
  std::vector<CatalogueRow> catalogue_;
  std::vector<QueueEntry> queue_;
  std::vector<int> deleted_;
  std::vector<std::string> log_;
};

TEST_F(SynchroServerTest, TheListTakesEveryCatalogueButCwAndTheIntervalFallsBackToTenMinutes) {
  struct Case {
    const char* interval;
    long long milliseconds;
  };
  const Case cases[] = {{"abc", 600000}, {"1", 60000}, {"", 600000}, {"30", 1800000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interval);
    WriteSettings(std::string(kServerSynchronises) + "AppSynchroInterval=" + c.interval + "\r\n");
    TDataSynchroServer synchro(Options());
    EXPECT_EQ(synchro.TimerInterval().count(), c.milliseconds);
    EXPECT_TRUE(synchro.TimerEnabled());
    const auto& lines = synchro.AccountSetUnionQuery();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "SELECT 'FZ' As Vocation,[ID],[DBName],[DBCaption],[SetHide],[ShortcutKey],"
              "[VirtualDir],[CompanyCDB],[CompanyCID],[CompanyKey],[AutoSynchro] FROM "
              "ValtoDataBaseFZ WHERE CompanyCID > 0 And AutoSynchro = 1 ");
    EXPECT_EQ(lines[1], "UNION ALL");
    EXPECT_NE(lines[2].find("SELECT 'BZ' As Vocation"), std::string::npos);
  }
}

TEST_F(SynchroServerTest, WhenClientsSynchroniseThereIsNoListAndPassesReturnAtOnce) {
  WriteSettings("UseClientAutoSynchro=True\r\nStartAutoSynchro=True\r\n");
  catalogue_ = {{"FZ", "QuorData01", 31, 1, "key"}};
  queue_ = {{1, "QuorData01", "FZ", "BASIC", 0, 0, "AAAAAFT", "00001"}};
  TDataSynchroServer synchro(Options());
  EXPECT_TRUE(synchro.AccountSetUnionQuery().empty());
  EXPECT_FALSE(synchro.TimerEnabled());
  EXPECT_FALSE(synchro.DownloadAllAccountSets());
  synchro.PumpUploadQueue();
  EXPECT_FALSE(synchro.SynchroTimerTimer());
  EXPECT_EQ(synchro.RunAllOnce(),
            (std::vector<std::string>{kNoAccountSetListText, kManualRunDoneText}));
  EXPECT_EQ(MasterStatementsNaming("sysobjects"), 0u);
  EXPECT_EQ(MasterStatementsNaming("UploadAppServer"), 0u);
  EXPECT_TRUE(cloud_.Requests().empty());
  EXPECT_EQ(QueuedIds(), std::vector<int>{1});

  quor::ui::ScriptedMessageBoxes boxes;
  TDataSynchroServer::ShowManualRunMessages(boxes, synchro.RunAllOnce());
  ASSERT_EQ(boxes.Shown().size(), 2u);
  EXPECT_EQ(boxes.Shown()[0].text, kNoAccountSetListText);
  EXPECT_EQ(boxes.Shown()[1].caption, "提示");
}

TEST_F(SynchroServerTest, ThePumpDeletesExactlyTheRowsItSentAndKeepsEveryFailure) {
  WriteSettings(kServerSynchronises);
  catalogue_ = {{"FZ", "QuorData01", 31, 1, "key"},
                {"FZ", "QuorData02", 32, 1, "bad"},   // the session fails
                {"FZ", "Missing", 33, 1, "key"},      // the database cannot be opened
                {"BZ", "QuorData01", 0, 1, "key"},    // takes no part: no cloud identifier
                {"BZ", "QuorData02", 34, 0, "key"}};  // takes no part: switched off
  queue_ = {{1, "QuorData01", "FZ", "BASIC", 0, 0, "AAAAAFT", "00001"},
            {2, "QuorData01", "FZ", "BASIC", 0, 0, "XYZ", "00001"},      // no upload for the table
            {3, "QuorData01", "FZ", "BASIC", 0, 0, "AAAAAFT", "00001"},  // the same record again
            {4, "QuorData01", "FZ", "BILL", 7, 117, "", ""},             // a type that is not sent
            {5, "QuorData01", "FZ", "BILL", 8, 115, "", ""},             // its completion fails
            {6, "QuorData01", "FZ", "OTHER", 0, 0, "", ""},              // left alone
            {7, "QuorData02", "FZ", "BASIC", 0, 0, "AAAAADG", "00002"},
            {8, "Missing", "FZ", "BASIC", 0, 0, "AAAAADG", "00002"},
            {9, "QuorData01", "BZ", "BASIC", 0, 0, "AAAAADG", "00002"},
            {10, "QuorData02", "BZ", "BASIC", 0, 0, "AAAAADG", "00002"}};
  cloud_.OnPath("/business/KEY270", CloudAnswer::Status(500));
  // A row for the same record that arrives while the pass runs must wait for the next pass.
  std::atomic<bool> added{false};
  cloud_.OnPath("/business/KEY264", [&](const CloudRequest&) {
    if (!added.exchange(true)) {
      std::lock_guard lock(mutex_);
      queue_.push_back({11, "QuorData01", "FZ", "BASIC", 0, 0, "AAAAAFT", "00001"});
    }
    return CloudAnswer::Json("{}");
  });
  TDataSynchroServer synchro(Options());
  synchro.PumpUploadQueue();

  EXPECT_EQ(QueuedIds(), (std::vector<int>{2, 5, 6, 7, 8, 9, 10, 11}));
  {
    std::lock_guard lock(mutex_);
    std::sort(deleted_.begin(), deleted_.end());
    EXPECT_EQ(deleted_, (std::vector<int>{1, 3, 4}));
  }
  // The record queued twice went up once; the refused session and the missing database sent
  // nothing.
  EXPECT_EQ(cloud_.RequestsTo("/business/KEY264").size(), 1u);
  for (auto& request : cloud_.RequestsTo("/business/KEY260"))
    EXPECT_EQ(request.FormValue("CID"), "31");
  // Every DELETE names its row by a parameter.
  for (auto& request : server_.Requests()) {
    if (request.text.find("DELETE FROM UploadAppServer") != std::string::npos) {
      EXPECT_EQ(request.text.find("'"), std::string::npos) << request.text;
    }
  }
  std::lock_guard lock(mutex_);
  auto logged = [&](const std::string& part) {
    return std::any_of(log_.begin(), log_.end(), [&](const std::string& line) {
      return line.find(part) != std::string::npos;
    });
  };
  EXPECT_TRUE(logged("queue row 2 (QuorData01, BASIC XYZ/00001) stays queued"));
  EXPECT_TRUE(logged("upload of QuorData02 skipped"));
  EXPECT_TRUE(logged("upload of Missing skipped"));
}

TEST_F(SynchroServerTest, ASlowCloudEndsThePassWithoutLosingRows) {
  WriteSettings(kServerSynchronises);
  catalogue_ = {{"FZ", "QuorData01", 31, 1, "key"}};
  queue_ = {{1, "QuorData01", "FZ", "BASIC", 0, 0, "AAAAAFT", "00001"},
            {2, "QuorData01", "FZ", "BILL", 8, 112, "", ""}};
  cloud_.OnPath("/business/KEY264", CloudAnswer::Slow(std::chrono::seconds(4), "{}"));
  cloud_.OnPath("/business/KEY260", CloudAnswer::Slow(std::chrono::seconds(4), "{}"));
  TDataSynchroServer synchro(Options(1));
  auto started = std::chrono::steady_clock::now();
  synchro.PumpUploadQueue();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
  EXPECT_EQ(QueuedIds(), (std::vector<int>{1, 2}));
}

TEST_F(SynchroServerTest, ATickNeverOverlapsAManualRun) {
  WriteSettings(kServerSynchronises);
  catalogue_ = {{"FZ", "QuorData01", 31, 1, "key"}};
  queue_ = {{1, "QuorData01", "FZ", "BASIC", 0, 0, "AAAAAFT", "00001"}};
  std::mutex gateMutex;
  std::condition_variable gateChanged;
  bool open = false;
  cloud_.OnPath("/business/KEY268", [&](const CloudRequest&) {
    std::unique_lock lock(gateMutex);
    gateChanged.wait_for(lock, std::chrono::seconds(10), [&] { return open; });
    return CloudAnswer::Json(R"({"id":"31","SelfID":"00001"})");
  });
  TDataSynchroServer synchro(Options());
  ASSERT_TRUE(synchro.TimerEnabled());
  std::promise<std::vector<std::string>> texts;
  ASSERT_TRUE(synchro.StartManualRun(
      [&](std::vector<std::string> shown) { texts.set_value(std::move(shown)); }));
  ASSERT_TRUE(
      cloud_.WaitForRequests(1, std::chrono::seconds(10)));  // the manual run is in its pass
  EXPECT_FALSE(synchro.TimerEnabled());
  EXPECT_TRUE(synchro.PassRunning());
  EXPECT_FALSE(synchro.SynchroTimerTimer());  // skipped, nothing sent
  EXPECT_FALSE(synchro.StartManualRun(nullptr));
  EXPECT_EQ(cloud_.Requests().size(), 1u);
  {
    std::lock_guard lock(gateMutex);
    open = true;
  }
  gateChanged.notify_all();
  auto future = texts.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(future.get(), std::vector<std::string>{kManualRunDoneText});
  EXPECT_TRUE(synchro.TimerEnabled());
  EXPECT_EQ(QueuedIds(), std::vector<int>{});
  EXPECT_TRUE(synchro.SynchroTimerTimer());  // with the pass over, a tick runs
}

TEST_F(SynchroServerTest, TheConsoleSwitchesStoreTheirSettingAndFollowTheTimerRule) {
  WriteSettings(kServerSynchronises);
  TDataSynchroServer synchro(Options());
  EXPECT_TRUE(synchro.TimerEnabled());
  synchro.SetClientSynchronises(true);
  EXPECT_FALSE(synchro.TimerEnabled());
  EXPECT_TRUE(UseClientAutoSynchro());
  ResetConfigCacheForTests();
  EXPECT_EQ(ReadConfig("UseClientAutoSynchro", ""), "True");
  synchro.SetClientSynchronises(false);
  EXPECT_TRUE(synchro.TimerEnabled());
  synchro.SetServerSynchronises(false);  // the dialog's save leaves the timer alone
  EXPECT_TRUE(synchro.TimerEnabled());
  EXPECT_FALSE(synchro.SynchroTimerTimer());
  synchro.SetPostAtOnce(false);
  EXPECT_FALSE(synchro.PostAtOnce());
  synchro.SetClientSynchronises(false);  // the rule now says off
  EXPECT_FALSE(synchro.TimerEnabled());
}

TEST_F(SynchroServerTest, OneAccountSetFailingDoesNotStopTheDownloadOfTheOthers) {
  WriteSettings(kServerSynchronises);
  catalogue_ = {{"FZ", "Missing", 33, 1, "key"},     // the database cannot be opened
                {"FZ", "QuorData02", 32, 1, "bad"},  // the session fails
                {"FZ", "QuorData01", 31, 1, "key"}};
  TDataSynchroServer synchro(Options());
  EXPECT_TRUE(synchro.DownloadAllAccountSets());
  auto requests = cloud_.Requests();
  EXPECT_EQ(cloud_.RequestsTo("/business/KEY268").size(), 2u);  // none for the missing database
  std::size_t downloadCalls = 0;
  for (const CloudRequest& request : requests) {
    if (request.path == "/business/KEY268") continue;
    ++downloadCalls;
    EXPECT_EQ(request.FormValue("CID"), "31") << request.path;
  }
  EXPECT_GT(downloadCalls, 0u);
}

TEST_F(SynchroServerTest, WithoutACloudHostNoRequestIsMadeAndTheLogSaysSoOnce) {
  WriteSettings(kServerSynchronises);
  catalogue_ = {{"FZ", "QuorData01", 31, 1, "key"}};
  queue_ = {{1, "QuorData01", "FZ", "BASIC", 0, 0, "AAAAAFT", "00001"}};
  SynchroOptions options = Options();
  options.endpoint.host.clear();
  TDataSynchroServer synchro(options);
  EXPECT_TRUE(synchro.SynchroTimerTimer());
  EXPECT_EQ(synchro.RunAllOnce(), std::vector<std::string>{kManualRunDoneText});
  EXPECT_TRUE(cloud_.Requests().empty());
  EXPECT_EQ(QueuedIds(), std::vector<int>{1});
  std::lock_guard lock(mutex_);
  EXPECT_EQ(std::count_if(log_.begin(), log_.end(),
                          [](const std::string& line) {
                            return line.find("CloudHost is empty") != std::string::npos;
                          }),
            1);
}

TEST_F(SynchroServerTest, TheCloudEndpointComesFromItsSettings) {
  struct Case {
    const char* lines;
    const char* host;
    int port;
    int timeout;
  };
  const Case cases[] = {
      {"", "", 8080, 30},
      {"CloudHost= cloud.example \r\nCloudPort=9090\r\nCloudTimeoutSeconds=5\r\n", "cloud.example",
       9090, 5},
      {"CloudHost=10.0.0.7\r\nCloudPort=abc\r\nCloudTimeoutSeconds=0\r\n", "10.0.0.7", 8080, 30},
      {"CloudPort=70000\r\nCloudTimeoutSeconds=-3\r\n", "", 8080, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    WriteSettings(c.lines);
    CloudEndpoint endpoint = ReadCloudEndpoint();
    EXPECT_EQ(endpoint.host, c.host);
    EXPECT_EQ(endpoint.port, c.port);
    EXPECT_EQ(endpoint.timeoutSeconds, c.timeout);
  }
}

}  // namespace
}  // namespace quor::sync
