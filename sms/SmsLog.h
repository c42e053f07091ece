// The SMS gateway's lines for the operator, on standard error (the journal
// under systemd).
#pragma once

#include <iostream>
#include <string>

namespace quor::sms {

inline void LogSms(const std::string& line) {
  std::cerr << "SMS: " << line << '\n';
}

}  // namespace quor::sms
