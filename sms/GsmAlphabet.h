// The GSM 7-bit default alphabet and its extension table: phones read 7-bit
// messages in this alphabet, so "@", "$", "_" and the accented letters have
// septets of their own that differ from their ASCII bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quor::sms {

// The septets of a UTF-8 text; an extension character takes two (escape 0x1B
// first), a character the alphabet lacks becomes "?".
std::vector<std::uint8_t> ToGsmSeptets(std::string_view utf8);

// UTF-8 of septets; an escape before a septet the extension table lacks
// reads as that septet's basic character.
std::string FromGsmSeptets(const std::vector<std::uint8_t>& septets);

}  // namespace quor::sms
