// ZERO, ZEROBUFFER, COPY, MIX16, SCALE16 and PAN16 through their exported
// names: argument checks, saturation, floor rounding, ring wrap.
#include "zyn.h"
#include "zyn_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

namespace {

constexpr int16_t kUntouched = 0x5A5A;

}  // namespace

TEST(BufferKernels, ZeroHonoursItsCountAndRefusesTooSmallOnes) {
    std::vector<uint8_t> block(16, 0xEE);
    ZERO(block.data(), 1);
    EXPECT_EQ(block[0], 0xEE) << "a count of 1 is refused";
    ZERO(nullptr, 8);
    ZERO(block.data() + 1, 7);  // odd count at an odd address
    EXPECT_EQ(block[0], 0xEE);
    for (int i = 1; i < 8; ++i) EXPECT_EQ(block[i], 0) << i;
    EXPECT_EQ(block[8], 0xEE);
}

TEST(BufferKernels, ZeroBufferWrapsAtTheRingEnd) {
    std::vector<uint8_t> ring(10, 0xEE);
    void *pos = ring.data() + 7;
    ZEROBUFFER(ring.data(), &pos, ring.data() + ring.size(), 5);
    EXPECT_EQ(pos, ring.data() + 2);
    const std::vector<uint8_t> expected = {0, 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0, 0, 0};
    EXPECT_EQ(ring, expected);
    // Exactly to the end: the position comes back to the ring's first byte.
    pos = ring.data() + 4;
    ZEROBUFFER(ring.data(), &pos, ring.data() + ring.size(), 6);
    EXPECT_EQ(pos, ring.data());
    // Refused: no bytes, no ring.
    std::fill(ring.begin(), ring.end(), 0xEE);
    pos = ring.data();
    ZEROBUFFER(ring.data(), &pos, ring.data() + ring.size(), 0);
    ZEROBUFFER(nullptr, &pos, ring.data() + ring.size(), 4);
    EXPECT_EQ(ring[0], 0xEE);
    // More bytes than the ring holds go round more than once, inside it.
    ZEROBUFFER(ring.data(), &pos, ring.data() + ring.size(), 25);
    EXPECT_EQ(pos, ring.data() + 5);
    for (uint8_t b : ring) EXPECT_EQ(b, 0);
}

TEST(BufferKernels, CopyDownwardsOverItsOwnSource) {
    std::vector<uint8_t> block(300);
    std::iota(block.begin(), block.end(), 0);
    const std::vector<uint8_t> before = block;
    // The pitch shifter slides its buffers down this way.
    COPY(block.data(), block.data() + 37, 250);
    for (int i = 0; i < 250; ++i) ASSERT_EQ(block[i], before[i + 37]) << i;
    for (int i = 250; i < 300; ++i) ASSERT_EQ(block[i], before[i]) << i;
    COPY(block.data(), block.data() + 1, 1);
    EXPECT_EQ(block[0], before[37]) << "a count of 1 is refused";
}

TEST(BufferKernels, MixSaturatesEachSample) {
    const std::vector<int16_t> a = {30000, -30000, 100, 32767, -32768, 0, kUntouched};
    const std::vector<int16_t> b = {10000, -10000, -300, 32767, -32768, -1, kUntouched};
    std::vector<int16_t> out(a.size(), kUntouched);
    MIX16(out.data(), a.data(), b.data(), 12);
    const std::vector<int16_t> expected = {32767, -32768, -200, 32767, -32768, -1, kUntouched};
    EXPECT_EQ(out, expected);
    // Odd counts and missing blocks are refused.
    std::vector<int16_t> again(a.size(), kUntouched);
    MIX16(again.data(), a.data(), b.data(), 11);
    MIX16(again.data(), nullptr, b.data(), 12);
    EXPECT_EQ(again, std::vector<int16_t>(a.size(), kUntouched));
    // In place on either source.
    std::vector<int16_t> acc = a;
    MIX16(acc.data(), acc.data(), b.data(), 12);
    EXPECT_EQ(acc, expected);
}

TEST(BufferKernels, ScaleFloorsAndSaturates) {
    struct Case {
        float factor;
        int16_t in, out;
    } cases[] = {
        {1.0f, -32768, -32768}, {1.0f, 12345, 12345}, {0.5f, -3, -2},     {0.5f, 3, 1},
        {2.0f, 20000, 32767},   {2.0f, -20000, -32768}, {4.0f, 32767, 32767}, {0.0f, 1234, 0},
        {-1.0f, -32768, 32767}, {-0.5f, 3, -2},        {0.8f, 1000, 800},   {0.8f, -1, -1},
    };
    for (const Case &c : cases) {
        int16_t s[2] = {c.in, kUntouched};
        SCALE16(s, s, c.factor, 2);
        EXPECT_EQ(s[0], c.out) << c.in << " x " << c.factor;
        EXPECT_EQ(s[1], kUntouched);
    }
    // The factor is rounded to 16.16 fixed point first, ties to even:
    // 32768.5 / 65536 becomes 32768 (not 32769), 32767.5 / 65536 becomes
    // 32768 (not 32767).
    int16_t s[2] = {-32768, 32767};
    SCALE16(s, s, 32768.5f / 65536.0f, 2);
    SCALE16(s + 1, s + 1, 32767.5f / 65536.0f, 2);
    EXPECT_EQ(s[0], -16384);
    EXPECT_EQ(s[1], 16383);
    // A huge or not-a-number factor stays well defined.
    int16_t extreme[3] = {1, -1, 0};
    SCALE16(extreme, extreme, 1e30f, 6);
    EXPECT_EQ(extreme[0], 32767);
    EXPECT_EQ(extreme[1], -32768);
    EXPECT_EQ(extreme[2], 0);
    int16_t nan_block[1] = {1000};
    SCALE16(nan_block, nan_block, std::numeric_limits<float>::quiet_NaN(), 2);
    EXPECT_EQ(nan_block[0], 0);
}

TEST(BufferKernels, PanScalesOnlyTheChannelWhoseGainIsNotOne) {
    const std::vector<int16_t> src = {1000, 1000, -3, -3, 32767, 32767};
    std::vector<int16_t> out(src.size(), kUntouched);
    PAN16(out.data(), src.data(), 1.0f, 0.5f, 12);
    EXPECT_EQ(out, (std::vector<int16_t>{1000, 500, -3, -2, 32767, 16383}));
    PAN16(out.data(), src.data(), 0.25f, 1.0f, 12);
    EXPECT_EQ(out, (std::vector<int16_t>{250, 1000, -1, -3, 8191, 32767}));
    std::vector<int16_t> untouched(src.size(), kUntouched);
    PAN16(untouched.data(), src.data(), 0.5f, 0.5f, 12);
    PAN16(untouched.data(), src.data(), 1.0f, 0.5f, 6 + 1);
    EXPECT_EQ(untouched, std::vector<int16_t>(src.size(), kUntouched));
    // An even count that ends inside a frame processes the whole frames only.
    PAN16(untouched.data(), src.data(), 1.0f, 0.5f, 6);
    EXPECT_EQ(untouched[1], 500);
    EXPECT_EQ(untouched[2], kUntouched);
}
