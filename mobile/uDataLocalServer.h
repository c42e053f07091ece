// TDataLocalServer, the phone back end: when "StartMobileAPP" is "True" it
// listens on "MobilePort" (212 when that is no number) on every local address
// and serves each phone on a thread of its own with the tag protocol, on one
// shared account-set connection ADOConnMob and the exchange folders below
// UpDown/ of the program folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "mobile/DownloadBuilder.h"
#include "mobile/MobileDatabase.h"
#include "mobile/MobileSettings.h"
#include "mobile/PhoneConnection.h"
#include "mobile/PhoneListener.h"

namespace quor::mobile {

class TDataLocalServer {
 public:
  // Reads the settings, opens ADOConnMob when an account set is chosen and the
  // service is on, and starts listening. A port that cannot be opened is shown
  // as the message "因为212端口被占用，手机后台服务启动失败，继续启动其它服务。"
  // and the rest of the server goes on without the phones.
  TDataLocalServer();  // below the server's program folder
  explicit TDataLocalServer(std::filesystem::path programFolder);
  // Stops listening, ends every phone connection and waits for its thread,
  // then writes "FirstTimeUse" "True".
  ~TDataLocalServer();
  TDataLocalServer(const TDataLocalServer&) = delete;
  TDataLocalServer& operator=(const TDataLocalServer&) = delete;

  bool Active() const { return listener_ != nullptr; }
  std::uint16_t Port() const { return context_.settings.port; }

  // Points ADOConnMob at another account set (the console's choice); the
  // listener keeps running. Waits for a phone's database work in progress.
  void SetMobileDatabase(const std::string& database);
  std::string MobileDatabaseName() const { return database_.Name(); }
  bool MobileDatabaseConnected() const { return database_.Connected(); }

  // Builds a download file at `target` as a phone's "<DownBills>" would, on
  // ADOConnMob under its lock (the console's test of the builder). Throws as
  // the builder does, and when no account set is chosen.
  void BuildDownload(const DownloadRequest& request, const std::filesystem::path& target);

 private:
  struct PhoneThread {
    ScopedFd socket;  // closed by the thread when it ends, under phonesMutex_
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  void AcceptPhones();
  void JoinFinishedPhones();

  MobileDatabase database_;
  PhoneServerContext context_;
  std::unique_ptr<PhoneListener> listener_;
  std::mutex phonesMutex_;  // guards phones_ and each phone's socket
  std::list<std::unique_ptr<PhoneThread>> phones_;
  std::thread acceptThread_;
};

}  // namespace quor::mobile
