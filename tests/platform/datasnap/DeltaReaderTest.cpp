// Change logs built by hand from the packet layout, read for their record
// statuses; damaged ones must be refused, never read past their end.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DeltaBuilder.h"
#include "platform/datasnap/DeltaReader.h"

namespace quor::datasnap {
namespace {

using test::DeltaBuilder;

std::vector<std::uint8_t> MixedDelta() {
  return DeltaBuilder()
      .Record(kRecordInserted, 1, "新客户")
      .Record(kRecordOriginal, 2, "old")
      .Record(kRecordModified, 2, "", false, true)
      .Record(kRecordDeleted, 3, "", true)
      .Build();
}

TEST(DeltaReader, ReadsTheStatusOfEveryRecord) {
  EXPECT_EQ(ReadRecordStatuses(MixedDelta()),
            (std::vector<std::uint8_t>{kRecordInserted, kRecordOriginal, kRecordModified,
                                       kRecordDeleted}));
  EXPECT_TRUE(ReadRecordStatuses(DeltaBuilder().Build()).empty());
}

TEST(DeltaReader, CountsInsertsModificationsAndDeletionsAsChanges) {
  EXPECT_TRUE(IsChange(kRecordInserted));
  EXPECT_TRUE(IsChange(kRecordModified));
  EXPECT_TRUE(IsChange(kRecordDeleted));
  EXPECT_FALSE(IsChange(kRecordOriginal));
  EXPECT_FALSE(IsChange(0));
}

TEST(DeltaReader, RefusesEveryTruncation) {
  const std::vector<std::uint8_t> delta = MixedDelta();
  for (std::size_t size = 0; size < delta.size(); ++size) {
    SCOPED_TRACE("first " + std::to_string(size) + " bytes");
    EXPECT_THROW(ReadRecordStatuses(std::span(delta.data(), size)), PacketError);
  }
}

TEST(DeltaReader, RefusesPacketsThatBreakTheLayout) {
  struct Case {
    const char* label;
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
  };
  const std::vector<std::uint8_t> delta = MixedDelta();
  const std::vector<Case> cases = {
      {"wrong signature", 0, {0x00}},
      {"negative record count", 14, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"more records than data", 14, {0x40, 0, 0, 0}},
      {"header size beyond the packet", 22, {0xFF, 0xFF}},
      {"header size inside the descriptors", 22, {30, 0}},
      {"a string field with a three-byte length prefix", 40, {3, 0}},
      {"a nested-table field", 29, {14, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::uint8_t> damaged = delta;
    ASSERT_LE(c.offset + c.bytes.size(), damaged.size());
    std::copy(c.bytes.begin(), c.bytes.end(), damaged.begin() + static_cast<long>(c.offset));
    EXPECT_THROW(ReadRecordStatuses(damaged), PacketError);
  }
}

TEST(DeltaReader, SurvivesEverySingleByteCorruption) {
  // Whatever one damaged byte does, the reader answers with at most one status
  // per byte or refuses with a PacketError (any other exception fails the
  // test); it never reads outside the buffer, which the sanitizer build checks.
  const std::vector<std::uint8_t> delta = MixedDelta();
  std::size_t refused = 0;
  for (std::size_t i = 0; i < delta.size(); ++i) {
    for (const std::uint8_t value : {0x00, 0x7F, 0xFF}) {
      std::vector<std::uint8_t> damaged = delta;
      damaged[i] = value;
      try {
        EXPECT_LE(ReadRecordStatuses(damaged).size(), damaged.size()) << "byte " << i;
      } catch (const PacketError&) {
        ++refused;
      }
    }
  }
  EXPECT_GT(refused, 0u);
}

}  // namespace
}  // namespace quor::datasnap
