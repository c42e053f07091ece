// The initials of the Mandarin readings of a text's ideographs: the cloud
// session's company code and the search codes of records downloaded from the
// cloud. "北京市 abc" gives "BJSABC".
#pragma once

#include <string>
#include <string_view>

namespace quor::sync {

// `text` is UTF-8. Ideographs of U+4E00..U+9FA5 become the upper-case initial
// of their reading (for a character of several readings, the preferred one's);
// other characters stay as they are; ASCII letters are upper-cased and blanks
// removed. Blank text gives an empty result.
std::string PinyinInitials(std::string_view text);

}  // namespace quor::sync
