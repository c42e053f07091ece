#include "platform/com/DispatchTable.h"

#include <stdexcept>
#include <utility>

#include "platform/com/VariantConvert.h"

namespace quor::com {
namespace {

bool IsParamType(VarType type) {
  if (type == VT_VARIANT) return true;
  if (type & VT_ARRAY) {
    return (type & ~(VT_ARRAY | VT_TYPEMASK)) == 0 && IsElementType(type & VT_TYPEMASK);
  }
  return IsValueType(type);
}

[[noreturn]] void Reject(const MemberInfo& member, const std::string& why) {
  throw std::invalid_argument("dispatch member \"" + member.name + "\" (DISPID " +
                              std::to_string(member.dispId) + "): " + why);
}

// What an omitted optional parameter receives, settled once when the table is built.
Variant ResolveDefault(const MemberInfo& member, const ParamInfo& param) {
  if (param.type == VT_VARIANT) {
    return param.defaultValue.IsEmpty() ? Variant::Missing() : param.defaultValue;
  }
  Variant value;
  if (Failed(TryChangeType(param.defaultValue, param.type, value))) {
    if (param.defaultValue.IsEmpty()) return Variant();  // e.g. VT_ERROR: no zero value
    Reject(member,
           "default of parameter \"" + param.name + "\" is not a " + VarTypeName(param.type));
  }
  return value;
}

struct WriteBack {
  std::size_t param;
  std::size_t arg;
};

void Fail(ExcepInfo* excepInfo, const std::string& source, HResult scode,
          const std::string& description) {
  if (!excepInfo) return;
  *excepInfo = ExcepInfo{};
  excepInfo->source = source;
  excepInfo->description = description;
  excepInfo->scode = scode;
}

}  // namespace

DispatchTable::DispatchTable(std::vector<MemberInfo> members, std::string source)
    : members_(std::move(members)), source_(std::move(source)) {
  for (std::size_t i = 0; i < members_.size(); ++i) {
    MemberInfo& member = members_[i];
    if (member.name.empty()) Reject(member, "no name");
    if (!member.handler) Reject(member, "no handler");
    if (member.kind == MemberKind::PropertyPut && member.params.empty()) {
      Reject(member, "a property put needs a value parameter");
    }
    if (member.openListResult && !member.openList) {
      Reject(member, "a result slot belongs to an open argument list");
    }
    bool optionalSeen = false;
    for (ParamInfo& param : member.params) {
      if (member.openList && (param.mode != ParamMode::In || param.optional)) {
        Reject(member, "an open argument list declares required in parameters only");
      }
      if (!IsParamType(param.type)) {
        Reject(member, "parameter \"" + param.name + "\" has type " + VarTypeName(param.type));
      }
      if (optionalSeen && !param.optional) {
        Reject(member, "required parameter \"" + param.name + "\" after an optional one");
      }
      optionalSeen = optionalSeen || param.optional;
      param.defaultValue = ResolveDefault(member, param);
    }

    const auto [named, fresh] = byName_.try_emplace(member.name, member.dispId);
    if (!fresh && named->second != member.dispId) Reject(member, "name already has another DISPID");
    Slots& slots = byDispId_[member.dispId];
    if (fresh && (slots.method >= 0 || slots.get >= 0 || slots.put >= 0)) {
      Reject(member, "DISPID already belongs to another name");
    }
    int& slot = member.kind == MemberKind::Method        ? slots.method
                : member.kind == MemberKind::PropertyGet ? slots.get
                                                         : slots.put;
    if (slot >= 0) Reject(member, "declared twice");
    slot = static_cast<int>(i);
  }
}

HResult DispatchTable::GetIDsOfNames(std::string_view name, DispId& dispId) const {
  const auto found = byName_.find(name);
  if (found == byName_.end()) return DISP_E_UNKNOWNNAME;
  dispId = found->second;
  return S_OK;
}

const MemberInfo* DispatchTable::Find(DispId dispId, MemberKind kind) const {
  const auto found = byDispId_.find(dispId);
  if (found == byDispId_.end()) return nullptr;
  const Slots& slots = found->second;
  const int index = kind == MemberKind::Method        ? slots.method
                    : kind == MemberKind::PropertyGet ? slots.get
                                                      : slots.put;
  return index >= 0 ? &members_[static_cast<std::size_t>(index)] : nullptr;
}

HResult DispatchTable::Invoke(IDispatchObject& self, DispId dispId, DispatchFlags flags,
                              const DispParams& params, Variant* result, ExcepInfo* excepInfo,
                              std::uint32_t* argErr) const {
  if (result) *result = Variant();
  const MemberInfo* member = nullptr;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    member = Find(dispId, MemberKind::PropertyPut);
  } else {
    // Callers that cannot tell a method from a property send both bits.
    if (flags & DISPATCH_METHOD) member = Find(dispId, MemberKind::Method);
    if (!member && (flags & DISPATCH_PROPERTYGET)) member = Find(dispId, MemberKind::PropertyGet);
  }
  if (!member) return DISP_E_MEMBERNOTFOUND;
  try {
    return Call(*member, self, flags, params, result, excepInfo, argErr);
  } catch (const HResultError& error) {
    // Clients read the error's own failure code; a success code is no failure, so E_UNEXPECTED.
    Fail(excepInfo, source_, Failed(error.Code()) ? error.Code() : E_UNEXPECTED, error.what());
  } catch (const std::exception& error) {
    Fail(excepInfo, source_, E_UNEXPECTED, error.what());
  }
  return DISP_E_EXCEPTION;
}

