#include "logging/RingBuffer.h"

#include <gtest/gtest.h>

namespace {

QList<int> appended(RingBuffer<int> ring, int count) {
    for (int value = 1; value <= count; ++value) {
        ring.append(value);
    }
    return ring.orderedElements();
}

TEST(RingBufferTest, OverwritesOldestOnceFull) {
    RingBuffer<int> ring(3);
    for (int value = 1; value <= 5; ++value) {
        ring.append(value);
    }
    EXPECT_EQ(ring.storage(), (QList<int>{4, 5, 3}));
    EXPECT_EQ(ring.nextWriteIndex(), 2);
    EXPECT_EQ(ring.orderedElements(), (QList<int>{3, 4, 5}));
}

TEST(RingBufferTest, PartlyFilledKeepsInsertionOrder) {
    RingBuffer<int> ring(3);
    ring.append(7);
    ring.append(8);
    EXPECT_EQ(ring.orderedElements(), (QList<int>{7, 8}));
    EXPECT_EQ(ring.nextWriteIndex(), 2);
}

TEST(RingBufferTest, ExactlyFullAndWrappedTwice) {
    EXPECT_EQ(appended(RingBuffer<int>(3), 3), (QList<int>{1, 2, 3}));
    EXPECT_EQ(appended(RingBuffer<int>(3), 7), (QList<int>{5, 6, 7}));
    EXPECT_EQ(appended(RingBuffer<int>(1), 4), (QList<int>{4}));
}

TEST(RingBufferTest, ZeroAndNegativeCapacityHoldNothing) {
    for (qsizetype capacity : {qsizetype(0), qsizetype(-4)}) {
        RingBuffer<int> ring(capacity);
        EXPECT_EQ(ring.capacity(), 0) << capacity;
        ring.append(1);
        ring.append(2);
        EXPECT_TRUE(ring.storage().isEmpty()) << capacity;
        EXPECT_TRUE(ring.orderedElements().isEmpty()) << capacity;
        EXPECT_EQ(ring.nextWriteIndex(), 0) << capacity;
    }
}

} // namespace
