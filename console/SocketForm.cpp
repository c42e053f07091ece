#include "console/SocketForm.h"

#include <QAction>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <chrono>
#include <cstdio>
#include <exception>

#include "ServerPublic/ServerGlobals.h"
#include "console/ConnectionHostName.h"
#include "console/IntegerField.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

constexpr int kPortColumn = 0;
constexpr int kAddressColumn = 1;
constexpr int kHostColumn = 2;
constexpr int kTimeColumn = 3;
constexpr int kConnectionIdRole = Qt::UserRole;
constexpr int kAddressRole = Qt::UserRole + 1;

constexpr int kMaxPortNumber = 32767;
constexpr int kMaxThreadCacheSize = 1000;
constexpr int kMaxTimeoutField = 32767;
// A port added by the person starts small: a few parked threads, no idle limit.
constexpr int kAddedThreadCacheSize = 10;
constexpr int kAddedTimeout = 0;

QString SocketText(const std::string& text) {
  return QString::fromStdString(text);
}

void ShowError(const std::string& text) {
  ui::ActiveMessageBoxes()->Show(text, ProductTitle(), ui::MessageIcon::Error);
}

// Rows sort by the clicked column as text without regard to case, in the
// system's collation.
class ConnectionItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    return QString::localeAwareCompare(text(column).toLower(), other.text(column).toLower()) < 0;
  }
};

}  // namespace

// Connection rows reach the window through the transport's notifications; the
// transport holds this receiver weakly, and the window cuts it off when it goes.
class TSocketForm::RowReceiver : public transport::ConnectionObserver {
 public:
  explicit RowReceiver(TSocketForm* form) : form_(form) {}
  void Detach() { form_ = nullptr; }
  void AddConnectionRow(const transport::ConnectionRow& row) override {
    if (form_) form_->AddConnectionRow(row);
  }
  void RemoveConnectionRow(const transport::ConnectionRow& row) override {
    if (form_) form_->RemoveConnectionRow(row);
  }

 private:
  TSocketForm* form_;
};

TSocketForm::TSocketForm(transport::SocketPortList& ports, transport::QtConnectionObserver& rows,
                         QWidget* parent)
    : QDialog(parent), ports_(ports), rows_(rows), receiver_(std::make_shared<RowReceiver>(this)) {
  setObjectName("SocketForm");
  setWindowTitle(kSocketFormCaption);
  BuildWidgets();
  rows_.Subscribe(receiver_);
  UpdateActions();
  UpdateStatusLine();
}

TSocketForm::~TSocketForm() {
  receiver_->Detach();
  rows_.Unsubscribe(receiver_);
}

