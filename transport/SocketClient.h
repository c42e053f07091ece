// The client end of the data-block protocol, as desktop clients speak it: a
// connection to a server with its own interpreter, so the client can create
// objects, call them by name through proxies, list servers, and lend objects
// of its own that the server calls back while the client waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/com/ClassRegistry.h"
#include "platform/com/IDispatchObject.h"
#include "transport/DataBlockInterpreter.h"
#include "transport/SocketTransport.h"
#include "transport/UniqueFd.h"

namespace quor::transport {

struct SocketClientOptions {
  std::chrono::milliseconds connectTimeout{std::chrono::seconds(10)};
  // How long a call waits for its reply; zero waits as long as it takes.
  std::chrono::milliseconds replyTimeout{0};
  std::size_t maxFrameSize = kDefaultMaxFrameSize;
  std::string interceptGuid;
  // Classes the server may ask this side to create; usually none.
  std::shared_ptr<const com::ClassRegistry> classes;
};

class SocketClient : public ISendDataBlock, private SocketWaiter {
 public:
  // std::system_error when the server cannot be reached.
  SocketClient(const std::string& host, std::uint16_t port, SocketClientOptions options = {});
  ~SocketClient() override;
  SocketClient(const SocketClient&) = delete;
  SocketClient& operator=(const SocketClient&) = delete;

  // The server's new object (a proxy), by ProgID or class id in braces;
  // RemoteError with the server's text when it refuses.
  com::DispatchPtr CreateObject(const std::string& name);
  // Looks the member up by name, then invokes it. args in declared order
  // (they are sent in dispatch order); RemoteError / TransportError on
  // failure, HResultError for a failing status (with the exception's text).
  com::Variant Call(const com::DispatchPtr& object, const std::string& member,
                    std::vector<com::Variant> args,
                    com::DispatchFlags flags = com::DISPATCH_METHOD);

  TDataBlockInterpreter& Interpreter() { return *interpreter_; }
  ITransport& Transport() { return *transport_; }
  std::optional<TDataBlock> SendBlock(TDataBlock& block, bool waitForResult) override;
  // Ends the connection; proxies left over fail from then on.
  void Close();

 private:
  void WaitReady(int socket, short events, Deadline deadline) override;

  SocketClientOptions options_;
  UniqueFd socket_;
  std::unique_ptr<TSocketTransport> transport_;
  std::unique_ptr<TDataBlockInterpreter> interpreter_;
};

}  // namespace quor::transport
