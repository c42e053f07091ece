// The late-bound call interface of COM's IDispatch, which is how clients of
// the socket transport reach every remote method: look a member up by name
// once, then invoke it by DISPID with arguments in dispatch order (the last
// declared first), by-reference arguments the callee writes, and exception
// information for a failed call. Objects are shared through std::shared_ptr.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/HResult.h"
#include "platform/com/Variant.h"

namespace quor::com {

using DispId = std::int32_t;

inline constexpr DispId DISPID_UNKNOWN = -1;
inline constexpr DispId DISPID_VALUE = 0;
inline constexpr DispId DISPID_PROPERTYPUT = -3;

using DispatchFlags = std::uint16_t;
inline constexpr DispatchFlags DISPATCH_METHOD = 1;
inline constexpr DispatchFlags DISPATCH_PROPERTYGET = 2;
inline constexpr DispatchFlags DISPATCH_PROPERTYPUT = 4;
inline constexpr DispatchFlags DISPATCH_PROPERTYPUTREF = 8;

// EXCEPINFO: what a call that returned DISP_E_EXCEPTION has to say. The wire
// carries scode and description.
struct ExcepInfo {
  std::uint16_t code = 0;
  std::string source;
  std::string description;
  std::string helpFile;
  std::uint32_t helpContext = 0;
  HResult scode = S_OK;
};

// DISPPARAMS. args[0] is the last positional argument; the first
// namedArgs.size() entries of args are the named ones, args[i] going with
// namedArgs[i]. By-reference arguments are Variant::ByRef values.
struct DispParams {
  DispParams() = default;
  DispParams(std::vector<Variant> args, std::vector<DispId> namedArgs = {})
      : args(std::move(args)), namedArgs(std::move(namedArgs)) {}

  std::vector<Variant> args;
  std::vector<DispId> namedArgs;
};

// Every COM object. Only its lifetime is shared here; the kinds of object are
// told apart with dynamic_pointer_cast, which stands in for QueryInterface.
class IUnknownObject {
 public:
  virtual ~IUnknownObject() = default;
};

class IDispatchObject : public IUnknownObject {
 public:
  // One member name, compared without regard to letter case.
  // S_OK with its DISPID, or DISP_E_UNKNOWNNAME.
  virtual HResult GetIDsOfNames(std::string_view name, DispId& dispId) = 0;

  // Failures come back as HRESULTs, not exceptions: DISP_E_MEMBERNOTFOUND,
  // DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW (with the
  // index into params.args of the argument in argErr), DISP_E_PARAMNOTFOUND,
  // DISP_E_PARAMNOTOPTIONAL, or DISP_E_EXCEPTION with excepInfo filled.
  // result, excepInfo and argErr may be null when the caller does not want them.
  virtual HResult Invoke(DispId dispId, DispatchFlags flags, const DispParams& params,
                         Variant* result, ExcepInfo* excepInfo, std::uint32_t* argErr) = 0;

 protected:
  IDispatchObject() = default;
  IDispatchObject(const IDispatchObject&) = default;
  IDispatchObject& operator=(const IDispatchObject&) = default;
};

}  // namespace quor::com
