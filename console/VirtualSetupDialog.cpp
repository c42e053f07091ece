#include "console/VirtualSetupDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConnectionRecipe.h"
#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/SqlNames.h"
#include "ServerPublic/SqlRoutines.h"
#include "console/WebPublishing.h"
#include "platform/sql/Connection.h"
#include "platform/sql/Statement.h"
#include "platform/sql/Transaction.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

constexpr int kWizardMinimumRows = 7;
constexpr int kWizardConnectSeconds = 10;
constexpr int kColumnDirectory = 3;

QString WizardText(const std::string& text) {
  return QString::fromStdString(text);
}

// The catalogue's table name comes from the trade code a client sent; only a
// plain name is pasted into the statements.
std::optional<std::string> CatalogueTable() {
  const std::string table = CatalogTableName();
  if (!IsPlainSqlName(table)) return std::nullopt;
  return table;
}

}  // namespace

TfrmVirtualSetup::TfrmVirtualSetup(WebPublisher& publisher, std::filesystem::path webFolder,
                                   QWidget* parent)
    : QDialog(parent), publisher_(publisher), webFolder_(std::move(webFolder)) {
  setObjectName("frmVirtualSetup");
  setWindowTitle("配置WEB版");
  setModal(true);
  BuildPages();
  edtServerName_->setText(WizardText(ReadConfig(configkey::kServerName, "(LOCAL)")));
  edtLoginUser_->setText(WizardText(ReadConfig(configkey::kUserName, "sa")));
  ShowPage(0);
}

void TfrmVirtualSetup::BuildPages() {
  auto* layout = new QVBoxLayout(this);
  notebook_ = new QStackedWidget(this);
  notebook_->setObjectName("Notebook");
  layout->addWidget(notebook_, 1);

  const auto addField = [](QWidget* page, QVBoxLayout* rows, const char* label, const char* name) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(label, page));
    auto* edit = new QLineEdit(page);
    edit->setObjectName(name);
    row->addWidget(edit, 1);
    rows->addLayout(row);
    return edit;
  };

  auto* serverPage = new QWidget(notebook_);
  serverPage->setObjectName("pgServer");
  serverPage->setWindowTitle("服务器连接");
  auto* serverRows = new QVBoxLayout(serverPage);
  serverRows->addWidget(new QLabel("服务器连接", serverPage));
  edtServerName_ = addField(serverPage, serverRows, "服务器名称：", "edtServerName");
  edtLoginUser_ = addField(serverPage, serverRows, "用户名称：", "edtLoginUser");
  edtLoginPass_ = addField(serverPage, serverRows, "登陆密码：", "edtLoginPass");
  edtLoginPass_->setEchoMode(QLineEdit::Password);
  serverRows->addStretch(1);
  notebook_->addWidget(serverPage);

  auto* directoryPage = new QWidget(notebook_);
  directoryPage->setObjectName("pgVirtualDir");
  directoryPage->setWindowTitle("IIS虚拟目录");
  auto* directoryRows = new QVBoxLayout(directoryPage);
  directoryRows->addWidget(new QLabel("IIS虚拟目录", directoryPage));
  edtDummyDir_ = addField(directoryPage, directoryRows, "虚拟目录名称：", "edtDummyDir");
  edtDummyDir_->setText("Web");
  directoryRows->addStretch(1);
  notebook_->addWidget(directoryPage);

  auto* relationPage = new QWidget(notebook_);
  relationPage->setObjectName("pgRelation");
  relationPage->setWindowTitle("配置账套关系");
  auto* relationRows = new QVBoxLayout(relationPage);
  relationRows->addWidget(new QLabel("配置账套关系", relationPage));
  grid_ = new QTableWidget(0, 4, relationPage);
  grid_->setObjectName("sgDataBase");
  grid_->setHorizontalHeaderLabels({"行号", "账套名称", "数据库名称", "虚拟目录"});
  grid_->verticalHeader()->hide();
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->horizontalHeader()->setStretchLastSection(true);
  connect(grid_, &QTableWidget::cellDoubleClicked, this, [this] { Next(); });
  relationRows->addWidget(grid_, 1);
  notebook_->addWidget(relationPage);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  bbUp_ = new QPushButton("< 上一步", this);
  bbUp_->setObjectName("bbUp");
  bbYes_ = new QPushButton("下一步(&N) >", this);
  bbYes_->setObjectName("bbYes");
  bbExit_ = new QPushButton("退出(&X)", this);
  bbExit_->setObjectName("bbExit");
  for (QPushButton* button : {bbUp_, bbYes_, bbExit_}) {
    // Enter is the wizard's own key (see keyPressEvent), never a default button's.
    button->setAutoDefault(false);
    button->setDefault(false);
    buttons->addWidget(button);
  }
  connect(bbUp_, &QPushButton::clicked, this, [this] { Back(); });
  connect(bbYes_, &QPushButton::clicked, this, [this] { Next(); });
  connect(bbExit_, &QPushButton::clicked, this, [this] { reject(); });
  layout->addLayout(buttons);
  resize(480, 320);
}

