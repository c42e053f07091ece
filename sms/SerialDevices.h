// How the port names of the settings become devices. A name "COMn" means
// /dev/ttyS<n-1> unless the setting SerialDevice_COMn names another device;
// any other name is taken as a device path (/dev/ttyUSB0,
// /dev/serial/by-id/..., a pseudo-terminal).
#pragma once

#include <string>
#include <vector>

namespace quor::sms {

std::string ResolveSerialDevice(const std::string& port);

// The serial devices this machine has, for the settings dialog's port list:
// "COMn" for each /dev/ttyS device with hardware behind it, then the
// USB, ACM and by-id devices as paths. Throws std::runtime_error
// "枚举COM口失败" when the device list cannot be read.
std::vector<std::string> ListSerialPorts();

}  // namespace quor::sms
