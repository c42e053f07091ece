// The text rules of interactive SMS: a message that starts with the command
// prefix asks for values, "keyword*parameter" items separated by ";"; the
// command's SQL template gets the parameter where it says "<???>", bound as a
// statement parameter so that message text never becomes statement text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quor::sms {

// The pieces between separators, the last included, empty pieces kept.
std::vector<std::string> SplitText(std::string_view text, char separator);

// True when the text begins with the prefix (ASCII letters compared without
// case). An empty prefix makes no message a command.
bool StartsWithPrefix(std::string_view text, std::string_view prefix);

struct CommandItem {
  std::string keyword;    // upper case, prefix removed
  std::string parameter;  // upper case
};

// The items of a command message; empty when it asks nothing.
std::vector<CommandItem> CommandItems(std::string_view text, std::string_view prefix);

// Phone numbers as people write them: spaces and dashes ignored, and the
// Chinese international forms +86..., 0086... and 86 + 11 digits taken for
// the national number.
std::string NormalisedPhone(std::string_view phone);
bool SamePhone(std::string_view a, std::string_view b);

struct BoundStatement {
  std::string sql;                  // with "?" markers
  std::vector<std::string> values;  // one per marker, in order
};

// The template upper-cased; each bare <???> becomes a marker bound to the
// parameter, and each quoted literal holding <???> becomes a marker bound to
// the literal's text with the parameter in its place ('%<???>%' -> %A01%).
BoundStatement BindTemplate(std::string_view sqlTemplate, std::string_view parameter);

}  // namespace quor::sms
