// A member table that implements late-bound dispatch for an object: each row
// names a method or property, its DISPID, its parameters (type, in / out /
// in-out, optional) and the code behind it. One table per class, built once
// and shared by every instance; the remote methods are registered as rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/com/IDispatchObject.h"
#include "platform/text/AsciiText.h"

namespace quor::com {

enum class MemberKind : std::uint8_t { Method, PropertyGet, PropertyPut };

// Out and InOut parameters are the ones a caller passes by reference; the
// value the handler leaves in the argument is written back after a successful
// call. A caller that passes one by value simply does not get it back.
enum class ParamMode : std::uint8_t { In, Out, InOut };

struct ParamInfo {
  // Rows read {"Name", VT_I4}, {"Result", VT_I4, ParamMode::Out} or
  // {"Greeting", VT_BSTR, ParamMode::In, true, "Hello"}.
  ParamInfo(std::string name, VarType type = VT_VARIANT, ParamMode mode = ParamMode::In,
            bool optional = false, Variant defaultValue = {})
      : name(std::move(name)),
        type(type),
        mode(mode),
        optional(optional),
        defaultValue(std::move(defaultValue)) {}

  std::string name;
  // The argument is converted to this type (ChangeType) before the handler sees
  // it; VT_VARIANT takes any value as it comes.
  VarType type = VT_VARIANT;
  ParamMode mode = ParamMode::In;
  // Optional parameters come last. An omitted one (or one passed as
  // Variant::Missing()) gets defaultValue; an empty default means
  // Variant::Missing() for VT_VARIANT and the empty value converted (0, "",
  // false) for a typed parameter.
  bool optional = false;
  Variant defaultValue;
};

// The arguments as a handler sees them: declared order, converted to the
// declared types. Out and in-out arguments are written by assigning to them.
class DispatchArgs {
 public:
  DispatchArgs() = default;
  // Arguments already in declared order and of the declared types, all
  // supplied: for running a member's steps on values that did not come
  // through a dispatch call.
  explicit DispatchArgs(std::vector<Variant> values)
      : values_(std::move(values)), supplied_(values_.size(), true) {}

  std::size_t Count() const { return values_.size(); }
  Variant& operator[](std::size_t index) { return values_.at(index); }
  const Variant& operator[](std::size_t index) const { return values_.at(index); }
  // False for an optional argument the caller left out.
  bool Supplied(std::size_t index) const { return supplied_.at(index); }

  // Members with an open argument list (MemberInfo::openList): the positional
  // arguments beyond the declared ones, in declared order, as they came
  // (by-reference ones read through), and the caller's by-reference result
  // slot when it passed one last (MemberInfo::openListResult).
  const std::vector<Variant>& Further() const { return further_; }
  bool HasResultSlot() const { return hasResultSlot_; }
  // Written back to the caller after a successful call; empty until set.
  Variant& ResultSlot() { return resultSlot_; }

 private:
  friend class DispatchTable;
  std::vector<Variant> values_;
  std::vector<bool> supplied_;
  std::vector<Variant> further_;
  bool hasResultSlot_ = false;
  Variant resultSlot_;
};

// Raising HResultError (or any std::exception) fails the call with
// DISP_E_EXCEPTION; the returned value is the call's result.
using MemberHandler = std::function<Variant(IDispatchObject& self, DispatchArgs& args)>;

struct MemberInfo {
  std::string name;
  DispId dispId = DISPID_UNKNOWN;
  MemberKind kind = MemberKind::Method;
  std::vector<ParamInfo> params;  // a property put's value is its last parameter
  MemberHandler handler;
  // Callers may pass more positional arguments than params declares (all of
  // them in parameters then); the further ones reach the handler unconverted
  // through DispatchArgs::Further(). Named arguments are refused
  // (DISP_E_NONAMEDARGS), fewer than the declared ones are too few.
  bool openList = false;
  // With openList: a last argument passed by reference is the caller's result
  // slot, not an input (DispatchArgs::ResultSlot()).
  bool openListResult = false;
};

class DispatchTable {
 public:
  // Throws std::invalid_argument naming the member for a table that could not
  // dispatch soundly: no name or handler, a DISPID or name used twice for the
  // same kind, one name with two DISPIDs (or one DISPID with two names), a
  // required parameter after an optional one, a property put without a value,
  // a parameter type that is no conversion target, or a default value that
  // does not convert to its parameter's type.
  explicit DispatchTable(std::vector<MemberInfo> members, std::string source = {});

  HResult GetIDsOfNames(std::string_view name, DispId& dispId) const;
  // IDispatchObject::Invoke for self. excepInfo gets source = the table's
  // source, description = the error's message, scode = the HResultError's code
  // when it is a failure code, otherwise E_UNEXPECTED.
  HResult Invoke(IDispatchObject& self, DispId dispId, DispatchFlags flags,
                 const DispParams& params, Variant* result, ExcepInfo* excepInfo,
                 std::uint32_t* argErr) const;

  const MemberInfo* Find(DispId dispId, MemberKind kind) const;
  const std::vector<MemberInfo>& Members() const { return members_; }
  const std::string& Source() const { return source_; }

 private:
  struct Slots {
    int method = -1;
    int get = -1;
    int put = -1;
  };
  HResult Call(const MemberInfo& member, IDispatchObject& self, DispatchFlags flags,
               const DispParams& params, Variant* result, ExcepInfo* excepInfo,
               std::uint32_t* argErr) const;
  HResult CallOpen(const MemberInfo& member, IDispatchObject& self, const DispParams& params,
                   Variant* result, std::uint32_t* argErr) const;

  std::vector<MemberInfo> members_;
  std::unordered_map<DispId, Slots> byDispId_;
  std::unordered_map<std::string, DispId, text::AsciiCaseInsensitiveHash,
                     text::AsciiCaseInsensitiveEqual>
      byName_;
  std::string source_;
};

// A handler that calls a member function of the object's own class:
// Bind(&TMyModule::DoThing) for Variant TMyModule::DoThing(DispatchArgs&).
// An object of another class fails the call with DISP_E_EXCEPTION.
template <class T>
MemberHandler Bind(Variant (T::*method)(DispatchArgs&)) {
  return [method](IDispatchObject& self, DispatchArgs& args) -> Variant {
    return (dynamic_cast<T&>(self).*method)(args);
  };
}

}  // namespace quor::com
