// ADOConnMob: the one SQL Server connection every phone shares, on the account
// set that "MobileDataBase" names. One lock is held for each whole piece of
// work on it (a download build, an upload processing, a change of account set),
// so the statements of two phones never interleave on the connection.
#pragma once

#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "mobile/MobileSettings.h"
#include "platform/sql/Connection.h"

namespace quor::mobile {

class MobileDatabase {
 public:
  MobileDatabase() = default;
  MobileDatabase(const MobileDatabase&) = delete;
  MobileDatabase& operator=(const MobileDatabase&) = delete;

  // Configures the connection from the server's SQL settings for `dataBase`
  // and opens it, waiting for work in progress to end first. A failure to open
  // is logged, not raised: the connection then opens at its next use or that
  // use fails. No account set chosen leaves it closed.
  void Point(const std::string& dataBase);

  // The account set chosen; answered at once, also while work runs.
  std::string Name() const;
  // Waits for work in progress, like Point.
  bool Connected() const;

  // Runs `work` on the connection under the lock and returns its result;
  // throws std::runtime_error when no account set is chosen.
  template <typename Work>
  decltype(auto) Run(Work&& work) {
    std::lock_guard guard(mutex_);
    if (!IsMobileDataBaseChosen(Name())) {
      throw std::runtime_error("no account set is chosen for the phones");
    }
    return std::forward<Work>(work)(connection_);
  }

 private:
  mutable std::mutex mutex_;  // the connection's one lock
  // The name has a lock of its own: phones logging in read it while another
  // phone's download holds the connection.
  mutable std::mutex nameMutex_;
  std::string name_;
  sql::Connection connection_;
};

}  // namespace quor::mobile
