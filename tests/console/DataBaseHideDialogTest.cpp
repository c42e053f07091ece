// The hidden-account-set dialog against the SQL Server stand-in: the grid
// from the catalogue, the shortcut rule through the grid's cells, and the
// save as one transaction of parameterised updates.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <fstream>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/PasswordScrambler.h"
#include "ServerPublic/ServerGlobals.h"
#include "console/DataBaseHideDialog.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::console {
namespace {

using test::Reply;
using test::RequestKind;
using test::SqlType;

struct CatalogueRow {
  std::string name;
  std::string caption;
  test::Value hide;
  test::Value shortcut;
};

Reply Catalogue(const std::vector<CatalogueRow>& rows) {
  Reply reply;
  test::ResultSet set{{{"DBName", SqlType::VarChar, 50},
                       {"DBCaption", SqlType::VarChar, 100},
                       {"Version", SqlType::VarChar, 20},
                       {"SetHide", SqlType::Int},
                       {"ShortcutKey", SqlType::VarChar, 20}},
                      {}};
  for (const CatalogueRow& row : rows) {
    set.rows.push_back({row.name, row.caption, "9.33", row.hide, row.shortcut});
  }
  reply.resultSets.push_back(set);
  return reply;
}

struct Update {
  std::string text;
  std::vector<test::Value> values;
};

class DataBaseHideDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    std::ofstream(folder_.Path() / "QuorServerBZ.dat")
        << "[ServerConfig]\r\nSERVERNAME=127.0.0.1," << server_.Port()
        << "\r\nUSERNAME=sa\r\nPASSWORD=" << EncodePassword("secret") << "\r\n";
    ResetConfigCacheForTests();
    saved_ = Startup();
    SetCatalogTableName("ValtoDataBaseBZ");
    server_.AddLogin("sa", "secret");
    server_.OnStatementMatching(std::regex("UPDATE .*"), [this](const test::StatementCall& call) {
      std::lock_guard<std::mutex> lock(mutex_);
      Update update{call.text, {}};
      for (const test::Parameter& parameter : call.params) update.values.push_back(parameter.value);
      updates_.push_back(update);
      if (!failOn_.empty() && call.params.size() == 3 &&
          call.params[2].value == test::Value(failOn_)) {
        Reply refusal;
        refusal.error = test::ServerError{547, 1, 16, "The UPDATE statement conflicted."};
        return refusal;
      }
      Reply done;
      done.rowsAffected = 1;
      return done;
    });
  }
  void TearDown() override {
    SetStartup(saved_);
    SetConfigFilePath({});
    ResetConfigCacheForTests();
  }

  void ScriptCatalogue(const std::vector<CatalogueRow>& rows) {
    server_.OnStatement("Select * From Master.dbo.ValtoDataBaseBZ", Catalogue(rows));
  }
  std::vector<Update> Updates() {
    std::lock_guard<std::mutex> lock(mutex_);
    return updates_;
  }
  // The transaction requests up to the first that ends a transaction (the
  // driver rolls back an empty one when the connection leaves manual commit).
  std::vector<std::string> Transactions() const {
    std::vector<std::string> texts;
    for (const test::Request& request : server_.Requests()) {
      if (request.kind != RequestKind::Transaction) continue;
      texts.push_back(request.text);
      if (request.text != "BEGIN TRAN") break;
    }
    return texts;
  }
  static QTableWidget* Grid(TfrmDataBaseHide& dialog) {
    return dialog.findChild<QTableWidget*>("DataBaseGrid");
  }
  static std::string Cell(TfrmDataBaseHide& dialog, int row, int column) {
    const QTableWidgetItem* item = Grid(dialog)->item(row, column);
    return item ? item->text().toStdString() : "";
  }

  ::quor::testing::TempFolder folder_;
  test::SqlServerStandIn server_;
  testing::ScriptedBoxes boxes_;
  StartupValues saved_;
  std::mutex mutex_;
  std::vector<Update> updates_;
  std::string failOn_;
};

