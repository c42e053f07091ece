#include <gtest/gtest.h>

#include "sms/CommQueue.h"

namespace quor::sms {
namespace {

TEST(CommQueue, NewestBytesAreReadBackwardsFromOffsetZero) {
  TCommQueue queue;
  queue.PushText("xyzOK\r\n");
  EXPECT_EQ(queue.PeekByte(0), '\n');
  EXPECT_EQ(queue.PeekByte(-1), '\r');
  EXPECT_EQ(queue.TailText(-4), "zOK\r\n");
  EXPECT_EQ(queue.TailText(0), "\n");
  EXPECT_EQ(queue.Counter(), 7u);
}

TEST(CommQueue, OffsetsOutsideTheCapacityAreRefusedWithTheirRange) {
  TCommQueue queue;
  EXPECT_NO_THROW(queue.PeekByte(1023));
  EXPECT_NO_THROW(queue.PeekByte(-1023));
  try {
    queue.PeekByte(1024);
    FAIL() << "accepted";
  } catch (const ECommQueueError& error) {
    EXPECT_STREQ(error.what(), "偏移量只能在-1023~1023之间");
  }
  EXPECT_THROW(queue.TailText(-1024), ECommQueueError);
}

TEST(CommQueue, RingWrapsAndPositiveOffsetsCountOnFromTheNewest) {
  TCommQueue queue(4);
  queue.PushText("abcdef");  // ring holds e f c d, newest f
  EXPECT_EQ(queue.TailText(-3), "cdef");
  EXPECT_EQ(queue.PeekByte(1), 'c');  // one on from the newest is the oldest
  EXPECT_EQ(queue.TailText(2), "fcd");
}

TEST(CommQueue, CapacityOutsideOneToTenThousandIsRefused) {
  TCommQueue queue;
  for (int capacity : {0, -1, 10001}) {
    try {
      queue.SetCapacity(capacity);
      FAIL() << capacity;
    } catch (const ECommQueueError& error) {
      EXPECT_STREQ(error.what(), "缓冲区大小应设置在1~10000之间");
    }
  }
  EXPECT_NO_THROW(queue.SetCapacity(10000));
}

TEST(CommQueue, ShrinkingKeepsTheLastBytesOfTheArray) {
  TCommQueue queue(6);
  queue.PushText("abcdef");
  queue.SetCapacity(3);
  EXPECT_EQ(queue.TailText(-2), "def");
  queue.ClearQueue();
  EXPECT_EQ(queue.TailText(-2), std::string(3, '\0'));
}

}  // namespace
}  // namespace quor::sms
