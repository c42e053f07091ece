// The conversions the server needs, by name. Text inside the program is UTF-8
// std::string; std::u16string holds UTF-16 code units (surrogate pairs included)
// for the wire and COM strings; "Gbk" strings hold code page 936 bytes.
#pragma once

#include <string>
#include <string_view>

#include "Converter.h"

namespace quor::text {

std::string Utf8ToGbk(std::string_view utf8, OnError onError = OnError::kThrow);
std::string GbkToUtf8(std::string_view gbk, OnError onError = OnError::kThrow);

std::u16string Utf8ToUtf16(std::string_view utf8, OnError onError = OnError::kThrow);
std::string Utf16ToUtf8(std::u16string_view utf16, OnError onError = OnError::kThrow);

std::u16string GbkToUtf16(std::string_view gbk, OnError onError = OnError::kThrow);
std::string Utf16ToGbk(std::u16string_view utf16, OnError onError = OnError::kThrow);

// The wire's byte order, whatever the host's.
std::string Utf16ToLeBytes(std::u16string_view utf16);
// Throws TextError for an odd number of bytes.
std::u16string Utf16FromLeBytes(std::string_view bytes);

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

}  // namespace quor::text
