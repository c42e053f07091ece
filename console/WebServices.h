// The web services that "重启 WEB 服务" and "停止 WEB 服务" act on: systemd
// units named by the setting "WebServiceUnits" (default "apache2"), stopped in
// the order given and started in the reverse order.
#pragma once

#include <string>
#include <vector>

namespace quor::console {

inline constexpr const char* kWebServiceUnitsKey = "WebServiceUnits";
inline constexpr const char* kWebServiceUnitsDefault = "apache2";

// The units of the setting, split at spaces and commas.
std::vector<std::string> WebServiceUnits();

// "systemctl start|stop UNIT", which returns once the unit got there; false
// when the unit is missing or refuses.
bool ControlSystemService(const std::string& unit, bool start);

}  // namespace quor::console
