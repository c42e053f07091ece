#include "sms/SerialDevices.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "ServerPublic/ConfigStore.h"
#include "platform/text/AsciiText.h"

namespace quor::sms {
namespace {

namespace fs = std::filesystem;

// n of "COMn" (letter case ignored), or 0 when the name is no such name.
int ComNumber(const std::string& port) {
  if (port.size() < 4 || !text::EqualsIgnoringAsciiCase(port.substr(0, 3), "COM")) return 0;
  int number = 0;
  const char* first = port.data() + 3;
  const char* last = port.data() + port.size();
  const auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || end != last || number < 1) return 0;
  return number;
}

int TtySNumber(const std::string& name) {
  if (name.rfind("ttyS", 0) != 0 || name.size() == 4) return -1;
  int number = -1;
  const auto [end, error] = std::from_chars(name.data() + 4, name.data() + name.size(), number);
  if (error != std::errc() || end != name.data() + name.size()) return -1;
  return number;
}

// The kernel creates ttyS0..31 whether or not a UART answers; a port with
// hardware reports a non-zero I/O port or memory base.
bool HasUart(const fs::path& ttyClassEntry) {
  std::error_code error;
  for (const char* attribute : {"port", "iomem_base"}) {
    const fs::path file = ttyClassEntry / attribute;
    if (!fs::exists(file, error)) continue;
    std::string value;
    if (FILE* f = std::fopen(file.c_str(), "r")) {
      char buffer[64] = {};
      if (std::fgets(buffer, sizeof buffer, f)) value = buffer;
      std::fclose(f);
    }
    value = std::string(text::TrimBlanks(value));
    if (!value.empty() && value != "0x0" && value != "0") return true;
  }
  return false;
}

}  // namespace

std::string ResolveSerialDevice(const std::string& port) {
  const int number = ComNumber(port);
  if (number == 0) return port;
  const std::string configured = ReadConfig("SerialDevice_COM" + std::to_string(number), "");
  if (!configured.empty()) return configured;
  return "/dev/ttyS" + std::to_string(number - 1);
}

std::vector<std::string> ListSerialPorts() {
  std::error_code error;
  const fs::path ttyClass = "/sys/class/tty";
  fs::directory_iterator entries(ttyClass, error);
  if (error) throw std::runtime_error("枚举COM口失败");
  std::vector<int> comNumbers;
  std::vector<std::string> others;
  for (const fs::directory_entry& entry : entries) {
    const std::string name = entry.path().filename().string();
    const int ttyS = TtySNumber(name);
    if (ttyS >= 0) {
      if (HasUart(entry.path())) comNumbers.push_back(ttyS + 1);
    } else if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0) {
      others.push_back("/dev/" + name);
    }
  }
  fs::directory_iterator byId("/dev/serial/by-id", error);
  if (!error) {
    for (const fs::directory_entry& entry : byId) others.push_back(entry.path().string());
  }
  std::sort(comNumbers.begin(), comNumbers.end());
  std::sort(others.begin(), others.end());
  std::vector<std::string> ports;
  for (int number : comNumbers) ports.push_back("COM" + std::to_string(number));
  ports.insert(ports.end(), others.begin(), others.end());
  return ports;
}

}  // namespace quor::sms
