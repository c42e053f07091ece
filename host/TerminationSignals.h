// Ends the Qt event loop in order when SIGTERM (systemd's stop) or SIGINT
// arrives. The handler only writes the signal number into a pipe; the UI
// thread reads it and quits the loop, so destructors run as usual.
#pragma once

#include <memory>

class QSocketNotifier;

namespace quor::host {

class TerminationSignals {
 public:
  // Needs the Qt application to exist. One instance at a time.
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // The signal that ended the loop, 0 while none has.
  int Received() const { return received_; }

 private:
  void OnReadable();

  int readFd_ = -1;
  int writeFd_ = -1;
  int received_ = 0;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace quor::host
