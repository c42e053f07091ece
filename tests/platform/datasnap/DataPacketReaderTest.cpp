// The reader the writer's tests rely on must itself refuse what breaks the
// packet layout, or a faulty writer could pass unnoticed.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "DataPacketReader.h"

namespace quor::datasnap::test {
namespace {

class Bytes8 {
 public:
  Bytes8& U8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  Bytes8& Le(std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes8& Raw(const std::string& text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
  }
  Bytes8& F64(double v) { return Le(std::bit_cast<std::uint64_t>(v), 8); }
  std::vector<std::uint8_t>& Get() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// A valid packet of three fields (n: int32; s: varying ANSI string, WIDTH 4;
// t: timestamp) and one record; every knob defaults to the valid choice.
struct Shape {
  std::uint32_t signature = 0xBDE01996;
  std::int32_t word4 = 1;
  std::int32_t word8 = 18;
  std::int32_t word18 = 3;
  std::int32_t recordCount = 1;
  int headerSizeDelta = 0;
  std::uint16_t intSize = 4;
  std::uint16_t intType = 1;
  std::uint16_t widthPropertyType = 2;
  std::uint16_t widthPropertySize = 2;
  std::uint8_t fieldBits = 0x00;
  std::string text = "ab";
  double stamp = 693595.0 * 86'400'000 + 1;
  std::vector<std::uint8_t> trailer;
};

std::vector<std::uint8_t> Build(const Shape& shape) {
  Bytes8 b;
  b.Le(shape.signature, 4).Le(static_cast<std::uint32_t>(shape.word4), 4);
  b.Le(static_cast<std::uint32_t>(shape.word8), 4).Le(3, 2);
  b.Le(static_cast<std::uint32_t>(shape.recordCount), 4);
  b.Le(static_cast<std::uint32_t>(shape.word18), 4).Le(0, 2);
  b.U8(1).Raw("n").Le(shape.intSize, 2).Le(shape.intType, 2).Le(0, 2).Le(0, 2);
  b.U8(1).Raw("s").Le(1, 2).Le(0x49, 2).Le(0, 2).Le(1, 2);
  b.U8(5).Raw("WIDTH").Le(shape.widthPropertySize, 2).Le(shape.widthPropertyType, 2).Le(4, 2);
  b.U8(1).Raw("t").Le(8, 2).Le(8, 2).Le(0, 2).Le(0, 2);
  b.Le(0, 2);
  const auto headerSize = static_cast<std::uint16_t>(b.Get().size() + shape.headerSizeDelta);
  b.Get()[22] = static_cast<std::uint8_t>(headerSize);
  b.Get()[23] = static_cast<std::uint8_t>(headerSize >> 8);
  b.U8(0).U8(shape.fieldBits);
  b.Le(7, shape.intSize);
  b.U8(static_cast<std::uint8_t>(shape.text.size())).Raw(shape.text);
  b.F64(shape.stamp);
  b.Get().insert(b.Get().end(), shape.trailer.begin(), shape.trailer.end());
  return b.Get();
}

TEST(DataPacketReader, ReadsAValidHandBuiltPacket) {
  const auto packet = ReadDataPacket(Build({}));
  ASSERT_EQ(packet.fields.size(), 3u);
  EXPECT_EQ(packet.fields[1].NumberProperty("WIDTH"), 4u);
  ASSERT_EQ(packet.records.size(), 1u);
  EXPECT_EQ(packet.records[0].cells[0], Cell(std::int64_t{7}));
  EXPECT_EQ(packet.records[0].cells[1], Cell(std::string("ab")));
  EXPECT_EQ(packet.records[0].cells[2], Cell(Timestamp{{1899, 12, 31}, 1}));
}

TEST(DataPacketReader, RejectsEveryTruncation) {
  const auto bytes = Build({});
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    EXPECT_THROW(ReadDataPacket(std::span(bytes.data(), length)), MalformedPacket)
        << "cut to " << length << " bytes";
  }
}

TEST(DataPacketReader, RejectsPacketsThatBreakTheLayout) {
  struct Case {
    const char* label;
    std::function<void(Shape&)> change;
  };
  const std::vector<Case> cases = {
      {"wrong signature", [](Shape& s) { s.signature = 0xBDE01997; }},
      {"header word 1", [](Shape& s) { s.word4 = 2; }},
      {"header word 18", [](Shape& s) { s.word8 = 17; }},
      {"header word 3", [](Shape& s) { s.word18 = 4; }},
      {"header size too large", [](Shape& s) { s.headerSizeDelta = 1; }},
      {"header size too small", [](Shape& s) { s.headerSizeDelta = -1; }},
      {"more records counted than present", [](Shape& s) { s.recordCount = 2; }},
      {"fewer records counted than present", [](Shape& s) { s.recordCount = 0; }},
      {"negative record count", [](Shape& s) { s.recordCount = -1; }},
      {"bytes after the last record", [](Shape& s) { s.trailer = {0}; }},
      {"field status 3", [](Shape& s) { s.fieldBits = 0x03; }},
      {"string longer than its WIDTH", [](Shape& s) { s.text = "abcde"; }},
      {"string that is not code page 936", [](Shape& s) { s.text = "\x81\x20"; }},
      {"timestamp between milliseconds", [](Shape& s) { s.stamp += 0.5; }},
      {"timestamp before day 1", [](Shape& s) { s.stamp = 1000; }},
      {"timestamp not a number", [](Shape& s) { s.stamp = std::nan(""); }},
      {"timestamp past exact milliseconds", [](Shape& s) { s.stamp = 1e300; }},
      {"integer of three bytes", [](Shape& s) { s.intSize = 3; }},
      {"ADT field type", [](Shape& s) { s.intType = 12; }},
      {"varying integer", [](Shape& s) { s.intType = 0x41; }},
      {"varying property with a three-byte length",
       [](Shape& s) {
         s.widthPropertyType = 0x49;
         s.widthPropertySize = 3;
       }},
      {"array property beyond the packet",
       [](Shape& s) {
         s.widthPropertyType = 0x82;
         s.widthPropertySize = 2;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Shape shape;
    c.change(shape);
    EXPECT_THROW(ReadDataPacket(Build(shape)), MalformedPacket);
  }
}

TEST(DataPacketReader, ReadsPropertiesStatusesAndFixedStringsTheLayoutAllows) {
  Bytes8 b;
  b.Le(0xBDE01996, 4).Le(1, 4).Le(18, 4).Le(2, 2).Le(1, 4).Le(3, 4).Le(0, 2);
  // A fixed ANSI string of 4 bytes and an unsigned 16-bit integer.
  b.U8(1).Raw("f").Le(4, 2).Le(9, 2).Le(2, 2).Le(0, 2);
  b.U8(1).Raw("u").Le(2, 2).Le(2, 2).Le(1, 2).Le(0, 2);
  // One packet property: an array of two uint32.
  b.Le(1, 2).U8(3).Raw("ARR").Le(4, 2).Le(0x82, 2).Le(2, 4).Le(5, 4).Le(6, 4);
  b.Get()[22] = static_cast<std::uint8_t>(b.Get().size());
  // A modified record whose second field is unchanged.
  b.U8(8).U8(0x08).Raw("ab").U8(0).U8(0);
  const auto packet = ReadDataPacket(b.Get());
  ASSERT_EQ(packet.packetProperties.size(), 1u);
  EXPECT_EQ(packet.packetProperties[0].name, "ARR");
  EXPECT_EQ(packet.packetProperties[0].count, 2u);
  EXPECT_EQ(packet.packetProperties[0].value, (std::vector<std::uint8_t>{5, 0, 0, 0, 6, 0, 0, 0}));
  EXPECT_EQ(packet.fields[0].attributes, 2);
  EXPECT_EQ(packet.fields[1].attributes, 1);
  ASSERT_EQ(packet.records.size(), 1u);
  EXPECT_EQ(packet.records[0].status, 8);
  EXPECT_EQ(packet.records[0].cells[0], Cell(std::string("ab")));
  EXPECT_EQ(packet.records[0].cells[1], Cell(NotChanged{}));
}

}  // namespace
}  // namespace quor::datasnap::test
