// "选择使用账套": settings of the two phone editions - the account set, port
// and start switch of the offline edition's back end (TCP 212), and the
// interval and switches of the online edition's cloud synchronisation. The
// synchroniser's effects go through hooks, so the console needs neither the
// phone back end nor the synchroniser to build.
#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace quor::console {

struct SelectMobileDbHooks {
  // Sets the synchroniser's server-synchronises flag and post-at-once flag
  // (the check marks of "启动手机版与服务端数据同步" and "下载手机版单据后立即过账").
  std::function<void(bool serverSynchronises, bool postAtOnce)> applySynchroFlags;
  // One synchronisation pass over every account set, on the caller's thread;
  // returns when it is done, with the messages to show (none: nothing to say).
  std::function<std::vector<std::string>()> runManualSynchro;
};

class TfrmSelectMobileDB : public QDialog {
 public:
  explicit TfrmSelectMobileDB(SelectMobileDbHooks hooks = {}, QWidget* parent = nullptr);

  // Selects the entry equal to `name`; nothing when there is none.
  void SelectDataBase(const std::string& name);
  std::vector<std::string> DataBases() const;

  // "确定" of the offline edition: stores its account set, port and switch.
  void ConfirmMobile();
  // "确定" of the online edition: stores the interval and switches and hands
  // the switches to the synchroniser. A interval that is no whole number of
  // minutes above 0 is refused and the dialog stays open.
  bool ConfirmSynchro();
  // "同步测试(全部账套同步一次)".
  void RunSynchroTest();

  bool Chosen() const { return chosen_; }
  std::string ChosenDataBase() const { return chosenDataBase_; }

 private:
  SelectMobileDbHooks hooks_;
  bool chosen_ = false;
  std::string chosenDataBase_;
  QComboBox* cbDataBaseList_ = nullptr;
  QLineEdit* edtServerPort_ = nullptr;
  QCheckBox* cbxStartMobileAPP_ = nullptr;
  QComboBox* edtAppInterval_ = nullptr;
  QCheckBox* cbxStartAutoSynchro_ = nullptr;
  QCheckBox* cbxAutoBillTransfer_ = nullptr;
};

}  // namespace quor::console
