// Arguments the TQueryDataSet and parameter-cache tests build alike: one
// definition, so that the files can share a unity chunk.
#pragma once

#include <utility>

#include "platform/com/Variant.h"
#include "tests/platform/datasnap/ParamEntries.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::testing {

// Owner data that sends AS_GetRecords and the others to the named procedure.
inline com::Variant Marker(const char* procedure) {
  return datasnap::test::Vector({com::Variant("TQueryDataSet"), com::Variant(procedure)});
}

inline test::ParamDecl WithDefault(test::ParamDecl decl, test::Value value) {
  decl.defaultValue = std::move(value);
  return decl;
}

}  // namespace quor::testing
