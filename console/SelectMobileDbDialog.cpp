#include "console/SelectMobileDbDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <utility>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "console/ConsoleDataBases.h"
#include "platform/sql/Connection.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

// The list takes no typing: an account set is chosen, never invented.
class SelectionOnlyCombo : public QComboBox {
 public:
  using QComboBox::QComboBox;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (!event->text().isEmpty() && event->text().at(0).isPrint()) return;
    QComboBox::keyPressEvent(event);
  }
};

// Writes the keys together: when one cannot be written, those already
// written get their old values back, so the file never holds half a choice.
bool WriteMobileSettings(const std::vector<std::pair<const char*, std::string>>& values) {
  std::vector<std::pair<const char*, std::string>> written;
  try {
    for (const auto& [key, value] : values) {
      const std::string before = ReadConfig(key, "");
      WriteConfig(key, value);
      written.emplace_back(key, before);
    }
  } catch (const std::exception& error) {
    for (const auto& [key, before] : written) {
      try {
        WriteConfig(key, before);
      } catch (const std::exception&) {
        std::fprintf(stderr, "console: %s could not be restored\n", key);
      }
    }
    ui::ActiveMessageBoxes()->Show(std::string("设置没有保存: ") + error.what(), "错误",
                                   ui::MessageIcon::Error);
    return false;
  }
  return true;
}

bool IsWholeMinutes(const std::string& text) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return std::stoi(text) > 0;
}

}  // namespace

TfrmSelectMobileDB::TfrmSelectMobileDB(SelectMobileDbHooks hooks, QWidget* parent)
    : QDialog(parent), hooks_(std::move(hooks)) {
  setObjectName("frmSelectMobileDB");
  setWindowTitle("选择使用账套");
  auto* layout = new QVBoxLayout(this);
  auto* notice = new QPlainTextEdit(this);
  notice->setObjectName("memNotice");
  notice->setReadOnly(true);
  notice->setPlainText(
      "　　安卓手机用户请在手机应用市场搜索本软件的移动版或手机版安装使用；\n"
      "　　苹果手机用户请在 App Store 搜索本软件的手机版安装使用。\n"
      "　　移动版可支持手机离线做单查询，手机版必须在线使用。");
  notice->setMaximumHeight(72);
  layout->addWidget(notice);

  auto* mobile = new QGroupBox("移动版(支持安卓系统)", this);
  mobile->setObjectName("gbMobile");
  auto* mobileGrid = new QGridLayout(mobile);
  mobileGrid->addWidget(new QLabel("移动版使用账套：", mobile), 0, 0);
  cbDataBaseList_ = new SelectionOnlyCombo(mobile);
  cbDataBaseList_->setObjectName("cbDataBaseList");
  cbDataBaseList_->setEditable(false);
  mobileGrid->addWidget(cbDataBaseList_, 0, 1);
  mobileGrid->addWidget(new QLabel("移动版使用端口：", mobile), 1, 0);
  edtServerPort_ = new QLineEdit(mobile);
  edtServerPort_->setObjectName("edtServerPort");
  edtServerPort_->setReadOnly(true);
  mobileGrid->addWidget(edtServerPort_, 1, 1);
  cbxStartMobileAPP_ = new QCheckBox("启动移动版服务端口，需要重启软件!", mobile);
  cbxStartMobileAPP_->setObjectName("cbxStartMobileAPP");
  mobileGrid->addWidget(cbxStartMobileAPP_, 2, 0, 1, 2);
  auto* mobileButtons = new QHBoxLayout;
  mobileButtons->addStretch(1);
  auto* yes = new QPushButton("确定", mobile);
  yes->setObjectName("bbYes");
  yes->setDefault(true);
  auto* no = new QPushButton("取消", mobile);
  no->setObjectName("bbNo");
  mobileButtons->addWidget(yes);
  mobileButtons->addWidget(no);
  mobileGrid->addLayout(mobileButtons, 3, 0, 1, 2);
  layout->addWidget(mobile);

  auto* phone = new QGroupBox("手机版(支持安卓和苹果)", this);
  phone->setObjectName("gbPhone");
  auto* phoneGrid = new QGridLayout(phone);
  phoneGrid->addWidget(new QLabel("手机版自动同步间隔", phone), 0, 0);
  edtAppInterval_ = new QComboBox(phone);
  edtAppInterval_->setObjectName("edtAppInterval");
  edtAppInterval_->setEditable(true);
  edtAppInterval_->addItems({"10", "30", "60", "120", "180", "300"});
  phoneGrid->addWidget(edtAppInterval_, 0, 1);
  phoneGrid->addWidget(new QLabel("分钟", phone), 0, 2);
  cbxStartAutoSynchro_ = new QCheckBox("启动手机版与服务端数据同步", phone);
  cbxStartAutoSynchro_->setObjectName("cbxStartAutoSynchro");
  phoneGrid->addWidget(cbxStartAutoSynchro_, 1, 0, 1, 3);
  cbxAutoBillTransfer_ = new QCheckBox("下载手机版单据后立即过账", phone);
  cbxAutoBillTransfer_->setObjectName("cbxAutoBillTransfer");
  phoneGrid->addWidget(cbxAutoBillTransfer_, 2, 0, 1, 3);
  auto* test = new QPushButton("同步测试(全部账套同步一次)", phone);
  test->setObjectName("Button4");
  test->setEnabled(static_cast<bool>(hooks_.runManualSynchro));
  phoneGrid->addWidget(test, 3, 0, 1, 3);
  auto* phoneButtons = new QHBoxLayout;
  phoneButtons->addStretch(1);
  auto* yes2 = new QPushButton("确定", phone);
  yes2->setObjectName("bbYes2");
  auto* no2 = new QPushButton("取消", phone);
  no2->setObjectName("bbNo2");
  phoneButtons->addWidget(yes2);
  phoneButtons->addWidget(no2);
  phoneGrid->addLayout(phoneButtons, 4, 0, 1, 3);
  layout->addWidget(phone);

  connect(yes, &QPushButton::clicked, this, [this] { ConfirmMobile(); });
  connect(yes2, &QPushButton::clicked, this, [this] { ConfirmSynchro(); });
  connect(test, &QPushButton::clicked, this, [this] { RunSynchroTest(); });
  connect(no, &QPushButton::clicked, this, [this] { reject(); });
  connect(no2, &QPushButton::clicked, this, [this] { reject(); });

  // An unreachable server leaves the list empty; the settings below are
  // still shown and can still be saved.
  try {
    sql::Connection connection(ConsoleMasterRecipe(true));
    connection.Open();
    const std::vector<std::string> names = ListAccountSetDatabases(connection);
    if (!names.empty()) {
      cbDataBaseList_->clear();
      cbDataBaseList_->addItem(QString());
      for (const std::string& name : names) cbDataBaseList_->addItem(QString::fromStdString(name));
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "console: phone account sets not listed: %s\n", error.what());
  }
  cbDataBaseList_->setCurrentIndex(-1);

  edtServerPort_->setText(QString::fromStdString(ReadConfig(configkey::kMobilePort, "212")));
  cbxStartMobileAPP_->setChecked(IsTrue(ReadConfig(configkey::kStartMobileApp, "False")));
  edtAppInterval_->setCurrentText(
      QString::fromStdString(ReadConfig(configkey::kAppSynchroInterval, "10")));
  cbxStartAutoSynchro_->setChecked(IsTrue(ReadConfig(configkey::kStartAutoSynchro, "False")));
  cbxAutoBillTransfer_->setChecked(IsTrue(ReadConfig(configkey::kAutoBillTransfer, "True")));
}

