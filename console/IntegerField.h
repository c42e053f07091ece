// The whole-number fields of the console's forms: text typed by a person is
// read as a decimal integer within a range, and what is wrong with it is one
// message the form shows before putting the focus back.
#pragma once

#include <optional>
#include <string>

namespace quor::console {

struct IntegerReading {
  std::optional<int> value;  // nothing when the text is no integer in range
  std::string problem;       // the message for the person, empty with a value
};

// "'abc' is not a valid integer value" for text that is no decimal integer,
// "70000 不在 1 到 32767 的范围内" for one outside [minimum, maximum].
IntegerReading ReadIntegerField(const std::string& text, int minimum, int maximum);

}  // namespace quor::console
