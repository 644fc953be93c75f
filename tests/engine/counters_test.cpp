// The played-bytes counter is a signed 32-bit total that wraps.
#include "test_support.h"
#include "whitebox.h"

#include <gtest/gtest.h>

using namespace zyn_test;

TEST(Counters, PlayedBytesWrapAndAnswerZeroBelowZero) {
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    zyn::engine().played_bytes.store(176400);
    EXPECT_EQ(ZYN_GET_PLAYEDSAMPLES(), 44100);
    EXPECT_DOUBLE_EQ(ZYN_GET_PLAYTIME(), 1.0);
    zyn::engine().played_bytes.store(176401);
    EXPECT_EQ(ZYN_GET_PLAYEDSAMPLES(), 44100);
    EXPECT_DOUBLE_EQ(ZYN_GET_PLAYTIME(), 1.0);
    zyn::engine().played_bytes.store(2147483647 - 100);
    device.pump();
    EXPECT_LT(ZYN_GET_PLAYEDBYTES(), 0);
    EXPECT_EQ(ZYN_GET_PLAYEDBYTES(), static_cast<int32_t>(2147483647u - 100u + 1024u));
    EXPECT_EQ(ZYN_GET_PLAYEDSAMPLES(), 0);
    EXPECT_EQ(ZYN_GET_PLAYTIME(), 0.0);
}
