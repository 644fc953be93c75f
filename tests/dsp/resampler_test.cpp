// Interpolated playback measured: what is left besides the tone after a
// 5 kHz sine is played at other speeds in each mode, smoothness across a
// loop seam and a play range's edge, the vector loops against the plain
// ones, and the nearest mode left exactly as it was.
#include "dsp/resampler.h"
#include "dsp/resampler_variants.h"
#include "test_support.h"
#include "whitebox.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace zyn_test;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Stereo frames of a sine (both channels), amplitude a.
std::vector<int16_t> stereo_sine(int frames, double frequency, double a, double phase = 0.0) {
    std::vector<int16_t> v(static_cast<size_t>(2 * frames));
    for (int i = 0; i < frames; ++i) {
        const auto s = static_cast<int16_t>(std::lround(a * std::sin(2.0 * kPi * frequency * i / 44100.0 + phase)));
        v[2 * static_cast<size_t>(i)] = s;
        v[2 * static_cast<size_t>(i) + 1] = s;
    }
    return v;
}

// Level of everything but a tone of the given frequency, in dB below the
// tone: the tone (and any offset) is fitted by least squares and removed.
double residual_db(const std::vector<int16_t> &mono, double frequency) {
    const size_t n = mono.size();
    double ss = 0, sc = 0, cc = 0, s1 = 0, c1 = 0, ys = 0, yc = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < n; ++i) {
        const double a = 2.0 * kPi * frequency * static_cast<double>(i) / 44100.0;
        const double s = std::sin(a), c = std::cos(a), y = mono[i];
        ss += s * s, sc += s * c, cc += c * c, s1 += s, c1 += c;
        ys += y * s, yc += y * c, y1 += y, y2 += y * y;
    }
    // Normal equations of y ~ p s + q c + r.
    const double m[3][4] = {{ss, sc, s1, ys}, {sc, cc, c1, yc}, {s1, c1, static_cast<double>(n), y1}};
    double a[3][4];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) a[i][j] = m[i][j];
    for (int i = 0; i < 3; ++i)
        for (int k = i + 1; k < 3; ++k) {
            const double f = a[k][i] / a[i][i];
            for (int j = i; j < 4; ++j) a[k][j] -= f * a[i][j];
        }
    double x[3];
    for (int i = 2; i >= 0; --i) {
        x[i] = a[i][3];
        for (int j = i + 1; j < 3; ++j) x[i] -= a[i][j] * x[j];
        x[i] /= a[i][i];
    }
    double tone = 0, rest = 0;
    for (size_t i = 0; i < n; ++i) {
        const double t = 2.0 * kPi * frequency * static_cast<double>(i) / 44100.0;
        const double fit = x[0] * std::sin(t) + x[1] * std::cos(t);
        const double e = mono[i] - fit - x[2];
        tone += fit * fit;
        rest += e * e;
    }
    return 10.0 * std::log10(rest / tone);
}

std::vector<int16_t> left_of(const std::vector<int16_t> &stereo) {
    std::vector<int16_t> l(stereo.size() / 2);
    for (size_t i = 0; i < l.size(); ++i) l[i] = stereo[2 * i];
    return l;
}

// A loop of 5 kHz played without end at a speed in a mode; the left channel
// of 16384 frames after the first block.
std::vector<int16_t> play_tone(PumpDevice &device, int32_t wave, int32_t mode, float speed) {
    EXPECT_EQ(ZYN_SET_RESAMPLER(mode), 1);
    int32_t sound = -1;
    EXPECT_EQ(ZYN_PLAY_WAVE(wave, 0, speed, 1.0f, 0.0f, &sound), 1);
    device.pump();
    std::vector<int16_t> heard;
    for (int i = 0; i < 16; ++i) {
        const std::vector<int16_t> block = device.pump();
        heard.insert(heard.end(), block.begin(), block.end());
    }
    EXPECT_EQ(ZYN_DESTROY_SOUND(&sound), 1);
    return left_of(heard);
}

// The frequency a sound actually plays at: the step is 65536 x |speed| rounded.
double played_frequency(double frequency, float speed) {
    return frequency * std::nearbyint(std::fabs(static_cast<double>(speed)) * 65536.0) / 65536.0;
}

}  // namespace