HResult DispatchTable::Call(const MemberInfo& member, IDispatchObject& self, DispatchFlags flags,
                            const DispParams& params, Variant* result, ExcepInfo* excepInfo,
                            std::uint32_t* argErr) const {
  if (member.openList) return CallOpen(member, self, params, result, argErr);
  const std::size_t total = params.args.size();
  const std::size_t named = params.namedArgs.size();
  const std::size_t declared = member.params.size();
  if (named > total) return E_INVALIDARG;
  if (total > declared) return DISP_E_BADPARAMCOUNT;
  const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;

  // Where each declared parameter's argument sits in params.args (npos: omitted).
  constexpr std::size_t kOmitted = static_cast<std::size_t>(-1);
  std::vector<std::size_t> argOf(declared, kOmitted);
  const std::size_t positional = total - named;
  for (std::size_t p = 0; p < positional; ++p) argOf[p] = total - 1 - p;
  for (std::size_t i = 0; i < named; ++i) {
    const DispId id = params.namedArgs[i];
    const std::size_t p = id == DISPID_PROPERTYPUT && isPut ? declared - 1
                          : id >= 0                         ? static_cast<std::size_t>(id)
                                                            : kOmitted;
    if (p >= declared || argOf[p] != kOmitted) {
      if (argErr) *argErr = static_cast<std::uint32_t>(i);
      return DISP_E_PARAMNOTFOUND;
    }
    argOf[p] = i;
  }

  DispatchArgs args;
  args.values_.resize(declared);
  args.supplied_.assign(declared, true);
  std::vector<WriteBack> writeBacks;
  for (std::size_t p = 0; p < declared; ++p) {
    const ParamInfo& param = member.params[p];
    const std::size_t at = argOf[p];
    const bool omitted =
        at == kOmitted || (param.mode != ParamMode::Out && params.args[at].Deref().IsMissing());
    if (omitted) {
      if (!param.optional) {
        if (at != kOmitted) {
          if (argErr) *argErr = static_cast<std::uint32_t>(at);
          return DISP_E_PARAMNOTOPTIONAL;
        }
        return named == 0 ? DISP_E_BADPARAMCOUNT : DISP_E_PARAMNOTOPTIONAL;
      }
      args.values_[p] = param.defaultValue;
      args.supplied_[p] = false;
      continue;
    }
    const Variant& arg = params.args[at];
    if (param.mode == ParamMode::Out) {
      // Whatever the caller's slot held is not an input.
      if (Failed(TryChangeType(Variant(), param.type, args.values_[p])))
        args.values_[p] = Variant();
    } else if (const HResult hr = TryChangeType(arg, param.type, args.values_[p]); Failed(hr)) {
      if (argErr) *argErr = static_cast<std::uint32_t>(at);
      return hr;
    }
    if (param.mode != ParamMode::In && arg.IsByRef()) writeBacks.push_back({p, at});
  }

  Variant value = member.handler(self, args);
  // Convert every output before writing any, so a bad one leaves all slots as they were.
  std::vector<Variant> outputs;
  outputs.reserve(writeBacks.size());
  for (const WriteBack& back : writeBacks) {
    const Variant& ref = params.args[back.arg];
    const VarType type =
        ref.TargetType() == VT_VARIANT ? member.params[back.param].type : ref.TargetType();
    Variant converted;
    if (const HResult hr = TryChangeType(args.values_[back.param], type, converted); Failed(hr)) {
      throw HResultError(hr, "output parameter \"" + member.params[back.param].name + "\" of " +
                                 member.name + " does not convert to " + VarTypeName(type));
    }
    outputs.push_back(std::move(converted));
  }
  for (std::size_t i = 0; i < writeBacks.size(); ++i) {
    params.args[writeBacks[i].arg].SetTarget(outputs[i]);
  }
  if (result) *result = std::move(value);
  return S_OK;
}

