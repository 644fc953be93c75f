// The playback family: forward and backward reading of a looping region at
// any speed, the loop count, silence after the last pass, and the MOVE
// kernels keeping exactly the same time. Every region lives in a heap block
// of exactly its size, so that a read outside it is caught by the sanitizer
// builds; outputs carry guard samples.
#include "zyn.h"
#include "zyn_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int16_t kGuard = 0x6B6B;

// A region of frames x channels samples: frame i holds i + 1 on the left and
// -(i + 1) on the right, so that every output frame names its source.
struct Region {
    std::unique_ptr<int16_t[]> samples;
    int frames, channels;
    Region(int f, int c) : samples(new int16_t[static_cast<size_t>(f * c)]), frames(f), channels(c) {
        for (int i = 0; i < f; ++i)
            for (int ch = 0; ch < c; ++ch) samples[i * c + ch] = static_cast<int16_t>(ch ? -(i + 1) : i + 1);
    }
    int16_t *start() const { return samples.get(); }
    int16_t *end() const { return samples.get() + frames * channels; }
    int16_t *frame(int i) const { return samples.get() + i * channels; }
    int index(const int16_t *p) const { return static_cast<int>(p - start()) / channels; }
};

// Output frame i as the number of the source frame it holds (-1 for silence).
std::vector<int> frames_of(const std::vector<int16_t> &out, int channels, int frames) {
    std::vector<int> ids;
    for (int i = 0; i < frames; ++i) {
        const int16_t s = out[static_cast<size_t>(i * channels)];
        if (s == 0) {
            ids.push_back(-1);
            continue;
        }
        if (channels == 2) {
            EXPECT_EQ(out[static_cast<size_t>(i * 2 + 1)], -s) << "frame " << i << " torn";
        }
        ids.push_back(s - 1);
    }
    for (size_t i = static_cast<size_t>(frames * channels); i < out.size(); ++i)
        EXPECT_EQ(out[i], kGuard) << "written past the bytes given";
    return ids;
}

// A model of the family in frame numbers: what a correct kernel reads, and
// where it leaves the position and the loop count.
struct Model {
    std::vector<int> frames;
    int pos;
    int loops;
};

Model model(int region, int pos, int loops, double speed, int n, int frame_bytes) {
    const int64_t step = static_cast<int64_t>(std::nearbyint(std::fabs(speed) * 65536.0));
    const int64_t mask = frame_bytes == 2 ? 0x7FFF : 0x3FFF;
    const bool forward = speed > 0;
    Model m{{}, pos, loops};
    int64_t acc = 0;
    for (int i = 0; i < n; ++i) {
        m.frames.push_back(m.pos);
        acc += step;
        const int k = static_cast<int>((acc >> 16) & mask);
        acc &= 0xFFFF;
        if (k == 0) continue;
        m.pos += forward ? k : -k;
        if (forward ? m.pos < region : m.pos >= 0) continue;
        if (--m.loops == 0) {
            while (static_cast<int>(m.frames.size()) < n) m.frames.push_back(-1);
            break;
        }
        m.pos = forward ? (m.pos - region) % region : region - 1 - ((-m.pos - 1) % region);
    }
    return m;
}

using CopySlice = void (*)(int16_t *, const int16_t *, int16_t **, const int16_t *, int32_t *,
                           float, int32_t);
using MoveSlice = void (*)(const int16_t *, int16_t **, const int16_t *, int32_t *, float, int32_t);

}  // namespace

TEST(PlaybackKernels, LastPassEndsInSilenceAtTheRegionEnd) {
    Region r(3, 1);
    std::vector<int16_t> out(5 + 4, kGuard);
    int16_t *pos = r.start();
    int32_t loops = 1;
    COPYRIGHT16(out.data(), r.start(), &pos, r.end(), &loops, 10);
    EXPECT_EQ(frames_of(out, 1, 5), (std::vector<int>{0, 1, 2, -1, -1}));
    EXPECT_EQ(pos, r.end());
    EXPECT_EQ(loops, 0);
}

