// Sound and group filters: measured responses against the cookbook's
// transfer functions and the figures promised for them, clicks on a change,
// the bypass, the checks, saturation and recovery from a run-away.
#include "dsp/biquad.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

namespace {

constexpr float kRate = 44100.0f;
constexpr double kPi = 3.14159265358979323846;

std::vector<int16_t> stereo_sine(int frames, double freq, double amplitude) {
    std::vector<int16_t> v(static_cast<size_t>(2 * frames));
    for (int i = 0; i < frames; ++i)
        v[2 * i] = v[2 * i + 1] = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * kPi * freq * i / kRate)));
    return v;
}

double rms(const std::vector<int16_t> &v, int channel, size_t first_frame) {
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = 2 * first_frame + static_cast<size_t>(channel); i < v.size(); i += 2, ++n)
        sum += static_cast<double>(v[i]) * v[i];
    return std::sqrt(sum / static_cast<double>(n));
}

int largest_step(const std::vector<int16_t> &v, int channel) {
    int step = 0;
    for (size_t i = 2 + static_cast<size_t>(channel); i < v.size(); i += 2)
        step = std::max(step, std::abs(v[i] - v[i - 2]));
    return step;
}

zyn::BiquadSettings checked(int32_t type, float cutoff, float q) {
    zyn::BiquadSettings s;
    EXPECT_EQ(zyn::check_biquad(type, cutoff, q, kRate, &s), nullptr);
    return s;
}

// The level change in dB at freq of the audio-EQ cookbook's direct-form
// design for the same settings (R. Bristow-Johnson's formulae), evaluated
// from its transfer function in double precision.
double cookbook_db(const zyn::BiquadSettings &s, double freq) {
    const double w0 = 2.0 * kPi * s.cutoff / kRate, cw = std::cos(w0), alpha = std::sin(w0) / (2.0 * s.q);
    double b0 = alpha, b1 = 0.0, b2 = -alpha;
    if (s.type == zyn::kBiquadLowPass) b0 = b2 = (1.0 - cw) / 2.0, b1 = 1.0 - cw;
    if (s.type == zyn::kBiquadHighPass) b0 = b2 = (1.0 + cw) / 2.0, b1 = -(1.0 + cw);
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * freq / kRate), z2 = z1 * z1;
    return 20.0 * std::log10(std::abs((b0 + b1 * z1 + b2 * z2) / ((1.0 + alpha) - 2.0 * cw * z1 + (1.0 - alpha) * z2)));
}

// One second of a stereo sine through a fresh filter in blocks of 300
// frames; the level change in dB over the second half, per channel.
double measured_db(const zyn::BiquadSettings &s, double freq, int channel) {
    zyn::BiquadFilter f;
    f.set(s, kRate);
    std::vector<int16_t> in = stereo_sine(44100, freq, 8000.0), out = in;
    for (int at = 0; at < 44100; at += 300) f.process(out.data() + 2 * at, std::min(300, 44100 - at), 2);
    return 20.0 * std::log10(rms(out, channel, 22050) / rms(in, channel, 22050));
}

}  // namespace

TEST(Biquad, ResponseMeetsItsFigures) {
    const struct {
        int32_t type;
        float cutoff, q;
        double freq, promised_db, tolerance_db;
    } rows[] = {
        {zyn::kBiquadLowPass, 1000.0f, 0.70710678f, 1000.0, -3.0, 0.5},
        {zyn::kBiquadLowPass, 1000.0f, 0.70710678f, 4000.0, -24.0, 2.0},
        {zyn::kBiquadLowPass, 1000.0f, 0.70710678f, 100.0, 0.0, 0.1},
        {zyn::kBiquadHighPass, 1000.0f, 0.70710678f, 1000.0, -3.0, 0.5},
        {zyn::kBiquadHighPass, 1000.0f, 0.70710678f, 250.0, -24.0, 2.0},
        {zyn::kBiquadBandPass, 1000.0f, 1.0f, 1000.0, 0.0, 0.5},
        {zyn::kBiquadBandPass, 1000.0f, 1.0f, 4000.0, -11.7, 1.0},  // 1 / sqrt(1 + (4 - 1/4)^2)
    };
    for (const auto &row : rows) {
        const zyn::BiquadSettings s = checked(row.type, row.cutoff, row.q);
        for (int channel = 0; channel < 2; ++channel) {
            const double db = measured_db(s, row.freq, channel);
            EXPECT_NEAR(db, row.promised_db, row.tolerance_db) << "type " << row.type << " at " << row.freq << " Hz";
            EXPECT_NEAR(db, cookbook_db(s, row.freq), 0.05) << "type " << row.type << " at " << row.freq << " Hz";
        }
    }
}

