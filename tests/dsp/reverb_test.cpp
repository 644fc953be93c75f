// The shared reverb, measured on its impulse response: decay time against
// the documented RT60, the level of its tail, damping, width, wet 0, the
// end of the tail, blocks longer than configured, and the checks.
#include "dsp/reverb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 512;

zyn::ReverbSettings settings(float room, float damping, float width, float wet) {
    zyn::ReverbSettings s;
    EXPECT_EQ(zyn::check_reverb(room, damping, width, wet, &s), nullptr);
    return s;
}

// The stereo response to an impulse of height 10000, frames long.
std::vector<float> impulse_response(const zyn::ReverbSettings &s, int32_t frames) {
    zyn::Reverb r;
    EXPECT_TRUE(r.configure(kRate, kBlock));
    r.set(s);
    std::vector<float> out(2 * static_cast<size_t>(frames));
    std::vector<float> in(kBlock, 0.0f);
    for (int32_t at = 0; at < frames; at += kBlock) {
        in[0] = at == 0 ? 10000.0f : 0.0f;
        r.process(in.data(), out.data() + 2 * at, std::min(kBlock, frames - at));
    }
    return out;
}

// Energy of both channels from frame `from` for `frames` frames.
double energy(const std::vector<float> &v, int32_t from, int32_t frames) {
    double e = 0.0;
    for (size_t i = 2 * static_cast<size_t>(from); i < 2 * static_cast<size_t>(from + frames); ++i)
        e += static_cast<double>(v[i]) * v[i];
    return e;
}

double db(double ratio) { return 10.0 * std::log10(ratio); }

}  // namespace

TEST(Reverb, DecaysSixtyDecibelsInItsRt60) {
    for (float room : {0.2f, 0.45f}) {
        const double rt60 = zyn::reverb_rt60(room);
        const auto frames = static_cast<int32_t>((0.3 + rt60 + 0.2) * kRate);
        const std::vector<float> ir = impulse_response(settings(room, 0.0f, 1.0f, 1.0f), frames);
        const int32_t window = kRate / 10, start = static_cast<int32_t>(0.25 * kRate);
        const double drop = db(energy(ir, start + static_cast<int32_t>(rt60 * kRate), window) /
                               energy(ir, start, window));
        EXPECT_NEAR(drop, -60.0, 5.0) << "room size " << room << ", RT60 " << rt60 << " s";
    }
    EXPECT_LT(zyn::reverb_rt60(0.2f), zyn::reverb_rt60(0.45f));
    const std::vector<float> small = impulse_response(settings(0.2f, 0.0f, 1.0f, 1.0f), kRate);
    const std::vector<float> large = impulse_response(settings(0.45f, 0.0f, 1.0f, 1.0f), kRate);
    EXPECT_GT(db(energy(large, kRate / 2, kRate / 2) / energy(small, kRate / 2, kRate / 2)), 20.0)
        << "a larger room still rings when a smaller one has faded";
}

TEST(Reverb, TailCarriesTheImpulsesEnergyAtWetOne) {
    for (float room : {0.1f, 0.5f, 0.8f}) {
        const auto frames = static_cast<int32_t>(2.0 * zyn::reverb_rt60(room) * kRate);
        const std::vector<float> ir = impulse_response(settings(room, 0.0f, 1.0f, 1.0f), frames);
        EXPECT_NEAR(db(energy(ir, 0, frames) / 2.0 / (10000.0 * 10000.0)), 0.0, 2.0) << "room size " << room;
    }
}

TEST(Reverb, DampingDarkensTheTail) {
    // The share of the tail's energy in its sample-to-sample differences: a
    // measure that grows with the high frequencies.
    auto brightness = [](const std::vector<float> &v) {
        double diff = 0.0, all = 0.0;
        for (size_t i = 2 * kRate / 4 + 2; i < v.size(); ++i) {
            diff += (v[i] - v[i - 2]) * static_cast<double>(v[i] - v[i - 2]);
            all += static_cast<double>(v[i]) * v[i];
        }
        return diff / all;
    };
    const double open = brightness(impulse_response(settings(0.5f, 0.0f, 1.0f, 1.0f), kRate));
    const double damped = brightness(impulse_response(settings(0.5f, 1.0f, 1.0f, 1.0f), kRate));
    EXPECT_LT(damped, 0.5 * open);
}

