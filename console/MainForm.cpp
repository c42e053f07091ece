#include "console/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/MachineAddress.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/ServerVersion.h"
#include "ServerPublic/SqlRoutines.h"
#include "console/InputBox.h"
#include "console/NetworkInfo.h"
#include "console/PrivateEngine.h"
#include "console/SocketForm.h"
#include "console/SqlSettingDialog.h"
#include "console/WebServices.h"
#include "platform/registry/Registry.h"
#include "platform/service/ServiceStatus.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNoMobileDataBase = "______________";
constexpr const char* kQueryToolKey = "SQLQueryTool";
constexpr const char* kQueryToolDefault = "sqlcmd";
constexpr int kMinimumGridRows = 9;
constexpr int kTrayTipLength = 63;
constexpr const char* kMsSqlSettingsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\MSSQLServer\\MSSQLServer";
constexpr const char* kMsSqlServiceKeys[] = {
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\MSSQLSERVER",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\MSSQLSERVER"};

QString FormText(const std::string& text) {
  return QString::fromStdString(text);
}

void ConsoleLog(const std::string& line) {
  std::fprintf(stderr, "console: %s\n", line.c_str());
}

std::string ExitQuestion(bool clientsConnected) {
  return std::string(clientsConnected ? "你当有还有客户端联机，强制退出会使客户端不能工作。"
                                      : "退出服务端后，客户端将不能正确连接。") +
         "\r确定要退出" + ProductTitle() + "吗？";
}

// A label that runs its command when clicked, as the window's address, count
// and backup labels do.
class ClickableLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && onClick) onClick();
    QLabel::mouseReleaseEvent(event);
  }
};

class DoubleClickPanel : public QWidget {
 public:
  using QWidget::QWidget;
  std::function<void()> onDoubleClick;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    if (onDoubleClick) onDoubleClick();
    QWidget::mouseDoubleClickEvent(event);
  }
};

MainFormEnvironment WithDefaults(MainFormEnvironment env) {
  if (!env.sessions) env.sessions = &OnlineSessions();
  if (!env.serviceStatus) env.serviceStatus = service::ServiceStatus;
  if (!env.inputText) {
    env.inputText = [](const std::string& caption, const std::string& prompt,
                       const std::string& text) -> std::optional<std::string> {
      std::string answer = text;
      if (InputBox(2, caption, prompt, answer) != 1) return std::nullopt;
      return answer;
    };
  }
  if (!env.pickFolder) {
    env.pickFolder = [](const std::string& title,
                        const std::string& start) -> std::optional<std::string> {
      const QString folder =
          QFileDialog::getExistingDirectory(nullptr, FormText(title), FormText(start));
      if (folder.isEmpty()) return std::nullopt;
      return folder.toStdString();
    };
  }
  if (!env.openFolder) {
    env.openFolder = [](const std::string& folder) {
      return QDesktopServices::openUrl(QUrl::fromLocalFile(FormText(folder)));
    };
  }
  if (!env.startProgram) {
    env.startProgram = [](const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& folder) {
      QStringList list;
      for (const std::string& argument : arguments) list << FormText(argument);
      return QProcess::startDetached(FormText(program), list, FormText(folder));
    };
  }
  if (!env.runModal)
    env.runModal = [](QWidget& window) {
      auto* dialog = qobject_cast<QDialog*>(&window);
      return dialog ? dialog->exec() : 0;
    };
  if (!env.controlService) env.controlService = ControlSystemService;
  if (!env.quit) env.quit = [] { QCoreApplication::quit(); };
  if (!env.trayAvailable)
    env.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  return env;
}

}  // namespace

std::string VersionLabelText() {
  return std::string("版本号：") + kServerVersion;
}

std::string NetworkInfoText(const std::string& computerName, const std::string& address,
                            const std::string& workgroup) {
  return "本机计算机的机器名：" + computerName + "\n本机计算机的IP地址：" + address +
         "\n本机计算机的工作组：" + workgroup;
}

