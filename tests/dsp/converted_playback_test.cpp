// A wave read in another layout: exactly the interpolated playback of its own
// layout, fed to both sides (mono) or averaged (stereo), with one walk for
// every layout and for a muted sound.
#include "dsp/converted_playback.h"
#include "dsp/interpolated_playback.h"
#include "dsp/resampler.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace zyn;

namespace {

constexpr int32_t kWaveFrames = 701;
constexpr int32_t kBlock = 256;

struct Walk {
    int16_t *pos;
    int32_t loops;
    uint32_t fraction = 0;
};

TEST(ConvertedPlayback, LayoutsAreExactAndShareOneWalk) {
    for (int32_t mode : {kResampleCubic, kResampleSinc}) ASSERT_TRUE(prepare_resampler(mode));
    std::mt19937 rng(3);
    std::vector<int16_t> stereo(2 * kWaveFrames), mono(kWaveFrames);
    for (int16_t &s : stereo) s = static_cast<int16_t>(static_cast<int32_t>(rng() % 60000) - 30000);
    for (int32_t f = 0; f < kWaveFrames; ++f) mono[f] = stereo[2 * f];
    int16_t *const s_start = stereo.data(), *const s_end = s_start + stereo.size();
    int16_t *const m_start = mono.data(), *const m_end = m_start + mono.size();

    for (int32_t mode : {kResampleNearest, kResampleLinear, kResampleCubic, kResampleSinc}) {
        for (double speed : {0.73, -1.37, 2.0, 1.0}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << ", speed " << speed);
            const int16_t *s_first = speed > 0 ? s_start : s_end;
            const int16_t *m_first = speed > 0 ? m_start : m_end;
            Walk kept{const_cast<int16_t *>(s_first), 3}, averaged = kept, muted = kept, reference = kept;
            Walk fed{const_cast<int16_t *>(m_first), 3}, alone = fed;
            for (int block = 0; block < 12; ++block) {
                std::vector<int16_t> two(2 * kBlock), one(kBlock), both(2 * kBlock), single(kBlock),
                    expect(2 * kBlock, 0x5555);
                ASSERT_TRUE(play_converted(mode, 2, 2, two.data(), s_start, &kept.pos, s_end, &kept.loops,
                                           &kept.fraction, speed, kBlock));
                ASSERT_TRUE(play_converted(mode, 2, 1, one.data(), s_start, &averaged.pos, s_end,
                                           &averaged.loops, &averaged.fraction, speed, kBlock));
                ASSERT_TRUE(play_converted(mode, 1, 2, both.data(), m_start, &fed.pos, m_end, &fed.loops,
                                           &fed.fraction, speed, kBlock));
                ASSERT_TRUE(play_converted(mode, 1, 1, single.data(), m_start, &alone.pos, m_end,
                                           &alone.loops, &alone.fraction, speed, kBlock));
                ASSERT_TRUE(advance_converted(2, s_start, &muted.pos, s_end, &muted.loops, &muted.fraction,
                                              speed, kBlock));
                for (int32_t f = 0; f < kBlock; ++f) {
                    ASSERT_EQ(one[f], (two[2 * f] + two[2 * f + 1]) >> 1) << "block " << block << " frame " << f;
                    ASSERT_EQ(both[2 * f], single[f]) << "block " << block << " frame " << f;
                    ASSERT_EQ(both[2 * f + 1], single[f]) << "block " << block << " frame " << f;
                    // Left of the stereo wave is the mono wave: the same walk reads the same frames.
                    ASSERT_EQ(two[2 * f], single[f]) << "block " << block << " frame " << f;
                }
                ASSERT_EQ(averaged.pos, kept.pos);
                ASSERT_EQ(muted.pos, kept.pos);
                ASSERT_EQ((fed.pos - m_start) * 2, kept.pos - s_start);
                ASSERT_EQ(muted.loops, kept.loops);
                ASSERT_EQ(muted.fraction, kept.fraction);
                ASSERT_EQ(fed.fraction, kept.fraction);
                // Between frames, the same layout is the interpolated playback itself.
                if (mode != kResampleNearest && speed != 1.0) {
                    ASSERT_TRUE(play_interpolated(mode, 2, expect.data(), s_start, &reference.pos, s_end,
                                                  &reference.loops, &reference.fraction,
                                                  static_cast<float>(speed), kBlock));
                    ASSERT_EQ(two, expect) << "block " << block;
                    ASSERT_EQ(reference.pos, kept.pos);
                }
                if (kept.loops == 0) break;  // ended: the mixer calls no more
            }
            EXPECT_EQ(kept.loops, 0) << "three passes end within the blocks";
        }
    }
}

}  // namespace