TEST(Resampler, EachModeLeavesLessBesidesTheToneAndMeetsItsGoal) {
    // Upper bounds in dB, each mode at least 5 dB better than the one before.
    // (Nearest is not measured here: it drops the part of a frame at every
    // block, as it always has, so its tone is not at one frequency.)
    const struct {
        float speed;
        double linear, cubic, sinc;
    } rows[] = {{1.37f, -20.0, -40.0, -70.0},
                {-1.37f, -20.0, -40.0, -70.0},
                {0.5f, -25.0, -45.0, -70.0},
                {0.77f, -20.0, -40.0, -70.0}};
    PumpDevice device(44100, 2, 1024);
    ASSERT_TRUE(device.ok());
    // One second: exactly 5000 periods, so the loop has no seam of its own.
    const int32_t wave = add_raw_wave(stereo_sine(44100, 5000.0, 12000.0));
    for (const auto &row : rows) {
        const double f = played_frequency(5000.0, row.speed);
        const double bound[4] = {0.0, row.linear, row.cubic, row.sinc};
        double previous = 0.0;
        for (int32_t mode = ZYN_RESAMPLE_LINEAR; mode <= ZYN_RESAMPLE_SINC; ++mode) {
            const double db = residual_db(play_tone(device, wave, mode, row.speed), f);
            EXPECT_LT(db, bound[mode]) << "mode " << mode << " at speed " << row.speed;
            EXPECT_LT(db, previous - 5.0) << "mode " << mode << " at speed " << row.speed;
            previous = db;
        }
    }
    // At a whole step every mode meets the frames themselves: speed 2 reads
    // every other frame exactly, as nearest does; the sinc only lowers its
    // cut-off to the new Nyquist frequency, far above a 10 kHz tone.
    for (int32_t mode = ZYN_RESAMPLE_LINEAR; mode <= ZYN_RESAMPLE_CUBIC; ++mode)
        EXPECT_EQ(play_tone(device, wave, mode, 2.0f), play_tone(device, wave, ZYN_RESAMPLE_NEAREST, 2.0f)) << mode;
    EXPECT_LT(residual_db(play_tone(device, wave, ZYN_RESAMPLE_SINC, 2.0f), 10000.0), -70.0);
}

TEST(Resampler, TapsReadAcrossTheSeamTheWayTheSoundGoesOn) {
    // A play range of exactly 80 periods of 441 Hz inside a wave whose frames
    // around it are loud noise: the taps at the seam must read the range's
    // other end, never the noise, so the loop stays a clean sine.
    PumpDevice device(44100, 2, 512);
    ASSERT_TRUE(device.ok());
    constexpr int kRange = 8000;  // 80 periods
    std::vector<int16_t> samples(static_cast<size_t>(2 * (kRange + 400)));  // 200 frames each side
    std::mt19937 noise(5);
    for (auto &s : samples) s = static_cast<int16_t>(static_cast<int>(noise() % 60001) - 30000);
    const std::vector<int16_t> tone = stereo_sine(kRange, 441.0, 10000.0);
    std::copy(tone.begin(), tone.end(), samples.begin() + 400);
    const int32_t wave = add_raw_wave(samples);
    int16_t *start = nullptr;
    ASSERT_EQ(ZYN_GET_WAVEPOINTERS(wave, &start, nullptr, nullptr), 1);
    for (float speed : {1.37f, -1.37f, 0.61f}) {
        for (int32_t mode = ZYN_RESAMPLE_LINEAR; mode <= ZYN_RESAMPLE_SINC; ++mode) {
            ASSERT_EQ(ZYN_SET_RESAMPLER(mode), 1);
            int32_t sound = -1;
            ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, speed, 1.0f, 0.0f, &sound), 1);
            ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(sound, start + 400, start + 400, start + 400 + 2 * kRange), 1);
            std::vector<int16_t> heard;
            for (int i = 0; i < 40; ++i) {  // several passes
                const std::vector<int16_t> block = device.pump();
                heard.insert(heard.end(), block.begin(), block.end());
            }
            ASSERT_EQ(ZYN_DESTROY_SOUND(&sound), 1);
            const std::vector<int16_t> left = left_of(heard);
            // A sine of amplitude A at f never moves more than A 2 pi f / rate
            // between two frames; allow the interpolators' overshoot.
            const double sine_step = 10000.0 * 2.0 * kPi * 441.0 * std::fabs(speed) / 44100.0;
            int largest = 0;
            for (size_t i = 1; i < left.size(); ++i)
                largest = std::max(largest, std::abs(left[i] - left[i - 1]));
            EXPECT_LT(largest, sine_step * 1.05 + 2) << "mode " << mode << " speed " << speed;
            EXPECT_LT(residual_db(left, played_frequency(441.0, speed)), mode == ZYN_RESAMPLE_LINEAR ? -40.0 : -60.0)
                << "mode " << mode << " speed " << speed;
        }
    }
}

