#include "fuzz/FuzzObjects.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/com/ClassRegistration.h"
#include "platform/com/SafeArray.h"
#include "platform/com/TableDispatch.h"
#include "platform/registry/Registry.h"

namespace quor::fuzz {
namespace {

namespace fs = std::filesystem;
using com::DispatchArgs;
using com::MemberInfo;
using com::MemberKind;
using com::ParamMode;
using com::Variant;

class FuzzTarget : public com::TableDispatch {
 public:
  FuzzTarget() : TableDispatch(Table()) {}

 private:
  static std::shared_ptr<const com::DispatchTable> Table() {
    static const auto table = std::make_shared<const com::DispatchTable>(
        std::vector<MemberInfo>{
            {"Echo", 1, MemberKind::Method, {{"Value"}}, Bind(&FuzzTarget::Echo)},
            {"AddOne",
             2,
             MemberKind::Method,
             {{"Number", com::VT_I4, ParamMode::InOut}},
             Bind(&FuzzTarget::AddOne)},
            {"Sum", 3, MemberKind::Method, {{"Values"}}, Bind(&FuzzTarget::Sum)},
            {"CallBack",
             4,
             MemberKind::Method,
             {{"Target", com::VT_DISPATCH}, {"Value", com::VT_I4}},
             Bind(&FuzzTarget::CallBack)},
            {"Fail", 5, MemberKind::Method, {}, Bind(&FuzzTarget::Fail)},
        },
        kFuzzProgId);
    return table;
  }

  Variant Echo(DispatchArgs& args) { return args[0]; }
  Variant AddOne(DispatchArgs& args) {
    // Wraps instead of overflowing: the fuzzer sends the largest integers too.
    const auto number = static_cast<std::uint32_t>(args[0].GetI4());
    args[0] = Variant::I4(static_cast<std::int32_t>(number + 1u));
    return {};
  }
  Variant Sum(DispatchArgs& args) {
    const com::SafeArray& values = args[0].GetArray();
    double sum = 0;
    std::vector<std::int32_t> index = values.FirstIndex();
    if (values.ElementCount() > 0) {
      do {
        sum += values.Get(index).ToR8();
      } while (values.NextIndex(index));
    }
    return Variant::R8(sum);
  }
  // Reaches the interpreter's calls towards the peer, which has no answer here.
  Variant CallBack(DispatchArgs& args) {
    const com::DispatchPtr target = args[0].GetDispatch();
    if (!target) throw com::HResultError(com::E_POINTER, "no object to call back");
    com::DispId dispId = com::DISPID_UNKNOWN;
    const com::HResult lookup = target->GetIDsOfNames("Twice", dispId);
    if (com::Failed(lookup)) throw com::HResultError(lookup, "no member Twice");
    com::DispParams params({args[1]});
    Variant result;
    com::ExcepInfo excepInfo;
    const com::HResult status =
        target->Invoke(dispId, com::DISPATCH_METHOD, params, &result, &excepInfo, nullptr);
    if (com::Failed(status)) throw com::HResultError(status, excepInfo.description);
    return result;
  }
  Variant Fail(DispatchArgs&) { throw com::HResultError(com::E_FAIL, "failed on purpose"); }
};

fs::path MakeTempFolder() {
  std::string pattern = (fs::temp_directory_path() / "quor-fuzz-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

fs::path& Folder() {
  static fs::path folder;
  return folder;
}

void RemoveFolder() {
  std::error_code ignored;
  if (!Folder().empty()) fs::remove_all(Folder(), ignored);
}

}  // namespace

const std::shared_ptr<com::ClassRegistry>& FuzzClasses() {
  static const std::shared_ptr<com::ClassRegistry> classes = [] {
    Folder() = MakeTempFolder();
    std::atexit(RemoveFolder);
    registry::Registry store(Folder() / "registry.reg");
    auto registry = std::make_shared<com::ClassRegistry>(store);
    com::ClassRegistration entry{kFuzzClassId, kFuzzProgId, "Fuzz test class", {}};
    entry.classValues.emplace_back("Sockets", "1");
    com::RegisterClass(store, entry, "/usr/bin/quor-fuzz");
    registry->Add(entry, [] { return MakeFuzzTarget(); });
    return registry;
  }();
  return classes;
}

com::DispatchPtr MakeFuzzTarget() {
  return std::make_shared<FuzzTarget>();
}

}  // namespace quor::fuzz
