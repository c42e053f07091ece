// Frames as blocks: the header and payload in one buffer, cursors, and what
// loading a raw frame accepts and refuses.
#include "transport/DataBlock.h"

#include <gtest/gtest.h>

#include "tests/transport/WireBytes.h"
#include "transport/Protocol.h"
#include "transport/TransportError.h"

namespace quor::transport {
namespace {

using testing::Bytes;
using testing::Hex;
using testing::Wire;

TEST(DataBlockTest, HeaderCarriesSignatureAndPayloadLengthAsThePayloadGrows) {
  TDataBlock block;
  EXPECT_EQ(block.PayloadSize(), 0u);
  block.SetSignature(sigCall | actGetIds);
  block.AppendUInt32(3);
  block.AppendUInt32(7);
  EXPECT_EQ(Hex(testing::BytesOf(block)), Hex(Wire().U32(0xDA03).U32(8).U32(3).U32(7)));
  EXPECT_EQ(block.TakeUInt32(), 3u);
  EXPECT_EQ(block.Remaining(), 4u);

  block.ResetBlock();
  EXPECT_EQ(Hex(testing::BytesOf(block)), Hex(Wire().U32(0xDA03).U32(0)));
  EXPECT_EQ(block.Remaining(), 0u);

  block.SetPayloadSize(3);
  EXPECT_EQ(Hex(testing::BytesOf(block)), Hex(Wire().U32(0xDA03).U32(3).U8(0).U8(0).U8(0)));
}

TEST(DataBlockTest, TakeStopsAtTheEndOfThePayloadAndTakeExactRefuses) {
  TDataBlock block;
  block.AppendUInt16(0x0102);
  std::uint8_t into[4] = {};
  EXPECT_EQ(block.Take(into, 4), 2u);
  EXPECT_EQ(into[0], 0x02);
  block.AppendUInt8(9);
  EXPECT_THROW(block.TakeUInt16(), InterpreterError);
}

TEST(DataBlockTest, LoadFrameAcceptsBothMarksAndRefusesEverythingElse) {
  struct Case {
    const char* name;
    Bytes frame;
    bool checkLength;
    bool valid;
  };
  const Case cases[] = {
      {"call", testing::Frame(0xDA02, Wire().Int(1)), true, true},
      {"reply with empty payload", testing::Frame(0xDB04, {}), true, true},
      {"error reply", testing::Frame(0xDB01, Wire().Str(u"x")), true, true},
      {"mark 0xDC00", testing::Frame(0xDC02, {}), true, false},
      {"mark 0x0000", testing::Frame(0x0002, {}), true, false},
      {"upper half set: only bits 8..15 are the mark", testing::Frame(0x1DA02, {}), true, true},
      {"fewer than 8 bytes", Wire().U32(0xDA02).U16(0), false, false},
      {"length longer than the frame", Wire().U32(0xDA02).U32(9).U32(0), true, false},
      {"length shorter than the frame", Wire().U32(0xDA02).U32(1).U32(0), true, false},
      {"negative length", Wire().U32(0xDA02).U32(0xFFFFFFFF), true, false},
      {"length unchecked", Wire().U32(0xDA02).U32(99).U32(5), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDataBlock block;
    if (c.valid) {
      const std::int32_t length = block.LoadFrame(c.frame, c.checkLength);
      EXPECT_EQ(length, static_cast<std::int32_t>(c.frame[4] | (c.frame[5] << 8)));
      EXPECT_EQ(block.PayloadSize(), c.frame.size() - 8);
      EXPECT_EQ(block.Signature(),
                static_cast<std::uint32_t>(c.frame[0] | (c.frame[1] << 8) | (c.frame[2] << 16)));
    } else {
      try {
        block.LoadFrame(c.frame, c.checkLength);
        ADD_FAILURE() << "loaded";
      } catch (const TransportError& error) {
        EXPECT_STREQ(error.what(), "Invalid data packet");
      }
    }
  }
}

TEST(DataBlockTest, RepliesAreTheBlocksWithEveryBitOfTheResultMark) {
  EXPECT_TRUE(IsReply(0xDB02));
  EXPECT_TRUE(IsReply(0xDB01));
  EXPECT_FALSE(IsReply(0xDA02));
  EXPECT_FALSE(IsReply(0xDA05));
}

}  // namespace
}  // namespace quor::transport
