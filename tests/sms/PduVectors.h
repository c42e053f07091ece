// Stored-message PDUs worked out by hand, shared by the codec, driver and
// parity tests.
#pragma once

namespace quor::sms::test {

// SMSC +8613800200500, sender 8613912345678 (international), UCS-2,
// 2024-03-15 10:30:45 +08:00, text 你好.
inline constexpr const char* kChineseDeliver =
    "0891683108200005F0040D91683119325476F8000842305101035423044F60597D";
// No service centre, sender +14155552671, 7-bit, seven septets "abcdefg".
inline constexpr const char* kSevenSeptetDeliver =
    "00040B914151552576F1000042305101035423"
    "0761F1985C369F01";
// No service centre, sender +85291234567, DCS F4 (8-bit, class 0), bytes 01 02.
inline constexpr const char* kEightBitDeliver =
    "00040B915892214365F700F44230510103542302"
    "0102";
// Sender 13912345678, UCS-2 text "#kc*a01" (a command with the prefix "#").
inline constexpr const char* kCommandDeliver =
    "0891683108200005F0040D91683119325476F8000842305101035423"
    "0E0023006B0063002A006100300031";

}  // namespace quor::sms::test
