// A client's name or path argument as text: empty and NULL read as "", any
// value that converts to text as that text, and what does not convert (an
// array, an object) as nothing, so that the member answers with its failure
// code instead of failing the call.
#pragma once

#include <optional>
#include <string>

#include "platform/com/Variant.h"

namespace quor::remote {

std::optional<std::string> TextArgument(const com::Variant& value);

}  // namespace quor::remote