int TfrmVirtualSetup::Page() const {
  return notebook_->currentIndex();
}

void TfrmVirtualSetup::ShowPage(int page) {
  notebook_->setCurrentIndex(page);
  bbUp_->setEnabled(page > 0);
  bbYes_->setText(page == 2 ? "完成(&F)" : "下一步(&N) >");
}

void TfrmVirtualSetup::showEvent(QShowEvent* event) {
  edtLoginPass_->clear();
  QDialog::showEvent(event);
}

void TfrmVirtualSetup::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    QWidget* focus = focusWidget();
    if (focus == edtLoginPass_ || (focus && (focus == grid_ || grid_->isAncestorOf(focus)))) {
      Next();
    } else {
      focusNextChild();
    }
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfrmVirtualSetup::Next() {
  switch (Page()) {
    case 0:
      TestLoginAndFillGrid();
      break;
    case 1:
      PublishAndListDirectories();
      break;
    default:
      Finish();
      break;
  }
}

void TfrmVirtualSetup::Back() {
  if (Page() > 0) ShowPage(Page() - 1);
}

std::string TfrmVirtualSetup::ConnectionServer() const {
  return edtServerName_->text().trimmed().toStdString();
}

void TfrmVirtualSetup::TestLoginAndFillGrid() {
  if (!TestSqlLogin(0, ConnectionServer(), edtLoginUser_->text().toStdString(),
                    edtLoginPass_->text().toStdString())) {
    ui::ActiveMessageBoxes()->Show("不能连接SQLServer服务器，请录入正确的服务器名称和登陆密码！",
                                   "提示", ui::MessageIcon::Warning);
    return;
  }
  FillGrid();
  ShowPage(1);
}

void TfrmVirtualSetup::FillGrid() {
  struct Row {
    std::string caption, database, directory;
  };
  std::vector<Row> rows;
  if (const std::optional<std::string> table = CatalogueTable()) {
    try {
      sql::Connection connection(
          ConnectionRecipe({ConnectionServer(), false, edtLoginUser_->text().toStdString(),
                            edtLoginPass_->text().toStdString()},
                           "master", kWizardConnectSeconds));
      sql::Statement query(connection, "qryDataBase");
      query.SetText("Select * From Master.dbo." + *table);
      sql::RecordSet& records = query.Open();
      for (records.First(); !records.Eof(); records.Next()) {
        rows.push_back({records.FieldByName("DbCaption").AsText(),
                        records.FieldByName("DbName").AsText(),
                        records.FieldByName("VirtualDir").AsText()});
      }
    } catch (const std::exception& error) {
      // The grid stays empty, as the person then sees; the reason goes to the log.
      std::fprintf(stderr, "console: account sets not listed: %s\n", error.what());
      rows.clear();
    }
  }
  grid_->clearContents();
  grid_->setRowCount(std::max<int>(kWizardMinimumRows, static_cast<int>(rows.size())));
  for (int row = 0; row < grid_->rowCount(); ++row) {
    grid_->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
    if (row < static_cast<int>(rows.size())) {
      grid_->setItem(row, 1, new QTableWidgetItem(WizardText(rows[row].caption)));
      grid_->setItem(row, 2, new QTableWidgetItem(WizardText(rows[row].database)));
      grid_->setItem(row, kColumnDirectory, new QTableWidgetItem(WizardText(rows[row].directory)));
    }
  }
  ApplyChoices();
}