TfrmMainForm::TfrmMainForm(MainFormEnvironment environment, QWidget* parent)
    : QMainWindow(parent), env_(WithDefaults(std::move(environment))) {
  setObjectName("frmMainForm");
  // The console lives in the notification area: closing its windows, the
  // last visible one included, never ends the server.
  QApplication::setQuitOnLastWindowClosed(false);
  BuildWidgets();
  BuildMenus();
  // 1. The stop button waits for a start.
  findChild<QToolButton*>("sbStopSQL")->setEnabled(false);
  // 2.
  QApplication::setApplicationDisplayName(QString());
  QApplication::setApplicationName(FormText(ProductTitle()));
  setWindowTitle(FormText(ProductTitle()));
  labelTitle_->setText(FormText(ProductTitle()));
  // 3. What every remote data module created from now on uses.
  SetCommandTimeoutSeconds(ReadConfigInt(configkey::kTimeout, "", configkey::kTimeoutFallback));
  // 4.
  labelLocal_->setText(FormText(MachineAddress()));
  lblVersion_->setText(FormText(VersionLabelText()));
  // 5.
  BuildTray();
  // 7 and 8. Nothing here needs elevating: a settings file that cannot be
  // written is logged and the window's creation goes on.
  ApplyMachineSettings();
  // 9.
  UpdateServiceItem();
  // 10. The scheduled shutdown arms itself when it exists.
  if (IsTrue(ReadConfig(configkey::kAutoShutDown, "False"))) {
    if (const auto arm = env_.tools.find("armAutoShutDown"); arm != env_.tools.end()) arm->second();
  }
  // 11.
  ReadSwitches();
  // 12. The client upgrade folder is refreshed by web publishing when it exists.
  if (UseClientAutoUpdate()) {
    if (const auto refresh = env_.tools.find("refreshAutoUpdate"); refresh != env_.tools.end()) {
      refresh->second();
    }
  }
  // 13.
  const bool engineInstalled = PrivateEngineInstalled();
  pnlMsde_->setVisible(engineInstalled);
  // 14.
  if (MsdeSwitch()) {
    menuBar()->hide();
    menuBar()->setEnabled(false);
    pnlMobile_->setVisible(false);
    pnlBottom_->setVisible(false);
  }
  // 15.
  if (MsdeSwitch() || (engineInstalled && !SqlServerInstalled())) {
    const bool autoStart = IsTrue(ReadConfig(configkey::kAutoStartMiniSql, "True"));
    cbxAutoStartSQL_->setChecked(autoStart);
    autoStartLoaded_ = true;
    SetPrivateEngineMode(autoStart);
    if (autoStart) {
      if (const auto start = env_.tools.find("sbStartSQL"); start != env_.tools.end())
        start->second();
    }
    UpdateEngineButtons();
  }
  // 16.
  lblBackupPath_->setText(FormText(BackupFolder("Backup")));
  ShowMobileDataBase();

  subscription_ = env_.sessions->Subscribe([this] {
    QMetaObject::invokeMethod(
        this, [this] { RefreshOnlineGrid(); }, Qt::QueuedConnection);
  });
  RefreshOnlineGrid();
}

TfrmMainForm::~TfrmMainForm() {
  subscription_ = {};
  if (PrivateEngineMode()) {
    if (const auto stop = env_.tools.find("sbStopSQL"); stop != env_.tools.end()) stop->second();
  }
  // Only a check box that showed the setting is written back: on a machine
  // without the private engine it was never loaded, and writing it would turn
  // the engine's automatic start off for the day it is installed.
  if (autoStartLoaded_) {
    try {
      WriteConfig(configkey::kAutoStartMiniSql, ConfigBool(cbxAutoStartSQL_->isChecked()));
    } catch (const std::exception& error) {
      ConsoleLog(std::string("AutoStartMiniSQL not saved: ") + error.what());
    }
  }
  if (trayIcon_) trayIcon_->hide();
}

