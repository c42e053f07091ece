// Parameter arrays as providers and client datasets exchange them: a
// zero-based variant array with one [name, value, data type ordinal, direction
// ordinal] array per parameter, the return value first. Arrays come from
// clients, so every read is shape- and bounds-checked: a malformed array is
// an error with a message, never a read outside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "FieldTypeOrdinal.h"
#include "platform/com/Variant.h"
#include "platform/sql/Parameter.h"

namespace quor::datasnap {

// The server's text for a parameter entry it cannot assign.
std::string ParamMismatchMessage(const std::string& parameterName);

// Null when there are no parameters.
com::Variant PackParams(const sql::Parameters& params);

// One element of a parameter array; nullopt unless it is a one-dimensional
// array holding indices 0 to 3 whose name, data type and direction convert.
struct PackedParam {
  std::string name;
  com::Variant value;
  std::int32_t dataType = 0;
  std::int32_t direction = 0;
};
std::optional<PackedParam> ReadPackedParam(const com::Variant& element);

// The data type ordinals a client may send; nullopt for any other number.
std::optional<FieldTypeOrdinal> ClientDataType(std::int32_t ordinal);

// By position, as the module's own procedure calls take them: when `params` is
// an array with an upper bound above 0 whose element 1 is an array, parameter
// i takes the value, data type (BCD as float) and direction of element i, for
// i from 1 to the upper bound (the data type becomes the parameter's SQL type,
// which the value is sent as and PackParams reports); element 0, the return
// value, is skipped.
// Anything else is left alone. An entry that cannot be assigned raises
// std::runtime_error with ParamMismatchMessage for its parameter; more entries
// than parameters, or more than one dimension, raise a clear error.
void UnpackParams(const com::Variant& params, sql::Parameters& target);

// True when every entry UnpackParams would assign names the parameter at its
// own position (letter case ignored).
bool EntriesNameParameters(const com::Variant& params, const sql::Parameters& target);

// True when every entry AssignParamsByName would assign names a parameter of
// `target` (letter case ignored); malformed entries count as found, the
// assignment reports them.
bool EntriesFindParameters(const com::Variant& params, const sql::Parameters& target);

// By name, as a provider takes a client's parameters onto its dataset: every
// entry's value goes to the parameter of its name (return values are skipped).
// A malformed entry or an unknown name raises std::runtime_error.
void AssignParamsByName(const com::Variant& params, sql::Parameters& target);

}  // namespace quor::datasnap
