#include "console/NetworkInfo.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace quor::console {
namespace {

std::string TrimmedText(std::string text) {
  const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
  text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
  return text;
}

std::string LowerText(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string ComputerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string Workgroup(const std::filesystem::path& smbConf) {
  std::ifstream in(smbConf);
  std::string line;
  bool inGlobal = false;
  while (std::getline(in, line)) {
    line = TrimmedText(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[') {
      inGlobal = LowerText(line) == "[global]";
      continue;
    }
    const auto equals = line.find('=');
    if (!inGlobal || equals == std::string::npos) continue;
    if (LowerText(TrimmedText(line.substr(0, equals))) == "workgroup") {
      return TrimmedText(line.substr(equals + 1));
    }
  }
  return {};
}

}  // namespace quor::console
