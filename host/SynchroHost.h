// The synchroniser for the life of the process: created with the server's
// settings, its timer rule offered to the console's " 客户端同步手机" switch
// and its flags and manual run to the phone settings dialog.
#pragma once

#include <memory>

#include "console/MainForm.h"
#include "console/SelectMobileDbDialog.h"

namespace quor::sync {
class TDataSynchroServer;
}

namespace quor {

class SynchroHost {
 public:
  // A synchroniser that cannot be created is reported and left out; the
  // console's synchronisation tools then do nothing.
  SynchroHost();
  ~SynchroHost();
  SynchroHost(const SynchroHost&) = delete;
  SynchroHost& operator=(const SynchroHost&) = delete;

  // Adds the tool "synchroTimer", which the console runs after toggling the
  // client-synchronises switch.
  void AddTo(console::MainFormEnvironment& environment);
  // What the phone settings dialog calls. The manual run goes on the
  // synchroniser's own thread while the caller's event loop keeps running,
  // so the console stays responsive; it returns the texts to show.
  console::SelectMobileDbHooks DialogHooks();

 private:
  std::unique_ptr<sync::TDataSynchroServer> synchro_;
};

}  // namespace quor
