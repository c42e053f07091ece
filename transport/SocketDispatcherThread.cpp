#include "transport/SocketDispatcherThread.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "transport/BlockExchange.h"
#include "transport/DataBlockInterpreter.h"
#include "transport/SocketDispatcher.h"
#include "transport/TransportError.h"
#include "transport/TransportLog.h"

namespace quor::transport {
namespace {

using Clock = std::chrono::steady_clock;
using WallClock = std::chrono::system_clock;

std::atomic<std::uint64_t> nextThreadId{1};

// Polls the socket (when given) and the wake event; returns the socket's
// revents, 0 when only the event or the timeout ended the wait.
short PollSocketAndEvent(int socket, short events, WakeEvent& wake, int timeoutMs) {
  pollfd fds[2] = {{wake.Handle(), POLLIN, 0}, {socket, events, 0}};
  const nfds_t count = socket >= 0 ? 2 : 1;
  int polled;
  do {
    polled = ::poll(fds, count, timeoutMs);
  } while (polled < 0 && errno == EINTR);
  if (polled < 0) throw TransportError(std::generic_category().message(errno));
  if (fds[0].revents & POLLIN) wake.Consume();
  return count == 2 ? fds[1].revents : 0;
}

}  // namespace

TSocketDispatcherThread::TSocketDispatcherThread(TSocketDispatcher& listener,
                                                 std::shared_ptr<TransportContext> context,
                                                 ThreadSettings settings, bool keepInCache,
                                                 UniqueFd socket, ConnectionRow row)
    : listener_(listener),
      context_(std::move(context)),
      settings_(std::move(settings)),
      id_(nextThreadId++),
      timeout_(context_->timeoutUnit * settings_.timeout),
      socket_(std::move(socket)),
      keepInCache_(keepInCache) {
  row.threadId = id_;
  row_ = std::move(row);
  Touch();
  wake_.Set();
  thread_.Start([this] { Execute(); });
}

TSocketDispatcherThread::~TSocketDispatcherThread() {
  Terminate();
  Join();
}

std::chrono::system_clock::time_point TSocketDispatcherThread::LastActivity() const {
  return WallClock::time_point(WallClock::duration(lastActivityWall_.load()));
}

std::optional<ConnectionRow> TSocketDispatcherThread::Connection() const {
  std::lock_guard lock(mutex_);
  if (!row_) return std::nullopt;
  ConnectionRow row = *row_;
  row.lastActivity = LastActivity();
  return row;
}

void TSocketDispatcherThread::Post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    work_.push_back(std::move(work));
  }
  wake_.Set();
}

bool TSocketDispatcherThread::Parked() const {
  std::lock_guard lock(mutex_);
  return !socket_ && !ending_ && !terminated_;
}

void TSocketDispatcherThread::GiveConnection(UniqueFd socket, ConnectionRow row) {
  {
    std::lock_guard lock(mutex_);
    row.threadId = id_;
    socket_ = std::move(socket);
    row_ = std::move(row);
  }
  // Idleness is measured from taking up this connection, not the last one.
  Touch();
  wake_.Set();
}

void TSocketDispatcherThread::Disconnect() {
  std::lock_guard lock(mutex_);
  // Only shut down here: the serving thread closes the descriptor itself, so
  // it can never be reused under its feet.
  if (socket_) ::shutdown(socket_.Get(), SHUT_RDWR);
}

void TSocketDispatcherThread::Terminate() {
  {
    std::lock_guard lock(mutex_);
    terminated_ = true;
    if (socket_) ::shutdown(socket_.Get(), SHUT_RDWR);
  }
  stop_ = true;
  wake_.Set();
}

void TSocketDispatcherThread::Join() {
  thread_.Join();
}

void TSocketDispatcherThread::Execute() {
  // Not thread_.get_id(): thread_ may not be assigned yet when this runs.
  owner_ = std::this_thread::get_id();
  RaiseConnectionThreadPriority();
  for (;;) {
    if (!WaitForConnection()) break;
    bool keep = true;
    try {
      ServeConnection();
    } catch (const std::exception& error) {
      LogTransport("connection thread failed: " + std::string(error.what()));
      keep = false;
    } catch (...) {
      LogTransport("connection thread failed by an unknown error");
      keep = false;
    }
    listener_.ConnectionEnded();
    std::lock_guard lock(mutex_);
    socket_.Reset();
    row_.reset();
    if (!keep) keepInCache_ = false;
    if (!keepInCache_ || terminated_) {
      ending_ = true;
      break;
    }
  }
  // Nothing of this object may be touched after this: the listener may
  // join and free it as soon as it is listed as ended.
  listener_.ThreadEnded(*this);
}

// Parked: runs posted work until a connection comes (true) or the thread is
// told to end (false).
bool TSocketDispatcherThread::WaitForConnection() {
  for (;;) {
    try {
      RunPostedWork();
    } catch (const std::exception& error) {
      LogTransport("work posted to a parked connection thread failed: " +
                   std::string(error.what()));
    }
    {
      std::lock_guard lock(mutex_);
      if (socket_) return true;
      if (terminated_) {
        ending_ = true;
        return false;
      }
    }
    PollSocketAndEvent(-1, 0, wake_, -1);
  }
}

