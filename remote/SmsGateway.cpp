#include "remote/SmsGateway.h"

#include <mutex>

namespace quor::remote {
namespace {

std::mutex gatewayMutex;
std::shared_ptr<SmsGateway> registeredGateway;

}  // namespace

void RegisterSmsGateway(std::shared_ptr<SmsGateway> gateway) {
  std::lock_guard<std::mutex> lock(gatewayMutex);
  registeredGateway = std::move(gateway);
}

std::shared_ptr<SmsGateway> RegisteredSmsGateway() {
  std::lock_guard<std::mutex> lock(gatewayMutex);
  return registeredGateway;
}

}  // namespace quor::remote
