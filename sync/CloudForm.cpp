#include "sync/CloudForm.h"

namespace quor::sync {

namespace {

bool PassesCloudFormUnescaped(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
         c == '-' || c == '.' || c == '_';
}

}  // namespace

std::string EncodeCloudFormPart(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size() * 3);
  for (char ch : utf8) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (PassesCloudFormUnescaped(c)) {
      out += ch;
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::string EncodeCloudForm(const CloudFormFields& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    if (value.empty()) continue;
    if (!body.empty()) body += '&';
    body += EncodeCloudFormPart(name);
    body += '=';
    body += EncodeCloudFormPart(value);
  }
  return body;
}

}  // namespace quor::sync