TEST(PlaybackKernels, ASecondPassWrapsToTheStart) {
    for (int channels : {1, 2}) {
        Region r(3, channels);
        std::vector<int16_t> out(static_cast<size_t>(7 * channels + 4), kGuard);
        int16_t *pos = r.frame(1);
        int32_t loops = 2;
        if (channels == 1)
            COPYRIGHT16(out.data(), r.start(), &pos, r.end(), &loops, 14);
        else
            COPYRIGHT32(out.data(), r.start(), &pos, r.end(), &loops, 28);
        EXPECT_EQ(frames_of(out, channels, 7), (std::vector<int>{1, 2, 0, 1, 2, -1, -1}))
            << channels << " channels";
        EXPECT_EQ(loops, 0);
        EXPECT_EQ(pos, r.end());
    }
}

TEST(PlaybackKernels, NoLoopsLeftOnEntryMeansTheRegionRepeats) {
    Region r(2, 1);
    std::vector<int16_t> out(6 + 4, kGuard);
    int16_t *pos = r.start();
    int32_t loops = 0;
    COPYRIGHT16(out.data(), r.start(), &pos, r.end(), &loops, 12);
    EXPECT_EQ(frames_of(out, 1, 6), (std::vector<int>{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(loops, -3);
    EXPECT_EQ(pos, r.start());
    int16_t *slice_pos = r.start();
    int32_t slice_loops = -5;
    COPYSLICELEFT16(out.data(), r.start(), &slice_pos, r.end(), &slice_loops, -1.0f, 12);
    EXPECT_EQ(slice_loops, -8);
}

TEST(PlaybackKernels, HalfAndDoubleSpeed) {
    Region r(8, 1);
    std::vector<int16_t> out(8 + 4, kGuard);
    int16_t *pos = r.start();
    int32_t loops = 1;
    COPYSLICERIGHT16(out.data(), r.start(), &pos, r.end(), &loops, 0.5f, 16);
    EXPECT_EQ(frames_of(out, 1, 8), (std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(r.index(pos), 4);
    std::fill(out.begin(), out.end(), kGuard);
    pos = r.start();
    COPYSLICERIGHT16(out.data(), r.start(), &pos, r.end(), &loops, 2.0f, 8);
    EXPECT_EQ(frames_of(out, 1, 4), (std::vector<int>{0, 2, 4, 6}));
    EXPECT_EQ(loops, 0) << "the fourth step lands on the region end";
    EXPECT_EQ(pos, r.end());
}

TEST(PlaybackKernels, TheSpeedFractionIsDroppedAtTheEndOfEveryCall) {
    Region r(8, 2);
    std::vector<int16_t> out(6 + 4, kGuard);
    int16_t *pos = r.start();
    int32_t loops = 1;
    COPYSLICERIGHT32(out.data(), r.start(), &pos, r.end(), &loops, 0.5f, 12);
    EXPECT_EQ(r.index(pos), 1);
    COPYSLICERIGHT32(out.data(), r.start(), &pos, r.end(), &loops, 0.5f, 12);
    EXPECT_EQ(r.index(pos), 2) << "two calls of 3 frames at half speed advance 1 frame each";
    EXPECT_EQ(frames_of(out, 2, 3), (std::vector<int>{1, 1, 2}));
}

TEST(PlaybackKernels, TheStepRoundsToEvenSixteenthBits) {
    // 2.5 / 65536 is exactly half-way between steps of 2 and 3: ties go to 2,
    // so 65536 output frames advance the source by exactly 2 frames.
    Region r(8, 1);
    std::vector<int16_t> out(65536);
    int16_t *pos = r.start();
    int32_t loops = 1;
    COPYSLICERIGHT16(out.data(), r.start(), &pos, r.end(), &loops, 2.5f / 65536.0f, 131072);
    EXPECT_EQ(r.index(pos), 2);
    pos = r.start();
    MOVESLICERIGHT16(r.start(), &pos, r.end(), &loops, 4.5f / 65536.0f, 131072);
    EXPECT_EQ(r.index(pos), 4);
}

TEST(PlaybackKernels, BackwardsTheFirstFrameIsPlayedThenTheLastFollows) {
    Region r(5, 1);
    std::vector<int16_t> out(3 + 4, kGuard);
    int16_t *pos = r.start();
    int32_t loops = 2;
    COPYSLICELEFT16(out.data(), r.start(), &pos, r.end(), &loops, -1.0f, 6);
    EXPECT_EQ(frames_of(out, 1, 3), (std::vector<int>{0, 4, 3}));
    EXPECT_EQ(loops, 1);
    EXPECT_EQ(r.index(pos), 2);

    std::fill(out.begin(), out.end(), kGuard);
    std::vector<int16_t> longer(5 + 4, kGuard);
    pos = r.frame(2);
    loops = 2;
    COPYSLICELEFT16(longer.data(), r.start(), &pos, r.end(), &loops, -1.0f, 10);
    EXPECT_EQ(frames_of(longer, 1, 5), (std::vector<int>{2, 1, 0, 4, 3}));

    // The last pass ends below the region's start, in silence.
    Region s(2, 2);
    std::vector<int16_t> stereo(2 * 4 + 4, kGuard);
    int16_t *spos = s.frame(1);
    int32_t sloops = 1;
    COPYSLICELEFT32(stereo.data(), s.start(), &spos, s.end(), &sloops, -1.0f, 16);
    EXPECT_EQ(frames_of(stereo, 2, 4), (std::vector<int>{1, 0, -1, -1}));
    EXPECT_EQ(sloops, 0);
    EXPECT_LT(spos, s.start());
}

TEST(PlaybackKernels, AnyArgumentsAgreeWithTheModelAndTheMoveTwins) {
    struct Kind {
        CopySlice copy;
        MoveSlice move;
        int channels;
        bool forward;
    } kinds[] = {
        {COPYSLICERIGHT16, MOVESLICERIGHT16, 1, true},
        {COPYSLICERIGHT32, MOVESLICERIGHT32, 2, true},
        {COPYSLICELEFT16, MOVESLICELEFT16, 1, false},
        {COPYSLICELEFT32, MOVESLICELEFT32, 2, false},
    };
    std::mt19937 rng(2024);
    const float speeds[] = {1.0f,   0.5f,     2.0f,     1.37f,    0.013f,   3.999f,  7.25f,
                            11.0f,  100.5f,   16383.0f, 16383.999f, 16384.0f, 20000.5f, 32767.0f,
                            1e-6f};
    for (const Kind &kind : kinds) {
        for (int round = 0; round < 400; ++round) {
            const bool small = round % 2 == 0;
            const int region = 1 + static_cast<int>(rng() % (small ? 20 : 500));
            const int n = 1 + static_cast<int>(rng() % (small ? 64 : 3000));
            const int start_frame = static_cast<int>(rng() % region);
            const int32_t loops_in = static_cast<int32_t>(rng() % 5) - 1;
            float speed = speeds[rng() % std::size(speeds)];
            if (!kind.forward) speed = -speed;
            Region r(region, kind.channels);
            const int frame_bytes = 2 * kind.channels;
            std::vector<int16_t> out(static_cast<size_t>(n * kind.channels + 4), kGuard);
            int16_t *pos = r.frame(start_frame);
            int32_t loops = loops_in;
            kind.copy(out.data(), r.start(), &pos, r.end(), &loops, speed, n * frame_bytes);
            const Model m = model(region, start_frame, loops_in, speed, n, frame_bytes);
            ASSERT_EQ(frames_of(out, kind.channels, n), m.frames)
                << "region " << region << " from " << start_frame << " speed " << speed;
            ASSERT_EQ(loops, m.loops);
            if (m.loops != 0 || (kind.forward ? m.pos < region : m.pos >= 0)) {
                ASSERT_EQ(r.index(pos), m.pos) << "region " << region << " speed " << speed;
                ASSERT_GE(pos, r.start());
                ASSERT_LT(pos, r.end()) << "an overshoot longer than the region wraps inside it";
            }
            int16_t *moved = r.frame(start_frame);
            int32_t move_loops = loops_in;
            kind.move(r.start(), &moved, r.end(), &move_loops, speed, n * frame_bytes);
            ASSERT_EQ(moved, pos) << "the move twin lost time";
            ASSERT_EQ(move_loops, loops);
        }
    }
    // The unit-step pair as well.
    for (int round = 0; round < 200; ++round) {
        const int region = 1 + static_cast<int>(rng() % 10), n = 1 + static_cast<int>(rng() % 40);
        const int channels = 1 + static_cast<int>(rng() % 2);
        Region r(region, channels);
        std::vector<int16_t> out(static_cast<size_t>(n * channels));
        int16_t *pos = r.frame(static_cast<int>(rng() % region)), *moved = pos;
        int32_t loops = static_cast<int32_t>(rng() % 4), move_loops = loops;
        const int32_t bytes = n * 2 * channels;
        if (channels == 1) {
            COPYRIGHT16(out.data(), r.start(), &pos, r.end(), &loops, bytes);
            MOVERIGHT16(r.start(), &moved, r.end(), &move_loops, bytes);
        } else {
            COPYRIGHT32(out.data(), r.start(), &pos, r.end(), &loops, bytes);
            MOVERIGHT32(r.start(), &moved, r.end(), &move_loops, bytes);
        }
        ASSERT_EQ(moved, pos);
        ASSERT_EQ(move_loops, loops);
    }
}

TEST(PlaybackKernels, RefusedArgumentsTouchNothing) {
    Region r(4, 2);
    std::vector<int16_t> out(16, kGuard);
    int16_t *pos = r.frame(1);
    int32_t loops = 3;
    COPYSLICERIGHT32(out.data(), r.start(), &pos, r.end(), &loops, -1.0f, 16);  // wrong direction
    COPYSLICELEFT32(out.data(), r.start(), &pos, r.end(), &loops, 0.0f, 16);
    COPYSLICERIGHT32(out.data(), r.start(), &pos, r.end(), &loops, 1.0f, 14);  // not whole frames
    COPYSLICERIGHT16(out.data(), r.start(), &pos, r.end(), &loops, NAN, 16);
    COPYSLICERIGHT32(out.data(), r.start(), &pos, r.end(), &loops, 1.0f, 0);
    MOVERIGHT16(r.start(), &pos, r.end(), &loops, 3);
    MOVERIGHT32(r.start(), &pos, r.end(), &loops, 6);
    MOVESLICELEFT16(r.start(), &pos, r.end(), &loops, 1.0f, 8);
    COPYRIGHT32(out.data(), r.start(), nullptr, r.end(), &loops, 16);
    EXPECT_EQ(pos, r.frame(1));
    EXPECT_EQ(loops, 3);
    EXPECT_EQ(out, std::vector<int16_t>(16, kGuard));
}

TEST(PlaybackKernels, OddCasesStayInsideTheRegionAndTheOutput) {
    Region r(3, 1);
    std::vector<int16_t> out(6 + 4, kGuard);
    // A position past the region starts a pass at its first frame...
    int16_t *pos = r.end();
    int32_t loops = 1;
    COPYRIGHT16(out.data(), r.start(), &pos, r.end(), &loops, 4);
    EXPECT_EQ(frames_of(out, 1, 2), (std::vector<int>{0, 1}));
    // ...and backwards at its last frame.
    std::fill(out.begin(), out.end(), kGuard);
    Region before(10, 1);
    pos = before.frame(0);  // below the region [frame 4, frame 7)
    loops = 1;
    COPYSLICELEFT16(out.data(), before.frame(4), &pos, before.frame(7), &loops, -1.0f, 8);
    EXPECT_EQ(frames_of(out, 1, 4), (std::vector<int>{6, 5, 4, -1}));
    // A step far longer than the region.
    std::fill(out.begin(), out.end(), kGuard);
    pos = r.start();
    loops = 1000;
    COPYSLICERIGHT16(out.data(), r.start(), &pos, r.end(), &loops, 16383.0f, 12);
    for (int id : frames_of(out, 1, 6)) EXPECT_TRUE(id >= 0 && id < 3);
    EXPECT_GE(pos, r.start());
    EXPECT_LT(pos, r.end());
    EXPECT_EQ(loops, 1000 - 6) << "every output frame ended a pass";
    // An empty region gives silence and keeps position and loops.
    std::fill(out.begin(), out.end(), kGuard);
    pos = r.frame(1);
    loops = 2;
    COPYRIGHT16(out.data(), r.frame(1), &pos, r.frame(1), &loops, 12);
    EXPECT_EQ(frames_of(out, 1, 6), std::vector<int>(6, -1));
    COPYSLICELEFT16(out.data(), r.frame(1), &pos, r.frame(1), &loops, -2.0f, 12);
    EXPECT_EQ(pos, r.frame(1));
    EXPECT_EQ(loops, 2);
    // COPYRIGHT32 given less than one frame writes nothing.
    Region st(2, 2);
    std::vector<int16_t> small(4, kGuard);
    int16_t *spos = st.start();
    int32_t sloops = 1;
    COPYRIGHT32(small.data(), st.start(), &spos, st.end(), &sloops, 2);
    EXPECT_EQ(small, std::vector<int16_t>(4, kGuard));
    EXPECT_EQ(spos, st.start());
}

TEST(PlaybackKernels, AStereoRegionStartingOnARightSampleKeepsItsFrames) {
    // Three frames that begin one sample into the block: the block's first
    // sample lies outside the region and must never be heard.
    constexpr int16_t kOutside = 999;
    std::unique_ptr<int16_t[]> block(new int16_t[7]);
    block[0] = kOutside;
    for (int i = 0; i < 3; ++i) {
        block[1 + 2 * i] = static_cast<int16_t>(i + 1);
        block[2 + 2 * i] = static_cast<int16_t>(-(i + 1));
    }
    const int16_t *start = block.get() + 1, *end = block.get() + 7;
    std::vector<int16_t> out(2 * 7 + 4, kGuard);
    int16_t *pos = const_cast<int16_t *>(start);
    int32_t loops = 2;
    COPYRIGHT32(out.data(), start, &pos, end, &loops, 28);
    EXPECT_EQ(frames_of(out, 2, 7), (std::vector<int>{0, 1, 2, 0, 1, 2, -1}))
        << "every pass plays all three frames, left and right in place";
    std::fill(out.begin(), out.end(), kGuard);
    pos = const_cast<int16_t *>(start) + 2;
    loops = 3;
    COPYSLICELEFT32(out.data(), start, &pos, end, &loops, -1.0f, 28);
    EXPECT_EQ(frames_of(out, 2, 7), (std::vector<int>{1, 0, 2, 1, 0, 2, 1}));
    for (int16_t s : out) EXPECT_NE(s, kOutside);
    std::fill(out.begin(), out.end(), kGuard);
    pos = const_cast<int16_t *>(start);
    loops = 2;
    COPYSLICERIGHT32(out.data(), start, &pos, end, &loops, 2.0f, 16);
    EXPECT_EQ(frames_of(out, 2, 4), (std::vector<int>{0, 2, 1, -1}));
}
