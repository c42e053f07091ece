// The SMS service for the life of the process: created with the server's
// settings over Data/MobilePhone.db in the program folder, its modem offered
// to the remote SMS members, and closed (modem and all) when the host ends.
#pragma once

#include <memory>

namespace quor::sms {
class TSMSService;
}

namespace quor {

class SmsServiceHost {
 public:
  // A service that cannot start (its database unreadable) is reported and
  // left out; the remote SMS members then answer as for an inactive modem.
  SmsServiceHost();
  ~SmsServiceHost();
  SmsServiceHost(const SmsServiceHost&) = delete;
  SmsServiceHost& operator=(const SmsServiceHost&) = delete;

 private:
  std::unique_ptr<sms::TSMSService> service_;
};

}  // namespace quor
