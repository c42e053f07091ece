#include "tools/CallArguments.h"

#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

#include "platform/com/OleDate.h"
#include "platform/com/VariantConvert.h"

namespace quor::tools {
namespace {

using com::Variant;

[[noreturn]] void Refuse(const std::string& text, const std::string& why) {
  throw UsageError("argument \"" + text + "\": " + why);
}

std::int32_t ParseInt(const std::string& text, const std::string& value) {
  std::int32_t number = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, number);
  if (value.empty() || error != std::errc() || stop != end) Refuse(text, "not a 32-bit integer");
  return number;
}

double ParseDouble(const std::string& text, const std::string& value) {
  try {
    std::size_t used = 0;
    const double number = std::stod(value, &used);
    if (used != value.size() || !std::isfinite(number)) Refuse(text, "not a number");
    return number;
  } catch (const std::logic_error&) {
    Refuse(text, "not a number");
  }
}

bool ParseBool(const std::string& text, const std::string& value) {
  if (value == "true" || value == "True" || value == "1") return true;
  if (value == "false" || value == "False" || value == "0") return false;
  Refuse(text, "not true or false");
}

std::vector<std::uint8_t> ParseHex(const std::string& text, const std::string& value) {
  if (value.size() % 2 != 0) Refuse(text, "an odd number of hex digits");
  std::vector<std::uint8_t> bytes(value.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto [stop, error] =
        std::from_chars(value.data() + 2 * i, value.data() + 2 * i + 2, bytes[i], 16);
    if (error != std::errc() || stop != value.data() + 2 * i + 2) Refuse(text, "not hex digits");
  }
  return bytes;
}

// A plain value: type letter and text.
Variant ParseValue(const std::string& text, const std::string& type, const std::string& value) {
  if (type == "i") return Variant::I4(ParseInt(text, value));
  if (type == "s") return Variant::String(value);
  if (type == "d") return Variant::R8(ParseDouble(text, value));
  if (type == "b") return Variant::Bool(ParseBool(text, value));
  if (type == "c") {
    try {
      return com::ChangeType(Variant::String(value), com::VT_CY);
    } catch (const std::exception&) {
      Refuse(text, "not an amount");
    }
  }
  if (type == "t") {
    const std::optional<double> date = com::ParseOleDate(value);
    if (!date) Refuse(text, "not a date (YYYY-MM-DD [hh:mm[:ss]])");
    return Variant::Date(*date);
  }
  if (type == "x") return Variant::Bytes(ParseHex(text, value));
  Refuse(text, "unknown type \"" + type + "\"");
}

Variant ParseWhole(const std::string& text, const std::string& body) {
  if (body == "null") return Variant::Null();
  if (body == "empty") return Variant();
  const std::size_t colon = body.find(':');
  if (colon == std::string::npos) Refuse(text, "expected TYPE:VALUE");
  return ParseValue(text, body.substr(0, colon), body.substr(colon + 1));
}

// The value an output starts with when none is given: the type's zero.
Variant ZeroOf(const std::string& text, const std::string& type) {
  if (type == "i") return Variant::I4(0);
  if (type == "s") return Variant::String("");
  if (type == "d") return Variant::R8(0);
  if (type == "b") return Variant::Bool(false);
  if (type == "c") return Variant::Currency(0);
  if (type == "t") return Variant::Date(0);
  if (type == "v") return Variant();
  Refuse(text, "unknown output type \"" + type + "\"");
}

}  // namespace

Variant ParseArgument(const std::string& text) {
  if (text.rfind("out:", 0) != 0) return ParseWhole(text, text);
  const std::string rest = text.substr(4);
  const std::size_t colon = rest.find(':');
  const std::string type = rest.substr(0, colon);
  Variant first = ZeroOf(text, type);
  if (colon != std::string::npos) {
    const std::string value = rest.substr(colon + 1);
    first = type == "v" ? ParseWhole(text, value) : ParseValue(text, type, value);
  }
  const com::VarType target = type == "v" ? com::VT_VARIANT : first.Type();
  return Variant::ByRef(std::make_shared<Variant>(std::move(first)), target);
}

const char* ArgumentSyntaxHelp() {
  return "Arguments, in the member's declared order:\n"
         "  i:42          32-bit integer          s:text        string\n"
         "  d:1.5         double                  b:true        boolean (true/false/1/0)\n"
         "  c:12.34       currency                t:2024-01-02  date, optionally with hh:mm[:ss]\n"
         "  x:0AFF        byte array (hex)        null, empty   null and empty values\n"
         "  out:T         by-reference output of type T (i s d b c t, or v for a variant);\n"
         "  out:T:VALUE   the same with a first value, e.g. out:i:5 or out:v:s:abc\n";
}

}  // namespace quor::tools
