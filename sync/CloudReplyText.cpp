#include "sync/CloudReplyText.h"

#include <algorithm>
#include <cctype>

#include "platform/text/Encodings.h"

namespace quor::sync {

namespace {

std::string LowerReplyText(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The charset parameter of a Content-Type value, lower case, without quotes.
std::string DeclaredCharset(const std::string& contentType) {
  std::string lower = LowerReplyText(contentType);
  std::size_t at = lower.find("charset=");
  if (at == std::string::npos) return {};
  std::string value = lower.substr(at + 8);
  std::size_t end = value.find_first_of("; \t");
  if (end != std::string::npos) value.resize(end);
  value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
  return value;
}

bool NamesGbk(const std::string& charset) {
  return charset == "gbk" || charset == "gb2312" || charset == "gb18030" || charset == "cp936" ||
         charset == "x-gbk" || charset == "windows-936";
}

bool NestsTooDeep(const std::string& text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxCloudJsonDepth) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

std::string DecodeCloudReply(const std::string& body, const std::string& contentType) {
  std::string charset = DeclaredCharset(contentType);
  std::string_view bytes = body;
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
    if (charset.empty()) charset = "utf-8";
  }
  if (charset == "utf-8" || charset == "utf8") {
    if (text::IsValidUtf8(bytes)) return std::string(bytes);
    // Declared UTF-8 but not: the damaged bytes become "?" so the rest still parses.
    return text::Utf16ToUtf8(text::Utf8ToUtf16(bytes, text::OnError::kReplace),
                             text::OnError::kReplace);
  }
  if (NamesGbk(charset)) return text::GbkToUtf8(bytes, text::OnError::kReplace);
  if (text::IsValidUtf8(bytes)) return std::string(bytes);
  return text::GbkToUtf8(bytes, text::OnError::kReplace);
}

std::optional<nlohmann::json> ParseCloudJson(const std::string& utf8) {
  if (NestsTooDeep(utf8)) return std::nullopt;
  nlohmann::json value = nlohmann::json::parse(utf8, nullptr, false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

}  // namespace quor::sync
