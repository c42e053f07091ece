// What the remote SMS members (TelSendSmallMessage, TelReceSmallMessage,
// TelSendBatchMessage) need of the modem. The SMS service registers its
// modem here at start-up; while nothing is registered, or the modem is not
// active, the members answer as for an inactive modem.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quor::remote {

class SmsGateway {
 public:
  virtual ~SmsGateway() = default;
  virtual bool Active() = 0;
  virtual bool SendMessage(const std::string& phone, const std::string& text) = 0;
  virtual bool ListMessages(int selector, std::string& reply) = 0;
  virtual bool DeleteMessage(int index) = 0;
  // One flag per phone, true when sent, then one for the batch's end (true
  // when every send before it was reported). Empty phones are not sent.
  virtual std::vector<bool> SendBatch(const std::vector<std::string>& phones,
                                      const std::string& text) = 0;
};

// nullptr unregisters.
void RegisterSmsGateway(std::shared_ptr<SmsGateway> gateway);
std::shared_ptr<SmsGateway> RegisteredSmsGateway();

}  // namespace quor::remote