TEST(Biquad, ChangesDoNotClick) {
    const zyn::BiquadSettings none = checked(zyn::kBiquadNone, 0, 0);
    const struct {
        zyn::BiquadSettings from, to;
    } rows[] = {
        {checked(zyn::kBiquadLowPass, 8000.0f, 0.7f), checked(zyn::kBiquadLowPass, 200.0f, 0.7f)},
        {checked(zyn::kBiquadLowPass, 1000.0f, 0.7f), checked(zyn::kBiquadHighPass, 1000.0f, 0.7f)},
        {checked(zyn::kBiquadHighPass, 5000.0f, 0.7f), checked(zyn::kBiquadBandPass, 300.0f, 8.0f)},
        {none, checked(zyn::kBiquadHighPass, 3000.0f, 0.7f)},
        {checked(zyn::kBiquadHighPass, 3000.0f, 0.7f), none},
    };
    // Two tones, so that each filter passes something and stops something;
    // no filter here lifts any frequency, so none may step further than the
    // input does.
    std::vector<int16_t> in(2 * 8820);
    for (int i = 0; i < 8820; ++i)
        in[2 * i] = in[2 * i + 1] = static_cast<int16_t>(std::lround(
            7000.0 * std::sin(2.0 * kPi * 300.0 * i / kRate) + 7000.0 * std::sin(2.0 * kPi * 3100.0 * i / kRate)));
    const int own_step = largest_step(in, 0);
    for (const auto &row : rows) {
        zyn::BiquadFilter f;
        if (row.from.type != zyn::kBiquadNone) f.set(row.from, kRate);
        std::vector<int16_t> out = in;
        for (int at = 0; at < 8820; at += 441) {
            if (at == 4410) f.set(row.to, kRate);
            if (!f.bypassed()) f.process(out.data() + 2 * at, 441, 2);
        }
        // The start of a filter coming out of the bypass is the bypass itself.
        EXPECT_LE(largest_step(out, 0), own_step) << row.from.type << " -> " << row.to.type;
    }
}

TEST(Biquad, NoneIsAnExactBypassAfterItsRamp) {
    zyn::BiquadFilter f;
    EXPECT_TRUE(f.bypassed()) << "a fresh filter";
    f.set(checked(zyn::kBiquadLowPass, 500.0f, 0.7f), kRate);
    EXPECT_FALSE(f.bypassed());
    std::vector<int16_t> block = stereo_sine(1024, 2000.0, 9000.0);
    const std::vector<int16_t> in = block;
    f.process(block.data(), 1024, 2);
    EXPECT_NE(block, in);
    f.set(checked(zyn::kBiquadNone, 0, 0), kRate);
    std::vector<int16_t> ramp = in;
    f.process(ramp.data(), 1024, 2);  // 5 ms is 220 frames: the ramp ends inside this block
    EXPECT_TRUE(f.bypassed());
    EXPECT_TRUE(std::equal(ramp.begin() + 2 * 221, ramp.end(), in.begin() + 2 * 221))
        << "past the ramp the samples are untouched";
}

