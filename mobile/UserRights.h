// The phone's window table and how a person's rights string opens its windows:
// the rights string holds one group of seven characters per right, and right k
// is granted when group k starts with "1".
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace quor::mobile {

struct PhoneWindow {
  std::int32_t windowId;
  const char* caption;  // UTF-8, stored as it stands
};

// The 68 windows in the order the phone sorts them (nSortNo = position).
const std::vector<PhoneWindow>& PhoneWindows();

bool RightGranted(std::string_view limit, std::int64_t right);
// Whether the window is open ("Y") for a person with the rights `limit`.
bool WindowActive(std::string_view limit, std::int32_t windowId);

}  // namespace quor::mobile