void TfrmMainForm::UpdateEngineButtons() {
  const bool on = PrivateEngineMode();
  if (auto* start = findChild<QToolButton*>("sbStartSQL"))
    start->setEnabled(!on && env_.tools.count("sbStartSQL") > 0);
  if (auto* stop = findChild<QToolButton*>("sbStopSQL"))
    stop->setEnabled(on && env_.tools.count("sbStopSQL") > 0);
}

void TfrmMainForm::ShowMobileDataBase() {
  const std::string chosen = ReadConfig(configkey::kMobileDataBase, kNoMobileDataBase);
  edtMobileDB_->setText(FormText(chosen.empty() ? kNoMobileDataBase : chosen));
}

void TfrmMainForm::SetSocketForm(TSocketForm* socketForm) {
  env_.socketForm = socketForm;
  UpdateServiceItem();
}

void TfrmMainForm::BuildWidgets() {
  setFont(QFont(QStringList{"SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"}, 9));
  auto* central = new QWidget(this);
  central->setObjectName("ClientArea");
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* titlePanel = new QWidget(central);
  titlePanel->setObjectName("pnlTitle");
  titlePanel->setFixedHeight(32);
  titlePanel->setAutoFillBackground(true);
  titlePanel->setStyleSheet("background: white;");
  labelTitle_ = new QLabel(titlePanel);
  labelTitle_->setObjectName("LabelTitle");
  labelTitle_->setStyleSheet("color: blue; font-weight: bold; font-size: 20px;");
  auto* titleRow = new QHBoxLayout(titlePanel);
  titleRow->setContentsMargins(8, 0, 8, 0);
  titleRow->addWidget(labelTitle_);
  layout->addWidget(titlePanel);

  auto* mobile = new DoubleClickPanel(central);
  mobile->onDoubleClick = [this] {
    if (const auto build = env_.tools.find("pnlMobile"); build != env_.tools.end()) build->second();
  };
  pnlMobile_ = mobile;
  pnlMobile_->setObjectName("pnlMobile");
  pnlMobile_->setFixedHeight(26);
  auto* mobileRow = new QHBoxLayout(pnlMobile_);
  mobileRow->setContentsMargins(6, 0, 6, 0);
  mobileRow->addWidget(new QLabel("手机版使用账套：", pnlMobile_));
  auto* selectMobile = new QToolButton(pnlMobile_);
  selectMobile->setObjectName("sbSelMobileDB");
  selectMobile->setAutoRaise(true);
  selectMobile->setText("...");
  mobileRow->addWidget(selectMobile);
  auto* mobileLabel = new ClickableLabel(pnlMobile_);
  edtMobileDB_ = mobileLabel;
  edtMobileDB_->setObjectName("edtMobileDB");
  mobileRow->addWidget(edtMobileDB_, 1);
  const auto selectMobileDb = [this] {
    if (const auto select = env_.tools.find("sbSelMobileDB"); select != env_.tools.end()) {
      select->second();
      ShowMobileDataBase();
    }
  };
  selectMobile->setEnabled(env_.tools.count("sbSelMobileDB") > 0);
  connect(selectMobile, &QToolButton::clicked, this, selectMobileDb);
  mobileLabel->onClick = selectMobileDb;
  layout->addWidget(pnlMobile_);

  pnlMsde_ = new QWidget(central);
  pnlMsde_->setObjectName("pnlMsde");
  pnlMsde_->setFixedHeight(27);
  auto* msdeRow = new QHBoxLayout(pnlMsde_);
  msdeRow->setContentsMargins(6, 0, 6, 0);
  for (const char* name : {"sbStartSQL", "sbStopSQL"}) {
    auto* button = new QToolButton(pnlMsde_);
    button->setObjectName(name);
    button->setText(name == std::string("sbStartSQL") ? "启动" : "停止");
    button->setToolTip("没有安装SQL时才能使用");
    const auto tool = env_.tools.find(name);
    button->setEnabled(tool != env_.tools.end());
    if (tool != env_.tools.end()) {
      connect(button, &QToolButton::clicked, this, [this, run = tool->second] {
        run();
        UpdateEngineButtons();
      });
    }
    msdeRow->addWidget(button);
  }
  cbxAutoStartSQL_ = new QCheckBox("自动启动集成(MSDE)(只限未安装SQL的电脑)", pnlMsde_);
  cbxAutoStartSQL_->setObjectName("cbxAutoStartSQL");
  msdeRow->addWidget(cbxAutoStartSQL_, 1);
  auto* engineSettings = new QPushButton("数据库配置", pnlMsde_);
  engineSettings->setObjectName("btnSqlSetting");
  connect(engineSettings, &QPushButton::clicked, this, [this] { ShowSqlSettings(); });
  msdeRow->addWidget(engineSettings);
  layout->addWidget(pnlMsde_);

  grid_ = new QTableWidget(kMinimumGridRows, 6, central);
  grid_->setObjectName("OnlineUserGrid");
  grid_->setHorizontalHeaderLabels({"", "机器名", "机器IP", "用户名", "数据库", "登陆时间"});
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(16);
  grid_->verticalHeader()->setMinimumSectionSize(16);
  grid_->setColumnWidth(0, 12);
  grid_->setColumnWidth(1, 84);
  grid_->setColumnWidth(2, 92);
  grid_->setColumnWidth(3, 64);
  grid_->setColumnWidth(4, 84);
  grid_->horizontalHeader()->setStretchLastSection(true);
  grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  layout->addWidget(grid_, 1);

  auto* netPanel = new QWidget(central);
  netPanel->setObjectName("pnlNetInfo");
  netPanel->setFixedHeight(26);
  auto* netRow = new QHBoxLayout(netPanel);
  netRow->setContentsMargins(6, 0, 6, 0);
  netRow->addWidget(new QLabel("本机IP：", netPanel));
  auto* local = new ClickableLabel(netPanel);
  local->onClick = [this] { ShowNetworkInfo(); };
  labelLocal_ = local;
  labelLocal_->setObjectName("LabelLocal");
  netRow->addWidget(labelLocal_, 1);
  netRow->addWidget(new QLabel("连接数：", netPanel));
  auto* count = new ClickableLabel(netPanel);
  count->onClick = [this] {
    if (socketUsersItem_->isEnabled()) ShowSocketForm();
  };
  lblGridCount_ = count;
  lblGridCount_->setObjectName("lblGridCount");
  netRow->addWidget(lblGridCount_);
  layout->addWidget(netPanel);

  pnlBottom_ = new QWidget(central);
  pnlBottom_->setObjectName("pnlBottom");
  pnlBottom_->setFixedHeight(20);
  auto* bottomRow = new QHBoxLayout(pnlBottom_);
  bottomRow->setContentsMargins(6, 0, 6, 0);
  lblVersion_ = new QLabel(pnlBottom_);
  lblVersion_->setObjectName("lblVersion");
  bottomRow->addWidget(lblVersion_);
  layout->addWidget(pnlBottom_);

  auto* backupPanel = new QWidget(central);
  backupPanel->setObjectName("pnlBackupDir");
  backupPanel->setFixedHeight(26);
  auto* backupRow = new QHBoxLayout(backupPanel);
  backupRow->setContentsMargins(6, 0, 6, 0);
  backupRow->addWidget(new QLabel("备份路径：", backupPanel));
  auto* setBackup = new QToolButton(backupPanel);
  setBackup->setObjectName("sbSetBackupDir");
  setBackup->setText("...");
  connect(setBackup, &QToolButton::clicked, this, [this] { ChooseBackupFolder(); });
  backupRow->addWidget(setBackup);
  auto* backupLabel = new ClickableLabel(backupPanel);
  backupLabel->onClick = [this] { OpenBackupFolder(); };
  lblBackupPath_ = backupLabel;
  lblBackupPath_->setObjectName("lblBakcupPath");
  backupRow->addWidget(lblBackupPath_, 1);
  layout->addWidget(backupPanel);

  setCentralWidget(central);
  setFixedSize(444, 350 + menuBar()->sizeHint().height());
}

