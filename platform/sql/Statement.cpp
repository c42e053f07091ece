#include "Statement.h"

#include <utility>

#include "Connection.h"
#include "detail/Command.h"

namespace quor::sql {

Statement::Statement(Connection& connection, std::string name)
    : DataSet(connection, std::move(name)) {}

void Statement::SetText(std::string_view text) {
  SetLines(detail::SplitLines(text));
}

void Statement::SetLines(std::vector<std::string> lines) {
  Close();
  lines_ = std::move(lines);
  DeriveParameters();
}

std::string Statement::Text() const {
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines_[i];
  }
  return text;
}

void Statement::SetParamCheck(bool on) {
  Close();
  paramCheck_ = on;
  DeriveParameters();
}

void Statement::DeriveParameters() {
  if (!paramCheck_) {
    parsed_ = {};
    return;
  }
  parsed_ = detail::ParseStatementParameters(Text());
  Params().Clear();
  for (const std::string& name : parsed_.names) {
    Params().Add(Parameter(name, ParamDirection::kInput));
  }
}

std::unique_ptr<detail::Command> Statement::Run(bool& hasResults) {
  auto command = std::make_unique<detail::Command>(GetConnection(), CommandTimeout());
  detail::ParamBinder& binder = command->Binder();
  SQLUSMALLINT ordinal = 1;
  if (paramCheck_) {
    for (const std::size_t index : parsed_.markers) {
      binder.Bind(command->Handle(), ordinal++, Params()[index]);
    }
  } else {
    for (const Parameter& parameter : Params())
      binder.Bind(command->Handle(), ordinal++, parameter);
  }
  hasResults = command->ExecuteDirect(paramCheck_ ? parsed_.text : Text(), /*scanEscapes=*/false);
  return command;
}

RecordSet& Statement::Open(std::size_t blockSize) {
  if (Active()) return Records();
  bool hasResults = false;
  std::unique_ptr<detail::Command> command = Run(hasResults);
  return OpenReply(std::move(command), hasResults, blockSize, {});
}

long long Statement::Execute() {
  Close();
  bool hasResults = false;
  std::unique_ptr<detail::Command> command = Run(hasResults);
  return command->Drain(hasResults);
}

}  // namespace quor::sql
