// One phone connection served from its first command to its end: the tags
// "<ConnectOK>", "<DownBills>", "<UploadBills>", "<TransferBills>",
// "<DownFiles>", "<UploadFiles>", "<ListDirFiles>" and "<Disconnect>", strictly
// in the order the phone sends them. Anything else, and any failure the
// protocol has no answer for, ends this connection and no other.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "mobile/MobileSettings.h"

namespace quor {
class OnlineSessionTable;
}

namespace quor::mobile {

class MobileDatabase;

// What every phone connection shares.
struct PhoneServerContext {
  std::filesystem::path programFolder;
  MobileSettings settings;
  MobileDatabase* database = nullptr;
  OnlineSessionTable* sessions = nullptr;
};

// The phone's peer address and connection number as the server names them.
struct PhonePeer {
  std::string clientAddress;  // dotted IPv4 (IPv6 text for an IPv6 peer)
  std::uint64_t connectionNumber = 0;
};

// Serves the connected socket `fd` (not owned) until the connection ends.
void ServePhoneConnection(int fd, const PhonePeer& peer, const PhoneServerContext& context);

}  // namespace quor::mobile