void TfrmMainForm::BuildTray() {
  if (!env_.trayAvailable()) {
    ConsoleLog("no notification area on this desktop; the window stays reachable from the program");
    return;
  }
  trayIcon_ = new QSystemTrayIcon(QApplication::windowIcon(), this);
  trayIcon_->setObjectName("TrayIcon");
  trayIcon_->setToolTip(windowTitle().left(kTrayTipLength));
  connect(trayIcon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick) TrayDoubleClicked();
            if (reason == QSystemTrayIcon::Context) TrayContextRequested();
          });
  trayIcon_->show();
}

void TfrmMainForm::ApplyMachineSettings() {
  try {
    registry::Registry store;
    store.WriteInteger(kMsSqlSettingsKey, "LoginMode", 0);
    store.WriteInteger(kMsSqlSettingsKey, "AuditLevel", 0);
    for (const char* key : kMsSqlServiceKeys) store.WriteInteger(key, "Start", 2);
  } catch (const std::exception& error) {
    ConsoleLog(std::string("SQL Server machine settings not written: ") + error.what());
  }
}

int TfrmMainForm::ServiceStatusNow() const {
  return env_.serviceStatus(ServiceName());
}

void TfrmMainForm::UpdateServiceItem() {
  const int status = ServiceStatusNow();
  serviceItem_->setText(status < 0 ? " 注册自启动服务" : " 删除已注册服务");
  socketUsersItem_->setEnabled(status != 1 && env_.socketForm != nullptr);
}

