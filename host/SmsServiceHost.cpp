#include "host/SmsServiceHost.h"

#include <filesystem>
#include <iostream>

#include "ServerPublic/ServerGlobals.h"
#include "remote/SmsGateway.h"
#include "sms/SMSService.h"

namespace quor {

SmsServiceHost::SmsServiceHost() {
  try {
    const std::filesystem::path file =
        std::filesystem::path(ProgramFolder()) / "Data" / "MobilePhone.db";
    service_ = std::make_unique<sms::TSMSService>(file);
    service_->Start(sms::ReadSmsSettings());
    remote::RegisterSmsGateway(service_->Gateway());
  } catch (const std::exception& error) {
    std::cerr << "SMS: the SMS service did not start: " << error.what() << '\n';
    service_.reset();
  }
}

SmsServiceHost::~SmsServiceHost() {
  remote::RegisterSmsGateway(nullptr);
  service_.reset();
}

}  // namespace quor
