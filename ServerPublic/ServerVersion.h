// The server's version, shown by the console and by "--version". Clients see
// it too, so it changes only with a release.
#pragma once

namespace quor {

inline constexpr const char* kServerVersion = "9.33";

}  // namespace quor