void TfrmSelectMobileDB::SelectDataBase(const std::string& name) {
  int found = -1;
  for (int i = 0; i < cbDataBaseList_->count(); ++i) {
    if (cbDataBaseList_->itemText(i).toStdString() == name) {
      found = i;
      break;
    }
  }
  cbDataBaseList_->setCurrentIndex(found);
}

std::vector<std::string> TfrmSelectMobileDB::DataBases() const {
  std::vector<std::string> names;
  for (int i = 0; i < cbDataBaseList_->count(); ++i) {
    names.push_back(cbDataBaseList_->itemText(i).toStdString());
  }
  return names;
}

void TfrmSelectMobileDB::ConfirmMobile() {
  const std::string chosen =
      cbDataBaseList_->currentIndex() < 0 ? "" : cbDataBaseList_->currentText().toStdString();
  // The back end reads its port and switch only when the program starts.
  if (!WriteMobileSettings(
          {{configkey::kMobileDataBase, chosen},
           {configkey::kMobilePort, "212"},
           {configkey::kStartMobileApp, ConfigBool(cbxStartMobileAPP_->isChecked())}})) {
    return;
  }
  chosen_ = true;
  chosenDataBase_ = chosen;
  accept();
}

bool TfrmSelectMobileDB::ConfirmSynchro() {
  const std::string interval = edtAppInterval_->currentText().toStdString();
  // 0 or a negative figure would make the synchroniser's timer fire without
  // pause; such a text is refused rather than stored.
  if (!IsWholeMinutes(interval)) {
    ui::ActiveMessageBoxes()->Show("同步间隔必须是大于0的整数（分钟）！", "提示",
                                   ui::MessageIcon::Warning);
    return false;
  }
  const bool serverSynchronises = cbxStartAutoSynchro_->isChecked();
  const bool postAtOnce = cbxAutoBillTransfer_->isChecked();
  if (!WriteMobileSettings({{configkey::kAppSynchroInterval, interval},
                            {configkey::kStartAutoSynchro, ConfigBool(serverSynchronises)},
                            {configkey::kAutoBillTransfer, ConfigBool(postAtOnce)}})) {
    return false;
  }
  chosen_ = false;
  // The synchroniser's timer is left alone: its interval applies from the
  // next start.
  if (hooks_.applySynchroFlags) hooks_.applySynchroFlags(serverSynchronises, postAtOnce);
  accept();
  return true;
}

void TfrmSelectMobileDB::RunSynchroTest() {
  if (!hooks_.runManualSynchro) return;
  std::vector<std::string> messages;
  try {
    messages = hooks_.runManualSynchro();
  } catch (const std::exception& error) {
    messages = {std::string("同步失败：") + error.what()};
  }
  std::string text;
  for (const std::string& message : messages) {
    if (!text.empty()) text += "\r\n";
    text += message;
  }
  if (!text.empty()) ui::ActiveMessageBoxes()->Show(text, "提示", ui::MessageIcon::Information);
}

}  // namespace quor::console