void TfrmMainForm::BindSwitch(QAction* action, const char* key, std::function<void(bool)> set) {
  action->setCheckable(true);
  action->setProperty("configKey", key);
  const std::string keyName = key;
  connect(action, &QAction::triggered, this, [this, action, keyName, set](bool on) {
    if (keyName == configkey::kUseClientAutoUpdate) {
      // Either way the upgrade folder is refreshed and published again before
      // the key is written; a failure leaves the switch off.
      if (!env_.publishAutoUpdate || !env_.publishAutoUpdate()) {
        ui::ActiveMessageBoxes()->Show("配置IIS服务器虚拟目录失败，不能使用自动升级功能！", "提示",
                                       ui::MessageIcon::None);
        action->setChecked(false);
        on = false;
      }
    }
    try {
      WriteConfig(keyName, ConfigBool(on));
    } catch (const std::exception& error) {
      // The switch stays as it was, so the file and the server agree.
      action->setChecked(!on);
      ui::ActiveMessageBoxes()->Show(std::string("设置没有保存: ") + error.what(), "错误",
                                     ui::MessageIcon::Error);
      return;
    }
    set(on);
    if (keyName == configkey::kUseClientAutoSynchro) {
      if (const auto timer = env_.tools.find("synchroTimer"); timer != env_.tools.end()) {
        timer->second();
      }
    }
  });
}

void TfrmMainForm::BindTool(QAction* action) {
  const auto tool = env_.tools.find(action->objectName().toStdString());
  if (tool == env_.tools.end()) {
    action->setEnabled(false);
    action->setStatusTip("not available in this build");
    return;
  }
  connect(action, &QAction::triggered, this, tool->second);
}

