#include "remote/ModuleComponent.h"

#include <array>
#include <utility>

namespace quor::remote {
namespace {

constexpr std::array<std::pair<Component, std::string_view>, 11> kNames = {{
    {Component::kInsertProc, "InsertProc"},
    {Component::kQueryProc, "QueryProc"},
    {Component::kQueryProc2, "QueryProc2"},
    {Component::kVchProc, "VchProc"},
    {Component::kSubProc, "SubProc"},
    {Component::kMemoProc, "MemoProc"},
    {Component::kBasicProc, "BasicProc"},
    {Component::kDeleteProc, "DeleteProc"},
    {Component::kADOStoredProc, "ADOStoredProc"},
    {Component::kCreateGetZt, "CreateGetZt"},
    {Component::kQryExecSQL, "QryExecSQL"},
}};

}  // namespace

std::string_view ComponentName(Component component) {
  for (const auto& [value, name] : kNames) {
    if (value == component) return name;
  }
  return {};
}

std::optional<Component> ComponentByName(std::string_view name) {
  for (const auto& [value, known] : kNames) {
    if (known == name) return value;
  }
  return std::nullopt;
}

bool IsStoredProcComponent(Component component) {
  return component != Component::kNone && component != Component::kCreateGetZt &&
         component != Component::kQryExecSQL;
}

}  // namespace quor::remote
