// The stored form of the SQL login password (key "PASSWORD"): printable text
// that survives the INI file. This is obfuscation against a glance over the
// file, not protection: anyone with this program can undo it.
#pragma once

#include <string>
#include <string_view>

namespace quor {

// Upper-case hexadecimal; "" stays "".
std::string EncodePassword(std::string_view password);

// The password of a stored value. A value that is not in the stored form (an
// operator typed a password into the file by hand, or it was damaged) is taken
// as the password itself, so the login shows the problem instead of hiding it.
std::string DecodePassword(std::string_view stored);

}  // namespace quor