void TSocketForm::BuildWidgets() {
  auto* menuBar = new QMenuBar(this);
  menuBar->setObjectName("MainMenu");
  QMenu* portMenu = menuBar->addMenu("端口(&P)");
  portMenu->setObjectName("PortMenu");
  addPortAction_ = portMenu->addAction("增加(&A)");
  addPortAction_->setObjectName("AddPortAction");
  removePortAction_ = portMenu->addAction("删除(&R)");
  removePortAction_->setObjectName("RemovePortAction");
  QMenu* connectionMenu = menuBar->addMenu("连接(&C)");
  connectionMenu->setObjectName("ConnectionsMenu");
  showHostAction_ = connectionMenu->addAction("显示连接的计算机(&S)");
  showHostAction_->setObjectName("ShowHostAction");
  showHostAction_->setCheckable(true);
  registeredAction_ = connectionMenu->addAction("已注册的对象连接(&R)");
  registeredAction_->setObjectName("RegisteredAction");
  registeredAction_->setCheckable(true);
  registeredAction_->setChecked(true);
  connectionMenu->addSeparator();
  disconnectAction_ = connectionMenu->addAction("断开选中连接(&D)");
  disconnectAction_->setObjectName("DisconnectAction");
  exitAction_ = menuBar->addAction("退出(&E)");
  exitAction_->setObjectName("ExitAction");

  applyAction_ = new QAction("应用(&A)", this);
  applyAction_->setObjectName("ApplyAction");

  portList_ = new QListWidget(this);
  portList_->setObjectName("PortList");
  portList_->setMaximumWidth(90);
  auto* portHeader = new QLabel("端口", this);
  portHeader->setObjectName("PortHeader");
  auto* left = new QVBoxLayout;
  left->addWidget(portHeader);
  left->addWidget(portList_);

  pages_ = new QTabWidget(this);
  pages_->setObjectName("Pages");
  auto* usersPage = new QWidget(pages_);
  usersPage->setObjectName("UsersPage");
  connectionList_ = new QTreeWidget(usersPage);
  connectionList_->setObjectName("ConnectionList");
  connectionList_->setColumnCount(4);
  connectionList_->setHeaderLabels({"端口", "IP 地址", "连接计算机", "登录时间"});
  connectionList_->setRootIsDecorated(false);
  connectionList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  connectionList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  connectionList_->setSortingEnabled(true);
  connectionList_->sortByColumn(kPortColumn, Qt::AscendingOrder);
  statusLine_ = new QLabel(usersPage);
  statusLine_->setObjectName("StatusLine");
  auto* usersLayout = new QVBoxLayout(usersPage);
  usersLayout->addWidget(connectionList_);
  usersLayout->addWidget(statusLine_);
  pages_->addTab(usersPage, "连接用户");

  auto* propertiesPage = new QWidget(pages_);
  propertiesPage->setObjectName("PropPage");
  auto* form = new QFormLayout(propertiesPage);
  portNo_ = new QLineEdit(propertiesPage);
  portNo_->setObjectName("PortNo");
  threadSize_ = new QLineEdit(propertiesPage);
  threadSize_->setObjectName("ThreadSize");
  timeout_ = new QLineEdit(propertiesPage);
  timeout_->setObjectName("Timeout");
  interceptGuid_ = new QLineEdit(propertiesPage);
  interceptGuid_->setObjectName("InterceptGUID");
  form->addRow("侦听的端口：", portNo_);
  form->addRow("线程缓冲区大小：", threadSize_);
  form->addRow("未活动连接超时：", timeout_);
  form->addRow("&GUID：", interceptGuid_);
  applyButton_ = new QPushButton(applyAction_->text(), propertiesPage);
  applyButton_->setObjectName("ApplyButton");
  form->addRow(QString(), applyButton_);
  pages_->addTab(propertiesPage, "特性选择");

  auto* body = new QHBoxLayout;
  body->addLayout(left);
  body->addWidget(pages_, 1);
  auto* outer = new QVBoxLayout(this);
  outer->setMenuBar(menuBar);
  outer->addLayout(body);
  resize(560, 330);

  for (QLineEdit* field : {portNo_, threadSize_, timeout_, interceptGuid_}) {
    field->setEnabled(false);
    connect(field, &QLineEdit::textEdited, this, [this] { SetFieldsChanged(true); });
  }
  for (QLineEdit* field : {portNo_, threadSize_, timeout_}) {
    connect(field, &QLineEdit::editingFinished, this, [this] {
      if (isVisible()) CheckPortField();
    });
  }
  connect(portList_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) SelectPort(row);
  });
  connect(connectionList_, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateActions(); });
  connect(applyAction_, &QAction::triggered, this, [this] { ApplySettings(); });
  connect(applyButton_, &QPushButton::clicked, applyAction_, &QAction::trigger);
  connect(addPortAction_, &QAction::triggered, this, [this] { AddPort(); });
  connect(removePortAction_, &QAction::triggered, this, [this] { RemovePort(); });
  connect(disconnectAction_, &QAction::triggered, this, [this] { DisconnectSelected(); });
  connect(showHostAction_, &QAction::triggered, this, [this] { ToggleShowHost(); });
  connect(registeredAction_, &QAction::triggered, this, [this] { ToggleRegisteredOnly(); });
  connect(exitAction_, &QAction::triggered, this, [this] { ExitWindow(); });
}

void TSocketForm::Initialise(bool fromService) {
  fromService_ = fromService;
  for (const std::string& failure : ports_.LoadAllSettings()) ShowError(failure);
  for (const auto& port : ports_.Dispatchers()) {
    if (port->Active()) {
      std::fprintf(stderr, "socket transport: listening on port %u\n", port->ListeningPort());
    }
  }
  initialised_ = true;
  showHostAction_->setChecked(ports_.ShowHost());
  registeredAction_->setChecked(ports_.RegisteredOnly());
  const QSignalBlocker blocker(portList_);
  portList_->clear();
  for (const auto& port : ports_.Dispatchers()) {
    portList_->addItem(QString::number(port->Settings().port));
  }
  selected_ = -1;
  if (!ports_.Dispatchers().empty()) SelectPort(0);
  UpdateActions();
  UpdateStatusLine();
}

void TSocketForm::FillFields(const transport::PortSettings& settings) {
  portNo_->setText(QString::number(settings.port));
  threadSize_->setText(QString::number(settings.threadCacheSize));
  interceptGuid_->setText(SocketText(settings.interceptGuid));
  timeout_->setText(QString::number(settings.timeout));
}

void TSocketForm::SetFieldsChanged(bool changed) {
  fieldsChanged_ = changed;
  UpdateActions();
}

