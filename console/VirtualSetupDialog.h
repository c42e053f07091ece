// "配置WEB版": the three-page wizard that logs in to SQL Server, publishes the
// web folder as a virtual directory and records in the account-set catalogue
// which directory shows which account set (column VirtualDir).
#pragma once

#include <QDialog>

#include <filesystem>
#include <string>
#include <vector>

class QKeyEvent;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QStackedWidget;
class QTableWidget;

namespace quor::console {

class WebPublisher;

class TfrmVirtualSetup : public QDialog {
 public:
  TfrmVirtualSetup(WebPublisher& publisher, std::filesystem::path webFolder,
                   QWidget* parent = nullptr);

  // The page shown: 0 "服务器连接", 1 "IIS虚拟目录", 2 "配置账套关系".
  int Page() const;
  // What bbYes, bbUp do.
  void Next();
  void Back();
  // The directories a row may choose from (the grid's "虚拟目录" column).
  std::vector<std::string> DirectoryChoices() const { return choices_; }
  // Chooses a directory for a grid row (1-based, as "行号" counts).
  void ChooseDirectory(int row, const std::string& directory);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildPages();
  void ShowPage(int page);
  void TestLoginAndFillGrid();
  void FillGrid();
  void PublishAndListDirectories();
  void Finish();
  void ApplyChoices();
  std::string ConnectionServer() const;

  WebPublisher& publisher_;
  std::filesystem::path webFolder_;
  std::vector<std::string> choices_;

  QStackedWidget* notebook_ = nullptr;
  QLineEdit* edtServerName_ = nullptr;
  QLineEdit* edtLoginUser_ = nullptr;
  QLineEdit* edtLoginPass_ = nullptr;
  QLineEdit* edtDummyDir_ = nullptr;
  QTableWidget* grid_ = nullptr;
  QPushButton* bbUp_ = nullptr;
  QPushButton* bbYes_ = nullptr;
  QPushButton* bbExit_ = nullptr;
};

}  // namespace quor::console
