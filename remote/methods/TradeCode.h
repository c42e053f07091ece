// The trade code a client names in ConnectDb and GetVersionNumber ("BZ", "QX",
// ...) ends up in SQL object names (the catalogue table) and in a file name
// (the client program), so only plain codes are taken.
#pragma once

#include <cstddef>
#include <string_view>

namespace quor::remote {

// At most this many characters: the change queue's Vocation column holds 50.
inline constexpr std::size_t kMaxTradeCodeLength = 50;

// One to kMaxTradeCodeLength ASCII letters, digits or "_".
bool IsTradeCode(std::string_view code);

}  // namespace quor::remote
