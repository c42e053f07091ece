// How a remote method is written down: one row per method, giving its name,
// DISPID, component, procedure, interface arguments in order (each with how it
// reaches the procedure and where an out argument is read from) and constant
// parameters. The call-pattern engine runs every row without code of its own;
// the dispatch table (names, DISPIDs, argument lists, by-reference outputs) is
// generated from the same rows. A method with its own algorithm names a
// handler and still lists its arguments here.
//
//   {.name = "InsertAreaInfo", .dispId = 1017, .component = Component::kInsertProc,
//    .procedure = "AAAAARN;1",
//    .arguments = {kOperatorId, kCompanyId, ModeLetter("lMode").To("@Mode"),
//                  In("typeid").To("@SelfID"), In("CurrRow"),
//                  Out("NewSelfID").Through("@NewSelfID"), Ret("nRet")}},
//
// Arguments (interface order; the dispatch order is the reverse):
//   In("x")                 variant, sent unchanged as "@x" (letter case free)
//   In("x").To("@y")        sent as "@y" (the arrow of the catalogue)
//   NotSent("x")            accepted, not sent
//   ModeLetter("x")[.To()]  converted to an integer, sent as "I" for 0, "U" otherwise
//   .Typed(ArgType::k...)   the interface type, when not a variant: the client's
//                           value is converted to it before the call
//   .AsInteger()            a variant converted to an integer before sending
//   Out("x"[, type])        [out]; read back with one of the .From... below
//   InOut("x"[, type])      declared [in,out]: the caller's value is sent as "@x"
//   RetVal("x", type)       [out,retval]: the Invoke result, never an argument slot
//   .Through("@p")          an out argument that is sent to "@p" before the run
//                           and read back from it (the catalogue's in-out): an out
//                           variant is sent empty, an out number with the value
//                           its location holds, an [in,out] with the caller's value
//   .SentOnly("@p")         an out argument whose location's value is sent to
//                           "@p" and never read back
//   .From("@p")             read from output parameter "@p" after the run
//   .FromReturnValue()      the return value, by the name ReturnValueName()
//   .FromFixedReturnValue() the return value, by the name "@RETURN_VALUE"
//   .FromFirstParameter()   the return value, by position (parameter 0)
//   .AlwaysZero()           0, without reading (prepared-only members)
//   Ret("x")                Out("x", integer).FromReturnValue(), the usual result
//   kOperatorId, kCompanyId In("OperatorID"), In("CompanyID")
// Constants: Text("@p", "ptype") and Integer("@p", -1090) fill a parameter
// that no argument feeds. run = Run::kPrepareOnly assigns without running.
//
// openList = true: the row lists only the arguments the member names (its in
// arguments, then at most one integer result last); clients may pass more.
// The one rule for such members (docs/remote-members.md explains it to
// client developers):
//   1. arguments in declared order, positional only (named ones are refused);
//   2. OperatorID and CompanyID first where the row has them;
//   3. a last argument passed by reference is the result, when the row has one;
//   4. the named arguments go where the row says; every further argument goes,
//      in order, to the procedure's next input parameter (in the order the
//      parameter request lists them) that no argument or constant has fed;
//   5. arguments beyond those parameters are ignored; a parameter without an
//      argument (or with an empty one) keeps the procedure's default.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/DispatchTable.h"
#include "remote/ModuleComponent.h"

namespace quor {
class TDataModuleServer;
}

namespace quor::remote {

// Interface types other than VARIANT, as the type library declares them.
enum class ArgType : std::uint8_t {
  kVariant,
  kInteger,     // long
  kDouble,      // double
  kWideString,  // BSTR
  kBoolean,     // VARIANT_BOOL
  kDate,        // DATE
};

enum class ArgDirection : std::uint8_t { kIn, kOut, kInOut, kRetVal };

// How an argument's value reaches the procedure before the run.
enum class SendRule : std::uint8_t {
  kNotSent,
  kAsIs,        // the value unchanged
  kModeLetter,  // converted to an integer; "I" for 0, "U" otherwise
  kAsInteger,   // converted to an integer
};

// Where an out argument is read from after the run.
enum class ResultSource : std::uint8_t {
  kNone,
  kReturnValue,       // by the name ReturnValueName()
  kFixedReturnValue,  // by the name "@RETURN_VALUE"
  kFirstParameter,    // parameter 0 of the refreshed list
  kParameter,         // the output parameter named in readFrom
  kZero,              // the integer 0, without reading
};

struct Argument {
  std::string_view name{};
  ArgType type = ArgType::kVariant;
  ArgDirection direction = ArgDirection::kIn;
  SendRule send = SendRule::kAsIs;
  std::string_view parameter{};  // where it is sent; empty: "@" + name
  ResultSource source = ResultSource::kNone;
  std::string_view readFrom{};  // for ResultSource::kParameter