TEST_F(DataBaseHideDialogTest, TheGridHoldsEveryAccountSetAndAtLeastSevenRows) {
  ScriptCatalogue({{"Shop01", "一号店", 1, "Ctrl+F5"},
                   {"Shop02", "二号店", nullptr, nullptr},
                   {"Shop03", "三号店", 0, "Alt+F6"}});
  TfrmDataBaseHide dialog;
  EXPECT_EQ(dialog.windowTitle().toStdString(), "账套隐藏");
  QTableWidget* grid = Grid(dialog);
  EXPECT_EQ(grid->rowCount() + 1, kHideMinimumRows) << "the header row is the seventh";
  const struct {
    const char* row;
    bool hidden;
    const char* caption;
    const char* name;
    const char* key;
  } expected[] = {{"1", true, "一号店", "Shop01", "Ctrl+F5"},
                  {"2", false, "二号店", "Shop02", ""},
                  {"3", false, "三号店", "Shop03", "Alt+F6"}};
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(Cell(dialog, row, kHideColumnRow), expected[row].row);
    EXPECT_EQ(grid->item(row, kHideColumnHidden)->checkState() == Qt::Checked,
              expected[row].hidden);
    EXPECT_EQ(Cell(dialog, row, kHideColumnCaption), expected[row].caption);
    EXPECT_EQ(Cell(dialog, row, kHideColumnName), expected[row].name);
    EXPECT_EQ(Cell(dialog, row, kHideColumnShortcut), expected[row].key);
  }
  EXPECT_EQ(Cell(dialog, 3, kHideColumnName), "");
  EXPECT_FALSE(grid->item(0, kHideColumnName)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(grid->item(0, kHideColumnShortcut)->flags() & Qt::ItemIsEditable);

  std::vector<CatalogueRow> ten;
  for (int k = 1; k <= 10; ++k) ten.push_back({"Set" + std::to_string(k), "账套", 0, ""});
  ScriptCatalogue(ten);
  TfrmDataBaseHide large;
  EXPECT_EQ(Grid(large)->rowCount() + 1, 11);
  EXPECT_EQ(Cell(large, 9, kHideColumnRow), "10");
}

TEST_F(DataBaseHideDialogTest, LeavingAShortcutCellPutsTheCheckedModifierInFront) {
  ScriptCatalogue({{"Shop01", "一号店", 0, ""}});
  struct Case {
    const char* typed;
    bool alt;
    const char* shown;
  };
  const Case cases[] = {
      {"F5", true, "Alt+F5"},
      {"F5", false, "Ctrl+F5"},
      {"Ctrl+F6", true, "Ctrl+F6"},
      {"Alt+F8", false, "Alt+F8"},
      {"ctrl+F7", false, "Ctrl+ctrl+F7"},  // the search minds letter case
      {"", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    TfrmDataBaseHide dialog;
    dialog.findChild<QRadioButton*>(c.alt ? "rbAlt" : "rbCtrl")->setChecked(true);
    QTableWidget* grid = Grid(dialog);
    grid->setCurrentCell(0, kHideColumnShortcut);
    grid->item(0, kHideColumnShortcut)->setText(c.typed);
    EXPECT_EQ(Cell(dialog, 0, kHideColumnShortcut), c.typed) << "not before the cell is left";
    grid->setCurrentCell(1, kHideColumnCaption);
    EXPECT_EQ(Cell(dialog, 0, kHideColumnShortcut), c.shown);
  }
}

TEST_F(DataBaseHideDialogTest, SavingWritesEveryRowInOneTransactionOfParameters) {
  ScriptCatalogue({{"Shop01", "一号店", 0, "Ctrl+F5"},
                   {"Shop'02", "二号店", 1, ""},
                   {"Shop03", "三号店", 2, "F9"}});
  TfrmDataBaseHide dialog;
  dialog.show();
  QTableWidget* grid = Grid(dialog);
  grid->item(0, kHideColumnHidden)->setCheckState(Qt::Checked);
  grid->item(1, kHideColumnHidden)->setCheckState(Qt::Unchecked);
  server_.ClearRequests();
  dialog.findChild<QPushButton*>("btnOK")->click();

  EXPECT_TRUE(dialog.Saved());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(boxes_->Shown().empty());
  const std::vector<Update> updates = Updates();
  ASSERT_EQ(updates.size(), 3u) << "rows without a database name are skipped";
  const struct {
    int hide;
    const char* key;
    const char* name;
  } expected[] = {{1, "Ctrl+F5", "Shop01"}, {0, "", "Shop'02"}, {2, "F9", "Shop03"}};
  for (std::size_t i = 0; i < updates.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(updates[i].text,
              "UPDATE [ValtoDataBaseBZ] SET SetHide = @P1, ShortcutKey = @P2 WHERE (DBName = @P3)");
    ASSERT_EQ(updates[i].values.size(), 3u);
    EXPECT_EQ(updates[i].values[0], test::Value(expected[i].hide));
    EXPECT_EQ(updates[i].values[1], test::Value(expected[i].key));
    EXPECT_EQ(updates[i].values[2], test::Value(expected[i].name));
  }
  EXPECT_EQ(Transactions(), (std::vector<std::string>{"BEGIN TRAN", "COMMIT TRAN"}));
}

TEST_F(DataBaseHideDialogTest, AFailingRowUndoesTheWholeSaveAndKeepsTheDialogOpen) {
  ScriptCatalogue(
      {{"Shop01", "一号店", 0, ""}, {"Shop02", "二号店", 0, ""}, {"Shop03", "三号店", 0, ""}});
  failOn_ = "Shop02";
  TfrmDataBaseHide dialog;
  dialog.show();
  Grid(dialog)->item(0, kHideColumnHidden)->setCheckState(Qt::Checked);
  server_.ClearRequests();
  EXPECT_FALSE(dialog.Save());
  EXPECT_FALSE(dialog.Saved());
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, kHideSaveFailed);
  EXPECT_EQ(boxes_->Shown()[0].caption, "提示");
  EXPECT_EQ(Updates().size(), 2u) << "the rows after the failure are not tried";
  EXPECT_EQ(Transactions(), (std::vector<std::string>{"BEGIN TRAN", "ROLLBACK TRAN"}));
}

