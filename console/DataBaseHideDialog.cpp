#include "console/DataBaseHideDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <stdexcept>

#include "ServerPublic/ServerGlobals.h"
#include "console/ConsoleDataBases.h"
#include "platform/sql/Connection.h"
#include "platform/sql/Parameter.h"
#include "platform/sql/RecordSet.h"
#include "platform/sql/Statement.h"
#include "platform/sql/Transaction.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

constexpr int kHideValueRole = Qt::UserRole;

// The catalogue table's name ends in a trade code that clients choose
// (ConnectDb); it goes into SQL text only when it is a plain name.
std::string CheckedCatalogTable() {
  const std::string table = CatalogTableName();
  if (table.empty()) throw std::runtime_error("no catalogue table");
  for (char c : table) {
    const bool plain =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!plain) throw std::runtime_error("catalogue table name refused: " + table);
  }
  return table;
}

QTableWidgetItem* ReadOnlyItem(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

std::string CellText(const QTableWidget* grid, int row, int column) {
  const QTableWidgetItem* item = grid->item(row, column);
  return item ? item->text().toStdString() : std::string();
}

}  // namespace

std::string TfrmDataBaseHide::ShortcutText(const std::string& text, bool alt) {
  if (text.empty() || text.find("Ctrl") != std::string::npos ||
      text.find("Alt") != std::string::npos) {
    return text;
  }
  return std::string(alt ? "Alt" : "Ctrl") + "+" + text;
}

TfrmDataBaseHide::TfrmDataBaseHide(QWidget* parent) : QDialog(parent) {
  setObjectName("frmDataBaseHide");
  setWindowTitle("账套隐藏");
  resize(520, 320);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("账套隐藏功能可以使客户端登陆时账套列表默认不显示指定账套。", this));
  layout->addWidget(new QLabel("账套列表中默认不显示所有隐藏账套，按 Alt+F2 显示隐藏账套。", this));
  auto* keys = new QHBoxLayout;
  keys->addWidget(new QLabel("配置账套与虚拟目录关系：", this));
  rbCtrl_ = new QRadioButton("Ctrl", this);
  rbCtrl_->setObjectName("rbCtrl");
  rbCtrl_->setChecked(true);
  rbAlt_ = new QRadioButton("Alt", this);
  rbAlt_->setObjectName("rbAlt");
  keys->addWidget(rbCtrl_);
  keys->addWidget(rbAlt_);
  keys->addStretch(1);
  layout->addLayout(keys);

  grid_ = new QTableWidget(kHideMinimumRows - 1, 5, this);
  grid_->setObjectName("DataBaseGrid");
  grid_->setHorizontalHeaderLabels({"行号", "隐藏", "账套名称", "数据库名称", "显示快捷键"});
  grid_->verticalHeader()->hide();
  grid_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(grid_, 1);
  // Leaving a shortcut cell completes its key, as the person sees it.
  connect(grid_, &QTableWidget::currentCellChanged, this,
          [this](int, int, int previousRow, int previousColumn) {
            if (previousColumn == kHideColumnShortcut && previousRow >= 0) {
              ApplyShortcutRule(previousRow);
            }
          });
  connect(grid_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (item->column() != kHideColumnHidden) return;
    const int value = item->checkState() == Qt::Checked ? 1 : 0;
    const QVariant stored = item->data(kHideValueRole);
    // A value other than 0 and 1 stays as it is until the box is toggled.
    if (stored.isValid() && (stored.toInt() == 1) == (value == 1)) return;
    item->setData(kHideValueRole, value);
  });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* ok = new QPushButton("确定(&O)", this);
  ok->setObjectName("btnOK");
  auto* exit = new QPushButton("退出(&X)", this);
  exit->setObjectName("btnExit");
  buttons->addWidget(ok);
  buttons->addWidget(exit);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, [this] { Save(); });
  connect(exit, &QPushButton::clicked, this, [this] { reject(); });
  Load();
}

