// Growable string arrays: doubling, ownership, and the slot limit.
#include "core/sarray.h"

#include <gtest/gtest.h>

namespace {

TEST(StringArray, GrowsByDoublingAndOwnsCopies) {
    StringArray array;
    char text[16];
    for (int i = 0; i < 65; i++) {
        std::snprintf(text, sizeof text, "item%d", i);
        stringArrayAppend(array, text);
    }
    EXPECT_EQ(array.count, 65);
    EXPECT_EQ(array.allocated, 128);
    EXPECT_STREQ(array.items[64], "item64");
    EXPECT_EQ(array.items[65], nullptr);
    stringArrayShutdown(array);
    EXPECT_EQ(array.allocated, 0);
    stringArrayExtend(array, 200);
    EXPECT_EQ(array.allocated, 256);
    EXPECT_EQ(array.count, 0);
    stringArrayShutdown(array);
}

TEST(StringArrayDeath, SlotCountOverflowIsOutOfMemory) {
    StringArray array;
    EXPECT_EXIT(
        stringArrayExtend(array, INT32_MAX), testing::ExitedWithCode(1),
        "^Out of Memory! quorvel cannot continue without additional memory or swap space.\n$");
}

}  // namespace
