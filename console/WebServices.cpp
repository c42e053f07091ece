#include "console/WebServices.h"

#include "ServerPublic/ConfigStore.h"
#include "platform/service/SystemCtl.h"

namespace quor::console {

std::vector<std::string> WebServiceUnits() {
  const std::string setting = ReadConfig(kWebServiceUnitsKey, kWebServiceUnitsDefault);
  std::vector<std::string> units;
  std::string word;
  for (char c : setting + " ") {
    if (c == ' ' || c == ',' || c == '\t') {
      if (!word.empty()) units.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return units;
}

bool ControlSystemService(const std::string& unit, bool start) {
  return service::RunSystemCtl({start ? "start" : "stop", "--", unit}).Succeeded();
}

}  // namespace quor::console