TEST(Resampler, AOneShotEndsInSilenceAndTheDefaultStaysNearest) {
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    const int32_t wave = add_raw_wave(stereo_sine(1000, 1000.0, 20000.0));
    ASSERT_EQ(ZYN_SET_RESAMPLER(ZYN_RESAMPLE_SINC), 1);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 0.9f, 1.0f, 0.0f, &sound), 1);
    std::vector<int16_t> heard;
    for (int i = 0; i < 6; ++i) {
        const std::vector<int16_t> block = device.pump();
        heard.insert(heard.end(), block.begin(), block.end());
    }
    // 1000 frames at 0.9 last 1112 output frames; then silence, nothing else.
    for (size_t i = 2 * 1112; i < heard.size(); ++i) ASSERT_EQ(heard[i], 0) << i / 2;
    int32_t loops = -1;
    ASSERT_EQ(ZYN_GET_SOUNDLOOPS(sound, &loops), 1);
    EXPECT_EQ(loops, 0);
    // Modes are refused when unknown; a sound keeps the mode it started with.
    EXPECT_EQ(ZYN_SET_RESAMPLER(4), 0);
    EXPECT_EQ(ZYN_SET_RESAMPLER(-1), 0);
    EXPECT_EQ(ZYN_SET_SOUNDRESAMPLER(sound, 7), 0);
    EXPECT_EQ(ZYN_SET_SOUNDRESAMPLER(sound + 5, ZYN_RESAMPLE_CUBIC), 0);
    EXPECT_EQ(zyn::engine().sounds[static_cast<size_t>(sound)].resampler, ZYN_RESAMPLE_SINC);
    ASSERT_EQ(ZYN_SET_RESAMPLER(ZYN_RESAMPLE_NEAREST), 1);
    ASSERT_EQ(ZYN_SET_SOUNDRESAMPLER(sound, ZYN_RESAMPLE_LINEAR), 1);
    EXPECT_EQ(zyn::engine().sounds[static_cast<size_t>(sound)].resampler, ZYN_RESAMPLE_LINEAR);
    int32_t later = -1;
    ASSERT_EQ(ZYN_CREATE_SOUND(wave, &later), 1);
    EXPECT_EQ(zyn::engine().sounds[static_cast<size_t>(later)].resampler, ZYN_RESAMPLE_NEAREST);
}

TEST(Resampler, VectorLoopsGiveExactlyThePlainResults) {
    for (int32_t mode : {ZYN_RESAMPLE_LINEAR, ZYN_RESAMPLE_CUBIC, ZYN_RESAMPLE_SINC})
        ASSERT_TRUE(zyn::prepare_resampler(mode));
    const zyn::ResamplerVariants *sets = nullptr;
    const int32_t count = zyn::available_resampler_variants(&sets);
    ASSERT_GE(count, 1);
    ASSERT_STREQ(sets[0].name, "plain");
    std::mt19937 random(11);
    for (int trial = 0; trial < 400; ++trial) {
        const auto frames = static_cast<int64_t>(20 + random() % 2900);
        // Exactly the region: a loop that reads past it shows under AddressSanitizer.
        std::vector<int16_t> source(static_cast<size_t>(2 * frames));
        for (auto &s : source) s = static_cast<int16_t>(static_cast<int>(random() % 65536) - 32768);
        const bool forward = random() % 2 == 0;
        const zyn::InterpolatedRegion region{source.data(), frames, 2, forward, random() % 2 == 0};
        const int64_t base = static_cast<int64_t>(random() % static_cast<uint32_t>(frames));
        const auto fraction = static_cast<uint32_t>(random() % 65536);
        const float speed = 0.05f + static_cast<float>(random() % 4000) / 1000.0f;
        const auto step = static_cast<uint32_t>(std::nearbyint(speed * 65536.0f));
        const auto n = static_cast<int32_t>(1 + random() % 700);
        const int32_t mode = static_cast<int32_t>(1 + random() % 3);
        std::vector<int16_t> plain(static_cast<size_t>(2 * n), 0x5555);
        zyn::interpolate_frames_with(sets[0], mode, speed, plain.data(), region, base, fraction, step, n);
        for (int32_t v = 1; v < count; ++v) {
            std::vector<int16_t> other(static_cast<size_t>(2 * n), 0x2222);
            zyn::interpolate_frames_with(sets[v], mode, speed, other.data(), region, base, fraction,
                                         step, n);
            ASSERT_EQ(other, plain) << sets[v].name << " mode " << mode << " trial " << trial;
        }
    }
}
