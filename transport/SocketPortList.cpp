#include "transport/SocketPortList.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace quor::transport {

std::string PortOpenMessage(int port, const std::string& reason) {
  return "没有正确配置网络或打开端口（" + std::to_string(port) + " ）出错: " + reason;
}

SocketPortList::SocketPortList(std::shared_ptr<TransportContext> context, registry::Registry store)
    : context_(std::move(context)), store_(std::move(store)) {}

SocketPortList::~SocketPortList() {
  CloseAll();
}

std::vector<std::string> SocketPortList::LoadAllSettings() {
  std::vector<std::string> failures;
  std::vector<PortSettings> ports;
  try {
    switches_ = LoadSocketSwitches(store_);
    ports = LoadAllPortSettings(store_);
  } catch (const std::exception& error) {
    // An unreadable store must not keep clients out: the default port serves.
    std::fprintf(stderr, "socket settings: %s; using the defaults\n", error.what());
    switches_ = SocketSwitches{};
    ports = {PortSettings{}};
  }
  context_->registeredOnly = switches_.registeredOnly;
  context_->maxFrameSize = switches_.maxFrameSize;
  for (const PortSettings& settings : ports) {
    auto dispatcher = std::make_unique<TSocketDispatcher>(context_);
    dispatcher->SetSettings(settings);
    try {
      dispatcher->Open();
    } catch (const PortOpenError& error) {
      failures.push_back(PortOpenMessage(error.Port(), error.what()));
    }
    dispatchers_.push_back(std::move(dispatcher));
  }
  return failures;
}

void SocketPortList::SaveAllSettings() {
  for (const std::string& section : store_.SubKeys(kSocketServerKey)) {
    store_.DeleteKey(std::string(kSocketServerKey) + "\\" + section);
  }
  for (const auto& dispatcher : dispatchers_) dispatcher->SavePortSettings(store_);
  SaveSocketSwitches(switches_, store_);
}

void SocketPortList::SetRegisteredOnly(bool on) {
  switches_.registeredOnly = on;
  context_->registeredOnly = on;
}

std::size_t SocketPortList::ConnectionCount() const {
  std::size_t count = 0;
  for (const auto& dispatcher : dispatchers_) count += dispatcher->ConnectionCount();
  return count;
}

TSocketDispatcher& SocketPortList::AddPort(const PortSettings& settings) {
  auto dispatcher = std::make_unique<TSocketDispatcher>(context_);
  dispatcher->SetSettings(settings);
  dispatchers_.push_back(std::move(dispatcher));
  return *dispatchers_.back();
}

void SocketPortList::RemovePort(std::size_t index) {
  if (index >= dispatchers_.size()) return;
  dispatchers_[index]->Close();
  dispatchers_.erase(dispatchers_.begin() + static_cast<std::ptrdiff_t>(index));
}

void SocketPortList::CloseAll() {
  for (const auto& dispatcher : dispatchers_) dispatcher->Close();
}

}  // namespace quor::transport
