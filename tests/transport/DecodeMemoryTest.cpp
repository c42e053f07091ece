// What decoding one frame may cost in memory, measured by counting every
// allocation this program makes: the frames that cost most per payload byte
// (arrays of empty variants, nested arrays, one-letter strings, tiny byte
// arrays) stay within a fixed multiple of the payload's size.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/com/SafeArray.h"
#include "tests/transport/WireBytes.h"
#include "transport/TransportError.h"
#include "transport/ValueCodec.h"

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void* Allocate(std::size_t size) {
  // The size is kept in front of the block so that the release knows it.
  auto* block = static_cast<std::size_t*>(std::malloc(size + sizeof(std::max_align_t)));
  if (!block) throw std::bad_alloc();
  *block = size;
  const std::size_t now = liveBytes += size;
  std::size_t peak = peakBytes;
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
  return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}

void Release(void* pointer) {
  if (!pointer) return;
  auto* block =
      reinterpret_cast<std::size_t*>(static_cast<char*>(pointer) - sizeof(std::max_align_t));
  liveBytes -= *block;
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* pointer) noexcept {
  Release(pointer);
}
void operator delete[](void* pointer) noexcept {
  Release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
  Release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
  Release(pointer);
}

namespace quor::transport {
namespace {

using testing::Bytes;
using testing::Wire;

// The bound the README states for operators.
constexpr std::size_t kBytesPerPayloadByte = 32;

class NoObjects : public ObjectLink {
 public:
  std::int32_t RegisterObject(const com::Variant&) override { return 0; }
  com::DispatchPtr ProxyFor(std::int32_t) override { return nullptr; }
};

Bytes NestedArrays(int depth, std::uint32_t leaves) {
  Wire wire;
  for (int i = 0; i < depth; ++i) wire.U32(0x200C).U32(1).U32(0).U32(1).U32(0);
  wire.U32(0x200C).U32(1).U32(0).U32(leaves - 1);
  for (std::uint32_t i = 0; i < leaves; ++i) wire.U32(0);
  // The sibling of every level: an empty variant.
  for (int i = 0; i < depth; ++i) wire.U32(0);
  return wire;
}

// Every level announces as many elements as the rest of the payload could
// hold, but only the innermost level's are sent: a reader that made room for
// what bounds announce would hold sixty times the payload's worth of them.
Bytes NestedArraysAnnouncingMore(int depth, std::uint32_t fillerBytes) {
  const std::uint32_t payload = static_cast<std::uint32_t>(depth) * 20 + fillerBytes;
  Wire wire;
  for (int i = 0; i < depth; ++i) {
    const std::uint32_t remaining = payload - 20 * static_cast<std::uint32_t>(i + 1);
    wire.U32(0x200C).U32(1).U32(0).U32(remaining / 4 - 1);
  }
  return wire.Raw(Bytes(fillerBytes, 0));
}

Bytes ArrayOf(std::uint32_t count, std::uint32_t elementType, const Bytes& element) {
  Wire wire;
  wire.U32(0x2000 | elementType).U32(1).U32(0).U32(count - 1);
  for (std::uint32_t i = 0; i < count; ++i) wire.Raw(element);
  return wire;
}

TEST(DecodeMemoryTest, DecodingAFrameCostsAFixedMultipleOfItsPayloadAtMost) {
  struct Case {
    const char* name;
    Bytes payload;
  };
  const Case cases[] = {
      {"a million empty variants", ArrayOf(1'000'000, 0x0C, Wire().U32(0))},
      {"nested arrays of variants", NestedArrays(60, 200'000)},
      {"one-letter strings", ArrayOf(300'000, 0x08, Wire().Str(u"a"))},
      {"variants holding one-byte arrays",
       ArrayOf(200'000, 0x0C, Wire().U32(0x2011).U32(1).U32(0).U32(0).U32(1).U8(7))},
      {"a data packet", ArrayOf(1, 0x0C,
                                Wire()
                                    .U32(0x2011)
                                    .U32(1)
                                    .U32(0)
                                    .U32(4'000'000 - 1)
                                    .U32(4'000'000)
                                    .Raw(Bytes(4'000'000, 1)))},
  };
  const Case truncated[] = {
      {"nested arrays announcing more than is sent", NestedArraysAnnouncingMore(60, 400'000)},
  };
  NoObjects objects;
  ValueCodec codec(objects);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDataBlock block = testing::BlockOf(0xDA02, c.payload);
    const std::size_t before = liveBytes;
    peakBytes = before;
    {
      const ReadValueResult read = codec.ReadValue(block);
      EXPECT_TRUE(read.value.IsArray());
    }
    const std::size_t cost = peakBytes - before;
    const double perByte = static_cast<double>(cost) / static_cast<double>(c.payload.size());
    std::printf("%-36s payload %9zu bytes, decoding peak %10zu bytes (%.1f per byte)\n", c.name,
                c.payload.size(), cost, perByte);
    EXPECT_LE(cost, kBytesPerPayloadByte * c.payload.size());
  }
  for (const Case& c : truncated) {
    SCOPED_TRACE(c.name);
    TDataBlock block = testing::BlockOf(0xDA02, c.payload);
    const std::size_t before = liveBytes;
    peakBytes = before;
    EXPECT_THROW(codec.ReadValue(block), InterpreterError);
    EXPECT_LE(peakBytes - before, kBytesPerPayloadByte * c.payload.size());
  }
}

}  // namespace
}  // namespace quor::transport
