// The menus of the console window and of its notification icon, with the
// items this system keeps hidden.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/SqlRoutines.h"
#include "console/MainForm.h"

namespace quor::console {

QAction* TfrmMainForm::AddItem(QMenu* menu, const char* objectName, const char* text) {
  QAction* item = menu->addAction(QString::fromUtf8(text));
  item->setObjectName(objectName);
  return item;
}

void TfrmMainForm::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu");

  QMenu* setting = bar->addMenu("设置(&S)");
  setting->setObjectName("mnuSetting");
  connect(AddItem(setting, "miSqlSetting", "数据库连接参数"), &QAction::triggered, this,
          [this] { ShowSqlSettings(); });
  connect(AddItem(setting, "miConnectTimeout", " 数据库连接时间"), &QAction::triggered, this,
          [this] { EditConnectTimeout(); });
  setting->addSeparator()->setObjectName("sepSetting");
  BindTool(AddItem(setting, "miHiddenDataBase", " 设置隐藏的账套"));
  serviceItem_ = AddItem(setting, "miService", " 注册自启动服务");
  connect(serviceItem_, &QAction::triggered, this, [this] { ToggleServiceRegistration(); });
  BindTool(AddItem(setting, "miAutoShutDown", " 定时关电脑设置"));
  QAction* smsPort = AddItem(setting, "miSmsPort", " 短信猫接口设置");
  BindTool(smsPort);
  smsPort->setVisible(false);
  connect(AddItem(setting, "miBackupDir", " 备份路径设置"), &QAction::triggered, this,
          [this] { ChooseBackupFolder(); });
  QAction* backupSeparator = setting->addSeparator();
  backupSeparator->setObjectName("sepBackupDir");
  backupSeparator->setVisible(false);
  BindSwitch(AddItem(setting, "miUseMobileDataBase", " 服务器选择帐套"),
             configkey::kUseMobileDataBase, SetUseMobileDataBase);
  BindSwitch(AddItem(setting, "miUsePhoneToDataBase", " 手机号匹配帐套"),
             configkey::kUsePhoneToDataBase, SetUsePhoneToDataBase);
  QAction* autoUpdate = AddItem(setting, "miUseClientAutoUpdate", " 客户端自动升级");
  autoUpdate->setToolTip("客户端自动升级，需要安装ISS");
  autoUpdate->setStatusTip(autoUpdate->toolTip());
  BindSwitch(autoUpdate, configkey::kUseClientAutoUpdate, SetUseClientAutoUpdate);
  QAction* autoSynchro = AddItem(setting, "miUseClientAutoSynchro", " 客户端同步手机");
  autoSynchro->setToolTip("客户端同步或服务端同步手机版");
  autoSynchro->setStatusTip(autoSynchro->toolTip());
  BindSwitch(autoSynchro, configkey::kUseClientAutoSynchro, SetUseClientAutoSynchro);
  QAction* synchroSeparator = setting->addSeparator();
  synchroSeparator->setObjectName("sepClientAutoSynchro");
  synchroSeparator->setVisible(false);
  QMenu* sms = setting->addMenu(" 短信猫功能设置");
  sms->setObjectName("mnuSms");
  sms->menuAction()->setObjectName("miSmsFunctions");
  sms->menuAction()->setVisible(false);
  BindTool(AddItem(sms, "miSmsCommands", "互动短信设置"));
  BindTool(AddItem(sms, "miSmsReceived", "接收短信查询"));
  BindTool(AddItem(sms, "miSmsPhones", "手机权限设置"));
  QAction* closeServer = AddItem(setting, "miCloseServer", " 关闭网络服务器");
  closeServer->setVisible(false);
  connect(closeServer, &QAction::triggered, this, [this] { ExitProgram(); });

  QMenu* view = bar->addMenu("查看(&C)");
  view->setObjectName("mnuView");
  socketUsersItem_ = AddItem(view, "miSocketUsers", "网络连接用户");
  connect(socketUsersItem_, &QAction::triggered, this, [this] { ShowSocketForm(); });
  connect(AddItem(view, "miNetInfo", "本机网络信息"), &QAction::triggered, this,
          [this] { ShowNetworkInfo(); });
  BindTool(AddItem(view, "miEngineLog", "MSDE启动日志"));

  QMenu* limit = bar->addMenu("限制(&L)");
  limit->setObjectName("mnuLimit");
  QAction* identic = AddItem(limit, "miUserLoginIdentic", "用户登陆数限制");
  identic->setToolTip("同一用户只能一站点登陆");
  identic->setStatusTip(identic->toolTip());
  BindSwitch(identic, configkey::kUserLoginIdentic, SetUserLoginIdentic);

  QMenu* web = bar->addMenu("WEB版(&W)");
  web->setObjectName("mnuWeb");
  BindTool(AddItem(web, "miWebFiles", "生成 Web文件"));
  BindTool(AddItem(web, "miWebVirtualDir", "配置虚拟目录"));
  web->addSeparator();
  connect(AddItem(web, "miWebRestart", "重启 WEB 服务"), &QAction::triggered, this,
          [this] { RestartWebServices(); });
  connect(AddItem(web, "miWebStop", "停止 WEB 服务"), &QAction::triggered, this,
          [this] { StopWebServices(); });
  BindTool(AddItem(web, "miIisManager", "IIS 服务管理器"));
  web->addSeparator();
  connect(AddItem(web, "miWebTest", "默认WEB网址测试"), &QAction::triggered, this,
          [] { RunDocument("http://localhost/Web/"); });

  QMenu* tools = bar->addMenu("SQL工具(&T)");
  tools->setObjectName("mnuSqlTool");
  connect(AddItem(tools, "miQueryAnalyzer", "SQL 查询分析器"), &QAction::triggered, this,
          [this] { StartQueryTool(); });
  tools->addSeparator();
  BindTool(AddItem(tools, "miRepairDataBase", "修复数据库错误"));

  QAction* exit = bar->addAction("退出(&X)");
  exit->setObjectName("miExit");
  connect(exit, &QAction::triggered, this, [this] { ExitProgram(); });

  trayMenu_ = new QMenu(this);
  trayMenu_->setObjectName("TrayMenu");
  restoreItem_ = AddItem(trayMenu_, "miRestore", "恢复显示");
  connect(restoreItem_, &QAction::triggered, this, [this] {
    show();
    raise();
    activateWindow();
  });
  connect(AddItem(trayMenu_, "miTraySqlSetting", "连接参数"), &QAction::triggered, this,
          [this] { ShowSqlSettings(); });
  trayMenu_->addSeparator();
  connect(AddItem(trayMenu_, "miTrayExit", "退出(&X)"), &QAction::triggered, this,
          [this] { ExitProgram(); });
  connect(trayMenu_, &QMenu::aboutToShow, this, [this] { restoreItem_->setVisible(isHidden()); });
}

}  // namespace quor::console