  constexpr Argument To(std::string_view target) const {
    Argument copy = *this;
    copy.parameter = target;
    return copy;
  }
  constexpr Argument Typed(ArgType argType) const {
    Argument copy = *this;
    copy.type = argType;
    return copy;
  }
  constexpr Argument AsInteger() const {
    Argument copy = *this;
    copy.send = SendRule::kAsInteger;
    return copy;
  }
  constexpr Argument Through(std::string_view target) const {
    Argument copy = *this;
    copy.send = SendRule::kAsIs;
    copy.parameter = target;
    copy.source = ResultSource::kParameter;
    copy.readFrom = target;
    return copy;
  }
  constexpr Argument SentOnly(std::string_view target) const {
    Argument copy = *this;
    copy.send = SendRule::kAsIs;
    copy.parameter = target;
    copy.source = ResultSource::kNone;
    copy.readFrom = {};
    return copy;
  }
  constexpr Argument From(std::string_view source) const {
    Argument copy = *this;
    copy.source = ResultSource::kParameter;
    copy.readFrom = source;
    return copy;
  }
  constexpr Argument FromReturnValue() const { return Reading(ResultSource::kReturnValue); }
  constexpr Argument FromFixedReturnValue() const {
    return Reading(ResultSource::kFixedReturnValue);
  }
  constexpr Argument FromFirstParameter() const { return Reading(ResultSource::kFirstParameter); }
  constexpr Argument AlwaysZero() const { return Reading(ResultSource::kZero); }

  constexpr bool Sent() const { return send != SendRule::kNotSent; }

 private:
  constexpr Argument Reading(ResultSource from) const {
    Argument copy = *this;
    copy.source = from;
    copy.readFrom = {};
    return copy;
  }
};

constexpr Argument In(std::string_view name) {
  return Argument{.name = name};
}
constexpr Argument NotSent(std::string_view name) {
  return Argument{.name = name, .send = SendRule::kNotSent};
}
constexpr Argument ModeLetter(std::string_view name) {
  return Argument{.name = name, .send = SendRule::kModeLetter};
}
constexpr Argument Out(std::string_view name, ArgType type = ArgType::kVariant) {
  return Argument{
      .name = name, .type = type, .direction = ArgDirection::kOut, .send = SendRule::kNotSent};
}
constexpr Argument InOut(std::string_view name, ArgType type = ArgType::kVariant) {
  return Argument{.name = name, .type = type, .direction = ArgDirection::kInOut};
}
constexpr Argument RetVal(std::string_view name, ArgType type) {
  return Argument{
      .name = name, .type = type, .direction = ArgDirection::kRetVal, .send = SendRule::kNotSent};
}
constexpr Argument Ret(std::string_view name) {
  return Out(name, ArgType::kInteger).FromReturnValue();
}

inline constexpr Argument kOperatorId = In("OperatorID");
inline constexpr Argument kCompanyId = In("CompanyID");

struct Constant {
  enum class Kind : std::uint8_t { kText, kInteger };
  std::string_view parameter{};
  Kind kind = Kind::kText;
  std::string_view text{};
  std::int64_t integer = 0;
};

constexpr Constant Text(std::string_view parameter, std::string_view value) {
  return Constant{.parameter = parameter, .kind = Constant::Kind::kText, .text = value};
}
constexpr Constant Integer(std::string_view parameter, std::int64_t value) {
  return Constant{.parameter = parameter, .kind = Constant::Kind::kInteger, .integer = value};
}

enum class Run : std::uint8_t {
  kExecute,      // run without opening a result set
  kPrepareOnly,  // assign only; the rows come when the client asks the provider
};

struct MethodDescription;

// A method with its own algorithm. args are in declared order, converted to
// the declared types; out arguments are written by assigning to them. The
// returned value is the [out,retval] result (empty when there is none).
using MethodHandler = com::Variant (*)(TDataModuleServer& module, const MethodDescription& method,
                                       com::DispatchArgs& args);

struct MethodDescription {
  std::string_view name{};
  com::DispId dispId = com::DISPID_UNKNOWN;
  Component component = Component::kNone;
  std::string_view procedure{};
  std::vector<Argument> arguments{};
  std::vector<Constant> constants{};
  Run run = Run::kExecute;
  MethodHandler handler = nullptr;
  bool openList = false;
};

// VT_VARIANT, VT_I4, VT_R8, VT_BSTR, VT_BOOL or VT_DATE.
com::VarType VarTypeOf(ArgType type);

// The parameter an argument is sent to: its own target, or "@" + its name.
std::string ParameterOf(const Argument& argument);

// Throws std::invalid_argument naming the method when a row cannot be run
// soundly: no name or DISPID; a described method without a stored-procedure
// component or procedure; a hand-written one on an unknown component; two
// arguments of one name; a parameter name without "@"; two values for one
// parameter; an in argument with a result source or an out argument read from
// nowhere; a [out,retval] that is not last, sent, or not read; more than one;
// an open list with an out argument other than one integer result last.
void ValidateDescription(const MethodDescription& method);

// The dispatch row of a method: its [out,retval] is left out of the argument
// list; outs are by reference (an out number that is sent is taken in-out, so
// the value its location holds is what is sent). An open list declares its in
// arguments only; its result is the caller's by-reference last argument.
com::MemberInfo DispatchMemberOf(const MethodDescription& method);

// The position of the argument `name` (letter case counts) among the dispatch
// arguments, which leave the [out,retval] out. Throws std::logic_error when the
// method has no such argument: a handler asking for one is wrong, not the call.
std::size_t ArgumentSlot(const MethodDescription& method, std::string_view name);

}  // namespace quor::remote
