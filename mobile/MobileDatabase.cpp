#include "mobile/MobileDatabase.h"

#include <iostream>

#include "ServerPublic/ConnectionRecipe.h"

namespace quor::mobile {

void MobileDatabase::Point(const std::string& dataBase) {
  std::lock_guard guard(mutex_);
  connection_.Close();
  {
    std::lock_guard nameGuard(nameMutex_);
    name_ = dataBase;
  }
  if (!IsMobileDataBaseChosen(dataBase)) return;
  try {
    connection_.Settings() = ConnectionRecipe(ConfiguredLogin("(LOCAL)", true), dataBase);
    connection_.Open();
  } catch (const std::exception& error) {
    std::cerr << "mobile: the phones' account set " << dataBase
              << " could not be opened: " << error.what() << '\n';
  }
}

std::string MobileDatabase::Name() const {
  std::lock_guard guard(nameMutex_);
  return name_;
}

bool MobileDatabase::Connected() const {
  std::lock_guard guard(mutex_);
  return connection_.Connected();
}

}  // namespace quor::mobile
