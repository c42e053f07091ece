#include "remote/methods/MethodDescription.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/text/AsciiText.h"
#include "remote/methods/CallPattern.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

[[noreturn]] void Reject(const MethodDescription& method, const std::string& why) {
  throw std::invalid_argument("method \"" + std::string(method.name) + "\" (DISPID " +
                              std::to_string(method.dispId) + "): " + why);
}

void CheckParameterName(const MethodDescription& method, std::string_view parameter) {
  if (parameter.size() < 2 || parameter.front() != '@') {
    Reject(method, "parameter name \"" + std::string(parameter) + "\" does not start with @");
  }
}

}  // namespace

com::VarType VarTypeOf(ArgType type) {
  switch (type) {
    case ArgType::kInteger:
      return com::VT_I4;
    case ArgType::kDouble:
      return com::VT_R8;
    case ArgType::kWideString:
      return com::VT_BSTR;
    case ArgType::kBoolean:
      return com::VT_BOOL;
    case ArgType::kDate:
      return com::VT_DATE;
    case ArgType::kVariant:
      break;
  }
  return com::VT_VARIANT;
}

namespace {

com::ParamMode ModeOf(const Argument& argument) {
  switch (argument.direction) {
    case ArgDirection::kIn:
      return com::ParamMode::In;
    case ArgDirection::kInOut:
      return com::ParamMode::InOut;
    default:
      // An out variant is sent empty; an out number with what its location holds.
      return argument.Sent() && argument.type != ArgType::kVariant ? com::ParamMode::InOut
                                                                   : com::ParamMode::Out;
  }
}

}  // namespace

std::string ParameterOf(const Argument& argument) {
  if (!argument.parameter.empty()) return std::string(argument.parameter);
  std::string parameter = "@";
  parameter.append(argument.name);
  return parameter;
}

void ValidateDescription(const MethodDescription& method) {
  if (method.name.empty()) Reject(method, "no name");
  if (method.dispId == com::DISPID_UNKNOWN) Reject(method, "no DISPID");
  if (method.handler == nullptr) {
    if (!IsStoredProcComponent(method.component)) {
      Reject(method, "a described method runs on a stored-procedure component");
    }
    if (method.procedure.empty()) Reject(method, "no procedure");
  } else if (method.component != Component::kNone && ComponentName(method.component).empty()) {
    Reject(method, "unknown component");
  }

  std::set<std::string> names;
  std::set<std::string> fed;
  const auto feed = [&](std::string_view parameter) {
    CheckParameterName(method, parameter);
    if (!fed.insert(text::AsciiLower(parameter)).second) {
      Reject(method, "parameter " + std::string(parameter) + " is given two values");
    }
  };
  bool retValSeen = false;
  for (std::size_t i = 0; i < method.arguments.size(); ++i) {
    const Argument& argument = method.arguments[i];
    if (argument.name.empty()) Reject(method, "argument " + std::to_string(i) + " has no name");
    if (!names.insert(text::AsciiLower(argument.name)).second) {
      Reject(method, "argument " + std::string(argument.name) + " is declared twice");
    }
    if (argument.Sent()) feed(ParameterOf(argument));
    const bool isIn = argument.direction == ArgDirection::kIn;
    if (isIn && argument.source != ResultSource::kNone) {
      Reject(method, "in argument " + std::string(argument.name) + " cannot be read back");
    }
    if (argument.source == ResultSource::kParameter) {
      CheckParameterName(method, argument.readFrom);
    }
    if (argument.direction == ArgDirection::kOut || argument.direction == ArgDirection::kRetVal) {
      if (argument.source == ResultSource::kNone && !argument.Sent() && method.handler == nullptr) {
        Reject(method, "out argument " + std::string(argument.name) + " is read from nowhere");
      }
    }
    if (argument.direction == ArgDirection::kRetVal) {
      if (retValSeen) Reject(method, "more than one [out,retval] argument");
      if (i + 1 != method.arguments.size()) Reject(method, "the [out,retval] argument is not last");
      if (argument.Sent()) Reject(method, "the [out,retval] argument cannot be sent");
      retValSeen = true;
    }
    if (argument.direction != ArgDirection::kIn && argument.send != SendRule::kAsIs &&
        argument.send != SendRule::kNotSent) {
      Reject(method, "out argument " + std::string(argument.name) + " is sent converted");
    }
  }
  for (const Constant& constant : method.constants) feed(constant.parameter);
  if (method.openList) {
    for (std::size_t i = 0; i < method.arguments.size(); ++i) {
      const Argument& argument = method.arguments[i];
      if (argument.direction == ArgDirection::kIn) continue;
      if (argument.direction != ArgDirection::kOut || argument.type != ArgType::kInteger ||
          argument.Sent() || i + 1 != method.arguments.size()) {
        Reject(method, "an open list has in arguments and at most one integer result, last");
      }
    }
  }
}

com::MemberInfo DispatchMemberOf(const MethodDescription& method) {
  ValidateDescription(method);
  com::MemberInfo member;
  member.name = std::string(method.name);
  member.dispId = method.dispId;
  member.kind = com::MemberKind::Method;
  member.openList = method.openList;
  for (const Argument& argument : method.arguments) {
    if (argument.direction == ArgDirection::kRetVal) continue;
    if (method.openList && argument.direction != ArgDirection::kIn) {
      member.openListResult = true;
      continue;
    }
    member.params.emplace_back(std::string(argument.name), VarTypeOf(argument.type),
                               ModeOf(argument));
  }
  const MethodDescription* row = &method;
  member.handler = [row](com::IDispatchObject& self, com::DispatchArgs& args) {
    TDataModuleServer& module = dynamic_cast<TDataModuleServer&>(self);
    if (row->handler != nullptr) return row->handler(module, *row, args);
    return row->openList ? RunOpenList(module, *row, args) : RunCallPattern(module, *row, args);
  };
  return member;
}

std::size_t ArgumentSlot(const MethodDescription& method, std::string_view name) {
  std::size_t slot = 0;
  for (const Argument& argument : method.arguments) {
    if (argument.direction == ArgDirection::kRetVal) continue;
    if (argument.name == name) return slot;
    ++slot;
  }
  throw std::logic_error(std::string(method.name) + " has no argument " + std::string(name));
}

}  // namespace quor::remote
