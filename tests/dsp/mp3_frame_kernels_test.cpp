// Decoded MP3 samples into 16 bits (clip, then floor) and into the stream's ring.
#include "zyn.h"
#include "zyn_kernels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr int32_t kOne = 0x10000000;  // 1.0 in the decoder's fixed point

}  // namespace

TEST(Mp3FrameKernels, ConversionClipsThenFloors) {
    const std::vector<int32_t> in = {kOne, -kOne, 0x2000, -1, 0x1FFF, 2 * kOne, -2 * kOne,
                                     kOne - 1, -kOne - 1, 0};
    std::vector<int16_t> out(in.size() + 1, 0x4444);
    SCALEMP3FRAME_11_16(out.data(), in.data(), static_cast<int32_t>(in.size()));
    const std::vector<int16_t> expected = {32767, -32768, 1, -1, 0, 32767, -32768, 32767, -32768, 0,
                                           0x4444};
    EXPECT_EQ(out, expected);
}

TEST(Mp3FrameKernels, StereoSourcesToStereoAndToMono) {
    const std::vector<int32_t> left = {kOne, -kOne, -2 * kOne, 2 * kOne, 0x2000 * 3};
    const std::vector<int32_t> right = {kOne, -kOne, -2 * kOne, 0, -0x2000};
    std::vector<int16_t> mono(6, 0x4444);
    SCALEMP3FRAME_21_16(mono.data(), left.data(), right.data(), 5);
    // Each channel is clipped on its own before the two are summed and quartered (floor).
    EXPECT_EQ(mono, (std::vector<int16_t>{16383, -16384, -16384, 8191, 0, 0x4444}));
    std::vector<int16_t> stereo(11, 0x4444);
    SCALEMP3FRAME_22_16(stereo.data(), left.data(), right.data(), 5);
    EXPECT_EQ(stereo, (std::vector<int16_t>{32767, 32767, -32768, -32768, -32768, -32768, 32767, 0,
                                            3, -1, 0x4444}));
}

TEST(Mp3FrameKernels, MonoSourceToStereoWritesEachSampleTwice) {
    const std::vector<int32_t> src = {0x2000 * 5, -kOne * 3};
    std::vector<int16_t> out(5, 0x4444);
    SCALEMP3FRAME_12_16(out.data(), src.data(), 2);
    EXPECT_EQ(out, (std::vector<int16_t>{5, 5, -32768, -32768, 0x4444}));
    std::vector<int16_t> none(2, 0x4444);
    SCALEMP3FRAME_12_16(none.data(), src.data(), 0);
    SCALEMP3FRAME_22_16(none.data(), src.data(), src.data(), -3);
    EXPECT_EQ(none, (std::vector<int16_t>{0x4444, 0x4444}));
}

TEST(Mp3FrameKernels, CopyIntoTheRingWrapsExactly) {
    std::vector<uint32_t> ring(4, 0);
    const uint32_t src[3] = {0x11111111, 0x22222222, 0x33333333};
    void *pos = ring.data() + 3;
    COPYMP3FRAME(ring.data(), &pos, ring.data() + 4, src, 8);
    EXPECT_EQ(ring, (std::vector<uint32_t>{0x22222222, 0, 0, 0x11111111}));
    EXPECT_EQ(pos, ring.data() + 1);
    // Longer than the ring: round it more than once.
    COPYMP3FRAME(ring.data(), &pos, ring.data() + 4, src, 12);
    COPYMP3FRAME(ring.data(), &pos, ring.data() + 4, src, 12);
    EXPECT_EQ(pos, ring.data() + 3);
    EXPECT_EQ(ring, (std::vector<uint32_t>{0x11111111, 0x22222222, 0x33333333, 0x33333333}));
}

TEST(Mp3FrameKernels, ARingThatIsNoWholeNumberOfUnitsIsNeverOverrun) {
    // 10 bytes: the unit that would straddle the end starts over at the ring.
    std::vector<uint8_t> storage(16, 0xEE);
    uint8_t *ring = storage.data();
    const uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    void *pos = ring + 8;
    COPYMP3FRAME(ring, &pos, ring + 10, src, 8);
    for (int i = 10; i < 16; ++i) EXPECT_EQ(storage[i], 0xEE) << "byte " << i << " past the ring";
    EXPECT_EQ(std::memcmp(ring, src, 8), 0);
    EXPECT_EQ(pos, ring + 8);
}

TEST(Mp3FrameKernels, ResamplingPicksTheNearestEarlierSourceFrame) {
    const uint32_t src[6] = {10, 11, 12, 13, 14, 15};
    std::vector<uint32_t> ring(5, 0);
    void *pos = ring.data() + 2;
    COPYSLICEMP3FRAME32(ring.data(), &pos, ring.data() + 5, src, 0.5f, 16);
    EXPECT_EQ(ring, (std::vector<uint32_t>{11, 0, 10, 10, 11}));
    EXPECT_EQ(pos, ring.data() + 1);
    std::vector<uint16_t> mono(4, 0);
    const uint16_t msrc[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    void *mpos = mono.data();
    COPYSLICEMP3FRAME16(mono.data(), &mpos, mono.data() + 4, msrc, 2.0f, 8);
    EXPECT_EQ(mono, (std::vector<uint16_t>{1, 3, 5, 7}));
    EXPECT_EQ(mpos, mono.data());
    // A speed that is not positive would read before the source: refused.
    void *kept = mono.data() + 1;
    COPYSLICEMP3FRAME16(mono.data(), &kept, mono.data() + 4, msrc, -1.0f, 8);
    COPYSLICEMP3FRAME16(mono.data(), &kept, mono.data() + 4, msrc, 0.0f, 8);
    EXPECT_EQ(kept, mono.data() + 1);
    EXPECT_EQ(mono, (std::vector<uint16_t>{1, 3, 5, 7}));
}
