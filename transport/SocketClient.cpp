#include "transport/SocketClient.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "transport/BlockExchange.h"
#include "transport/DataDispatch.h"
#include "transport/SocketAddress.h"
#include "transport/TransportError.h"

namespace quor::transport {

SocketClient::SocketClient(const std::string& host, std::uint16_t port, SocketClientOptions options)
    : options_(std::move(options)), socket_(ConnectTo(host, port, options_.connectTimeout)) {
  TransportOptions transportOptions{options_.maxFrameSize, options_.interceptGuid,
                                    options_.classes};
  SocketWaiter* waiter = this;
  transport_ =
      std::make_unique<TSocketTransport>(socket_.Get(), std::move(transportOptions), waiter);
  interpreter_ = std::make_unique<TDataBlockInterpreter>(*this, options_.classes, std::string());
}

SocketClient::~SocketClient() {
  Close();
}

void SocketClient::Close() {
  interpreter_.reset();
  transport_.reset();
  socket_.Reset();
}

std::optional<TDataBlock> SocketClient::SendBlock(TDataBlock& block, bool waitForResult) {
  if (!transport_ || !interpreter_) throw TransportError("the connection is closed");
  return ExchangeBlock(*transport_, *interpreter_, block, waitForResult);
}

void SocketClient::WaitReady(int socket, short events, Deadline deadline) {
  const bool replyLimited = options_.replyTimeout.count() > 0;
  if (replyLimited) {
    deadline = std::min(deadline, std::chrono::steady_clock::now() + options_.replyTimeout);
  }
  pollfd ready{socket, events, 0};
  for (;;) {
    const int polled = ::poll(&ready, 1, PollMilliseconds(deadline));
    if (polled > 0) return;
    if (polled < 0 && errno != EINTR) {
      throw TransportError(std::generic_category().message(errno));
    }
    if (polled == 0 && std::chrono::steady_clock::now() >= deadline) {
      throw DeadlineExceeded("no answer from the server in time");
    }
  }
}

com::DispatchPtr SocketClient::CreateObject(const std::string& name) {
  const com::Variant object = Interpreter().RemoteCreate(name);
  if (object.Type() != com::VT_DISPATCH || !object.GetDispatch()) {
    throw TransportError("the server answered the creation of " + name + " with " +
                         object.DebugString());
  }
  return object.GetDispatch();
}

com::Variant SocketClient::Call(const com::DispatchPtr& object, const std::string& member,
                                std::vector<com::Variant> args, com::DispatchFlags flags) {
  // The server's own objects are called through the interpreter directly, so
  // its error replies reach the caller with their text.
  const auto* proxy = dynamic_cast<const TDataDispatch*>(object.get());
  com::DispId dispId = com::DISPID_UNKNOWN;
  const com::HResult lookup = proxy ? Interpreter().RemoteGetIds(proxy->Index(), member, dispId)
                                    : object->GetIDsOfNames(member, dispId);
  if (com::Failed(lookup)) {
    throw com::HResultError(lookup, "unknown member " + member);
  }
  com::DispParams params;
  params.args.assign(std::make_move_iterator(args.rbegin()), std::make_move_iterator(args.rend()));
  com::Variant result;
  com::ExcepInfo excepInfo;
  const com::HResult status =
      proxy ? Interpreter().RemoteInvoke(proxy->Index(), dispId, flags, params, &result, &excepInfo)
            : object->Invoke(dispId, flags, params, &result, &excepInfo, nullptr);
  if (status == com::DISP_E_EXCEPTION) {
    throw com::HResultError(excepInfo.scode != 0 ? excepInfo.scode : status, excepInfo.description);
  }
  if (com::Failed(status)) throw com::HResultError(status);
  return result;
}

}  // namespace quor::transport