void TfrmMainForm::ReadSwitches() {
  struct Switch {
    const char* item;
    bool on;
  };
  LoadConsoleSwitches();
  for (const Switch& item : {Switch{"miUserLoginIdentic", UserLoginIdentic()},
                             Switch{"miUseMobileDataBase", UseMobileDataBase()},
                             Switch{"miUsePhoneToDataBase", UsePhoneToDataBase()},
                             Switch{"miUseClientAutoUpdate", UseClientAutoUpdate()},
                             Switch{"miUseClientAutoSynchro", UseClientAutoSynchro()}}) {
    findChild<QAction*>(item.item)->setChecked(item.on);
  }
}

void TfrmMainForm::RefreshOnlineGrid() {
  const std::vector<OnlineSession> sessions = env_.sessions->Snapshot();
  grid_->clearContents();
  grid_->setRowCount(std::max<int>(kMinimumGridRows, static_cast<int>(sessions.size())));
  int row = 0;
  for (const OnlineSession& session : sessions) {
    const std::string cells[] = {session.computerName, session.computerAddr, session.loginUserName,
                                 session.dataBase, ActiveTimeText(session)};
    for (int column = 0; column < 5; ++column) {
      grid_->setItem(row, column + 1, new QTableWidgetItem(FormText(cells[column])));
    }
    ++row;
  }
  lblGridCount_->setText(QString::number(sessions.size()));
}

void TfrmMainForm::ExitProgram() {
  if (env_.socketForm) {
    const bool clients = env_.socketForm->ConnectionCount() > 0;
    if (ui::ActiveMessageBoxes()->Ask(ExitQuestion(clients), "提示", ui::MessageButtons::OkCancel,
                                      ui::MessageIcon::Warning) != ui::MessageAnswer::Ok) {
      return;
    }
  }
  env_.quit();
}

void TfrmMainForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

void TfrmMainForm::TrayDoubleClicked() {
  if (isHidden()) show();
  raise();
  activateWindow();
}

void TfrmMainForm::TrayContextRequested() {
  if (isHidden()) {
    trayMenu_->popup(QCursor::pos());
  } else {
    raise();
    activateWindow();
  }
}

void TfrmMainForm::EditConnectTimeout() {
  const std::optional<std::string> text = env_.inputText(
      "输入窗口", "请输入SQLServer连接超时时限（秒）！", std::to_string(CommandTimeoutSeconds()));
  if (!text) return;
  std::size_t used = 0;
  long long seconds = -1;
  try {
    seconds = std::stoll(*text, &used);
  } catch (const std::exception&) {
    return;
  }
  if (used != text->size() || seconds < 0 || seconds > 0x7fffffff) return;
  try {
    WriteConfig(configkey::kTimeout, std::to_string(seconds));
  } catch (const std::exception& error) {
    ui::ActiveMessageBoxes()->Show(std::string("设置没有保存: ") + error.what(), "错误",
                                   ui::MessageIcon::Error);
    return;
  }
  SetCommandTimeoutSeconds(static_cast<int>(seconds));
}

void TfrmMainForm::ToggleServiceRegistration() {
  const bool install = ServiceStatusNow() < 0;
  try {
    if (install) {
      env_.installService();
      ui::ActiveMessageBoxes()->Show("已成功注册NT服务，系统启动时会自动运行网络服务器。", "提示",
                                     ui::MessageIcon::Information);
    } else {
      env_.removeService();
      ui::ActiveMessageBoxes()->Show("已成功删除已注册的NT服务，必需重新启动计算机才能生效。",
                                     "提示", ui::MessageIcon::Information);
    }
  } catch (const std::exception& error) {
    // What systemd answered, instead of a success that did not happen.
    ui::ActiveMessageBoxes()->Show(
        std::string(install ? "注册NT服务失败: " : "删除NT服务失败: ") + error.what(), "错误",
        ui::MessageIcon::Error);
  }
  UpdateServiceItem();
}

