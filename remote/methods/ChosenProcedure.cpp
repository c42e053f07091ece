#include "remote/methods/ChosenProcedure.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/com/VariantConvert.h"
#include "platform/datasnap/VariantValue.h"
#include "remote/methods/ArgumentText.h"
#include "remote/methods/CallPattern.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {

std::int32_t SelectorNumber(const MethodDescription& method, const com::DispatchArgs& args,
                            std::string_view name) {
  const com::Variant& value = args[ArgumentSlot(method, name)];
  com::Variant number;
  if (com::TryChangeType(value, com::VT_I4, number) != com::S_OK) {
    throw std::runtime_error(
        std::string(method.name) + ": " + std::string(name) + " \"" + TextOf(value) +
        "\" is no whole number, so no procedure can be chosen; nothing was run");
  }
  return number.GetI4();
}

com::Variant RunChosenProcedure(TDataModuleServer& module, const MethodDescription& row,
                                com::DispatchArgs& args, std::string_view procedure,
                                std::initializer_list<std::string_view> sentWhenDeclared,
                                const std::function<void(sql::StoredProc&)>& beforeRun) {
  MethodDescription chosen = row;
  chosen.procedure = procedure;
  chosen.handler = nullptr;
  std::vector<std::pair<std::string, std::size_t>> selectors;
  for (std::string_view name : sentWhenDeclared) {
    const std::size_t slot = ArgumentSlot(row, name);
    for (Argument& argument : chosen.arguments) {
      if (argument.name != name) continue;
      if (argument.Sent()) selectors.emplace_back(ParameterOf(argument), slot);
      argument.send = SendRule::kNotSent;
    }
  }
  // Every value is converted before the server is asked for the parameters.
  const std::vector<SentValue> values = ValuesToSend(chosen, args);
  std::vector<SentValue> selectorValues;
  for (const auto& [parameter, slot] : selectors) {
    selectorValues.push_back({parameter, datasnap::ToSqlValue(args[slot])});
  }
  sql::StoredProc& proc = module.StoredProcComponent(chosen.component);
  PrepareProcedure(proc, procedure);
  AssignValues(proc, values);
  for (const SentValue& selector : selectorValues) {
    if (sql::Parameter* declared = proc.Params().Find(selector.parameter)) {
      declared->SetValue(selector.value);
    }
  }
  if (beforeRun) beforeRun(proc);
  if (chosen.run == Run::kExecute) proc.ExecProc();
  return ReadResults(proc, chosen, args);
}

}  // namespace quor::remote
