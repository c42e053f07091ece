// Pictures of the console for the README: the main window with a few clients
// and phones logged in, and the socket transport window with live loopback
// connections. Run by scripts/console-screenshots.sh under Xvfb, so the
// windows are real X windows drawn with the installed CJK font.
//
//   console_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QPixmap>
#include <QTabWidget>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/Edition.h"
#include "ServerPublic/OnlineSessionTable.h"
#include "ServerPublic/ServerGlobals.h"
#include "console/MainForm.h"
#include "console/SocketForm.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/support/files/TempFolder.h"
#include "tests/transport/TestBed.h"
#include "transport/QtConnectionObserver.h"
#include "transport/SocketPortList.h"

namespace {

namespace fs = std::filesystem;
using namespace quor;

bool Save(QWidget& window, const fs::path& file) {
  window.show();
  console::testing::ProcessEventsUntil([&] { return window.isVisible(); });
  QCoreApplication::processEvents();
  const bool saved = window.grab().save(QString::fromStdString(file.string()), "PNG");
  std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", file.c_str());
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path output = fs::absolute(argv[1]);
  QApplication app(argc, argv);
  testing::TempFolder folder;
  ::setenv("QUOR_REGISTRY_FILE", (folder.Path() / "registry.reg").c_str(), 1);
  std::ofstream(folder.Path() / "QuorServerBZ.dat")
      << "[ServerConfig]\r\nMobileDataBase=BZ_门店总账\r\nUserLoginIdentic=True\r\n"
      << "DataBackupPath=/var/backups/quor\r\n";
  SetConfigFilePath(folder.Path() / "QuorServerBZ.dat");

  const std::optional<Edition> edition = FindEdition("QuorServerBZ.");
  StartupValues values;
  values.vocation = values.startupVocation = edition->vocation;
  values.caption = edition->caption;
  values.productTitle = "瓦拓" + edition->caption;
  values.serviceName = "NT_QuorServerBZ";
  values.programFolder = folder.Path().string() + "/";
  SetStartup(values);

  // Two ports with three desktop clients between them.
  transport::testing::TestBed bed;
  const int first = console::testing::FreeLowPort();
  const int second = console::testing::FreeLowPort();
  for (int port : {first, second}) {
    transport::PortSettings settings;
    settings.port = port;
    transport::SavePortSettings(settings, bed.Store());
  }
  auto rows = std::make_shared<transport::QtConnectionObserver>(QCoreApplication::instance());
  auto context = bed.MakeContext();
  context->observer = rows;
  transport::SocketPortList ports(context, bed.Store());
  console::TSocketForm socketForm(ports, *rows);
  socketForm.Initialise(false);
  std::vector<std::unique_ptr<console::testing::RawClient>> clients;
  for (int port : {first, first, second}) {
    clients.push_back(
        std::make_unique<console::testing::RawClient>(static_cast<std::uint16_t>(port)));
  }
  console::testing::ProcessEventsUntil([&] { return socketForm.ConnectionCount() == 3; });

  OnlineSessionTable table;
  table.RegisterSession("{9C1E}", "BZ_门店总账", "01", "财务室-PC", "192.168.1.21", "王会计",
                        false);
  table.RegisterSession("{4D02}", "BZ_门店总账", "02", "收银台1", "192.168.1.35", "李收银", false);
  table.RegisterSession("Android_13912345678", "BZ_门店总账", "03", "销售-张", "192.168.1.60",
                        "张经理", false);

  console::MainFormEnvironment env;
  env.sessions = &table;
  env.socketForm = &socketForm;
  env.serviceStatus = [](const std::string&) { return -1; };
  env.trayAvailable = [] { return false; };
  console::TfrmMainForm mainForm(env);
  mainForm.RefreshOnlineGrid();

  fs::create_directories(output);
  bool saved = Save(mainForm, output / "console-main.png");
  socketForm.findChild<QTreeWidget*>("ConnectionList")->resizeColumnToContents(3);
  saved = Save(socketForm, output / "console-sockets.png") && saved;
  socketForm.hide();
  mainForm.hide();
  return saved ? 0 : 1;
}
