#include "host/ServerHost.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/ServerVersion.h"
#include "console/PrivateEngine.h"
#include "console/uMainServer.h"
#include "host/ApplicationShell.h"
#include "host/ComServer.h"
#include "host/CommandLine.h"
#include "host/DescriptorLimit.h"
#include "host/ProgramLocation.h"
#include "host/SmsServiceHost.h"
#include "host/SocketTransportHost.h"
#include "host/StartupNames.h"
#include "host/SynchroHost.h"
#include "mobile/uDataLocalServer.h"
#include "platform/lock/NamedMutex.h"
#include "platform/service/ServiceRegistration.h"
#include "platform/service/ServiceStatus.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::host {
namespace {

namespace fs = std::filesystem;

void Log(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

// The bare icon file name, looked up in the current folder as it always was.
std::optional<fs::path> IconFileFor(const std::string& fileName) {
  fs::path icon = fs::path(fileName).replace_extension(".ico");
  std::error_code error;
  if (fs::is_regular_file(icon, error)) return icon;
  return std::nullopt;
}

// Every start registers the classes again, so a moved program still serves
// them; without rights to the registry file the server runs all the same.
void RegisterComClassesQuietly(const std::string& programPath) {
  try {
    UpdateComRegistration(true, programPath);
  } catch (const std::exception& error) {
    Log("COM class registration skipped: " + std::string(error.what()));
  }
}

int RegisterServerAndExit(const CommandLine& commandLine, const std::string& programPath) {
  try {
    UpdateComRegistration(!commandLine.unregServer, programPath);
    return 0;
  } catch (const std::exception& error) {
    Log(std::string(commandLine.unregServer ? "-UnregServer" : "-RegServer") +
        " failed: " + error.what());
    return kExitFailure;
  }
}

// The console's service menu command, offered on the command line too, since a
// Linux machine is often run without a desktop.
int UpdateServiceAndExit(const CommandLine& commandLine, const std::string& programPath) {
  try {
    if (commandLine.removeService) {
      service::RemoveService(ServiceName());
      Log("removed the service " + service::UnitName(ServiceName()));
    } else {
      service::InstallService({ServiceName(), ProductTitle(), programPath});
      Log("installed and enabled the service " + service::UnitName(ServiceName()));
    }
    return 0;
  } catch (const std::exception& error) {
    Log(std::string(commandLine.removeService ? "--remove-service" : "--install-service") +
        " failed: " + error.what());
    return kExitFailure;
  }
}

// The console window reads the command timeout of new modules and the policy
// switches while it is created, before any client can connect.
void LogRunTimeSettings() {
  Log("run-time settings loaded: command timeout " + std::to_string(CommandTimeoutSeconds()) +
      " s, one login per user " + (UserLoginIdentic() ? "on" : "off"));
}

console::MainFormEnvironment ConsoleEnvironment(console::TSocketForm* socketForm) {
  console::MainFormEnvironment environment;
  environment.socketForm = socketForm;
  const std::string programPath = Startup().programPath;
  environment.installService = [programPath] {
    service::InstallService({ServiceName(), ProductTitle(), programPath});
  };
  environment.removeService = [] { service::RemoveService(ServiceName()); };
  console::AddWebPublishingTools(environment, std::make_shared<console::WebPublishing>());
  // The console's creation arms the scheduled power-off through these tools
  // when AutoShutDown is "True", in both run modes.
  console::AddAutoShutDownTools(environment);
  return environment;
}

// The hooks of the engine tools' phone settings dialog: its synchronisation
// switches and manual run go to the synchroniser, its account set to the
// phone back end.
console::EngineToolsHooks EngineHooks(SynchroHost& synchro,
                                      mobile::TDataLocalServer& mobileServer) {
  console::EngineToolsHooks hooks;
  hooks.synchro = synchro.DialogHooks();
  hooks.useMobileDataBase = [&mobileServer](const std::string& database) {
    mobileServer.SetMobileDatabase(database);
    return mobileServer.MobileDatabaseConnected();
  };
  return hooks;
}

// The engine buttons follow the engine while the window lives; the listener
// is dropped before the window goes, since the window's end stops the engine.
class EngineButtonsBinding {
 public:
  EngineButtonsBinding(console::EngineTools& tools, console::TfrmMainForm& mainForm)
      : tools_(tools) {
    tools_.Engine().SetStateListener([&mainForm] { mainForm.UpdateEngineButtons(); });
  }
  ~EngineButtonsBinding() { tools_.Engine().SetStateListener({}); }
  EngineButtonsBinding(const EngineButtonsBinding&) = delete;
  EngineButtonsBinding& operator=(const EngineButtonsBinding&) = delete;

 private:
  console::EngineTools& tools_;
};

// Without a notification area a hidden window could never be reached again,
// so on such a desktop the console shows itself at start.
void ShowConsoleWhereNoTray(console::TfrmMainForm& mainForm, bool headless) {
  if (!headless && !mainForm.HasTrayIcon()) mainForm.show();
}

std::string StartLine(const char* mode) {
  return ProductTitle() + " [" + Vocation() + "] " + kServerVersion + " running in " + mode +
         " mode, pid " + std::to_string(::getpid());
}

int RunEventLoop(ApplicationShell& shell) {
  int status = shell.Run();
  if (int number = shell.ReceivedSignal()) {
    Log(ProductTitle() + " stopped by " + (number == SIGTERM ? "SIGTERM" : "SIGINT"));
  }
  return status;
}

int RunServiceMode(int& argc, char** argv, const std::optional<fs::path>& iconFile) {
  // systemd starts the unit's process the way the service control manager
  // did: only the process that systemd launched for an installed unit that is
  // not running elsewhere carries on; anything else ends here without a word.
  const std::optional<service::UnitState> unit = service::QueryUnit(ServiceName());
  if (service::StatusOf(unit, ::getpid()) != 0 || !service::IsUnitMainProcess(unit, ::getpid())) {
    return 0;
  }

  ApplicationShell shell(argc, argv, /*headless=*/true, iconFile);
  RegisterComClassesQuietly(Startup().programPath);
  // systemd's start of the unit is the service's start, which opens the
  // ports; the stop (SIGTERM) ends the loop and the ports close as the
  // process ends.
  SocketTransportHost sockets;
  console::TSocketForm socketForm(sockets.Ports(), sockets.ConnectionRows());
  console::TSocketService socketService(ServiceName(), ProductTitle(), socketForm);
  mobile::TDataLocalServer mobileServer;
  SmsServiceHost smsService;
  SynchroHost synchro;
  console::EngineTools engineTools(EngineHooks(synchro, mobileServer));
  console::MainFormEnvironment environment = ConsoleEnvironment(&socketForm);
  synchro.AddTo(environment);
  engineTools.AddTo(environment);
  console::TfrmMainForm mainForm(std::move(environment));
  EngineButtonsBinding engineButtons(engineTools, mainForm);
  LogRunTimeSettings();
  // Only now may a client connect: its module takes the command timeout and
  // its login the one-login rule from the settings just loaded. The window
  // opens the ports on its thread once the loop runs; the start line follows.
  socketService.Start();
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [] { Log(StartLine("service")); }, Qt::QueuedConnection);
  const int status = RunEventLoop(shell);
  socketService.Stop();
  return status;
}

int RunDesktopMode(int& argc, char** argv, const std::string& fileName,
                   const std::optional<fs::path>& iconFile) {
  // Held until the process ends; the console window takes it over once it
  // exists and gives it up when it is destroyed.
  lock::NamedMutex instance(DesktopMutexName(fileName));
  if (instance.AlreadyExisted()) {
    ApplicationShell shell(argc, argv, !HasDisplay(), iconFile);
    ui::ActiveMessageBoxes()->Show("你已经启动了服务程序,不能在同一台机器上再次启动本程序。",
                                   "瓦拓网络服务器", ui::MessageIcon::Warning);
    return kExitAlreadyRunning;
  }

  const bool headless = !HasDisplay();
  ApplicationShell shell(argc, argv, headless, iconFile);
  RegisterComClassesQuietly(Startup().programPath);
  // Declared before the console window, which refers to the socket window,
  // so they go after it; they are made after it, in start-up order.
  std::optional<SocketTransportHost> sockets;
  std::optional<console::TSocketForm> socketForm;
  std::optional<lock::NamedMutex> socketServer;
  mobile::TDataLocalServer mobileServer;
  SmsServiceHost smsService;
  SynchroHost synchro;
  console::EngineTools engineTools(EngineHooks(synchro, mobileServer));
  console::MainFormEnvironment environment = ConsoleEnvironment(nullptr);
  synchro.AddTo(environment);
  engineTools.AddTo(environment);
  console::TfrmMainForm mainForm(std::move(environment));
  EngineButtonsBinding engineButtons(engineTools, mainForm);
  LogRunTimeSettings();

  if (service::ServiceStatus(ServiceName()) < 1) {
    sockets.emplace();
    socketForm.emplace(sockets->Ports(), sockets->ConnectionRows());
    mainForm.SetSocketForm(&*socketForm);
    socketServer.emplace(lock::kSocketServerMutex);
    // Only the copy that created "SCKTSRVR" listens; another holder (a second
    // server on this machine) keeps the ports.
    if (!socketServer->AlreadyExisted()) {
      socketForm->Initialise(/*fromService=*/false);
    } else {
      Log("socket ports left to the process that holds " + std::string(lock::kSocketServerMutex));
    }
  }
  ShowConsoleWhereNoTray(mainForm, headless);
  Log(StartLine("desktop"));
  return RunEventLoop(shell);
}

}  // namespace

