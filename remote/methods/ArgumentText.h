// The text of a method argument as record writers and queue rows take it: an
// empty or null value is the empty text.
#pragma once

#include <string>

#include "platform/com/Variant.h"

namespace quor::remote {

inline std::string TextOf(const com::Variant& value) {
  const com::Variant& target = value.Deref();
  return target.IsEmpty() || target.IsNull() ? std::string() : target.ToString();
}

}  // namespace quor::remote
