#include "platform/service/ServiceRegistration.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "platform/service/ServiceStatus.h"
#include "platform/service/SystemCtl.h"

namespace quor::service {
namespace {

void RunOrThrow(const std::vector<std::string>& arguments, const std::string& what) {
  SystemCtlResult result = RunSystemCtl(arguments);
  if (!result.Succeeded()) throw ServiceError(what + ": " + result.Problem());
}

// Description= is one line and systemd expands "%" specifiers in it.
std::string DescriptionText(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      line += ' ';
    } else if (c == '%') {
      line += "%%";
    } else {
      line += c;
    }
  }
  return line;
}

}  // namespace

std::filesystem::path UnitFolder() {
  const char* folder = std::getenv("QUOR_SYSTEMD_UNIT_DIR");
  if (folder && *folder) return folder;
  return "/etc/systemd/system";
}

std::string QuoteExecArgument(const std::string& word) {
  std::string quoted = "\"";
  for (char c : word) {
    switch (c) {
      case '\\':
        quoted += "\\\\";
        break;
      case '"':
        quoted += "\\\"";
        break;
      case '%':
        quoted += "%%";
        break;
      case '$':
        quoted += "$$";
        break;
      case '\n':
        quoted += "\\n";
        break;
      default:
        quoted += c;
    }
  }
  return quoted + "\"";
}

std::string UnitFileText(const ServiceDefinition& service) {
  return "[Unit]\n"
         "Description=" +
         DescriptionText(service.displayName) +
         "\n"
         "After=network.target\n"
         "\n"
         "[Service]\n"
         "Type=simple\n"
         "ExecStart=" +
         QuoteExecArgument(service.programPath) +
         " -Service\n"
         "Restart=on-failure\n"
         // Every client connection holds a socket and a thread: up to 4,096
         // connections on each port, plus the parked threads of the thread
         // caches and the program's own. 65536 descriptors and 16384 tasks
         // leave room for three ports at full load.
         "LimitNOFILE=65536\n"
         "TasksMax=16384\n"
         // Connection threads run at nice -1, one step above normal; this
         // lets the service lower its nice value that far and no further.
         "LimitNICE=-1\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

void InstallService(const ServiceDefinition& service, const std::filesystem::path& unitFolder) {
  const std::string unit = UnitName(service.name);
  const std::filesystem::path file = unitFolder / unit;
  const std::filesystem::path temporary = unitFolder / (unit + ".tmp");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << UnitFileText(service);
    out.close();
    if (!out) throw ServiceError("cannot write " + temporary.string());
  }
  std::error_code error;
  std::filesystem::rename(temporary, file, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    throw ServiceError("cannot write " + file.string());
  }
  RunOrThrow({"daemon-reload"}, "systemctl daemon-reload");
  RunOrThrow({"enable", "--", unit}, "systemctl enable " + unit);
}

void RemoveService(const std::string& name, const std::filesystem::path& unitFolder) {
  const std::string unit = UnitName(name);
  const std::filesystem::path file = unitFolder / unit;
  std::error_code error;
  if (!std::filesystem::exists(file, error)) return;
  RunOrThrow({"disable", "--", unit}, "systemctl disable " + unit);
  if (!std::filesystem::remove(file, error) && error) {
    throw ServiceError("cannot delete " + file.string() + ": " + error.message());
  }
  RunOrThrow({"daemon-reload"}, "systemctl daemon-reload");
}

}  // namespace quor::service
