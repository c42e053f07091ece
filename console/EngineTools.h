// The console's tools around the SQL Server engine, put into the main
// window's `tools` map under the object names of the buttons and menu items
// that open them: the private engine's start and stop, its start-up log, the
// database repair, the hidden account sets and the phone editions' settings.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "console/MainForm.h"
#include "console/SelectMobileDbDialog.h"

namespace quor::console {

class PrivateEngine;

struct EngineToolsHooks {
  // What the phone settings dialog hands to the synchroniser.
  SelectMobileDbHooks synchro;
  // Points the phone back end at the chosen account set; false when it
  // cannot connect to it. Not called for an empty choice.
  std::function<bool(const std::string&)> useMobileDataBase;
  // Shows a dialog modally and returns its result; exec() when empty.
  std::function<int(QWidget&)> runModal;
};

class EngineTools {
 public:
  explicit EngineTools(EngineToolsHooks hooks = {});
  ~EngineTools();
  EngineTools(const EngineTools&) = delete;
  EngineTools& operator=(const EngineTools&) = delete;

  // Adds "sbStartSQL", "sbStopSQL", "miEngineLog", "miRepairDataBase",
  // "miHiddenDataBase" and "sbSelMobileDB". The tools must outlive the window.
  void AddTo(MainFormEnvironment& environment);

  PrivateEngine& Engine() { return *engine_; }

  void OpenEngineLog();
  void OpenRepair();
  void OpenHiddenDataBases();
  void SelectMobileDataBase();

 private:
  int RunModal(QWidget& dialog);

  EngineToolsHooks hooks_;
  std::unique_ptr<PrivateEngine> engine_;
};

inline constexpr const char* kMobileDataBaseConnectFailed = "连接此帐套失败，请重新选择帐套！";

}  // namespace quor::console
