#include "Converter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Utf8.h"

namespace quor::text {
namespace {

// glibc's CP936 is the Windows code page: it includes the euro sign at 0x80,
// which plain GB2312 lacks and which GBK peers do send.
const char* IconvName(Encoding encoding) {
  switch (encoding) {
    case Encoding::kUtf8:
      return "UTF-8";
    case Encoding::kGbk:
      return "CP936";
    case Encoding::kUtf16Le:
      return "UTF-16LE";
  }
  return "UTF-8";
}

std::string_view Replacement(Encoding encoding) {
  using namespace std::string_view_literals;
  return encoding == Encoding::kUtf16Le ? "?\0"sv : "?"sv;
}

std::string CodePointText(char32_t codePoint) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(codePoint));
  return text;
}

bool IsHighSurrogate(unsigned unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(unsigned unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// What iconv stopped at: how many input bytes to step over and, for kThrow, why.
struct Fault {
  std::size_t length;
  std::string message;
};

Fault DescribeUtf8(std::string_view input, std::size_t offset, Encoding to) {
  const std::size_t length = Utf8SequenceLength(input, offset);
  if (length == 0) return {1, "invalid UTF-8 at byte " + std::to_string(offset)};
  return {length, CodePointText(Utf8CodePoint(input, offset, length)) + " at byte " +
                      std::to_string(offset) + " has no " + EncodingName(to) + " form"};
}

Fault DescribeUtf16(std::string_view input, std::size_t offset, Encoding to) {
  const auto unitAt = [&](std::size_t pos) {
    return static_cast<unsigned>(static_cast<unsigned char>(input[pos])) |
           static_cast<unsigned>(static_cast<unsigned char>(input[pos + 1])) << 8;
  };
  const std::size_t left = input.size() - offset;
  if (left < 2) return {left, "incomplete UTF-16 code unit at byte " + std::to_string(offset)};
  const unsigned unit = unitAt(offset);
  if (IsHighSurrogate(unit) && left >= 4 && IsLowSurrogate(unitAt(offset + 2))) {
    const char32_t codePoint = 0x10000 + ((unit - 0xD800) << 10) + (unitAt(offset + 2) - 0xDC00);
    return {4, CodePointText(codePoint) + " at byte " + std::to_string(offset) + " has no " +
                   EncodingName(to) + " form"};
  }
  if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
    return {2, "unpaired UTF-16 surrogate at byte " + std::to_string(offset)};
  }
  return {2, CodePointText(unit) + " at byte " + std::to_string(offset) + " has no " +
                 EncodingName(to) + " form"};
}

Fault DescribeGbk(std::string_view input, std::size_t offset) {
  // A lead byte followed by a byte in the trail range is one (unassigned)
  // character, as Windows reads it; anything else is a single bad byte.
  const auto byteAt = [&](std::size_t pos) { return static_cast<unsigned char>(input[pos]); };
  std::size_t length = 1;
  if (offset + 1 < input.size() && byteAt(offset) >= 0x81 && byteAt(offset) <= 0xFE &&
      byteAt(offset + 1) >= 0x40 && byteAt(offset + 1) <= 0xFE && byteAt(offset + 1) != 0x7F) {
    length = 2;
  }
  return {length, "invalid code page 936 sequence at byte " + std::to_string(offset)};
}

}  // namespace

const char* EncodingName(Encoding encoding) {
  switch (encoding) {
    case Encoding::kUtf8:
      return "UTF-8";
    case Encoding::kGbk:
      return "code page 936";
    case Encoding::kUtf16Le:
      return "UTF-16LE";
  }
  return "UTF-8";
}

Converter::Converter(Encoding from, Encoding to)
    : from_(from), to_(to), handle_(iconv_open(IconvName(to), IconvName(from))) {
  if (handle_ == reinterpret_cast<iconv_t>(-1)) {
    throw TextError(std::string("cannot convert from ") + EncodingName(from) + " to " +
                        EncodingName(to) + ": " + std::strerror(errno),
                    0);
  }
}

Converter::~Converter() {
  iconv_close(handle_);
}

std::string Converter::Convert(std::string_view input, OnError onError) {
  iconv(handle_, nullptr, nullptr, nullptr, nullptr);
  std::string output;
  output.reserve(input.size() * 2);
  char buffer[4096];
  // iconv's prototype takes a non-const pointer but only reads the input.
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  while (inLeft > 0) {
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(handle_, &in, &inLeft, &out, &outLeft);
    const int error = errno;
    output.append(buffer, static_cast<std::size_t>(out - buffer));
    if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    const std::size_t offset = input.size() - inLeft;
    if (error != EILSEQ && error != EINVAL) {
      throw TextError(std::string("text conversion failed: ") + std::strerror(error), offset);
    }
    Fault fault = from_ == Encoding::kUtf8      ? DescribeUtf8(input, offset, to_)
                  : from_ == Encoding::kUtf16Le ? DescribeUtf16(input, offset, to_)
                                                : DescribeGbk(input, offset);
    if (onError == OnError::kThrow) throw TextError(fault.message, offset);
    output += Replacement(to_);
    in += fault.length;
    inLeft -= fault.length;
  }
  char* out = buffer;
  std::size_t outLeft = sizeof buffer;
  iconv(handle_, nullptr, nullptr, &out, &outLeft);
  output.append(buffer, static_cast<std::size_t>(out - buffer));
  return output;
}

}  // namespace quor::text
