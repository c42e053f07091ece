// The "TQueryDataSet" convention: a client dataset that wants to run any
// stored procedure sends as owner data a variant array whose element 0 is
// "TQueryDataSet" and element 1 the procedure's name. Owner data and
// parameter arrays come from clients, so both are read with bounds checks.
#pragma once

#include <string>

#include "platform/com/Variant.h"

namespace quor::remote {

// True when ownerData is a one-dimensional array whose element 0 is the text
// "TQueryDataSet" (anything else, including an array without an element 0,
// is no marker).
bool IsQueryDataSet(const com::Variant& ownerData);

// Element 1 of a marker as text; a missing or empty name is an error.
std::string MarkedProcedure(const com::Variant& ownerData);

// Replaces every entry of params whose data type is 1 (string) and whose
// value, as text with surrounding blanks removed, is empty, by an entry of the
// same name, data type and direction with the value " ". Entries of any other
// shape are left as they are; so is anything that is not such an array.
void FillEmptyStringParams(com::Variant& params);

}  // namespace quor::remote
