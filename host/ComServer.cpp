#include "host/ComServer.h"

#include "platform/registry/Registry.h"
#include "remote/uDataModuleSvr.h"

namespace quor::host {

void UpdateComRegistration(bool registering, const std::string& serverPath) {
  registry::Registry registry;
  if (registering) {
    com::RegisterClass(registry, DataModuleServerRegistration(), serverPath);
  } else {
    com::UnregisterClass(registry, DataModuleServerRegistration());
  }
}

}  // namespace quor::host
