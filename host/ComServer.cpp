#include "host/ComServer.h"

#include "platform/registry/Registry.h"

namespace quor::host {

const com::ClassRegistration& DataModuleServerClass() {
  static const com::ClassRegistration entry{
      "{C1C424E1-600A-461D-8759-8D739C78CBDC}",
      "QuorServerAll.DataModuleServer",
      "QuorServerAll DataModuleServer",
      {{"Sockets", "1"}, {"Web", "1"}},
  };
  return entry;
}

void UpdateComRegistration(bool registering, const std::string& serverPath) {
  registry::Registry registry;
  if (registering) {
    com::RegisterClass(registry, DataModuleServerClass(), serverPath);
  } else {
    com::UnregisterClass(registry, DataModuleServerClass());
  }
}

}  // namespace quor::host