TEST_F(DataBaseHideDialogTest, EnterMovesOnToTheNextControlAndSavesNothing) {
  ScriptCatalogue({{"Shop01", "一号店", 0, ""}});
  TfrmDataBaseHide dialog;
  dialog.show();
  dialog.activateWindow();
  auto* ctrl = dialog.findChild<QRadioButton*>("rbCtrl");
  ctrl->setFocus();
  ASSERT_TRUE(testing::ProcessEventsUntil([ctrl] { return ctrl->hasFocus(); }));
  server_.ClearRequests();
  QTest::keyClick(ctrl, Qt::Key_Return);
  EXPECT_FALSE(ctrl->hasFocus());
  EXPECT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_FALSE(dialog.Saved());
  EXPECT_TRUE(Updates().empty());
}

TEST_F(DataBaseHideDialogTest, NoServerLeavesTheGridEmptyAndSavingSaysSo) {
  std::ofstream(folder_.Path() / "QuorServerBZ.dat")
      << "[ServerConfig]\r\nSERVERNAME=127.0.0.1," << server_.Port()
      << "\r\nUSERNAME=sa\r\nPASSWORD=" << EncodePassword("wrong") << "\r\n";
  ResetConfigCacheForTests();
  TfrmDataBaseHide dialog;
  EXPECT_EQ(Cell(dialog, 0, kHideColumnName), "");
  EXPECT_TRUE(boxes_->Shown().empty()) << "a load error is not shown";
  EXPECT_FALSE(dialog.Save());
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, kHideSaveFailed);
}

TEST_F(DataBaseHideDialogTest, ACatalogueNameThatIsNoPlainNameIsNeverSent) {
  SetCatalogTableName("ValtoDataBaseBZ]; DROP TABLE x; --");
  server_.ClearRequests();
  TfrmDataBaseHide dialog;
  for (const test::Request& request : server_.Requests()) {
    EXPECT_EQ(request.text.find("DROP"), std::string::npos) << request.text;
  }
  EXPECT_FALSE(dialog.Save());
  EXPECT_TRUE(Updates().empty());
}

}  // namespace
}  // namespace quor::console