void TfrmMainForm::ChooseBackupFolder() {
  const std::optional<std::string> folder =
      env_.pickFolder("选择[备份文件]保存路径", lblBackupPath_->text().toStdString());
  if (!folder) return;
  try {
    WriteConfig(configkey::kDataBackupPath, *folder);
  } catch (const std::exception& error) {
    ui::ActiveMessageBoxes()->Show(std::string("设置没有保存: ") + error.what(), "错误",
                                   ui::MessageIcon::Error);
    return;
  }
  lblBackupPath_->setText(FormText(*folder));
}

void TfrmMainForm::OpenBackupFolder() {
  const std::string folder = lblBackupPath_->text().toStdString();
  std::error_code error;
  fs::create_directories(folder, error);
  if (error || !env_.openFolder(folder)) {
    ui::ActiveMessageBoxes()->Show("打开备份目录出错，网络版请在服务器上执行该操作。", "错误",
                                   ui::MessageIcon::Error);
  }
}

void TfrmMainForm::ShowNetworkInfo() {
  ui::ActiveMessageBoxes()->Show(NetworkInfoText(ComputerName(), MachineAddress(), Workgroup()),
                                 "本机网络信息", ui::MessageIcon::Information);
}

namespace {

// The units that did not get there, for a message that says so instead of a
// success that did not happen.
std::string FailedUnitsText(const std::vector<std::string>& failed) {
  std::string text;
  for (const std::string& unit : failed) text += (text.empty() ? "" : ", ") + unit;
  return text;
}

}  // namespace

void TfrmMainForm::RestartWebServices() {
  const std::vector<std::string> units = WebServiceUnits();
  std::vector<std::string> failed;
  for (const std::string& unit : units) {
    if (!env_.controlService(unit, false)) failed.push_back(unit);
  }
  for (auto unit = units.rbegin(); unit != units.rend(); ++unit) {
    if (!env_.controlService(*unit, true) &&
        std::find(failed.begin(), failed.end(), *unit) == failed.end()) {
      failed.push_back(*unit);
    }
  }
  if (failed.empty()) {
    ui::ActiveMessageBoxes()->Show("重启WWW服务成功！", "提示", ui::MessageIcon::None);
  } else {
    ui::ActiveMessageBoxes()->Show("重启WWW服务失败：" + FailedUnitsText(failed), "提示",
                                   ui::MessageIcon::Warning);
  }
}

void TfrmMainForm::StopWebServices() {
  std::vector<std::string> failed;
  for (const std::string& unit : WebServiceUnits()) {
    if (!env_.controlService(unit, false)) failed.push_back(unit);
  }
  if (failed.empty()) {
    ui::ActiveMessageBoxes()->Show("停止WWW服务成功！", "提示", ui::MessageIcon::None);
  } else {
    ui::ActiveMessageBoxes()->Show("停止WWW服务失败：" + FailedUnitsText(failed), "提示",
                                   ui::MessageIcon::Warning);
  }
}

void TfrmMainForm::StartQueryTool() {
  const std::string program = ReadConfig(kQueryToolKey, kQueryToolDefault);
  const std::string server = PrivateEngineMode() ? "localhost\\VTSQLSERVER" : "localhost";
  fs::path folder = fs::path(ProgramFolder()) / "SQLTool";
  std::error_code error;
  if (!fs::is_directory(folder, error)) folder = ProgramFolder();
  if (!env_.startProgram(program, {"-E", "-S", server}, folder.string())) {
    ui::ActiveMessageBoxes()->Show("启动SQL查询分析器失败，您可以从开始菜单中手工启动！", "提示",
                                   ui::MessageIcon::None);
  }
}

void TfrmMainForm::ShowSocketForm() {
  if (!env_.socketForm || !socketUsersItem_->isEnabled()) return;
  env_.runModal(*env_.socketForm);
}

void TfrmMainForm::ShowSqlSettings() {
  TfrmSQLSetting dialog({}, this);
  env_.runModal(dialog);
}

}  // namespace quor::console
