#include "tests/support/tds/TdsBytes.h"

#include <cstring>

#include "tests/support/tds/TextCodec.h"

namespace quor::test::tds {

void ByteWriter::U16(std::uint16_t v) {
  U8(static_cast<std::uint8_t>(v));
  U8(static_cast<std::uint8_t>(v >> 8));
}

void ByteWriter::U16BigEndian(std::uint16_t v) {
  U8(static_cast<std::uint8_t>(v >> 8));
  U8(static_cast<std::uint8_t>(v));
}

void ByteWriter::U32(std::uint32_t v) {
  U16(static_cast<std::uint16_t>(v));
  U16(static_cast<std::uint16_t>(v >> 16));
}

void ByteWriter::U64(std::uint64_t v) {
  U32(static_cast<std::uint32_t>(v));
  U32(static_cast<std::uint32_t>(v >> 32));
}

void ByteWriter::Raw(const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + size);
}

void ByteWriter::Ucs2(std::string_view utf8) {
  Raw(Utf8ToUtf16le(utf8));
}

void ByteWriter::BVarChar(std::string_view utf8) {
  std::string wide = Utf8ToUtf16le(utf8);
  if (wide.size() / 2 > 0xFF) throw TdsProtocolError("name too long for B_VARCHAR");
  U8(static_cast<std::uint8_t>(wide.size() / 2));
  Raw(wide);
}

void ByteWriter::UsVarChar(std::string_view utf8) {
  std::string wide = Utf8ToUtf16le(utf8);
  if (wide.size() / 2 > 0xFFFF) throw TdsProtocolError("text too long for US_VARCHAR");
  U16(static_cast<std::uint16_t>(wide.size() / 2));
  Raw(wide);
}

void ByteWriter::PatchU16(std::size_t at, std::uint16_t v) {
  bytes_.at(at) = static_cast<std::uint8_t>(v);
  bytes_.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

void ByteWriter::PatchU32(std::size_t at, std::uint32_t v) {
  PatchU16(at, static_cast<std::uint16_t>(v));
  PatchU16(at + 2, static_cast<std::uint16_t>(v >> 16));
}

void ByteReader::Need(std::size_t n) const {
  if (n > size_ - pos_) throw TdsProtocolError("message ends early");
}

std::uint8_t ByteReader::U8() {
  Need(1);
  return data_[pos_++];
}

std::uint16_t ByteReader::U16() {
  std::uint16_t lo = U8();
  return static_cast<std::uint16_t>(lo | (U8() << 8));
}

std::uint16_t ByteReader::U16BigEndian() {
  std::uint16_t hi = U8();
  return static_cast<std::uint16_t>((hi << 8) | U8());
}

std::uint32_t ByteReader::U32() {
  std::uint32_t lo = U16();
  return lo | (static_cast<std::uint32_t>(U16()) << 16);
}

std::uint64_t ByteReader::U64() {
  std::uint64_t lo = U32();
  return lo | (static_cast<std::uint64_t>(U32()) << 32);
}

std::vector<std::uint8_t> ByteReader::Take(std::size_t n) {
  const std::uint8_t* p = Skip(n);
  return std::vector<std::uint8_t>(p, p + n);
}

const std::uint8_t* ByteReader::Skip(std::size_t n) {
  Need(n);
  const std::uint8_t* p = data_ + pos_;
  pos_ += n;
  return p;
}

std::string ByteReader::Ucs2(std::size_t chars) {
  if (chars > (size_ - pos_) / 2) throw TdsProtocolError("message ends early");
  const std::uint8_t* p = Skip(chars * 2);
  return Utf16leToUtf8(std::string_view(reinterpret_cast<const char*>(p), chars * 2));
}

void ByteReader::Seek(std::size_t pos) {
  if (pos > size_) throw TdsProtocolError("offset outside the message");
  pos_ = pos;
}

}  // namespace quor::test::tds