TEST(Biquad, ChecksClampAndRefuse) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const struct {
        int32_t type;
        float cutoff, q;
        bool usable;
        float stored_cutoff, stored_q;
    } rows[] = {
        {zyn::kBiquadLowPass, 1000.0f, 2.0f, true, 1000.0f, 2.0f},
        {zyn::kBiquadLowPass, 1.0f, 0.01f, true, 10.0f, 0.1f},
        {zyn::kBiquadHighPass, -50.0f, 100.0f, true, 10.0f, 20.0f},
        {zyn::kBiquadBandPass, 40000.0f, 1.0f, true, 0.49f * kRate, 1.0f},
        {zyn::kBiquadLowPass, nan, 1.0f, false, 0, 0},
        {zyn::kBiquadLowPass, inf, 1.0f, false, 0, 0},
        {zyn::kBiquadLowPass, 1000.0f, nan, false, 0, 0},
        {zyn::kBiquadHighPass, 1000.0f, -inf, false, 0, 0},
        {4, 1000.0f, 1.0f, false, 0, 0},
        {-1, 1000.0f, 1.0f, false, 0, 0},
    };
    for (const auto &row : rows) {
        zyn::BiquadSettings s;
        s.cutoff = -7.0f;
        const char *why = zyn::check_biquad(row.type, row.cutoff, row.q, kRate, &s);
        EXPECT_EQ(why == nullptr, row.usable) << row.type << " " << row.cutoff << " " << row.q;
        if (row.usable) {
            EXPECT_EQ(s.cutoff, row.stored_cutoff);
            EXPECT_EQ(s.q, row.stored_q);
        } else {
            EXPECT_EQ(s.cutoff, -7.0f) << "a refusal leaves the output alone";
        }
    }
    zyn::BiquadSettings s;
    EXPECT_EQ(zyn::check_biquad(zyn::kBiquadNone, nan, nan, kRate, &s), nullptr) << "NONE looks at neither";
    EXPECT_NE(zyn::check_biquad(zyn::kBiquadLowPass, 1000.0f, 1.0f, nan, &s), nullptr);
}

TEST(Biquad, SixteenBitsSaturateAsTheWideResultDoes) {
    // A full-scale square wave at the centre of a narrow band-pass rings far
    // beyond 16 bits; the 16-bit form must clamp what the float form gives.
    const zyn::BiquadSettings s = checked(zyn::kBiquadBandPass, 441.0f, 20.0f);
    zyn::BiquadFilter narrow, wide;
    narrow.set(s, kRate);
    wide.set(s, kRate);
    std::vector<int16_t> block(4410);
    std::vector<float> reference(4410);
    for (int i = 0; i < 4410; ++i) {
        block[static_cast<size_t>(i)] = (i / 50) % 2 ? int16_t{-32768} : int16_t{32767};
        reference[static_cast<size_t>(i)] = block[static_cast<size_t>(i)];
    }
    narrow.process(block.data(), 4410, 1);
    wide.process(reference.data(), 4410, 1);
    int clamped = 0;
    for (size_t i = 0; i < block.size(); ++i) {
        const double expected = std::clamp(static_cast<double>(reference[i]), -32768.0, 32767.0);
        ASSERT_NEAR(block[i], expected, 1.0) << "sample " << i;
        clamped += std::fabs(reference[i]) > 32768.0f;
    }
    EXPECT_GT(clamped, 100) << "the test must drive the filter past 16 bits";
}

TEST(Biquad, RecoversFromANonFiniteBlock) {
    zyn::BiquadFilter f;
    f.set(checked(zyn::kBiquadLowPass, 2000.0f, 0.7f), kRate);
    std::vector<float> block(512, 1000.0f);
    block[100] = std::numeric_limits<float>::infinity();
    f.process(block.data(), 256, 2);
    std::vector<float> next(512, 1000.0f);
    f.process(next.data(), 256, 2);
    for (float v : next) ASSERT_TRUE(std::isfinite(v));
    EXPECT_NEAR(next[510], 1000.0f, 1.0f) << "the filter works on after the reset";
}
