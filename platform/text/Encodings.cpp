#include "Encodings.h"

#include <memory>

#include "Utf8.h"

namespace quor::text {
namespace {

// iconv handles carry conversion state, so every thread keeps its own; opening
// one per call would cost more than most of the conversions themselves.
Converter& CachedConverter(Encoding from, Encoding to) {
  thread_local std::unique_ptr<Converter> cache[3][3];
  auto& slot = cache[static_cast<int>(from)][static_cast<int>(to)];
  if (!slot) slot = std::make_unique<Converter>(from, to);
  return *slot;
}

std::string Convert(Encoding from, Encoding to, std::string_view input, OnError onError) {
  return CachedConverter(from, to).Convert(input, onError);
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8, OnError onError) {
  return Convert(Encoding::kUtf8, Encoding::kGbk, utf8, onError);
}

std::string GbkToUtf8(std::string_view gbk, OnError onError) {
  return Convert(Encoding::kGbk, Encoding::kUtf8, gbk, onError);
}

std::u16string Utf8ToUtf16(std::string_view utf8, OnError onError) {
  return Utf16FromLeBytes(Convert(Encoding::kUtf8, Encoding::kUtf16Le, utf8, onError));
}

std::string Utf16ToUtf8(std::u16string_view utf16, OnError onError) {
  return Convert(Encoding::kUtf16Le, Encoding::kUtf8, Utf16ToLeBytes(utf16), onError);
}

std::u16string GbkToUtf16(std::string_view gbk, OnError onError) {
  return Utf16FromLeBytes(Convert(Encoding::kGbk, Encoding::kUtf16Le, gbk, onError));
}

std::string Utf16ToGbk(std::u16string_view utf16, OnError onError) {
  return Convert(Encoding::kUtf16Le, Encoding::kGbk, Utf16ToLeBytes(utf16), onError);
}

std::string Utf16ToLeBytes(std::u16string_view utf16) {
  std::string bytes;
  bytes.reserve(utf16.size() * 2);
  for (const char16_t unit : utf16) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::u16string Utf16FromLeBytes(std::string_view bytes) {
  if (bytes.size() % 2 != 0) {
    throw TextError("UTF-16LE text of odd length " + std::to_string(bytes.size()),
                    bytes.size() - 1);
  }
  std::u16string utf16;
  utf16.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    utf16.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return utf16;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

}  // namespace quor::text
