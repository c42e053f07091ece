// Procedure parameters and result columns for the stand-in, spelled out so
// that every field is set:
//   server.DeclareProcedure({"P", {Param("@Name", SqlType::VarChar, 20),
//                                  Output(Param("@Total", SqlType::Int))}});
#pragma once

#include <string>
#include <utility>

#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::test {

inline ParamDecl Param(std::string name, SqlType type, int size = 0, int precision = 0,
                       int scale = 0) {
  ParamDecl decl;
  decl.name = std::move(name);
  decl.type = type;
  decl.size = size;
  decl.precision = precision;
  decl.scale = scale;
  return decl;
}

inline ParamDecl Output(ParamDecl decl) {
  decl.direction = ParamDirection::InputOutput;
  return decl;
}

inline Column Col(std::string name, SqlType type, int size = 0, int precision = 0, int scale = 0) {
  Column column;
  column.name = std::move(name);
  column.type = type;
  column.size = size;
  column.precision = precision;
  column.scale = scale;
  return column;
}

}  // namespace quor::test
