// Fused voice rendering: every variant of the inner loops against the plain
// one (random lengths, factors, steps and misaligned pointers), and the
// whole fused voice against the kernels it stands for (the playback kernel,
// SCALE16, PAN16, then COPY or MIX16 into the sum).
#include "dsp/kernels.h"
#include "dsp/voice_render.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using zyn::FusedGains;
using zyn::VoiceRenderVariants;

std::mt19937 &rng() {
    static std::mt19937 generator(20261208);
    return generator;
}

int32_t pick(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng()); }

template <typename T>
T one_of(const std::vector<T> &values) {
    return values[static_cast<size_t>(pick(0, static_cast<int32_t>(values.size()) - 1))];
}

std::vector<int16_t> noise(size_t samples) {
    std::vector<int16_t> v(samples);
    const bool extremes = pick(0, 2) == 0;
    for (int16_t &s : v)
        s = extremes ? one_of<int16_t>({-32768, 32767, -1, 0, 1}) : static_cast<int16_t>(pick(-32768, 32767));
    return v;
}

int64_t random_factor() {
    return one_of<int64_t>({65536, 65536, 0, 1, 6, 32767, 32768, 52429, 65535, 65537, 111411,
                            131072, 131073, 196607, 196608, 327680, -32768, -1,
                            static_cast<int64_t>(pick(0, 196607))});
}

FusedGains random_gains() {
    FusedGains g{random_factor(), 65536, 65536};
    if (pick(0, 1)) g.left = random_factor();
    else g.right = random_factor();
    return g;
}

TEST(VoiceRender, EveryVariantMatchesThePlainLoops) {
    const VoiceRenderVariants *sets = nullptr;
    const int32_t count = zyn::available_voice_variants(&sets);
    ASSERT_GE(count, 1);
    EXPECT_STREQ(sets[0].name, "plain");
    for (int32_t v = 1; v < count; ++v) {
        for (int trial = 0; trial < 3000; ++trial) {
            const int32_t frames = pick(0, 90);
            const FusedGains g = random_gains();
            const bool first = pick(0, 1);
            // Pointers one sample off a frame and off any vector boundary.
            const size_t out_skew = static_cast<size_t>(pick(0, 3));
            const size_t src_skew = static_cast<size_t>(pick(0, 3));
            const std::vector<int16_t> src = noise(static_cast<size_t>(frames) * 2 * 40 + 64);
            const std::vector<int16_t> start = noise(static_cast<size_t>(frames) * 2 + 8);
            std::vector<int16_t> expect = start;
            std::vector<int16_t> got = start;
            if (pick(0, 1)) {
                sets[0].run(expect.data() + out_skew, src.data() + src_skew, frames, g, first);
                sets[v].run(got.data() + out_skew, src.data() + src_skew, frames, g, first);
            } else {
                const auto step = static_cast<uint32_t>(one_of<int64_t>(
                    {65536, 98304, 32768, 150733, 1, 0, 1 << 20, (1 << 28) + 5, pick(0, 40 * 65536)}));
                const auto fraction = static_cast<uint32_t>(pick(0, 65535));
                const bool forward = pick(0, 1);
                // The farthest frame the run reads, so a backward origin stays inside src.
                const uint64_t reach = (fraction + static_cast<uint64_t>(frames ? frames - 1 : 0) * step) >> 16;
                if (reach * 2 + 2 > src.size() - 8) continue;
                const int16_t *origin =
                    forward ? src.data() + src_skew : src.data() + src_skew + reach * 2;
                sets[0].gather(expect.data() + out_skew, origin, fraction, step, forward, frames, g, first);
                sets[v].gather(got.data() + out_skew, origin, fraction, step, forward, frames, g, first);
            }
            ASSERT_EQ(got, expect) << sets[v].name << " trial " << trial << " frames " << frames
                                   << " gains " << g.volume << "/" << g.left << "/" << g.right;
        }
    }
}

// A 16.16 factor as the float SCALE16 and PAN16 take for it: below 2^24 the
// quotient is exact, so the kernels work with this very factor.
float factor_as_float(int64_t factor) { return static_cast<float>(factor) / 65536.0f; }

