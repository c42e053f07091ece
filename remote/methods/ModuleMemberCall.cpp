#include "remote/methods/ModuleMemberCall.h"

#include <stdexcept>
#include <string>

#include "platform/com/VariantConvert.h"
#include "remote/methods/CallPattern.h"
#include "remote/methods/MethodCatalogue.h"

namespace quor::remote {

com::DispatchArgs CallModuleMember(TDataModuleServer& module, std::string_view name,
                                   std::vector<com::Variant> declared) {
  const MethodDescription* found = nullptr;
  for (const MethodDescription* method : CatalogueMethods()) {
    if (method->name == name) {
      found = method;
      break;
    }
  }
  if (found == nullptr) throw std::logic_error("the module has no member " + std::string(name));
  const com::MemberInfo member = DispatchMemberOf(*found);
  if (declared.size() != member.params.size()) {
    throw std::logic_error(std::string(name) + " takes " + std::to_string(member.params.size()) +
                           " arguments");
  }
  for (std::size_t slot = 0; slot < declared.size(); ++slot) {
    declared[slot] = com::ChangeType(declared[slot], member.params[slot].type);
  }
  com::DispatchArgs args(std::move(declared));
  if (found->handler != nullptr) {
    found->handler(module, *found, args);
  } else {
    RunCallPattern(module, *found, args);
  }
  return args;
}

}  // namespace quor::remote
