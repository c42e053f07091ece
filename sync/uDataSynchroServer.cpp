#include "sync/uDataSynchroServer.h"

#include <array>
#include <map>
#include <set>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConnectionRecipe.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/SqlNames.h"
#include "platform/sql/Connection.h"
#include "platform/sql/Statement.h"
#include "platform/ui/MessageBoxes.h"
#include "sync/DownloadMapping.h"
#include "sync/PendingLinks.h"
#include "sync/SyncLog.h"
#include "sync/UploadMapping.h"

namespace quor::sync {

namespace {

constexpr const char* kCatalogueTablePrefix = "ValtoDataBase";

bool AllDigitsCid(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// One row of the change queue as the pass read it.
struct QueueRow {
  std::int64_t indexId = 0;
  std::string database;
  std::string vocation;
  std::string companyCdb;
  std::string companyKey;
  std::string dataMode;
  std::int32_t billId = 0;
  std::int32_t billType = 0;
  std::string basicDb;
  std::string selfId;

  // Rows naming the same record or bill share this.
  std::string RecordKey() const {
    std::string key = database + '\x1f' + vocation + '\x1f' + dataMode + '\x1f';
    if (dataMode == "BILL") return key + std::to_string(billId) + '\x1f' + std::to_string(billType);
    return key + basicDb + '\x1f' + selfId;
  }
  std::string Describe() const {
    std::string what = "queue row " + std::to_string(indexId) + " (" + database + ", " + dataMode;
    if (dataMode == "BILL")
      what += " " + std::to_string(billType) + "/" + std::to_string(billId);
    else
      what += " " + basicDb + "/" + selfId;
    return what + ")";
  }
};

std::vector<QueueRow> ReadQueueRows(sql::RecordSet& records) {
  std::vector<QueueRow> rows;
  for (records.First(); !records.Eof(); records.Next()) {
    QueueRow row;
    row.indexId = records.FieldByName("IndexID").AsInteger();
    row.database = records.FieldByName("DataBase").AsText();
    row.vocation = records.FieldByName("Vocation").AsText();
    row.companyCdb = records.FieldByName("CompanyCDB").AsText();
    row.companyKey = records.FieldByName("CompanyKey").AsText();
    row.dataMode = records.FieldByName("DataMode").AsText();
    row.billId = static_cast<std::int32_t>(records.FieldByName("BillID").AsInteger());
    row.billType = static_cast<std::int32_t>(records.FieldByName("BillType").AsInteger());
    row.basicDb = records.FieldByName("BasicDB").AsText();
    row.selfId = records.FieldByName("SelfID").AsText();
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

SynchroOptions ServerSynchroOptions() {
  SynchroOptions options;
  options.endpoint = ReadCloudEndpoint();
  options.pendingLinksFile =
      std::filesystem::path(ProgramFolder()) / "Data" / "CloudPendingLinks.json";
  return options;
}

TDataSynchroServer::TDataSynchroServer(SynchroOptions options)
    : options_(std::move(options)),
      master_(std::make_unique<sql::Connection>()),
      accountSet_(std::make_unique<sql::Connection>()),
      client_(std::make_unique<CloudClient>(options_.endpoint)),
      links_(options_.pendingLinksFile.empty()
                 ? std::make_unique<PendingLinks>()
                 : std::make_unique<PendingLinks>(options_.pendingLinksFile)) {
  DataModuleCreate();
  ticker_ = std::thread([this] { TickerLoop(); });
}

TDataSynchroServer::~TDataSynchroServer() {
  std::thread manual;
  {
    std::lock_guard lock(timerMutex_);
    stopping_ = true;
    manual = std::move(manualRun_);
  }
  timerChanged_.notify_all();
  ticker_.join();
  if (manual.joinable()) manual.join();
}

sql::ConnectionSettings TDataSynchroServer::ConnectionFor(const std::string& catalog) const {
  if (options_.connectionFor) return options_.connectionFor(catalog);
  return ConnectionRecipe(ConfiguredLogin("(LOCAL)", false), catalog);
}

void TDataSynchroServer::DataModuleCreate() {
  const bool clientSynchronises =
      IsTrue(ReadConfig(configkey::kUseClientAutoSynchro, ConfigBool(true)));
  if (!clientSynchronises && ConnectMasterDatabase("Master")) {
    try {
      sql::Statement query(*master_, "AdoDataSet");
      query.SetParamCheck(false);
      query.SetText(std::string("SELECT [name] FROM dbo.sysobjects WHERE [xtype] = 'u' AND "
                                "[name] LIKE '") +
                    kCatalogueTablePrefix + "%'");
      sql::RecordSet& tables = query.Open();
      for (tables.First(); !tables.Eof(); tables.Next()) {
        std::string name = tables.FieldValue(0).AsText();
        if (name.size() < 2 || name.substr(name.size() - 2) == "CW") continue;
        // The name and its trade code go into SQL text: only plain names do.
        if (!IsPlainSqlName(name)) {
          SyncLog("catalogue table \"" + name + "\" skipped: not a plain table name");
          continue;
        }
        std::string code = name.substr(name.size() - 2);
        if (!unionQuery_.empty()) unionQuery_.push_back("UNION ALL");
        unionQuery_.push_back("SELECT '" + code +
                              "' As Vocation,[ID],[DBName],[DBCaption],[SetHide],[ShortcutKey],"
                              "[VirtualDir],[CompanyCDB],[CompanyCID],[CompanyKey],[AutoSynchro] "
                              "FROM " +
                              name + " WHERE CompanyCID > 0 And AutoSynchro = 1 ");
      }
    } catch (const std::exception& error) {
      SyncLog(std::string("the account set list could not be read: ") + error.what());
      unionQuery_.clear();
    }
    master_->Close();
  }
  int minutes =
      ReadConfigInt(configkey::kAppSynchroInterval, "10", configkey::kAppSynchroIntervalFallback);
  if (minutes <= 0) minutes = configkey::kAppSynchroIntervalFallback;
  interval_ = std::chrono::milliseconds(std::int64_t{minutes} * 60000);
  {
    std::lock_guard lock(flagsMutex_);
    serverSynchronises_ = IsTrue(ReadConfig(configkey::kStartAutoSynchro, ConfigBool(false)));
    postAtOnce_ = IsTrue(ReadConfig(configkey::kAutoBillTransfer, ConfigBool(true)));
    skipClientPriceTracker_ =
        IsTrue(ReadConfig(configkey::kSkipClientPriceTracker, ConfigBool(false)));
  }
  SetUseClientAutoSynchro(clientSynchronises);
  SetTimerEnabled(TimerRule());
}

bool TDataSynchroServer::ClientSynchronises() const {
  return UseClientAutoSynchro();
}

bool TDataSynchroServer::ServerSynchronises() const {
  std::lock_guard lock(flagsMutex_);
  return serverSynchronises_;
}

bool TDataSynchroServer::PostAtOnce() const {
  std::lock_guard lock(flagsMutex_);
  return postAtOnce_;
}

bool TDataSynchroServer::TimerRule() const {
  return !ClientSynchronises() && ServerSynchronises();
}

bool TDataSynchroServer::TimerEnabled() const {
  std::lock_guard lock(timerMutex_);
  return timerEnabled_;
}

void TDataSynchroServer::SetTimerEnabled(bool on) {
  {
    std::lock_guard lock(timerMutex_);
    timerEnabled_ = on;
    ++timerGeneration_;  // enabling starts the interval afresh
  }
  timerChanged_.notify_all();
}

void TDataSynchroServer::SetClientSynchronises(bool on) {
  SetUseClientAutoSynchro(on);
  try {
    WriteConfig(configkey::kUseClientAutoSynchro, ConfigBool(on));
  } catch (const std::exception& error) {
    SyncLog(std::string("UseClientAutoSynchro could not be stored: ") + error.what());
  }
  SetTimerEnabled(TimerRule());
}

void TDataSynchroServer::ApplyTimerRule() {
  SetTimerEnabled(TimerRule());
}

void TDataSynchroServer::SetServerSynchronises(bool on) {
  std::lock_guard lock(flagsMutex_);
  serverSynchronises_ = on;
}

void TDataSynchroServer::SetPostAtOnce(bool on) {
  std::lock_guard lock(flagsMutex_);
  postAtOnce_ = on;
}

void TDataSynchroServer::TickerLoop() {
  std::unique_lock lock(timerMutex_);
  while (!stopping_) {
    if (!timerEnabled_) {
      timerChanged_.wait(lock, [&] { return stopping_ || timerEnabled_; });
      continue;
    }
    const std::uint64_t generation = timerGeneration_;
    if (timerChanged_.wait_for(lock, interval_,
                               [&] { return stopping_ || timerGeneration_ != generation; }))
      continue;
    lock.unlock();
    SynchroTimerTimer();
    lock.lock();
  }
}

bool TDataSynchroServer::PassRunning() const {
  if (!passMutex_.try_lock()) return true;
  passMutex_.unlock();
  return false;
}

CloudClient::ExchangeTimes TDataSynchroServer::CloudExchangeTimes() const {
  std::lock_guard pass(passMutex_);
  return client_->Times();
}

bool TDataSynchroServer::SynchroTimerTimer() {
  if (!TimerRule()) return false;
  std::unique_lock pass(passMutex_, std::try_to_lock);
  if (!pass.owns_lock()) {
    SyncLog("timer tick skipped: a pass is still running");
    return false;
  }
  DownloadAllAccountSetsLocked();
  PumpUploadQueueLocked();
  return true;
}

bool TDataSynchroServer::DownloadAllAccountSets() {
  std::lock_guard pass(passMutex_);
  return DownloadAllAccountSetsLocked();
}

void TDataSynchroServer::PumpUploadQueue() {
  std::lock_guard pass(passMutex_);
  PumpUploadQueueLocked();
}

std::vector<std::string> TDataSynchroServer::RunAllOnce() {
  SetTimerEnabled(false);
  std::vector<std::string> texts;
  {
    std::lock_guard pass(passMutex_);
    texts = RunAllOnceLocked();
  }
  SetTimerEnabled(TimerRule());
  texts.push_back(kManualRunDoneText);
  return texts;
}

std::vector<std::string> TDataSynchroServer::RunAllOnceLocked() {
  std::vector<std::string> texts;
  if (!DownloadAllAccountSetsLocked()) texts.push_back(kNoAccountSetListText);
  PumpUploadQueueLocked();
  return texts;
}

bool TDataSynchroServer::StartManualRun(std::function<void(std::vector<std::string>)> done) {
  std::lock_guard lock(timerMutex_);
  if (manualRunGoing_ || stopping_) return false;
  if (manualRun_.joinable()) manualRun_.join();  // finished: manualRunGoing_ is false
  manualRunGoing_ = true;
  manualRun_ = std::thread([this, done = std::move(done)] {
    std::vector<std::string> texts = RunAllOnce();
    {
      std::lock_guard lock(timerMutex_);
      manualRunGoing_ = false;
    }
    if (done) done(std::move(texts));
  });
  return true;
}

void TDataSynchroServer::ShowManualRunMessages(ui::MessageBoxes& boxes,
                                               const std::vector<std::string>& texts) {
  for (const std::string& text : texts) boxes.Show(text, "提示", ui::MessageIcon::Information);
}

bool TDataSynchroServer::ConnectMasterDatabase(const std::string& catalog) {
  master_->Close();
  master_->Settings() = ConnectionFor(catalog);
  try {
    master_->Open();
  } catch (const std::exception& error) {
    SyncLog("the master database could not be opened: " + std::string(error.what()));
  }
  return master_->Connected();
}

bool TDataSynchroServer::ConnectAccountSetDatabase(const std::string& database) {
  accountSet_->Close();
  accountSet_->Settings() = ConnectionFor(database);
  try {
    accountSet_->Open();
  } catch (const std::exception& error) {
    SyncLog("account set " + database + " could not be opened: " + error.what());
  }
  return accountSet_->Connected();
}

std::string TDataSynchroServer::UnionQueryText() const {
  std::string text;
  for (const std::string& line : unionQuery_) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

bool TDataSynchroServer::CloudHostMissing() {
  if (!options_.endpoint.host.empty()) return false;
  if (!hostMissingLogged_)
    SyncLog("the setting CloudHost is empty: no request goes to the cloud service");
  hostMissingLogged_ = true;
  return true;
}

bool TDataSynchroServer::DownloadAllAccountSetsLocked() {
  if (unionQuery_.empty()) return false;
  if (CloudHostMissing()) return true;
  if (!ConnectMasterDatabase("Master")) return true;
  std::vector<std::array<std::string, 4>> accountSets;  // vocation, database, code, key
  try {
    sql::Statement query(*master_, "AdoDataSet");
    query.SetParamCheck(false);
    query.SetText(UnionQueryText());
    sql::RecordSet& rows = query.Open();
    for (rows.First(); !rows.Eof(); rows.Next())
      accountSets.push_back(
          {rows.FieldByName("Vocation").AsText(), rows.FieldByName("DbName").AsText(),
           rows.FieldByName("CompanyCDB").AsText(), rows.FieldByName("CompanyKey").AsText()});
  } catch (const std::exception& error) {
    SyncLog(std::string("download pass: the account set list failed: ") + error.what());
  }
  master_->Close();
  for (const auto& [vocation, database, companyCode, companyKey] : accountSets) {
    if (!ConnectAccountSetDatabase(database)) continue;
    client_->Session().vocation = vocation;
    std::string error;
    if (!client_->OpenCloudSession(companyCode, companyKey, error)) {
      SyncLog("download of " + database + " skipped: " + error);
      continue;
    }
    DownloadContext context;
    context.vocation = vocation;
    context.postAtOnce = PostAtOnce();
    context.pendingLinks = links_.get();
    try {
      DownloadCloudChanges(*client_, *accountSet_, context);
    } catch (const std::exception& failure) {
      SyncLog("download of " + database + " ended: " + failure.what());
    }
  }
  accountSet_->Close();
  return true;
}

void TDataSynchroServer::PumpUploadQueueLocked() {
  if (unionQuery_.empty() || CloudHostMissing()) return;
  if (!ConnectMasterDatabase("Master")) return;
  std::vector<QueueRow> rows;
  try {
    sql::Statement query(*master_, "AdoDataSet");
    query.SetParamCheck(false);
    query.SetText("SELECT * FROM UploadAppServer A INNER JOIN (" + UnionQueryText() + ") B " +
                  "ON A.Vocation=B.Vocation And A.[DataBase]=B.DBName ORDER BY A.Vocation, "
                  "A.[DataBase]");
    rows = ReadQueueRows(query.Open());
  } catch (const std::exception& error) {
    SyncLog(std::string("upload pass: the change queue could not be read: ") + error.what());
    master_->Close();
    return;
  }
  // Rows naming the same record: one upload serves them all, and its success
  // removes every one of them that was read, never one that came later.
  std::map<std::string, std::vector<std::int64_t>> rowsOfRecord;
  for (const QueueRow& row : rows) rowsOfRecord[row.RecordKey()].push_back(row.indexId);
  std::set<std::string> handled;

  auto deleteRows = [&](const QueueRow& row) {
    for (std::int64_t indexId : rowsOfRecord[row.RecordKey()]) {
      try {
        sql::Statement remove(*master_, "AdoDataSetII");
        remove.SetText("DELETE FROM UploadAppServer WHERE IndexID = :IndexID");
        remove.Params().ByName("IndexID").SetValue(sql::Value::Integer(indexId));
        remove.Execute();
      } catch (const std::exception& error) {
        SyncLog(row.Describe() + ": sent, but the queue row " + std::to_string(indexId) +
                " could not be deleted: " + error.what());
      }
    }
  };

  const auto started = std::chrono::steady_clock::now();
  const auto cloudBefore = client_->Times().wall;
  std::size_t sent = 0;
  std::string currentDatabase;
  std::string currentVocation;
  bool usable = false;
  bool first = true;
  for (const QueueRow& row : rows) {
    if (row.dataMode != "BASIC" && row.dataMode != "BILL") continue;  // left alone
    if (first || row.database != currentDatabase || row.vocation != currentVocation) {
      first = false;
      currentDatabase = row.database;
      currentVocation = row.vocation;
      usable = false;
      if (!ConnectAccountSetDatabase(row.database)) {
        SyncLog("upload of " + row.database + " skipped: the database could not be opened");
      } else {
        std::string error;
        client_->Session().vocation = row.vocation;
        if (!client_->OpenCloudSession(row.companyCdb, row.companyKey, error))
          SyncLog("upload of " + row.database + " skipped: " + error);
        else if (!AllDigitsCid(client_->Session().cid))
          SyncLog("upload of " + row.database + " skipped: the company cloud identifier \"" +
                  client_->Session().cid + "\" is no number");
        else
          usable = true;
      }
    }
    if (!usable) continue;  // its rows stay queued for the next pass
    if (!handled.insert(row.RecordKey()).second) continue;

    std::string error;
    if (row.dataMode == "BASIC") {
      error = UploadBasicRecord(*client_, *accountSet_, row.basicDb, row.selfId);
      if (error.empty()) error = client_->NotifyBasicUploaded().errorText;
    } else {
      BillUpload upload =
          UploadBill(*client_, *accountSet_, row.vocation, row.billType, row.billId);
      if (!upload.known) {
        SyncLog(row.Describe() + ": no upload for this bill type; the row is removed");
        deleteRows(row);
        continue;
      }
      error = upload.errorText;
      if (error.empty() && !upload.completionTable.empty())
        error = client_->NotifyBillUploaded(upload.completionTable, row.billId).errorText;
    }
    if (!error.empty()) {
      SyncLog(row.Describe() + " stays queued: " + error);
      continue;
    }
    deleteRows(row);
    ++sent;
  }
  accountSet_->Close();
  master_->Close();
  if (!rows.empty()) {
    auto seconds = [](std::chrono::nanoseconds span) {
      return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(span).count() /
                            1000.0);
    };
    SyncLog("upload pass: " + std::to_string(rows.size()) + " queue rows read, " +
            std::to_string(sent) + " records and bills sent, in " +
            seconds(std::chrono::steady_clock::now() - started) + " s (" +
            seconds(client_->Times().wall - cloudBefore) + " s in cloud requests)");
  }
}

}  // namespace quor::sync
