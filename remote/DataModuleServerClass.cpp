// The module's COM class: its registration entry, its creator and its member table.
#include <memory>

#include "remote/methods/MethodCatalogue.h"
#include "remote/uDataModuleSvr.h"

namespace quor {

const com::ClassRegistration& DataModuleServerRegistration() {
  static const com::ClassRegistration entry{
      kDataModuleServerClassId,
      kDataModuleServerProgId,
      "QuorServerAll DataModuleServer",
      {{"Sockets", "1"}, {"Web", "1"}},
  };
  return entry;
}

void RegisterDataModuleServer(com::ClassRegistry& classes) {
  classes.Add(DataModuleServerRegistration(), [] { return std::make_shared<TDataModuleServer>(); });
}

std::shared_ptr<const com::DispatchTable> DataModuleServerTable() {
  static const std::shared_ptr<const com::DispatchTable> table =
      remote::BuildModuleTable(remote::CatalogueMethods());
  return table;
}

}  // namespace quor
