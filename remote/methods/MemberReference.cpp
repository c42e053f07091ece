#include "remote/methods/MemberReference.h"

#include <string>
#include <string_view>

#include "remote/methods/MethodCatalogue.h"

namespace quor::remote {
namespace {

constexpr std::string_view kReferenceIntroduction =
    R"(# Members of IQuorServerAll

Written from the server's method tables by `quor-member-reference`; a test
fails when this file and the tables differ, so regenerate it rather than edit it:
`quor-member-reference > docs/remote-members.md`.

Clients call members by DISPID (or find it by name with `GetIDsOfNames`, any
letter case) and pass the arguments positionally: in the list below the first
argument is the one a client declares first, which is the last one of the
dispatch parameters.

## How arguments are bound

**Fixed list.** The member takes exactly the arguments listed, in this order.
Fewer or more fail with `DISP_E_BADPARAMCOUNT`; a value that does not convert
to a typed argument (integer, double, wide string) fails with
`DISP_E_TYPEMISMATCH` and the position in `puArgErr`. Out arguments are passed
by reference; an out argument passed by value is accepted and gets nothing
back.

**Open list.** The member's entry names only some of its arguments; existing
clients pass the rest by position. One rule binds every such member:

1. The arguments come in declared order, positionally. Named arguments are
   refused (`DISP_E_NONAMEDARGS`).
2. `OperatorID` and `CompanyID` come first where the list shows them, and go to
   `@OperatorID` and `@CompanyID`.
3. When the member has an integer result, a last argument passed by reference
   is that result. A last argument passed by value is one more input, and the
   result is not returned.
4. The listed arguments go, in the listed order, to the parameters shown. Every
   further argument goes, in order, to the procedure's next input parameter
   that no listed argument or constant has fed, in the order in which the
   server declares its parameters (the return value and output parameters are
   skipped).
5. Arguments beyond the procedure's input parameters are ignored. A parameter
   that gets no argument, or an empty one (`VT_EMPTY` or a missing argument),
   keeps the procedure's default.

Fewer arguments than listed fail with `DISP_E_BADPARAMCOUNT`.

**Own algorithm.** The member binds its listed arguments as a fixed list and
then does more than one procedure call: it chooses its procedure at run time,
or works on files, the online table or the modem. Its notes are in the README.

In every binding, conversions the member makes itself (an argument "as
integer", a mode letter) and every refused call fail before anything is sent
to SQL Server; the error's description names the member.

## Notation

- `x` → `@y`: argument `x` is sent as parameter `@y`; `x` alone is sent as `@x`.
- *not sent*: the argument is accepted and ignored.
- (integer), (double), (wide string), (boolean), (date): the argument's
  interface type; all others are variants, passed through unchanged.
- *as integer*: a variant converted to an integer before it is sent; *mode
  letter*: converted to an integer and sent as `I` for 0, `U` otherwise.
- `out x` … *sent*: the value in the caller's location is sent to the
  parameter before the run.
- Results: the parameter each out argument is read from after the run; *return
  value* is the procedure's return value read by the server's return-value
  name, *"@RETURN_VALUE"* by that fixed name, *parameter 0* by position.
)";

std::string Code(std::string_view text) {
  return "`" + std::string(text) + "`";
}

std::string_view TypeWord(ArgType type) {
  switch (type) {
    case ArgType::kInteger:
      return "integer";
    case ArgType::kDouble:
      return "double";
    case ArgType::kWideString:
      return "wide string";
    case ArgType::kBoolean:
      return "boolean";
    case ArgType::kDate:
      return "date";
    case ArgType::kVariant:
      break;
  }
  return {};
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string ArgumentCell(const Argument& argument) {
  std::string cell;
  if (argument.direction == ArgDirection::kOut) cell += "out ";
  if (argument.direction == ArgDirection::kInOut) cell += "in-out ";
  if (argument.direction == ArgDirection::kRetVal) cell += "retval ";
  cell += Code(argument.name);
  if (const std::string_view type = TypeWord(argument.type); !type.empty()) {
    cell += " (" + std::string(type) + ")";
  }
  if (argument.direction == ArgDirection::kIn && !argument.Sent()) return cell + " *not sent*";
  if (argument.send == SendRule::kAsInteger) cell += " *as integer*";
  if (argument.send == SendRule::kModeLetter) cell += " *mode letter*";
  if (!argument.Sent()) return cell;
  const std::string parameter = ParameterOf(argument);
  const bool own = SameName(std::string_view(parameter).substr(1), argument.name);
  if (argument.direction == ArgDirection::kIn || argument.direction == ArgDirection::kInOut) {
    return own ? cell : cell + " → " + Code(parameter);
  }
  return cell + " *sent* → " + Code(parameter);
}

std::string ResultCell(const Argument& argument) {
  std::string from;
  switch (argument.source) {
    case ResultSource::kNone:
      return {};
    case ResultSource::kReturnValue:
      from = "return value";
      break;
    case ResultSource::kFixedReturnValue:
      from = "\"@RETURN_VALUE\"";
      break;
    case ResultSource::kFirstParameter:
      from = "parameter 0";
      break;
    case ResultSource::kParameter:
      from = Code(argument.readFrom);
      break;
    case ResultSource::kZero:
      from = "0, without running";
      break;
  }
  return Code(argument.name) + " ← " + from;
}

std::string ConstantCell(const Constant& constant) {
  if (constant.kind == Constant::Kind::kInteger) {
    return Code(constant.parameter) + " = " + std::to_string(constant.integer);
  }
  return Code(constant.parameter) + " = '" + std::string(constant.text) + "'";
}

std::string_view BindingOf(const MethodDescription& method) {
  if (method.handler != nullptr) return "own algorithm";
  if (method.openList) return "open list";
  return "fixed list";
}

std::string Join(const std::string& sofar, const std::string& more) {
  if (more.empty()) return sofar;
  return sofar.empty() ? more : sofar + ", " + more;
}

std::string MemberRow(const MethodDescription& method) {
  std::string arguments;
  std::string results;
  bool furtherShown = !method.openList;
  for (const Argument& argument : method.arguments) {
    // An open list's result is the caller's last argument, after the further ones.
    if (!furtherShown && argument.direction != ArgDirection::kIn) {
      arguments = Join(arguments, "… further arguments by position");
      furtherShown = true;
    }
    arguments = Join(arguments, ArgumentCell(argument));
    results = Join(results, ResultCell(argument));
  }
  if (!furtherShown) arguments = Join(arguments, "… further arguments by position");
  if (arguments.empty()) arguments = "none";
  for (const Constant& constant : method.constants) arguments += "; " + ConstantCell(constant);
  if (method.run == Run::kPrepareOnly) results = Join(results, "*prepared only*");
  if (results.empty()) results = "none";
  std::string procedure =
      method.procedure.empty()
          ? (method.handler != nullptr && IsStoredProcComponent(method.component)
                 ? "chosen at run time"
                 : "—")
          : Code(method.procedure);
  const std::string_view component = ComponentName(method.component);
  return "| " + Code(method.name) + " | " + std::to_string(method.dispId) + " | " +
         (component.empty() ? std::string("—") : Code(component)) + " | " + procedure + " | " +
         arguments + " | " + results + " | " + std::string(BindingOf(method)) + " |\n";
}

}  // namespace

std::string MemberReferenceText() {
  std::string text(kReferenceIntroduction);
  for (const MethodFamily& family : MethodFamilies()) {
    const std::vector<MethodDescription>& methods = family.methods();
    text += "\n## " + std::string(family.title) + " (" + std::to_string(methods.size()) +
            " members)\n\n";
    text += "| Member | DISPID | Component | Procedure | Arguments | Results | Binding |\n";
    text += "|---|---|---|---|---|---|---|\n";
    for (const MethodDescription& method : methods) text += MemberRow(method);
  }
  return text;
}

}  // namespace quor::remote