int RunServer(int argc, char* argv[]) {
  // The configuration cache is created on its first use, from any thread. No
  // key may be read before SetStartup below: the file's name comes from the
  // program's name, and a read before that would cache the caller's default.
  const ProgramLocation program = LocateProgram(argc > 0 && argv[0] ? argv[0] : "");
  const std::optional<fs::path> iconFile = IconFileFor(program.fileName);

  std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
  const CommandLine commandLine = ParseCommandLine(arguments);
  std::optional<StartupValues> values = StartupValuesFor(program, commandLine);
  if (!values) return 0;
  SetStartup(*values);

  if (commandLine.help) {
    std::fputs(UsageText(program.fileName).c_str(), stdout);
    return 0;
  }
  if (commandLine.version) {
    std::printf("%s %s %s\n", ProductTitle().c_str(), Vocation().c_str(), kServerVersion);
    return 0;
  }
  if (commandLine.regServer || commandLine.unregServer) {
    return RegisterServerAndExit(commandLine, program.path);
  }
  if (commandLine.installService || commandLine.removeService) {
    return UpdateServiceAndExit(commandLine, program.path);
  }
  // Raised before the ports and modules below take their descriptors.
  if (const std::string failure = DescribeFailure(RaiseDescriptorLimit()); !failure.empty()) {
    Log(failure);
  }
  if (commandLine.service) return RunServiceMode(argc, argv, iconFile);
  return RunDesktopMode(argc, argv, program.fileName, iconFile);
}

}  // namespace quor::host