// Every row with an account set gets a pick list of the directories known,
// keeping the directory it has.
void TfrmVirtualSetup::ApplyChoices() {
  for (int row = 0; row < grid_->rowCount(); ++row) {
    QTableWidgetItem* database = grid_->item(row, 2);
    if (!database || database->text().isEmpty()) continue;
    QTableWidgetItem* item = grid_->item(row, kColumnDirectory);
    const QString current = item ? item->text() : QString();
    auto* box = new QComboBox(grid_);
    box->setObjectName(QString("cbDirectory%1").arg(row + 1));
    box->addItem(QString());
    for (const std::string& choice : choices_) box->addItem(WizardText(choice));
    if (!current.isEmpty() && box->findText(current) < 0) box->addItem(current);
    box->setCurrentIndex(std::max(0, box->findText(current)));
    grid_->setCellWidget(row, kColumnDirectory, box);
  }
}

void TfrmVirtualSetup::ChooseDirectory(int row, const std::string& directory) {
  auto* box = qobject_cast<QComboBox*>(grid_->cellWidget(row - 1, kColumnDirectory));
  if (!box) return;
  const int index = box->findText(WizardText(directory));
  if (index >= 0) box->setCurrentIndex(index);
}

void TfrmVirtualSetup::PublishAndListDirectories() {
  const std::string name = edtDummyDir_->text().trimmed().toStdString();
  if (!CreateVirtualDir(publisher_, name, name, webFolder_)) {
    ui::ActiveMessageBoxes()->Show("配置IIS服务器虚拟目录失败，请手工配置！", "提示",
                                   ui::MessageIcon::None);
  }
  if (const auto aliases = ListVirtualDirs(publisher_, webFolder_)) {
    choices_ = *aliases;
    ApplyChoices();
  }
  ShowPage(2);
}

void TfrmVirtualSetup::Finish() {
  struct Choice {
    std::string database, directory;
  };
  std::vector<Choice> choices;
  for (int row = 0; row < grid_->rowCount(); ++row) {
    QTableWidgetItem* database = grid_->item(row, 2);
    if (!database || database->text().isEmpty()) continue;
    auto* box = qobject_cast<QComboBox*>(grid_->cellWidget(row, kColumnDirectory));
    choices.push_back(
        {database->text().toStdString(), box ? box->currentText().toStdString() : std::string()});
  }
  try {
    const std::optional<std::string> table = CatalogueTable();
    if (!table) throw std::invalid_argument("账套目录表名 \"" + CatalogTableName() + "\" 无效");
    sql::Connection connection(
        ConnectionRecipe({ConnectionServer(), false, edtLoginUser_->text().toStdString(),
                          edtLoginPass_->text().toStdString()},
                         "master", kWizardConnectSeconds));
    // All rows or none: a failure halfway leaves the catalogue as it was.
    sql::Transaction transaction(connection);
    sql::Statement update(connection, "qryUpdate");
    update.SetText("UPDATE " + *table + " SET VirtualDir = :VirtualDir WHERE (DBName = :DBName)");
    for (const Choice& choice : choices) {
      update.Params().ByName("VirtualDir").SetValue(sql::Value::Text(choice.directory));
      update.Params().ByName("DBName").SetValue(sql::Value::Text(choice.database));
      update.Execute();
    }
    transaction.Commit();
  } catch (const std::exception& error) {
    ui::ActiveMessageBoxes()->Show(error.what(), ProductTitle(), ui::MessageIcon::Error);
    return;
  }
  ui::ActiveMessageBoxes()->Show("恭喜您，配置IIS服务器虚拟目录和账套关系成功！", "提示",
                                 ui::MessageIcon::None);
  accept();
}

}  // namespace quor::console
