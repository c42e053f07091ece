// Reading the few T-SQL statement forms the stand-in answers itself: USE, SET, transaction
// statements and EXEC of a procedure with literal, parameter-marker or DEFAULT arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::test::tds {

struct ExecArgument {
  std::string name;       // "@name" when given as @name = value
  std::string reference;  // "@P1" when the value is a variable (sp_executesql parameter)
  Value literal;
  bool isDefault = false;
  bool output = false;
};

struct ExecText {
  std::string returnTarget;  // "@P1" for EXEC @P1 = proc ...
  std::string procedure;
  std::vector<ExecArgument> arguments;
};

// One entry of an sp_executesql parameter definition list such as "@P1 INT,@P2 VARCHAR(20) OUTPUT".
struct ParamDefinition {
  std::string name;
  std::string type;
  bool output = false;
};
std::vector<ParamDefinition> ParseParamDefinitions(const std::string& text);

std::optional<std::string> ParseUse(const std::string& text);
// EXEC[UTE] [@ret =] name [args]. With bareAllowed the keyword may be left out, as SQL Server
// allows for the first statement of a batch ("master.dbo.xp_msver ProductVersion").
std::optional<ExecText> ParseExec(const std::string& text, bool bareAllowed = false);
// SET options and transaction control that a driver or data layer sends on its own.
bool IsSessionStatement(const std::string& text);

}  // namespace quor::test::tds
