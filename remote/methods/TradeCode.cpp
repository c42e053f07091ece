#include "remote/methods/TradeCode.h"

#include <algorithm>

namespace quor::remote {

bool IsTradeCode(std::string_view code) {
  if (code.empty() || code.size() > kMaxTradeCodeLength) return false;
  return std::all_of(code.begin(), code.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

}  // namespace quor::remote
