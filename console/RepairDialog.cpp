#include "console/RepairDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <optional>

#include "ServerPublic/ServerGlobals.h"
#include "console/ConsoleDataBases.h"
#include "platform/sql/Connection.h"
#include "platform/sql/Parameter.h"
#include "platform/sql/RecordSet.h"
#include "platform/sql/Statement.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

constexpr const char* kRepairSessionsQuery =
    "select name,spid from master.dbo.sysdatabases a,master.dbo.sysprocesses b where "
    "a.dbid=b.dbid and name=?";

std::string RepairDataLossQuestion(const std::string& dataBase) {
  return "修复账套" + dataBase +
         "时，REPAIR_ALLOW_DATA_LOSS 可能会删除无法修复的数据。\r\n"
         "选择“是”允许丢失数据的修复，选择“否”只做不丢失数据的修复（REPAIR_REBUILD），"
         "选择“取消”不修复。";
}

void RepairLog(const std::string& line) {
  std::fprintf(stderr, "console: repair: %s\n", line.c_str());
}

}  // namespace

TfrmSQLCheckRehab::TfrmSQLCheckRehab(QWidget* parent) : QDialog(parent) {
  setObjectName("frmSQLCheckRehab");
  setWindowTitle("修复SQLServer数据库错误");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("选择需要修复的账套：", this));
  cbDataBaseList_ = new QComboBox(this);
  cbDataBaseList_->setObjectName("cbDataBaseList");
  cbDataBaseList_->setEditable(false);
  layout->addWidget(cbDataBaseList_);
  auto* notice = new QPlainTextEdit(this);
  notice->setObjectName("memNotice");
  notice->setReadOnly(true);
  notice->setPlainText(
      "\n　SQL Server数据库可能因为断电、硬关机、病毒或其它原因\n。\n"
      "　造成数据库的文件出现错误，这将影响我们程序的正常工作\n。\n"
      "　大部份奇怪的出错可以使用此功能修复。\n"
      "　修复时会强制断开所有该帐套的客户端连接。");
  layout->addWidget(notice);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* repair = new QPushButton("开始修复", this);
  repair->setObjectName("btnRepair");
  repair->setDefault(true);
  auto* cancel = new QPushButton("取消", this);
  cancel->setObjectName("btnCancel");
  buttons->addWidget(repair);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(repair, &QPushButton::clicked, this, [this] { Repair(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  Open();
}

TfrmSQLCheckRehab::~TfrmSQLCheckRehab() = default;

void TfrmSQLCheckRehab::Open() {
  try {
    sql::ConnectionSettings settings = ConsoleMasterRecipe(false);
    // A repair of a large database runs long; it is still cut off at the
    // server's command timeout rather than holding the console for ever.
    settings.commandTimeoutSeconds = CommandTimeoutSeconds();
    connection_ = std::make_unique<sql::Connection>(settings);
    connection_->Open();
    const std::vector<std::string> names = ListAccountSetDatabases(*connection_);
    if (!names.empty()) {
      cbDataBaseList_->clear();
      for (const std::string& name : names) cbDataBaseList_->addItem(QString::fromStdString(name));
    }
  } catch (const std::exception& error) {
    ui::ActiveMessageBoxes()->Show(error.what(), "提示", ui::MessageIcon::Error);
  }
}

std::vector<std::string> TfrmSQLCheckRehab::DataBases() const {
  std::vector<std::string> names;
  for (int i = 0; i < cbDataBaseList_->count(); ++i) {
    names.push_back(cbDataBaseList_->itemText(i).toStdString());
  }
  return names;
}

void TfrmSQLCheckRehab::SelectDataBase(const std::string& name) {
  cbDataBaseList_->setCurrentIndex(cbDataBaseList_->findText(QString::fromStdString(name)));
}

void TfrmSQLCheckRehab::EndSessions(const std::string& dataBase) {
  std::vector<long long> sessions;
  {
    sql::Statement statement(*connection_, "SessionList");
    statement.SetParamCheck(false);
    statement.SetText(kRepairSessionsQuery);
    statement.Params()
        .Add(sql::Parameter("", sql::ParamDirection::kInput))
        .SetValue(sql::Value::Text(dataBase));
    sql::RecordSet& records = statement.Open();
    for (; !records.Eof(); records.Next()) {
      sessions.push_back(records.FieldByName("spid").AsInteger());
    }
  }
  for (long long spid : sessions) {
    try {
      connection_->Execute("Kill " + std::to_string(spid));
    } catch (const std::exception& error) {
      ui::ActiveMessageBoxes()->Show(error.what(), "提示", ui::MessageIcon::Error);
    }
  }
}

bool TfrmSQLCheckRehab::Repair() {
  auto boxes = ui::ActiveMessageBoxes();
  const std::string dataBase =
      cbDataBaseList_->currentIndex() < 0 ? "" : cbDataBaseList_->currentText().toStdString();
  if (dataBase.empty() || !connection_) {
    boxes->Show("请选择需要修复的账套！", "提示", ui::MessageIcon::Warning);
    return false;
  }
  // Repairing with data loss throws away what it cannot mend: the person
  // chooses it knowingly, or the gentler repair alone, or none.
  const ui::MessageAnswer answer =
      boxes->Ask(RepairDataLossQuestion(dataBase), "提示", ui::MessageButtons::YesNoCancel,
                 ui::MessageIcon::Warning);
  if (answer == ui::MessageAnswer::Cancel) return false;
  const bool allowDataLoss = answer == ui::MessageAnswer::Yes;
  const std::string name = BracketName(dataBase);

  std::optional<std::string> failure;
  bool singleUserTried = false;
  try {
    EndSessions(dataBase);
    connection_->Execute("use master");
    singleUserTried = true;
    connection_->Execute("AlTER DATABASE " + name + " SET SINGLE_USER");
    if (allowDataLoss) connection_->Execute("dbcc checkdb(" + name + ",REPAIR_ALLOW_DATA_LOSS)");
    connection_->Execute("dbcc checkdb(" + name + ",REPAIR_REBUILD)");
  } catch (const std::exception& error) {
    failure = error.what();
  }
  // Whatever happened above, the account set must not stay locked to one
  // user: every client would be shut out of it.
  std::optional<std::string> multiUserFailure;
  if (singleUserTried) {
    try {
      connection_->Execute("ALTER DATABASE " + name + " SET MULTI_USER");
    } catch (const std::exception& error) {
      multiUserFailure = error.what();
    }
  }
  if (!failure && !multiUserFailure) {
    RepairLog(dataBase + " repaired" + (allowDataLoss ? " (data loss allowed)" : ""));
    boxes->Show(kRepairSucceeded, "提示", ui::MessageIcon::Warning);
    return true;
  }
  std::string text = "修复数据库" + dataBase + "失败：" + failure.value_or("");
  if (multiUserFailure) {
    text += "\r\n恢复多用户模式失败：" + *multiUserFailure + "\r\n请手工执行 ALTER DATABASE " +
            name + " SET MULTI_USER";
  } else if (singleUserTried) {
    text += "\r\n账套已恢复为多用户模式。";
  }
  RepairLog(text);
  boxes->Show(text, "提示", ui::MessageIcon::Error);
  return false;
}

}  // namespace quor::console
