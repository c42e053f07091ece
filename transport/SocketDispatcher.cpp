#include "transport/SocketDispatcher.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "transport/SocketAddress.h"
#include "transport/TransportLog.h"

namespace quor::transport {
namespace {

// A backlog of 5 makes Linux drop the SYNs of a burst of clients (say, every
// desk reconnecting after a restart), costing each a second or more of
// retransmission; the kernel's own limit costs nothing.
constexpr int kListenBacklog = SOMAXCONN;

std::atomic<std::uint64_t> nextConnectionId{1};

// A client whose machine vanishes (power cut, cable pulled) sends no FIN; the
// keepalive probes notice it within about three minutes, idle timeout or not.
constexpr int kKeepAliveIdleSeconds = 120;
constexpr int kKeepAliveIntervalSeconds = 10;
constexpr int kKeepAliveProbes = 6;

void ConfigureAcceptedSocket(int socket) {
  const int on = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepAliveIdleSeconds,
               sizeof kKeepAliveIdleSeconds);
  ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepAliveIntervalSeconds,
               sizeof kKeepAliveIntervalSeconds);
  ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveProbes, sizeof kKeepAliveProbes);
}

}  // namespace

TSocketDispatcher::TSocketDispatcher(std::shared_ptr<TransportContext> context)
    : context_(std::move(context)) {}

TSocketDispatcher::~TSocketDispatcher() {
  Close();
}

void TSocketDispatcher::LoadPortSettings(int portNumber, const registry::Registry& store) {
  SetSettings(transport::LoadPortSettings(portNumber, store));
}

void TSocketDispatcher::SavePortSettings(registry::Registry& store) const {
  transport::SavePortSettings(Settings(), store);
}

PortSettings TSocketDispatcher::Settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

void TSocketDispatcher::SetSettings(const PortSettings& settings) {
  std::lock_guard lock(mutex_);
  settings_ = settings;
}

void TSocketDispatcher::Open() {
  if (Active()) return;
  const PortSettings settings = Settings();
  if (settings.port < 0 || settings.port > 65535) {
    throw PortOpenError(settings.port, "port number out of range");
  }
  if (settings.timeout != EffectiveTimeout(settings.timeout)) {
    LogTransport("port " + std::to_string(settings.port) + ": timeout of " +
                 std::to_string(settings.timeout) + " minutes used as " +
                 std::to_string(EffectiveTimeout(settings.timeout)));
  }
  try {
    listeners_ =
        ListenOn(context_->bindAddress, static_cast<std::uint16_t>(settings.port), kListenBacklog);
  } catch (const std::system_error& error) {
    throw PortOpenError(settings.port, error.code().message());
  }
  listeningPort_ = LocalPort(listeners_.front().Get());
  spare_.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  stopAccept_ = false;
  refused_ = 0;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  active_ = true;
}

void TSocketDispatcher::Close() {
  if (!Active()) return;
  std::vector<std::unique_ptr<TSocketDispatcherThread>> threads;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    threads.swap(threads_);
  }
  for (auto& thread : threads) thread->Terminate();
  // Last to first, as they were started.
  while (!threads.empty()) {
    threads.back()->Join();
    threads.pop_back();
  }
  stopAccept_ = true;
  acceptWake_.Set();
  acceptThread_.join();
  listeners_.clear();
  spare_.Reset();
  listeningPort_ = 0;
  active_ = false;
  std::vector<std::unique_ptr<TSocketDispatcherThread>> ended;
  {
    std::lock_guard lock(mutex_);
    ended.swap(ended_);
    closing_ = false;
  }
  ended.clear();
}

bool TSocketDispatcher::Active() const {
  return active_;
}

std::uint16_t TSocketDispatcher::ListeningPort() const {
  return listeningPort_;
}

std::size_t TSocketDispatcher::ConnectionCount() const {
  return Connections().size();
}

std::size_t TSocketDispatcher::ThreadCount() const {
  std::lock_guard lock(mutex_);
  return threads_.size();
}

std::vector<ConnectionRow> TSocketDispatcher::Connections() const {
  std::lock_guard lock(mutex_);
  std::vector<ConnectionRow> rows;
  for (const auto& thread : threads_) {
    if (std::optional<ConnectionRow> row = thread->Connection()) rows.push_back(std::move(*row));
  }
  return rows;
}

bool TSocketDispatcher::Disconnect(std::uint64_t connectionId) {
  std::lock_guard lock(mutex_);
  for (const auto& thread : threads_) {
    const std::optional<ConnectionRow> row = thread->Connection();
    if (row && row->connectionId == connectionId) {
      thread->Disconnect();
      return true;
    }
  }
  return false;
}

bool TSocketDispatcher::Post(std::uint64_t connectionId, std::function<void()> work) {
  std::lock_guard lock(mutex_);
  for (const auto& thread : threads_) {
    const std::optional<ConnectionRow> row = thread->Connection();
    if (row && row->connectionId == connectionId) {
      thread->Post(std::move(work));
      return true;
    }
  }
  return false;
}