void TfrmDataBaseHide::Load() {
  grid_->clearContents();
  grid_->setRowCount(kHideMinimumRows - 1);
  struct Entry {
    long long hide;
    std::string caption, name, shortcut;
  };
  std::vector<Entry> entries;
  try {
    sql::Connection connection(ConsoleMasterRecipe(false));
    sql::Statement statement(connection, "DataBaseHide");
    statement.SetText("Select * From Master.dbo." + CheckedCatalogTable());
    sql::RecordSet& records = statement.Open();
    for (; !records.Eof(); records.Next()) {
      const sql::Value& hide = records.FieldByName("SetHide");
      long long hideValue = 0;
      try {
        hideValue = hide.IsNull() ? 0 : hide.AsInteger();
      } catch (const std::exception&) {
        hideValue = 0;
      }
      entries.push_back({hideValue, records.FieldByName("DBCaption").AsText(),
                         records.FieldByName("DBName").AsText(),
                         records.FieldByName("ShortcutKey").AsText()});
    }
  } catch (const std::exception& error) {
    // The grid stays empty; the person sees that there is nothing to set.
    std::fprintf(stderr, "console: hidden account sets not loaded: %s\n", error.what());
    return;
  }
  grid_->blockSignals(true);
  grid_->setRowCount(std::max<int>(kHideMinimumRows - 1, static_cast<int>(entries.size())));
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const int row = static_cast<int>(k);
    const Entry& entry = entries[k];
    grid_->setItem(row, kHideColumnRow, ReadOnlyItem(QString::number(row + 1)));
    auto* hidden = new QTableWidgetItem;
    hidden->setFlags((hidden->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
    hidden->setCheckState(entry.hide == 1 ? Qt::Checked : Qt::Unchecked);
    hidden->setData(kHideValueRole, static_cast<qlonglong>(entry.hide));
    grid_->setItem(row, kHideColumnHidden, hidden);
    grid_->setItem(row, kHideColumnCaption, ReadOnlyItem(QString::fromStdString(entry.caption)));
    grid_->setItem(row, kHideColumnName, ReadOnlyItem(QString::fromStdString(entry.name)));
    grid_->setItem(row, kHideColumnShortcut,
                   new QTableWidgetItem(QString::fromStdString(entry.shortcut)));
  }
  grid_->blockSignals(false);
}

void TfrmDataBaseHide::ApplyShortcutRule(int row) {
  QTableWidgetItem* item = grid_->item(row, kHideColumnShortcut);
  if (!item) return;
  const std::string completed = ShortcutText(item->text().toStdString(), rbAlt_->isChecked());
  if (completed != item->text().toStdString()) item->setText(QString::fromStdString(completed));
}

bool TfrmDataBaseHide::Save() {
  // A key typed into the cell that still has the focus is completed too, so
  // what is saved is what the rule would show.
  if (grid_->currentColumn() == kHideColumnShortcut && grid_->currentRow() >= 0) {
    ApplyShortcutRule(grid_->currentRow());
  }
  try {
    const std::string update = "UPDATE " + BracketName(CheckedCatalogTable()) +
                               " SET SetHide = ?, ShortcutKey = ? WHERE (DBName = ?)";
    sql::Connection connection(ConsoleMasterRecipe(false));
    connection.Open();
    sql::Transaction transaction(connection);
    for (int row = 0; row < grid_->rowCount(); ++row) {
      const std::string name = CellText(grid_, row, kHideColumnName);
      if (name.empty()) continue;
      const QTableWidgetItem* hidden = grid_->item(row, kHideColumnHidden);
      const long long hide = hidden && hidden->data(kHideValueRole).isValid()
                                 ? hidden->data(kHideValueRole).toLongLong()
                                 : 0;
      sql::Statement statement(connection, "DataBaseHideSave");
      statement.SetParamCheck(false);
      statement.SetText(update);
      statement.Params()
          .Add(sql::Parameter("", sql::ParamDirection::kInput))
          .SetValue(sql::Value::Integer(hide));
      statement.Params()
          .Add(sql::Parameter("", sql::ParamDirection::kInput))
          .SetValue(sql::Value::Text(CellText(grid_, row, kHideColumnShortcut)));
      statement.Params()
          .Add(sql::Parameter("", sql::ParamDirection::kInput))
          .SetValue(sql::Value::Text(name));
      statement.Execute();
    }
    transaction.Commit();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "console: hidden account sets not saved: %s\n", error.what());
    ui::ActiveMessageBoxes()->Show(kHideSaveFailed, "提示", ui::MessageIcon::None);
    return false;
  }
  saved_ = true;
  accept();
  return true;
}

void TfrmDataBaseHide::keyPressEvent(QKeyEvent* event) {
  // Enter walks from control to control, as in the rest of the suite's forms.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    focusNextChild();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace quor::console