void TSocketForm::SelectPort(int index) {
  const auto& dispatchers = ports_.Dispatchers();
  if (index < 0 || index >= static_cast<int>(dispatchers.size())) return;
  if (index == selected_) return;
  if (applyAction_->isEnabled() && !ApplySettings()) {
    const QSignalBlocker blocker(portList_);
    portList_->setCurrentRow(selected_);
    return;
  }
  selected_ = index;
  {
    const QSignalBlocker blocker(portList_);
    portList_->setCurrentRow(index);
  }
  FillFields(dispatchers[static_cast<std::size_t>(index)]->Settings());
  for (QLineEdit* field : {portNo_, threadSize_, timeout_, interceptGuid_}) field->setEnabled(true);
  SetFieldsChanged(false);
}

bool TSocketForm::CheckPortField() {
  const IntegerReading port = ReadIntegerField(portNo_->text().toStdString(), 1, kMaxPortNumber);
  if (port.value) return true;
  portNo_->setFocus();
  ShowError(port.problem);
  return false;
}

bool TSocketForm::CheckNumberFields() {
  if (selected_ < 0) return true;
  struct Field {
    QLineEdit* edit;
    int maximum;
    int minimum;
  };
  for (const Field& field :
       {Field{portNo_, kMaxPortNumber, 1}, Field{threadSize_, kMaxThreadCacheSize, 0},
        Field{timeout_, kMaxTimeoutField, 0}}) {
    const IntegerReading reading =
        ReadIntegerField(field.edit->text().toStdString(), field.minimum, field.maximum);
    if (!reading.value) {
      portNo_->setFocus();
      ShowError(reading.problem);
      return false;
    }
  }
  return true;
}

bool TSocketForm::ApplySettings() {
  if (selected_ < 0 || !CheckNumberFields()) return false;
  transport::TSocketDispatcher& dispatcher =
      *ports_.Dispatchers()[static_cast<std::size_t>(selected_)];
  if (dispatcher.ConnectionCount() > 0 &&
      ui::ActiveMessageBoxes()->Ask("当有连接时不能改变此项设置. 是否强制断开连接?", ProductTitle(),
                                    ui::MessageButtons::YesNo,
                                    ui::MessageIcon::Question) == ui::MessageAnswer::No) {
    return false;
  }
  const transport::PortSettings previous = dispatcher.Settings();
  const bool wasActive = dispatcher.Active();
  transport::PortSettings wanted = previous;
  wanted.port = *ReadIntegerField(portNo_->text().toStdString(), 1, kMaxPortNumber).value;
  wanted.threadCacheSize =
      *ReadIntegerField(threadSize_->text().toStdString(), 0, kMaxThreadCacheSize).value;
  wanted.timeout = *ReadIntegerField(timeout_->text().toStdString(), 0, kMaxTimeoutField).value;
  wanted.interceptGuid = interceptGuid_->text().trimmed().toStdString();

  dispatcher.Close();
  dispatcher.SetSettings(wanted);
  try {
    dispatcher.Open();
  } catch (const transport::PortOpenError& error) {
    // A port another program holds must not leave this one deaf: the old
    // settings come back and listen again, and the person sees why.
    dispatcher.SetSettings(previous);
    std::string reopenProblem;
    if (wasActive) {
      try {
        dispatcher.Open();
      } catch (const transport::PortOpenError& again) {
        reopenProblem = "\n" + transport::PortOpenMessage(again.Port(), again.what());
      }
    }
    ShowError(transport::PortOpenMessage(error.Port(), error.what()) + reopenProblem);
    return false;
  }
  portList_->item(selected_)->setText(QString::number(wanted.port));
  SetFieldsChanged(false);
  return true;
}

void TSocketForm::AddPort() {
  if (!CheckNumberFields()) return;
  const IntegerReading shown = ReadIntegerField(portNo_->text().toStdString(), 1, kMaxPortNumber);
  const int base = shown.value ? *shown.value : transport::kDefaultPort - 1;
  if (base + 1 > kMaxPortNumber) {
    ShowError(ReadIntegerField(std::to_string(base + 1), 1, kMaxPortNumber).problem);
    return;
  }
  if (applyAction_->isEnabled() && !ApplySettings()) return;
  transport::PortSettings settings;
  settings.port = base + 1;
  settings.threadCacheSize = kAddedThreadCacheSize;
  settings.timeout = kAddedTimeout;
  ports_.AddPort(settings);
  {
    const QSignalBlocker blocker(portList_);
    portList_->addItem(QString::number(settings.port));
  }
  SelectPort(portList_->count() - 1);
  // The new port listens only once applied.
  SetFieldsChanged(true);
  pages_->setCurrentIndex(1);
  portNo_->setFocus();
}

void TSocketForm::RemovePort() {
  if (ports_.Dispatchers().size() < 2 || selected_ < 0) return;
  if (!CheckNumberFields()) return;
  ports_.RemovePort(static_cast<std::size_t>(selected_));
  {
    const QSignalBlocker blocker(portList_);
    delete portList_->takeItem(selected_);
  }
  selected_ = -1;
  fieldsChanged_ = false;
  SelectPort(0);
  UpdateActions();
}