std::unique_ptr<TSocketDispatcherThread> TSocketDispatcher::MakeConnectionThread(UniqueFd socket,
                                                                                 ConnectionRow row,
                                                                                 bool keepInCache) {
  ThreadSettings settings;
  settings.interceptGuid = settings_.interceptGuid;
  settings.timeout = EffectiveTimeout(settings_.timeout);
  settings.registeredOnly = context_->registeredOnly.load();
  settings.frameTimeout = settings_.frameTimeout;
  settings.writeTimeout = settings_.writeTimeout;
  settings.limits.maxObjects = static_cast<std::size_t>(std::max(settings_.maxObjects, 1));
  settings.limits.maxReferences = static_cast<std::size_t>(std::max(settings_.maxReferences, 1));
  return std::make_unique<TSocketDispatcherThread>(*this, context_, std::move(settings),
                                                   keepInCache, std::move(socket), std::move(row));
}

void TSocketDispatcher::ThreadEnded(TSocketDispatcherThread& thread) {
  std::lock_guard lock(mutex_);
  auto found = std::find_if(threads_.begin(), threads_.end(),
                            [&](const auto& listed) { return listed.get() == &thread; });
  // Not listed: Close has taken it and joins it itself.
  if (found == threads_.end()) return;
  ended_.push_back(std::move(*found));
  threads_.erase(found);
  acceptWake_.Set();
}

void TSocketDispatcher::ConnectionEnded() {
  std::lock_guard lock(mutex_);
  if (serving_ > 0) --serving_;
}

void TSocketDispatcher::AcceptLoop() {
  std::vector<pollfd> fds;
  fds.push_back({acceptWake_.Handle(), POLLIN, 0});
  for (const UniqueFd& listener : listeners_) fds.push_back({listener.Get(), POLLIN, 0});
  while (!stopAccept_) {
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      LogTransport("waiting for connections failed: " + std::generic_category().message(errno));
      break;
    }
    if (fds[0].revents & POLLIN) {
      acceptWake_.Consume();
      ReapEnded();
    }
    if (stopAccept_) break;
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      try {
        AcceptFrom(fds[i].fd);
      } catch (...) {
        // Nothing may end the accept thread: the port would go deaf.
        acceptLog_.Log("port " + std::to_string(listeningPort_) + ": accepting failed");
      }
    }
  }
}

void TSocketDispatcher::AcceptFrom(int listener) {
  std::string peerAddress;
  UniqueFd socket = transport::AcceptFrom(listener, peerAddress);
  if (socket) {
    // Whatever goes wrong with one connection drops that connection only;
    // nothing may end the accept thread.
    try {
      Accepted(std::move(socket), std::move(peerAddress));
    } catch (const std::exception& error) {
      ++refused_;
      acceptLog_.Log("port " + std::to_string(listeningPort_) +
                     ": connection dropped: " + error.what());
    }
    return;
  }
  const int error = errno;
  switch (error) {
    case EINTR:
    case EAGAIN:
    case ECONNABORTED:  // the peer gave up before it was taken
      return;
    case EMFILE:
    case ENFILE:
      ++refused_;
      acceptLog_.Log("port " + std::to_string(listeningPort_) +
                     ": connection refused, out of file descriptors (" +
                     std::generic_category().message(error) + ")");
      RefuseOnePending(listener);
      return;
    default:
      ++refused_;
      acceptLog_.Log("port " + std::to_string(listeningPort_) +
                     ": accepting a connection failed: " + std::generic_category().message(error));
      // ENOBUFS, ENOMEM and the like pass; waiting a little keeps this loop
      // from spinning meanwhile.
      ::poll(nullptr, 0, 100);
  }
}

void TSocketDispatcher::RefuseOnePending(int listener) {
  if (!spare_) {
    ::poll(nullptr, 0, 100);
    spare_.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    return;
  }
  spare_.Reset();
  {
    std::string ignored;
    UniqueFd refused = transport::AcceptFrom(listener, ignored);
  }
  spare_.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
}

void TSocketDispatcher::Accepted(UniqueFd socket, std::string peerAddress) {
  ConfigureAcceptedSocket(socket.Get());
  ConnectionRow row;
  row.connectionId = nextConnectionId++;
  row.localPort = LocalPort(socket.Get());
  row.remoteAddress = std::move(peerAddress);
  row.lastActivity = std::chrono::system_clock::now();
  std::lock_guard lock(mutex_);
  if (closing_) return;
  if (serving_ >= static_cast<std::size_t>(std::max(settings_.maxConnections, 1))) {
    ++refused_;
    LogLimit("port " + std::to_string(listeningPort_) + ": connection from " + row.remoteAddress +
             " refused: MaxConnections (" + std::to_string(settings_.maxConnections) + ") reached");
    return;
  }
  for (const auto& thread : threads_) {
    if (thread->Parked()) {
      thread->GiveConnection(std::move(socket), std::move(row));
      ++serving_;
      return;
    }
  }
  const bool keepInCache =
      threads_.size() + 1 <= static_cast<std::size_t>(std::max(settings_.threadCacheSize, 0));
  threads_.push_back(MakeConnectionThread(std::move(socket), std::move(row), keepInCache));
  ++serving_;
}

void TSocketDispatcher::ReapEnded() {
  std::vector<std::unique_ptr<TSocketDispatcherThread>> ended;
  {
    std::lock_guard lock(mutex_);
    ended.swap(ended_);
  }
  ended.clear();
}

}  // namespace quor::transport
