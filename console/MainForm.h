// The console window: the server's face on the server machine. It lives in
// the notification area, shows the clients that are logged in, the machine's
// address and the number of socket connections, holds the policy switches
// that client threads consult, and carries the menus that open the tools.
// Creating it reads the run-time settings the rest of the server needs, so it
// exists before any port opens.
#pragma once

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ServerPublic/OnlineSessionTable.h"

class QAction;
class QCheckBox;
class QCloseEvent;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTableWidget;
class QWidget;

namespace quor::console {

class TSocketForm;

// What the window reaches outside itself. The defaults are the real things;
// tests put in stand-ins for the person (input box, folder picker, modal
// windows) and for the machine (services, programs).
struct MainFormEnvironment {
  // The socket transport window; null when the server's service serves the clients.
  TSocketForm* socketForm = nullptr;
  OnlineSessionTable* sessions = nullptr;  // null: the process's table
  // ServiceStatus of service name: -1 not installed, 0 stopped, 1 running.
  std::function<int(const std::string&)> serviceStatus;
  // Register and remove the server's service; a failure throws with systemd's answer.
  std::function<void()> installService;
  std::function<void()> removeService;
  // An input box (caption, prompt, text shown); nothing when cancelled.
  std::function<std::optional<std::string>(const std::string&, const std::string&,
                                           const std::string&)>
      inputText;
  // The folder picker (title, starting folder); nothing when cancelled.
  std::function<std::optional<std::string>(const std::string&, const std::string&)> pickFolder;
  // Opens a folder in the desktop's file manager; false when that failed.
  std::function<bool(const std::string&)> openFolder;
  // Starts a program detached (program, arguments, working folder).
  std::function<bool(const std::string&, const std::vector<std::string>&, const std::string&)>
      startProgram;
  // Shows a window modally and returns its result.
  std::function<int(QWidget&)> runModal;
  // Stops or starts one system service and returns when it got there; false
  // when it is missing or refused.
  std::function<bool(const std::string&, bool start)> controlService;
  // Ends the program.
  std::function<void()> quit;
  // Tools of other parts of the console, by the object name of their menu
  // item; an item whose tool is not there is shown disabled.
  std::map<std::string, std::function<void()>> tools;
  // Web publishing's step of the upgrade switch " 客户端自动升级": refreshes
  // and publishes the upgrade folder; false (after its messages) when that
  // failed. Null: the switch cannot be turned on.
  std::function<bool()> publishAutoUpdate;
  // Whether the desktop offers a notification area; null: ask Qt.
  std::function<bool()> trayAvailable;
};

class TfrmMainForm : public QMainWindow {
 public:
  explicit TfrmMainForm(MainFormEnvironment environment, QWidget* parent = nullptr);
  ~TfrmMainForm() override;

  // Start-up makes the socket window after this one (when this program's
  // service is not running) and hands it over here.
  void SetSocketForm(TSocketForm* socketForm);
  // The engine's buttons from PrivateEngineMode: start while it is off, stop
  // while it is on. The engine tools call it when the engine ends by itself.
  void UpdateEngineButtons();

  // Rewrites the grid from the online table; runs on the UI thread. Client
  // threads reach it through the table's change notification.
  void RefreshOnlineGrid();
  // The exit command of the menus: asks when the socket window exists.
  void ExitProgram();
  // The notification icon's messages: a left double click and a right
  // button release.
  void TrayDoubleClicked();
  void TrayContextRequested();
  // The icon menu as it would pop up now ("恢复显示" only while hidden).
  QMenu* TrayMenu() const { return trayMenu_; }
  bool HasTrayIcon() const { return trayIcon_ != nullptr; }

  // The commands of the menu items, as they run them.
  void EditConnectTimeout();
  void ToggleServiceRegistration();
  void ChooseBackupFolder();
  void OpenBackupFolder();
  void ShowNetworkInfo();
  void RestartWebServices();
  void StopWebServices();
  void StartQueryTool();
  void ShowSocketForm();
  void ShowSqlSettings();

 protected:
  // The close box only hides the window; the program goes on in the tray.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWidgets();
  void BuildMenus();
  void BuildTray();
  void ApplyMachineSettings();
  void ReadSwitches();
  void UpdateServiceItem();
  void BindSwitch(QAction* action, const char* key, std::function<void(bool)> set);
  void BindTool(QAction* action);
  QAction* AddItem(QMenu* menu, const char* objectName, const char* text);
  int ServiceStatusNow() const;
  void ShowMobileDataBase();

  MainFormEnvironment env_;
  OnlineSessionTable::Subscription subscription_;

  QLabel* labelTitle_ = nullptr;
  QWidget* pnlMobile_ = nullptr;
  QWidget* pnlMsde_ = nullptr;
  QWidget* pnlBottom_ = nullptr;
  QCheckBox* cbxAutoStartSQL_ = nullptr;
  bool autoStartLoaded_ = false;  // the check box shows AutoStartMiniSQL
  QLabel* edtMobileDB_ = nullptr;
  QTableWidget* grid_ = nullptr;
  QLabel* labelLocal_ = nullptr;
  QLabel* lblGridCount_ = nullptr;
  QLabel* lblVersion_ = nullptr;
  QLabel* lblBackupPath_ = nullptr;
  QAction* serviceItem_ = nullptr;
  QAction* socketUsersItem_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  QAction* restoreItem_ = nullptr;
  QSystemTrayIcon* trayIcon_ = nullptr;
};

// The version the window shows: "版本号：9.33".
std::string VersionLabelText();
// "本机计算机的机器名：...\n本机计算机的IP地址：...\n本机计算机的工作组：..."
std::string NetworkInfoText(const std::string& computerName, const std::string& address,
                            const std::string& workgroup);

}  // namespace quor::console