void TSocketDispatcherThread::ServeConnection() {
  Touch();
  int socket;
  ConnectionRow row;
  {
    std::lock_guard lock(mutex_);
    socket = socket_.Get();
    row = *row_;
  }
  row.lastActivity = LastActivity();
  const std::shared_ptr<ConnectionObserver> observer = context_->observer;
  if (observer) observer->AddConnectionRow(row);
  {
    TransportOptions options{context_->maxFrameSize.load(), settings_.interceptGuid,
                             context_->classes, settings_.frameTimeout, settings_.writeTimeout};
    TSocketTransport transport(socket, std::move(options), this);
    TDataBlockInterpreter interpreter(*this, context_->classes,
                                      settings_.registeredOnly ? kSocketsCheckValue : "",
                                      settings_.limits);
    interpreter.SetOwnerThread(std::this_thread::get_id(), [this] { wake_.Set(); });
    transport_ = &transport;
    interpreter_ = &interpreter;
    while (!stop_ && transport.Connected()) {
      try {
        ServeOneWakeUp(transport, interpreter);
      } catch (const FrameTooLarge& error) {
        LogLimit("connection from " + row.remoteAddress + " dropped: " + error.what());
        try {
          TDataBlock reply;
          interpreter.WriteValue(com::Variant::String(error.what()), reply);
          reply.SetSignature(sigResult | actError);
          transport.Send(reply);
        } catch (const std::exception&) {
          // The client may already be gone; it is dropped either way.
        }
        transport.SetConnected(false);
      } catch (const ConnectionClosed&) {
        transport.SetConnected(false);
      } catch (const DeadlineExceeded& error) {
        LogLimit("connection from " + row.remoteAddress + " dropped: " + error.what());
        transport.SetConnected(false);
      } catch (const std::exception& error) {
        LogDropped("connection from " + row.remoteAddress + " dropped: " + error.what());
        transport.SetConnected(false);
      } catch (...) {
        LogDropped("connection from " + row.remoteAddress + " dropped by an unknown error");
        transport.SetConnected(false);
      }
    }
    // The interpreter goes first (detaching its proxies), then the transport.
    interpreter_ = nullptr;
    transport_ = nullptr;
  }
  if (observer) observer->RemoveConnectionRow(row);
}

void TSocketDispatcherThread::ServeOneWakeUp(TSocketTransport& transport,
                                             TDataBlockInterpreter& interpreter) {
  const bool pending = HasPostedWork() || interpreter.HasPendingFrees();
  const int timeout = pending ? 0 : PollTimeout();
  const short ready = PollSocketAndEvent(transport.WaitHandle(), POLLIN, wake_, timeout);
  if (ready != 0) {
    if (std::optional<TDataBlock> block = transport.Receive(false)) {
      Touch();
      interpreter.InterpretBlock(*block);
      Touch();
    }
  }
  interpreter.SendPendingFrees();
  RunPostedWork();
  if (timeout_.count() > 0 && IdleTooLong()) transport.SetConnected(false);
}

void TSocketDispatcherThread::WaitReady(int socket, short events, Deadline deadline) {
  for (;;) {
    if (stop_) throw ConnectionClosed("connection closed by the server");
    const short ready = PollSocketAndEvent(socket, events, wake_, PollMilliseconds(deadline));
    if (ready != 0) return;
    if (Clock::now() >= deadline) {
      throw DeadlineExceeded(DeadlineText(events, settings_.frameTimeout, settings_.writeTimeout));
    }
  }
}

std::optional<TDataBlock> TSocketDispatcherThread::SendBlock(TDataBlock& block,
                                                             bool waitForResult) {
  // The transport belongs to this thread; a proxy used from elsewhere must not
  // write into the middle of another frame.
  if (std::this_thread::get_id() != owner_.load()) {
    throw TransportError("a call towards the client from outside its connection thread");
  }
  if (!transport_ || !interpreter_) throw TransportError("the connection has ended");
  return ExchangeBlock(*transport_, *interpreter_, block, waitForResult);
}

void TSocketDispatcherThread::RunPostedWork() {
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      if (work_.empty()) return;
      work = std::move(work_.front());
      work_.pop_front();
    }
    work();
  }
}

bool TSocketDispatcherThread::HasPostedWork() const {
  std::lock_guard lock(mutex_);
  return !work_.empty();
}

void TSocketDispatcherThread::Touch() {
  lastActivityWall_ = WallClock::now().time_since_epoch().count();
  lastActivitySteady_ = Clock::now().time_since_epoch().count();
}

bool TSocketDispatcherThread::IdleTooLong() const {
  const Clock::time_point last{Clock::duration(lastActivitySteady_.load())};
  return Clock::now() - last > timeout_;
}

int TSocketDispatcherThread::PollTimeout() const {
  if (timeout_.count() == 0) return -1;
  return static_cast<int>(context_->idleCheckInterval.count());
}

}  // namespace quor::transport