// Positional arguments only: the client's declared order is the reverse of
// params.args. Nothing reaches the handler unless the whole call is sound.
HResult DispatchTable::CallOpen(const MemberInfo& member, IDispatchObject& self,
                                const DispParams& params, Variant* result,
                                std::uint32_t* argErr) const {
  if (!params.namedArgs.empty()) return DISP_E_NONAMEDARGS;
  const std::size_t total = params.args.size();
  const bool resultSlot = member.openListResult && total > 0 && params.args[0].IsByRef();
  const std::size_t inputs = total - (resultSlot ? 1 : 0);
  const std::size_t declared = member.params.size();
  if (inputs < declared) return DISP_E_BADPARAMCOUNT;

  DispatchArgs args;
  args.values_.resize(declared);
  args.supplied_.assign(declared, true);
  for (std::size_t p = 0; p < declared; ++p) {
    const std::size_t at = total - 1 - p;
    const Variant& arg = params.args[at];
    if (arg.Deref().IsMissing()) {
      if (argErr) *argErr = static_cast<std::uint32_t>(at);
      return DISP_E_PARAMNOTOPTIONAL;
    }
    if (const HResult hr = TryChangeType(arg, member.params[p].type, args.values_[p]); Failed(hr)) {
      if (argErr) *argErr = static_cast<std::uint32_t>(at);
      return hr;
    }
  }
  args.further_.reserve(inputs - declared);
  for (std::size_t p = declared; p < inputs; ++p) {
    args.further_.push_back(params.args[total - 1 - p].Deref());
  }
  args.hasResultSlot_ = resultSlot;

  Variant value = member.handler(self, args);
  if (resultSlot && !args.resultSlot_.IsEmpty()) {
    const Variant& ref = params.args[0];
    Variant converted = args.resultSlot_;
    if (ref.TargetType() != VT_VARIANT) {
      if (const HResult hr = TryChangeType(args.resultSlot_, ref.TargetType(), converted);
          Failed(hr)) {
        throw HResultError(hr, "the result of " + member.name + " does not convert to " +
                                   VarTypeName(ref.TargetType()));
      }
    }
    ref.SetTarget(converted);
  }
  if (result) *result = std::move(value);
  return S_OK;
}

}  // namespace quor::com
