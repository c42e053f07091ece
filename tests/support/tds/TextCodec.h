// Text conversions at the TDS wire: UTF-8 inside the stand-in, UTF-16LE for N-types and
// protocol strings, code page 936 for varchar data under the Chinese_PRC collation.
#pragma once

#include <string>
#include <string_view>

namespace quor::test::tds {

// Each throws TdsProtocolError on text that cannot be converted.
std::string Utf8ToUtf16le(std::string_view utf8);
std::string Utf16leToUtf8(std::string_view utf16le);
std::string Utf8ToCp936(std::string_view utf8);
std::string Cp936ToUtf8(std::string_view cp936);

}  // namespace quor::test::tds
