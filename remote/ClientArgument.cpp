#include "remote/ClientArgument.h"

#include <exception>

namespace quor::remote {

std::optional<std::string> TextArgument(const com::Variant& value) {
  const com::Variant& plain = value.Deref();
  if (plain.IsEmpty() || plain.IsNull()) return std::string();
  try {
    return plain.ToString();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace quor::remote
