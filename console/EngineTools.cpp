#include "console/EngineTools.h"

#include <QDialog>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "console/DataBaseHideDialog.h"
#include "console/EngineLogDialog.h"
#include "console/PrivateEngine.h"
#include "console/RepairDialog.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {

EngineTools::EngineTools(EngineToolsHooks hooks)
    : hooks_(std::move(hooks)), engine_(std::make_unique<PrivateEngine>()) {}

EngineTools::~EngineTools() = default;

void EngineTools::AddTo(MainFormEnvironment& environment) {
  environment.tools["sbStartSQL"] = [this] { engine_->Start(); };
  environment.tools["sbStopSQL"] = [this] { engine_->Stop(); };
  environment.tools["miEngineLog"] = [this] { OpenEngineLog(); };
  environment.tools["miRepairDataBase"] = [this] { OpenRepair(); };
  environment.tools["miHiddenDataBase"] = [this] { OpenHiddenDataBases(); };
  environment.tools["sbSelMobileDB"] = [this] { SelectMobileDataBase(); };
}

int EngineTools::RunModal(QWidget& dialog) {
  if (hooks_.runModal) return hooks_.runModal(dialog);
  auto* modal = qobject_cast<QDialog*>(&dialog);
  return modal ? modal->exec() : 0;
}

void EngineTools::OpenEngineLog() {
  TfrmMiniSQLLog dialog;
  RunModal(dialog);
}

void EngineTools::OpenRepair() {
  TfrmSQLCheckRehab dialog;
  RunModal(dialog);
}

void EngineTools::OpenHiddenDataBases() {
  TfrmDataBaseHide dialog;
  RunModal(dialog);
}

void EngineTools::SelectMobileDataBase() {
  TfrmSelectMobileDB dialog(hooks_.synchro);
  dialog.SelectDataBase(ReadConfig(configkey::kMobileDataBase, ""));
  RunModal(dialog);
  if (!dialog.Chosen() || dialog.ChosenDataBase().empty()) return;
  if (hooks_.useMobileDataBase && !hooks_.useMobileDataBase(dialog.ChosenDataBase())) {
    ui::ActiveMessageBoxes()->Show(kMobileDataBaseConnectFailed, "提示", ui::MessageIcon::None);
  }
}

}  // namespace quor::console
