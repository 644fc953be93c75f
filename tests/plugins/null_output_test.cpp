// plug-null.so through the engine: the silent real-time clock.
#include "plugin_test_support.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace zyn_test;

namespace {
std::atomic<int64_t> g_fills{0};
void count_fill(int16_t *, int32_t, int32_t) { g_fills.fetch_add(1); }
}  // namespace

TEST(NullOutput, FillsOnceABlockAtTheDevicePace) {
    PluginFolder folder({"plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    // 441 frames at 44100 Hz: one block every 10 ms.
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 441, -1), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "Null output");
    EXPECT_GT(std::string(ZYN_GET_PLUGDEVICE()).size(), 0u);
    EXPECT_EQ(ZYN_GET_PLUGFRAMESIZE(), 4);
    EXPECT_EQ(ZYN_GET_PLUGBUFFERSIZE(), 441 * 4);
    EXPECT_EQ(ZYN_GET_PLUGSIGNED(), 1);

    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(count_fill), 1);
    const int64_t start = now_ns();
    const int32_t bytes_before = ZYN_GET_PLAYEDBYTES();
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    sleep_ms(1000);
    const int64_t fills = g_fills.load();
    const int32_t bytes = ZYN_GET_PLAYEDBYTES() - bytes_before;
    const double expected = seconds_since(start) / 0.01;
    // Generous: a loaded machine delays wake-ups, but a clock that does not
    // pace at all, or paces at the wrong rate, lands far outside.
    EXPECT_GT(fills, expected * 0.6);
    EXPECT_LT(fills, expected * 1.2 + 3);
    EXPECT_NEAR(bytes / (441.0 * 4), static_cast<double>(fills), 2.0);

    EXPECT_EQ(ZYN_STOP(), 1);
    const int64_t stopped = g_fills.load();
    sleep_ms(60);
    EXPECT_EQ(g_fills.load(), stopped);
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(NullOutput, ReopensAcrossInitExitCyclesAndRefusesBadFormats) {
    PluginFolder folder({"plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    EXPECT_EQ(ZYN_INIT(44100, 3, 3, 512, -1), 0) << "three channels are refused";
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 0, -1), 0) << "an empty block is refused";
    for (int cycle = 0; cycle < 2; ++cycle) {
        ASSERT_EQ(ZYN_INIT(48000, 1, 2, 256, -1), 1);
        EXPECT_STREQ(ZYN_GET_PLUGNAME(), "Null output");
        EXPECT_EQ(ZYN_GET_PLUGFRAMESIZE(), 2);
        EXPECT_EQ(ZYN_GET_PLUGRATE(), 48000);
        ASSERT_EQ(ZYN_INIT(44100, 2, 3, 512, -1), 1) << "reopened while running";
        EXPECT_EQ(ZYN_GET_PLUGBUFFERSIZE(), 2048);
        sleep_ms(30);
        EXPECT_EQ(ZYN_EXIT(), 1);
    }
}

namespace {
double process_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
}  // namespace

TEST(NullOutput, AbsurdFormatStartsNoThreadThatSpins) {
    PluginFolder folder({"plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    const double cpu_before = process_cpu_seconds();
    EXPECT_EQ(ZYN_INIT(2147483647, 2, 3, 1, -1), 0);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 0);
    sleep_ms(400);
    // A thread asked for one-frame blocks at 2^31 Hz never sleeps: it would
    // have used nearly all of the 400 ms.
    EXPECT_LT(process_cpu_seconds() - cpu_before, 0.1);
    EXPECT_EQ(ZYN_EXIT(), 1);
}
