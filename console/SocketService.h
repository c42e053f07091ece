// The service object of service mode. systemd plays the service control
// manager: its start of the unit is the service's start, which has the socket
// window open the ports on the UI thread, and its SIGTERM is the stop, which
// closes them and ends the event loop.
#pragma once

#include <string>

namespace quor::console {

class TSocketForm;

class TSocketService {
 public:
  TSocketService(std::string name, std::string displayName, TSocketForm& form);
  TSocketService(const TSocketService&) = delete;
  TSocketService& operator=(const TSocketService&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& DisplayName() const { return displayName_; }
  // Pausing is not something this service offers.
  static constexpr bool kAllowPause = false;

  // Hands the start to the window's thread: the window initialises itself
  // from the service once the event loop runs, so everything loaded before
  // the loop (the run-time settings) is in force for the first client.
  void Start();
  // Ends the event loop; the host then closes every port, ending its
  // connections, as it takes the transport down.
  void Stop();
  bool Started() const { return started_; }

 private:
  std::string name_;
  std::string displayName_;
  TSocketForm& form_;
  bool started_ = false;
};

}  // namespace quor::console