void TSocketForm::DisconnectSelected() {
  const QList<QTreeWidgetItem*> chosen = connectionList_->selectedItems();
  if (chosen.isEmpty()) return;
  if (ui::ActiveMessageBoxes()->Ask("强制断开会导致客户端应用程序出现异常. 是否继续?",
                                    ProductTitle(), ui::MessageButtons::YesNo,
                                    ui::MessageIcon::Question) == ui::MessageAnswer::No) {
    return;
  }
  // Each row's connection is closed by the port that serves it, under that
  // port's own lock, whichever port is selected in the list.
  for (QTreeWidgetItem* item : chosen) {
    const std::uint64_t id = item->data(kPortColumn, kConnectionIdRole).toULongLong();
    for (const auto& port : ports_.Dispatchers()) {
      if (port->Disconnect(id)) break;
    }
  }
}

std::string TSocketForm::HostColumnText(const std::string& address) const {
  if (!showHostAction_->isChecked()) return "(不能查看)";
  const std::string name = LookUpHostName(address);
  return name.empty() ? "(未知)" : name;
}

void TSocketForm::AddConnectionRow(const transport::ConnectionRow& row) {
  auto* item = new ConnectionItem;
  item->setText(kPortColumn, QString::number(row.localPort));
  item->setText(kAddressColumn, SocketText(row.remoteAddress));
  item->setText(kHostColumn, SocketText(HostColumnText(row.remoteAddress)));
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(row.lastActivity.time_since_epoch()).count();
  item->setText(kTimeColumn,
                QDateTime::fromSecsSinceEpoch(seconds).toString("yyyy-MM-dd hh:mm:ss"));
  item->setData(kPortColumn, kConnectionIdRole, QVariant::fromValue<qulonglong>(row.connectionId));
  item->setData(kPortColumn, kAddressRole, SocketText(row.remoteAddress));
  connectionList_->addTopLevelItem(item);
  UpdateStatusLine();
}

QTreeWidgetItem* TSocketForm::FindRow(std::uint64_t connectionId) const {
  for (int i = 0; i < connectionList_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = connectionList_->topLevelItem(i);
    if (item->data(kPortColumn, kConnectionIdRole).toULongLong() == connectionId) return item;
  }
  return nullptr;
}

void TSocketForm::RemoveConnectionRow(const transport::ConnectionRow& row) {
  delete FindRow(row.connectionId);
  UpdateStatusLine();
  UpdateActions();
}

int TSocketForm::ConnectionCount() const {
  return connectionList_->topLevelItemCount();
}

void TSocketForm::ToggleShowHost() {
  ports_.SetShowHost(showHostAction_->isChecked());
  for (int i = 0; i < connectionList_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = connectionList_->topLevelItem(i);
    item->setText(
        kHostColumn,
        SocketText(HostColumnText(item->data(kPortColumn, kAddressRole).toString().toStdString())));
  }
}

void TSocketForm::ToggleRegisteredOnly() {
  ports_.SetRegisteredOnly(registeredAction_->isChecked());
  ui::ActiveMessageBoxes()->Show("改变此项设置要重新启动本程序才能生效。", ProductTitle(),
                                 ui::MessageIcon::Information);
}

bool TSocketForm::SaveAllSettings() {
  try {
    ports_.SaveAllSettings();
    return true;
  } catch (const std::exception& error) {
    ShowError(std::string("端口设置没有保存: ") + error.what());
    return false;
  }
}

bool TSocketForm::PrepareClose() {
  if (applyAction_->isEnabled() && !ApplySettings()) return false;
  SaveAllSettings();
  return true;
}

void TSocketForm::ExitWindow() {
  if (!CheckNumberFields()) return;
  if (!PrepareClose()) return;
  done(QDialog::Accepted);
}

void TSocketForm::reject() {
  if (!PrepareClose()) return;
  QDialog::reject();
}

void TSocketForm::showEvent(QShowEvent* event) {
  pages_->setCurrentIndex(0);
  QDialog::showEvent(event);
}

void TSocketForm::UpdateActions() {
  const bool portChosen = selected_ >= 0;
  applyAction_->setEnabled(portChosen && fieldsChanged_);
  applyButton_->setEnabled(applyAction_->isEnabled());
  removePortAction_->setEnabled(portChosen && ports_.Dispatchers().size() >= 2);
  disconnectAction_->setEnabled(!connectionList_->selectedItems().isEmpty());
}

void TSocketForm::UpdateStatusLine() {
  statusLine_->setText(QString("当前连接数： %1 ").arg(ConnectionCount()));
}

}  // namespace quor::console