TEST(Reverb, WetZeroIsNothingAndWidthZeroIsOneSignal) {
    const struct {
        float width, wet;
        bool silent, equal_channels;
    } rows[] = {{1.0f, 0.0f, true, true}, {0.0f, 0.7f, false, true}, {0.6f, 0.7f, false, false}};
    for (const auto &row : rows) {
        const std::vector<float> ir = impulse_response(settings(0.5f, 0.3f, row.width, row.wet), kRate / 2);
        bool all_zero = true, equal = true;
        for (size_t i = 0; i < ir.size(); i += 2) {
            all_zero &= ir[i] == 0.0f && ir[i + 1] == 0.0f;
            equal &= ir[i] == ir[i + 1];
        }
        EXPECT_EQ(all_zero, row.silent) << "width " << row.width << " wet " << row.wet;
        EXPECT_EQ(equal, row.equal_channels) << "width " << row.width << " wet " << row.wet;
    }
}

TEST(Reverb, TailEndsAfterTwiceItsRt60) {
    zyn::Reverb r;
    ASSERT_TRUE(r.configure(kRate, kBlock));
    r.set(settings(0.0f, 0.5f, 1.0f, 1.0f));  // RT60 0.25 s
    EXPECT_FALSE(r.active());
    std::vector<float> in(kBlock, 0.0f), out(2 * kBlock);
    in[7] = 5000.0f;
    r.process(in.data(), out.data(), kBlock);
    EXPECT_TRUE(r.active());
    int32_t blocks = 0;
    while (r.active() && blocks < 1000) {
        r.process(nullptr, out.data(), kBlock);
        ++blocks;
    }
    const double seconds = static_cast<double>(blocks) * kBlock / kRate;
    EXPECT_GT(seconds, 0.5);
    EXPECT_LT(seconds, 0.7);
    r.process(nullptr, out.data(), kBlock);
    for (float v : out) ASSERT_EQ(v, 0.0f);
}

TEST(Reverb, LongBlocksMatchShortOnes) {
    const zyn::ReverbSettings s = settings(0.4f, 0.4f, 0.8f, 0.9f);
    zyn::Reverb whole, pieces;
    ASSERT_TRUE(whole.configure(kRate, 300));
    ASSERT_TRUE(pieces.configure(kRate, 300));
    whole.set(s);
    pieces.set(s);
    std::vector<float> in(2000);
    uint32_t lcg = 1;
    for (float &v : in) v = static_cast<float>(static_cast<int32_t>((lcg = lcg * 1664525u + 1013904223u) >> 17) - 16384);
    std::vector<float> a(4000), b(4000);
    whole.process(in.data(), a.data(), 2000);  // more than configured: in pieces inside
    for (int32_t at = 0; at < 2000; at += 250) pieces.process(in.data() + at, b.data() + 2 * at, 250);
    EXPECT_EQ(a, b);
}

TEST(Reverb, ChecksAndConfiguration) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    zyn::ReverbSettings s;
    EXPECT_NE(zyn::check_reverb(nan, 0, 0, 0, &s), nullptr);
    EXPECT_NE(zyn::check_reverb(0, inf, 0, 0, &s), nullptr);
    EXPECT_NE(zyn::check_reverb(0, 0, -inf, 0, &s), nullptr);
    EXPECT_NE(zyn::check_reverb(0, 0, 0, nan, &s), nullptr);
    ASSERT_EQ(zyn::check_reverb(-1.0f, 2.0f, 0.5f, 7.0f, &s), nullptr);
    EXPECT_EQ(s.room_size, 0.0f);
    EXPECT_EQ(s.damping, 1.0f);
    EXPECT_EQ(s.width, 0.5f);
    EXPECT_EQ(s.wet, 1.0f);
    zyn::Reverb r;
    EXPECT_FALSE(r.configure(0, 512));
    EXPECT_FALSE(r.configure(kRate, 0));
    EXPECT_FALSE(r.configured());
    std::vector<float> out(64, 1.0f);
    r.process(nullptr, out.data(), 32);
    for (float v : out) EXPECT_EQ(v, 0.0f) << "an unconfigured reverb gives silence";
}
