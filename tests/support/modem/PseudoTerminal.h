// A pseudo-terminal pair: the device path stands for the serial port, the
// master side for the modem at the other end of the cable.
#pragma once

#include <string>

namespace quor::test {

class PseudoTerminal {
 public:
  PseudoTerminal();  // throws std::runtime_error when no pty can be had
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& DevicePath() const { return devicePath_; }
  int MasterFd() const { return master_; }
  // A descriptor of the device side held open by the test itself, so the
  // master never sees a hang-up while the driver has the port closed.
  int KeeperFd() const { return keeper_; }
  // Closes the master: the device side reads EIO, as after unplugging.
  void CloseMaster();

 private:
  int master_ = -1;
  int keeper_ = -1;
  std::string devicePath_;
};

}  // namespace quor::test