// The per-step path a fused voice stands for, on a stereo block.
void reference_voice(std::vector<int16_t> &sum, bool first, const int16_t *start, int16_t **pos,
                     const int16_t *end, int32_t *loops, float speed, const FusedGains &g, bool pan) {
    const float volume = factor_as_float(g.volume);
    const float left = factor_as_float(g.left);
    const float right = factor_as_float(g.right);
    const auto bytes = static_cast<int32_t>(sum.size() * 2);
    std::vector<int16_t> work(sum.size(), 0x5A5A);
    if (speed == 1.0f) COPYRIGHT32(work.data(), start, pos, end, loops, bytes);
    else if (speed <= 0.0f) COPYSLICELEFT32(work.data(), start, pos, end, loops, speed, bytes);
    else COPYSLICERIGHT32(work.data(), start, pos, end, loops, speed, bytes);
    if (volume != 1.0f) SCALE16(work.data(), work.data(), volume, bytes);
    if (pan) PAN16(work.data(), work.data(), left, right, bytes);
    if (first) COPY(sum.data(), work.data(), bytes);
    else MIX16(sum.data(), sum.data(), work.data(), bytes);
}

TEST(VoiceRender, AFusedVoiceEqualsTheKernelsItReplaces) {
    const VoiceRenderVariants *sets = nullptr;
    const int32_t count = zyn::available_voice_variants(&sets);
    for (int trial = 0; trial < 4000; ++trial) {
        const int32_t region_frames = pick(1, 300);
        const std::vector<int16_t> wave = noise(static_cast<size_t>(region_frames) * 2 + 2);
        const int16_t *start = wave.data() + 2 * pick(0, 1);
        const int16_t *end = start + 2 * (region_frames - 1) + pick(0, 1);
        int16_t *entry = const_cast<int16_t *>(start) + pick(-3, 2 * region_frames + 3);
        if (entry < wave.data()) entry = const_cast<int16_t *>(start);
        const int32_t entry_loops = one_of<int32_t>({1, 2, 3, 1 << 30, 0, -1});
        const float speed = one_of<float>({1.0f, 1.5f, 0.5f, -1.0f, -2.3f, 1e-6f, 0.01f, 7.25f,
                                           250.0f, 16383.0f, -16383.0f});
        // The 16.16 forms of volumes 1, 0, 0.0001, 0.5, 0.8, 1.7, 2, 5 and
        // -0.7, and of pan gains 1, 0.5, 0.7, 0.3 and 0 on one channel.
        FusedGains g{one_of<int64_t>({65536, 0, 7, 32768, 52429, 111411, 131072, 327680, -45875}), 65536,
                     65536};
        const bool pan = pick(0, 1);
        if (pan) (pick(0, 1) ? g.left : g.right) = one_of<int64_t>({65536, 32768, 45875, 19661, 0});
        const bool first = pick(0, 1);
        const int32_t frames = pick(1, 700);
        const std::vector<int16_t> start_sum = noise(static_cast<size_t>(frames) * 2);

        std::vector<int16_t> expect = start_sum;
        int16_t *expect_pos = entry;
        int32_t expect_loops = entry_loops;
        reference_voice(expect, first, start, &expect_pos, end, &expect_loops, speed, g, pan);
        for (int32_t v = 0; v < count; ++v) {
            std::vector<int16_t> got = start_sum;
            int16_t *pos = entry;
            int32_t loops = entry_loops;
            ASSERT_TRUE(zyn::render_voice_fused_with(sets[v], got.data(), first, start, &pos, end,
                                                     &loops, speed, g, frames));
            ASSERT_EQ(got, expect) << sets[v].name << " trial " << trial << " speed " << speed;
            ASSERT_EQ(pos, expect_pos) << sets[v].name << " trial " << trial;
            ASSERT_EQ(loops, expect_loops) << sets[v].name << " trial " << trial;
        }
    }
}

TEST(VoiceRender, DeclinesWhatThePlaybackKernelsWouldNotRender) {
    std::vector<int16_t> wave = noise(64);
    std::vector<int16_t> out(32, 7);
    int16_t *pos = wave.data();
    int32_t loops = 1;
    const FusedGains g{65536, 65536, 65536};
    for (float speed : {0.0f, std::nanf("")}) {
        EXPECT_FALSE(zyn::render_voice_fused(out.data(), true, wave.data(), &pos,
                                             wave.data() + 64, &loops, speed, g, 16));
    }
    EXPECT_FALSE(zyn::render_voice_fused(out.data(), true, nullptr, &pos, wave.data() + 64, &loops,
                                         1.0f, g, 16));
    EXPECT_EQ(out, std::vector<int16_t>(32, 7));
    EXPECT_EQ(pos, wave.data());
    EXPECT_EQ(loops, 1);
}

}  // namespace
