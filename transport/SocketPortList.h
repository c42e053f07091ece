// The ports of the socket server and its two switches, as the transport window
// keeps them: built from the settings store at start-up (every configured port
// opened, a port that fails reported and skipped), written back on request,
// and closed together when the server ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "transport/PortSettings.h"
#include "transport/SocketDispatcher.h"
#include "transport/TransportContext.h"

namespace quor::transport {

class SocketPortList {
 public:
  SocketPortList(std::shared_ptr<TransportContext> context, registry::Registry store);
  // Closes every port.
  ~SocketPortList();
  SocketPortList(const SocketPortList&) = delete;
  SocketPortList& operator=(const SocketPortList&) = delete;

  // Reads the switches and the ports from the store and opens every port.
  // Returns one message "没有正确配置网络或打开端口（%d ）出错: %s" per port that
  // could not be opened (or per store failure); the other ports stay open.
  std::vector<std::string> LoadAllSettings();
  // Rewrites the store from the ports and switches as they are now.
  void SaveAllSettings();

  const std::vector<std::unique_ptr<TSocketDispatcher>>& Dispatchers() const {
    return dispatchers_;
  }
  bool ShowHost() const { return switches_.showHost; }
  void SetShowHost(bool on) { switches_.showHost = on; }
  // Connection threads built after the change use the new value.
  bool RegisteredOnly() const { return switches_.registeredOnly; }
  void SetRegisteredOnly(bool on);

  std::size_t ConnectionCount() const;
  void CloseAll();

  // For the transport window: a new port with these settings, not yet open,
  // appended to the list; and the removal of one (closing it and its
  // connections). Both run on the thread that owns the list.
  TSocketDispatcher& AddPort(const PortSettings& settings);
  void RemovePort(std::size_t index);

 private:
  std::shared_ptr<TransportContext> context_;
  registry::Registry store_;
  SocketSwitches switches_;
  std::vector<std::unique_ptr<TSocketDispatcher>> dispatchers_;
};

// "没有正确配置网络或打开端口（211 ）出错: Address already in use"
std::string PortOpenMessage(int port, const std::string& reason);

}  // namespace quor::transport
