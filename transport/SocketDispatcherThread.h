// The thread that serves one connection at a time for a port: it waits on the
// socket and on work posted to it together, hands each received block to the
// connection's interpreter, drops the connection after the port's idle
// timeout, and afterwards parks in the port's cache until the listener gives
// it the next connection. It is also the connection's ISendDataBlock, so a
// call the server makes towards the client waits here for its reply.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "transport/ConnectionObserver.h"
#include "transport/DataBlockInterpreter.h"
#include "transport/ServerThread.h"
#include "transport/SocketTransport.h"
#include "transport/TransportContext.h"
#include "transport/TransportInterfaces.h"
#include "transport/UniqueFd.h"
#include "transport/WakeEvent.h"

namespace quor::transport {

class TSocketDispatcher;

// What a thread keeps from the port and the switches it was built under.
struct ThreadSettings {
  std::string interceptGuid;
  int timeout = 0;  // minutes, already clamped; 0 = never dropped for idleness
  bool registeredOnly = true;
  std::chrono::milliseconds frameTimeout{std::chrono::seconds(60)};
  std::chrono::milliseconds writeTimeout{std::chrono::seconds(60)};
  InterpreterLimits limits;
};

class TSocketDispatcherThread : public ISendDataBlock, private SocketWaiter {
 public:
  // Starts serving the connection at once; std::system_error when no thread
  // (or no wake event) can be had for it.
  TSocketDispatcherThread(TSocketDispatcher& listener, std::shared_ptr<TransportContext> context,
                          ThreadSettings settings, bool keepInCache, UniqueFd socket,
                          ConnectionRow row);
  // Tells the thread to end and waits for it.
  ~TSocketDispatcherThread() override;
  TSocketDispatcherThread(const TSocketDispatcherThread&) = delete;
  TSocketDispatcherThread& operator=(const TSocketDispatcherThread&) = delete;

  std::uint64_t Id() const { return id_; }
  // The moment of the last block received, or of taking up the connection.
  std::chrono::system_clock::time_point LastActivity() const;
  // The connection being served, with its LastActivity; nothing while parked.
  std::optional<ConnectionRow> Connection() const;

  // Runs work on this thread, between blocks or while it waits. An exception
  // from the work drops the connection being served.
  void Post(std::function<void()> work);

  std::optional<TDataBlock> SendBlock(TDataBlock& block, bool waitForResult) override;

  // For the listener, under its lock.
  bool Parked() const;
  void GiveConnection(UniqueFd socket, ConnectionRow row);
  void Disconnect();
  void Terminate();
  void Join();

 private:
  void Execute();
  bool WaitForConnection();
  void ServeConnection();
  void ServeOneWakeUp(TSocketTransport& transport, TDataBlockInterpreter& interpreter);
  // Inside a frame, a send, or the wait for the client's answer to a call
  // towards it: the frame and write deadlines apply, the idle timeout does
  // not (a client may take long to answer a call-back).
  void WaitReady(int socket, short events, Deadline deadline) override;
  void RunPostedWork();
  bool HasPostedWork() const;
  void Touch();
  bool IdleTooLong() const;
  int PollTimeout() const;

  TSocketDispatcher& listener_;
  std::shared_ptr<TransportContext> context_;
  const ThreadSettings settings_;
  const std::uint64_t id_;
  const std::chrono::milliseconds timeout_;

  WakeEvent wake_;
  mutable std::mutex mutex_;  // guards the members down to work_
  UniqueFd socket_;
  std::optional<ConnectionRow> row_;
  bool keepInCache_;
  bool terminated_ = false;
  bool ending_ = false;
  std::deque<std::function<void()>> work_;

  std::atomic<std::int64_t> lastActivityWall_{0};    // system_clock ticks
  std::atomic<std::int64_t> lastActivitySteady_{0};  // steady_clock ticks
  std::atomic<bool> stop_{false};
  std::atomic<std::thread::id> owner_{};  // the thread running Execute
  ITransport* transport_ = nullptr;       // while serving; this thread only
  TDataBlockInterpreter* interpreter_ = nullptr;
  ServerThread thread_;  // last: starts once everything above exists
};

}  // namespace quor::transport
