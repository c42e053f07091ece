#include "mobile/uDataLocalServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <iostream>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/OnlineSessionTable.h"
#include "ServerPublic/ServerGlobals.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::mobile {

TDataLocalServer::TDataLocalServer() : TDataLocalServer(std::filesystem::path(ProgramFolder())) {}

TDataLocalServer::TDataLocalServer(std::filesystem::path programFolder) {
  context_.programFolder = std::move(programFolder);
  context_.settings = ReadMobileSettings(context_.programFolder);
  context_.database = &database_;
  context_.sessions = &OnlineSessions();
  if (!context_.settings.start) return;

  database_.Point(context_.settings.dataBase);
  try {
    listener_ = std::make_unique<PhoneListener>(context_.settings.port);
  } catch (const std::exception& error) {
    std::cerr << "mobile: the phone service does not listen: " << error.what() << '\n';
    ui::ActiveMessageBoxes()->Show("因为212端口被占用，手机后台服务启动失败，继续启动其它服务。",
                                   "提示", ui::MessageIcon::Warning);
    return;
  }
  std::cerr << "mobile: listening for phones on port " << context_.settings.port << '\n';
  acceptThread_ = std::thread([this] { AcceptPhones(); });
}

TDataLocalServer::~TDataLocalServer() {
  if (listener_) {
    listener_->Stop();
    acceptThread_.join();
    {
      std::lock_guard guard(phonesMutex_);
      // Ends every read and write in progress; each thread then leaves its command.
      for (const auto& phone : phones_) {
        if (phone->socket.Valid()) ::shutdown(phone->socket.Get(), SHUT_RDWR);
      }
    }
    for (const auto& phone : phones_) phone->thread.join();
    phones_.clear();
    listener_.reset();
  }
  try {
    WriteConfig(configkey::kFirstTimeUse, ConfigBool(true));
  } catch (const std::exception& error) {
    std::cerr << "mobile: " << configkey::kFirstTimeUse << " not written: " << error.what() << '\n';
  }
}

void TDataLocalServer::SetMobileDatabase(const std::string& database) {
  database_.Point(database);
}

void TDataLocalServer::BuildDownload(const DownloadRequest& request,
                                     const std::filesystem::path& target) {
  database_.Run([&](sql::Connection& connection) {
    BuildDownloadFile(connection, request, DownloadTemplatePath(context_.programFolder), target);
  });
}

void TDataLocalServer::AcceptPhones() {
  while (std::optional<AcceptedPhone> accepted = listener_->Accept()) {
    JoinFinishedPhones();
    auto phone = std::make_unique<PhoneThread>();
    phone->socket = std::move(accepted->socket);
    PhoneThread* const raw = phone.get();
    std::lock_guard guard(phonesMutex_);
    try {
      phone->thread = std::thread([this, raw, address = std::move(accepted->clientAddress)] {
        // The thread's own id numbers the connection, as phones and the
        // online table have always seen it.
        const PhonePeer peer{address, static_cast<std::uint64_t>(::gettid())};
        ServePhoneConnection(raw->socket.Get(), peer, context_);
        // Closed here, at once, since the phone reads a download to the end of
        // the connection; under the lock, so shutdown never meets a reused number.
        std::lock_guard closing(phonesMutex_);
        raw->socket.Reset();
        raw->finished = true;
      });
    } catch (const std::system_error& error) {
      std::cerr << "mobile: no thread for a phone: " << error.what() << '\n';
      continue;  // the socket closes with `phone`
    }
    phones_.push_back(std::move(phone));
  }
}

void TDataLocalServer::JoinFinishedPhones() {
  std::list<std::unique_ptr<PhoneThread>> finished;
  {
    std::lock_guard guard(phonesMutex_);
    for (auto it = phones_.begin(); it != phones_.end();) {
      if ((*it)->finished) {
        finished.push_back(std::move(*it));
        it = phones_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const auto& phone : finished) phone->thread.join();
}

}  // namespace quor::mobile
