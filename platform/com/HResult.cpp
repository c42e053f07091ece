#include "platform/com/HResult.h"

#include <cstdio>

namespace quor::com {

std::string FormatHResult(HResult code) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X",
                static_cast<unsigned>(static_cast<std::uint32_t>(code)));
  return text;
}

HResultError::HResultError(HResult code, const std::string& message)
    : std::runtime_error(message), code_(code) {}

HResultError::HResultError(HResult code) : HResultError(code, FormatHResult(code)) {}

}  // namespace quor::com
