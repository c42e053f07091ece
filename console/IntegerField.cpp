#include "console/IntegerField.h"

#include <charconv>

namespace quor::console {

IntegerReading ReadIntegerField(const std::string& text, int minimum, int maximum) {
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(trimmed.begin());
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
  long long number = 0;
  const char* first = trimmed.data();
  const char* last = first + trimmed.size();
  if (first != last && *first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, number);
  if (trimmed.empty() || error != std::errc() || end != last) {
    return {std::nullopt, "'" + text + "' is not a valid integer value"};
  }
  if (number < minimum || number > maximum) {
    return {std::nullopt, trimmed + " 不在 " + std::to_string(minimum) + " 到 " +
                              std::to_string(maximum) + " 的范围内"};
  }
  return {static_cast<int>(number), {}};
}

}  // namespace quor::console
