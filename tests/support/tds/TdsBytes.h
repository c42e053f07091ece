// Little-endian byte building and bounds-checked reading for TDS messages. Every read past the
// end throws TdsProtocolError, so a malformed request ends one connection, not the test run.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quor::test::tds {

struct TdsProtocolError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class ByteWriter {
 public:
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16(std::uint16_t v);
  void U16BigEndian(std::uint16_t v);
  void U32(std::uint32_t v);
  void U64(std::uint64_t v);
  void Raw(const void* data, std::size_t size);
  void Raw(std::string_view data) { Raw(data.data(), data.size()); }
  // UTF-16LE text of a UTF-8 string, without a length prefix.
  void Ucs2(std::string_view utf8);
  // B_VARCHAR: one-byte length in characters, then UTF-16LE.
  void BVarChar(std::string_view utf8);
  // US_VARCHAR: two-byte length in characters, then UTF-16LE.
  void UsVarChar(std::string_view utf8);
  void PatchU16(std::size_t at, std::uint16_t v);
  void PatchU32(std::size_t at, std::uint32_t v);

  std::size_t Size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  explicit ByteReader(const std::vector<std::uint8_t>& v) : ByteReader(v.data(), v.size()) {}

  std::uint8_t U8();
  std::uint16_t U16();
  std::uint16_t U16BigEndian();
  std::uint32_t U32();
  std::uint64_t U64();
  std::vector<std::uint8_t> Take(std::size_t n);
  const std::uint8_t* Skip(std::size_t n);  // returns where the skipped bytes start
  // Reads n UTF-16LE characters and returns them as UTF-8.
  std::string Ucs2(std::size_t chars);
  std::string BVarChar() { return Ucs2(U8()); }
  std::string UsVarChar() { return Ucs2(U16()); }

  std::size_t Position() const { return pos_; }
  std::size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ >= size_; }
  void Seek(std::size_t pos);

 private:
  void Need(std::size_t n) const;

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace quor::test::tds
