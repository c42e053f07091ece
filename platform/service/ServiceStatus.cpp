#include "platform/service/ServiceStatus.h"

#include <unistd.h>

#include <charconv>
#include <sstream>

#include "platform/service/SystemCtl.h"

namespace quor::service {

std::string UnitName(const std::string& serviceName) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string unit;
  for (std::size_t i = 0; i < serviceName.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(serviceName[i]);
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == ':' || c == '_' || (c == '.' && i > 0) || c == '-';
    if (plain) {
      unit += static_cast<char>(c);
    } else {
      unit += "\\x";
      unit += kHex[c >> 4];
      unit += kHex[c & 0x0F];
    }
  }
  return unit + ".service";
}

std::optional<UnitState> QueryUnit(const std::string& serviceName) {
  SystemCtlResult result =
      RunSystemCtl({"show", "-p", "LoadState,ActiveState,MainPID", "--", UnitName(serviceName)});
  if (!result.Succeeded()) return std::nullopt;
  UnitState state;
  bool sawLoadState = false;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    if (key == "LoadState") {
      state.loadState = value;
      sawLoadState = true;
    } else if (key == "ActiveState") {
      state.activeState = value;
    } else if (key == "MainPID") {
      pid_t pid = 0;
      auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), pid);
      state.mainPid = (error == std::errc() && end == value.data() + value.size()) ? pid : 0;
    }
  }
  if (!sawLoadState) return std::nullopt;
  return state;
}

int StatusOf(const std::optional<UnitState>& state, pid_t self) {
  if (!state || state->loadState != "loaded") return -1;
  bool running = state->activeState == "active" || state->activeState == "reloading";
  if (running && state->mainPid != self) return 1;
  return 0;
}

int ServiceStatus(const std::string& serviceName) {
  return StatusOf(QueryUnit(serviceName), ::getpid());
}

bool IsUnitMainProcess(const std::optional<UnitState>& state, pid_t self) {
  return state && state->loadState == "loaded" && state->mainPid == self && self > 0;
}

}  // namespace quor::service
