#include "transport/Protocol.h"

#include <string_view>

namespace quor::transport {

std::string FormatProtocolText(const char* pattern, const std::string& value) {
  const std::string_view text(pattern);
  const std::size_t at = text.find('%');
  if (at == std::string_view::npos || at + 1 >= text.size()) return std::string(text);
  std::string filled(text.substr(0, at));
  filled += value;
  filled += text.substr(at + 2);
  return filled;
}

}  // namespace quor::transport
