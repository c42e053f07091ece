// One direction of text conversion between the encodings the server meets at its
// edges (UTF-8 inside, code page 936 for the server's own texts and GBK peers,
// UTF-16LE on the wire and in COM strings), wrapping an iconv handle.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quor::text {

enum class Encoding { kUtf8, kGbk, kUtf16Le };

// What a conversion does with input that is malformed in its source encoding or
// has no form in the target encoding.
enum class OnError {
  kThrow,    // raise TextError; the default, so bad data never passes unnoticed
  kReplace,  // put '?' in its place and go on, for text going out to peers that
             // cannot be asked to resend (replies in code page 936, logs)
};

// Raised in kThrow mode; Offset() is the byte offset in the input (for UTF-16
// input the offset of the first byte of the code unit, i.e. index * 2).
class TextError : public std::runtime_error {
 public:
  TextError(const std::string& message, std::size_t offset)
      : std::runtime_error(message), offset_(offset) {}
  std::size_t Offset() const { return offset_; }

 private:
  std::size_t offset_;
};

// Not thread-safe: an iconv handle keeps state, so each thread needs its own.
class Converter {
 public:
  Converter(Encoding from, Encoding to);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Input and output are raw bytes in the source and target encodings.
  std::string Convert(std::string_view input, OnError onError);

 private:
  Encoding from_;
  Encoding to_;
  iconv_t handle_;
};

const char* EncodingName(Encoding encoding);

}  // namespace quor::text
