// The synchroniser: on a timer, for every account set that takes part, a
// download pass fetches what the mobile side created in the cloud, then an
// upload pass empties the change queue UploadAppServer by sending each queued
// record or bill. Passes run on a thread of their own, one at a time, so a
// slow cloud never holds up the console; a tick that finds a pass running is
// skipped. The console toggles and runs it through the plain methods below.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sql/ConnectionSettings.h"
#include "sync/CloudClient.h"

namespace quor::ui {
class MessageBoxes;
}

namespace quor::sql {
class Connection;
}

namespace quor::sync {

class PendingLinks;

// What the manual run shows: the first only when no account set list was
// built at start-up, the second always.
inline constexpr const char* kNoAccountSetListText = "取消勾选客户端同步手机才会启动时读取账套列表";
inline constexpr const char* kManualRunDoneText = "遍历全部账套同步下载一次完成";

struct SynchroOptions {
  CloudEndpoint endpoint;  // ReadCloudEndpoint() for the server
  // The connection recipe for a database of the instance; empty: the
  // configured login (SERVERNAME, USERNAME, PASSWORD).
  std::function<sql::ConnectionSettings(const std::string& catalog)> connectionFor;
  // Where download links awaiting confirmation survive a restart; empty:
  // kept in memory only.
  std::filesystem::path pendingLinksFile;
};

// The options the server runs with: the cloud settings, the configured login,
// and Data/CloudPendingLinks.json below the program folder.
SynchroOptions ServerSynchroOptions();

class TDataSynchroServer {
 public:
  // DataModuleCreate: reads the settings, builds AccountSetUnionQuery (only
  // when clients do not synchronise themselves) and sets the timer.
  explicit TDataSynchroServer(SynchroOptions options);
  // Stops the timer and waits for a pass that is running.
  ~TDataSynchroServer();
  TDataSynchroServer(const TDataSynchroServer&) = delete;
  TDataSynchroServer& operator=(const TDataSynchroServer&) = delete;

  // The SELECT lines of the account sets that take part, "UNION ALL" between
  // them; fixed at creation.
  const std::vector<std::string>& AccountSetUnionQuery() const { return unionQuery_; }
  bool TimerEnabled() const;
  std::chrono::milliseconds TimerInterval() const { return interval_; }

  bool ClientSynchronises() const;
  bool ServerSynchronises() const;
  bool PostAtOnce() const;

  // The console's " 客户端同步手机": sets the shared switch, stores
  // UseClientAutoSynchro and applies the timer rule.
  void SetClientSynchronises(bool on);
  // The phone dialog's save: both take effect at once; the timer is left alone.
  void SetServerSynchronises(bool on);
  void SetPostAtOnce(bool on);
  // Applies the timer rule after the console changed the shared client switch
  // itself (and stored it).
  void ApplyTimerRule();

  // One scheduled run: the download pass, then the upload pass, when clients
  // do not synchronise and the server does. Returns false without doing
  // anything when a pass is already running (or the rule says no).
  bool SynchroTimerTimer();

  // The passes, each on the calling thread; they wait for a running pass.
  // False when there is no account set list.
  bool DownloadAllAccountSets();
  void PumpUploadQueue();

  // "同步测试(全部账套同步一次)": the timer is stopped, both passes run (after
  // any pass already running), the timer rule is applied again; returns the
  // texts to show in order. Blocks the caller.
  std::vector<std::string> RunAllOnce();
  // The same on the pass thread: `done` is called there with the texts. False
  // (and `done` not called) while an earlier manual run is still going.
  bool StartManualRun(std::function<void(std::vector<std::string>)> done);
  // Shows the texts of a manual run, each with the caption "提示".
  static void ShowManualRunMessages(ui::MessageBoxes& boxes, const std::vector<std::string>& texts);

  bool PassRunning() const;
  // The cloud client's exchange times so far (waits for a running pass).
  CloudClient::ExchangeTimes CloudExchangeTimes() const;

 private:
  void DataModuleCreate();
  bool ConnectMasterDatabase(const std::string& catalog);
  bool ConnectAccountSetDatabase(const std::string& database);
  sql::ConnectionSettings ConnectionFor(const std::string& catalog) const;
  std::string UnionQueryText() const;
  bool TimerRule() const;
  void SetTimerEnabled(bool on);
  void TickerLoop();
  // Pass bodies; passMutex_ is held.
  bool DownloadAllAccountSetsLocked();
  void PumpUploadQueueLocked();
  std::vector<std::string> RunAllOnceLocked();
  // Without a cloud host the passes make no request and touch no database;
  // the log says so once.
  bool CloudHostMissing();

  SynchroOptions options_;
  std::vector<std::string> unionQuery_;
  std::chrono::milliseconds interval_{600000};

  mutable std::mutex flagsMutex_;  // guards the three flags
  bool serverSynchronises_ = false;
  bool postAtOnce_ = true;
  bool skipClientPriceTracker_ = false;

  // One pass at a time; guards master_, accountSet_, client_, links_.
  mutable std::timed_mutex passMutex_;
  std::unique_ptr<sql::Connection> master_;
  std::unique_ptr<sql::Connection> accountSet_;
  std::unique_ptr<CloudClient> client_;
  std::unique_ptr<PendingLinks> links_;
  bool hostMissingLogged_ = false;

  mutable std::mutex timerMutex_;  // guards the timer's state and the manual run's thread
  std::condition_variable timerChanged_;
  bool timerEnabled_ = false;
  std::uint64_t timerGeneration_ = 0;
  bool stopping_ = false;
  std::thread ticker_;
  std::thread manualRun_;
  bool manualRunGoing_ = false;
};

}  // namespace quor::sync
