// Processor queries and the decoding of the identification leaves.
#include "dsp/processor.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

using namespace zyn;

TEST(Processor, FeatureBitsComeFromTheirLeaves) {
    const ProcessorInfo none = decode_features(0, 0, 0xFFFFFFFFu);
    EXPECT_EQ(none.fpu, 1) << "the floating-point unit is not tested, it is taken";
    EXPECT_EQ(none.tsc + none.cmov + none.mmx + none.sse + none.sse2, 0);
    const ProcessorInfo all = decode_features(0x10u | 0x8000u | 0x800000u | 0x2000000u | 0x4000000u,
                                              0x80000008u, 0x400000u | 0x80000000u | 0x40000000u);
    EXPECT_EQ(all.tsc, 1);
    EXPECT_EQ(all.cmov, 1);
    EXPECT_EQ(all.mmx, 1);
    EXPECT_EQ(all.sse, 1);
    EXPECT_EQ(all.sse2, 1);
    EXPECT_EQ(all.mmx2, 1);
    EXPECT_EQ(all.three_dnow, 1);
    EXPECT_EQ(all.three_dnow2, 1);
    const ProcessorInfo sse_only = decode_features(0x2000000u, 0, 0);
    EXPECT_EQ(sse_only.sse, 1);
    EXPECT_EQ(sse_only.sse2 + sse_only.mmx + sse_only.tsc, 0);
}

TEST(Processor, ExtendedFlagsNeedAnExtendedLeafBeyondTheBase) {
    const uint32_t every = 0xFFFFFFFFu;
    for (uint32_t max : {0u, 0x80000000u, 0x7FFFFFFFu, 0x80000100u}) {
        const ProcessorInfo info = decode_features(0, max, every);
        EXPECT_EQ(info.mmx2 + info.three_dnow + info.three_dnow2, 0) << std::hex << max;
    }
    // The extended MMX flag is its own: it can be set without MMX and the other way round.
    const ProcessorInfo ext = decode_features(0, 0x80000001u, 0x400000u);
    EXPECT_EQ(ext.mmx2, 1);
    EXPECT_EQ(ext.mmx, 0);
    EXPECT_EQ(ext.three_dnow, 0);
    const ProcessorInfo plain = decode_features(0x800000u, 0x80000001u, 0);
    EXPECT_EQ(plain.mmx, 1);
    EXPECT_EQ(plain.mmx2, 0);
}

TEST(Processor, QueriesDescribeThisMachine) {
    EXPECT_EQ(ISFPU(), 1);
    for (int32_t flag : {ISTSC(), ISCMOV(), ISMMX(), ISMMX2(), ISSSE(), ISSSE2(), IS3DNOW(),
                         IS3DNOW2()})
        EXPECT_TRUE(flag == 0 || flag == 1);
#if defined(__x86_64__)
    // Every x86-64 processor has these.
    EXPECT_EQ(ISTSC(), 1);
    EXPECT_EQ(ISCMOV(), 1);
    EXPECT_EQ(ISMMX(), 1);
    EXPECT_EQ(ISSSE(), 1);
    EXPECT_EQ(ISSSE2(), 1);
#endif
}

TEST(Processor, CounterNeverGoesBackAndRunsAtTheMeasuredClock) {
    // Several threads, so that moves between cores are likely.
    std::vector<std::thread> threads;
    std::vector<int> backwards(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&backwards, t] {
            uint64_t last = CPUCOUNTER();
            for (int i = 0; i < 200000; ++i) {
                const uint64_t now = CPUCOUNTER();
                if (now < last) ++backwards[t];
                last = now;
            }
        });
    }
    for (std::thread &th : threads) th.join();
    for (int b : backwards) EXPECT_EQ(b, 0);

    const int32_t mhz = MHZ();
    EXPECT_GT(mhz, 50);
    EXPECT_LT(mhz, 20000);
    EXPECT_EQ(MHZ(), mhz) << "measured once";
    const auto t0 = std::chrono::steady_clock::now();
    const uint64_t c0 = CPUCOUNTER();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const uint64_t c1 = CPUCOUNTER();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double rate = static_cast<double>(c1 - c0) / seconds / 1e6;
    EXPECT_NEAR(rate, mhz, mhz * 0.1) << "the counter runs at about MHZ x 1 000 000 per second";
}
