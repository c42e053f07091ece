// One listening port of the socket server: an accept thread hands every new
// connection to a parked connection thread of the port's cache, or to a new
// one, and closing the port ends all its connections and parked threads
// before the listening socket goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/registry/Registry.h"
#include "transport/ConnectionObserver.h"
#include "transport/PortSettings.h"
#include "transport/SocketDispatcherThread.h"
#include "transport/TransportContext.h"
#include "transport/TransportLog.h"
#include "transport/UniqueFd.h"
#include "transport/WakeEvent.h"

namespace quor::transport {

// A port that cannot be opened; the message is the system's reason.
class PortOpenError : public std::runtime_error {
 public:
  PortOpenError(int port, const std::string& reason) : std::runtime_error(reason), port_(port) {}
  int Port() const { return port_; }

 private:
  int port_;
};

class TSocketDispatcher {
 public:
  explicit TSocketDispatcher(std::shared_ptr<TransportContext> context);
  // Closes the port.
  ~TSocketDispatcher();
  TSocketDispatcher(const TSocketDispatcher&) = delete;
  TSocketDispatcher& operator=(const TSocketDispatcher&) = delete;

  void LoadPortSettings(int portNumber, const registry::Registry& store);
  void SavePortSettings(registry::Registry& store) const;
  PortSettings Settings() const;
  // Take effect at the next Open; threads keep what they were built with.
  void SetSettings(const PortSettings& settings);

  // Listens on the port (0 takes a free one, see ListeningPort).
  // PortOpenError with the system's reason when that fails.
  void Open();
  // Ends every connection and parked thread of the port, then stops listening.
  void Close();
  bool Active() const;
  // The port actually listened on; 0 while closed.
  std::uint16_t ListeningPort() const;

  std::size_t ConnectionCount() const;
  // Connections refused since the port opened: beyond MaxConnections, or
  // for want of a thread or descriptor.
  std::size_t RefusedCount() const { return refused_; }
  // Serving and parked threads.
  std::size_t ThreadCount() const;
  std::vector<ConnectionRow> Connections() const;
  // Closes the socket of that connection; false when it is not (or no
  // longer) served here. Its thread ends the connection as usual.
  bool Disconnect(std::uint64_t connectionId);
  // Runs work on the thread serving that connection (its apartment), between
  // blocks or while it waits; false when the connection is not served here.
  bool Post(std::uint64_t connectionId, std::function<void()> work);

 private:
  // Called by the accept thread, under the lock, when no parked thread is free.
  std::unique_ptr<TSocketDispatcherThread> MakeConnectionThread(UniqueFd socket, ConnectionRow row,
                                                                bool keepInCache);
  friend class TSocketDispatcherThread;
  // A thread that ends by itself moves to the ended list; the accept thread
  // (or Close) joins and frees it.
  void ThreadEnded(TSocketDispatcherThread& thread);
  // A thread is done with its connection (and may park).
  void ConnectionEnded();
  void AcceptLoop();
  void AcceptFrom(int listener);
  void Accepted(UniqueFd socket, std::string peerAddress);
  void ReapEnded();
  // Out of descriptors: the pending connection would wake the accept loop
  // again and again, so it is taken with the spare descriptor and closed.
  void RefuseOnePending(int listener);

  std::shared_ptr<TransportContext> context_;

  mutable std::mutex mutex_;  // guards the members down to closing_
  PortSettings settings_;
  std::vector<std::unique_ptr<TSocketDispatcherThread>> threads_;
  std::vector<std::unique_ptr<TSocketDispatcherThread>> ended_;
  std::size_t serving_ = 0;  // connections being served
  bool closing_ = false;

  std::vector<UniqueFd> listeners_;
  UniqueFd spare_;  // closed for a moment to refuse a connection without descriptors
  std::atomic<std::uint16_t> listeningPort_{0};
  std::atomic<bool> active_{false};
  std::atomic<std::size_t> refused_{0};
  RateLimitedLog acceptLog_;
  WakeEvent acceptWake_;
  std::atomic<bool> stopAccept_{false};
  std::thread acceptThread_;
};

}  // namespace quor::transport
