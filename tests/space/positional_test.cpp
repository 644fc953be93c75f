// Positional sounds through the whole mix (ZYN_RENDER): distance gains,
// equal-power sides in the listener's frame, the Doppler shift with every
// resampler mode and backward play, moving sources without clicks, plain
// sounds untouched, binaural rendering, hostile values refused; and the
// placement loop's vector variants against the plain one; a sound read
// straight into the positional sum against its two-stage mix.
#include "space/placed_mix_variants.h"
#include "space/positional_mix.h"
#include "tone_measure.h"
#include "zyn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t kRate = 44100;
constexpr double kPi = 3.14159265358979323846;
const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// A looping wave: a sine of freq Hz (both channels alike), or noise when freq is 0.
int32_t wave(int32_t channels, double freq, double amplitude = 8000.0) {
    int32_t w = -1;
    int16_t *s = nullptr;
    EXPECT_EQ(ZYN_CREATE_WAVE(kRate, &w, &s), 1) << ZYN_GET_LASTERROR();
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(-amplitude, amplitude);
    for (int32_t i = 0; i < kRate; ++i) {
        const double v = freq > 0.0 ? amplitude * std::sin(2.0 * kPi * freq * i / kRate) : noise(random);
        for (int32_t c = 0; c < channels; ++c) s[i * channels + c] = static_cast<int16_t>(std::lround(v));
    }
    return w;
}

int32_t play(int32_t w, float speed = 1.0f, float pan = 0.0f) {
    int32_t sound = -1;
    EXPECT_EQ(ZYN_PLAY_WAVE(w, 0, speed, 1.0f, pan, &sound), 1) << ZYN_GET_LASTERROR();
    return sound;
}

std::vector<int16_t> render(int32_t frames, int32_t channels) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * channels);
    EXPECT_EQ(ZYN_RENDER(out.data(), frames), 1) << ZYN_GET_LASTERROR();
    return out;
}

std::vector<double> channel(const std::vector<int16_t> &s, int32_t channels, int32_t c) {
    return zyn_test::channel_samples(s.data(), s.size() / channels, channels, c);
}

// Places the sound, lets one block carry the move, and measures channel c's tone.
zyn_test::ToneMeasure placed_tone(int32_t sound, const std::vector<float> &at, int32_t channels, int32_t c) {
    EXPECT_EQ(ZYN_SET_SOUNDPOSITION(sound, at.data()), 1) << ZYN_GET_LASTERROR();
    render(1024, channels);
    return zyn_test::measure_tone(channel(render(16384, channels), channels, c), kRate);
}

double db(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace

TEST(Positional, DistanceGainFollowsTheModel) {
    // The laws as the common 3D interfaces define them, distance clamped to reference..maximum.
    const auto law = [](int32_t m, double ref, double max, double roll, double d) {
        d = std::min(std::max(d, ref), max);
        switch (m) {
        case ZYN_DISTANCE_INVERSE: return ref / (ref + roll * (d - ref));
        case ZYN_DISTANCE_LINEAR: return std::max(0.0, 1.0 - roll * (d - ref) / (max - ref));
        case ZYN_DISTANCE_EXPONENTIAL: return std::pow(d / ref, -roll);
        default: return 1.0;
        }
    };
    const struct {
        int32_t model;
        float reference, maximum, rolloff;
    } models[] = {{ZYN_DISTANCE_INVERSE, 1.0f, kInf, 1.0f},
                  {ZYN_DISTANCE_INVERSE, 2.0f, kInf, 0.5f},
                  {ZYN_DISTANCE_INVERSE, 1.0f, 3.0f, 1.0f},  // 4x lies beyond the maximum
                  {ZYN_DISTANCE_LINEAR, 1.0f, 9.0f, 1.0f},
                  {ZYN_DISTANCE_EXPONENTIAL, 1.0f, kInf, 2.0f},
                  {ZYN_DISTANCE_NONE, 1.0f, kInf, 1.0f}};
    for (int32_t channels : {2, 1}) {  // a mono device hears the gain alone
        ASSERT_EQ(ZYN_INIT_RENDER(kRate, channels, 1024), 1);
        const int32_t sound = play(wave(channels, 1000.0), 1.0f, -0.8f);
        for (const auto &m : models) {
            ASSERT_EQ(ZYN_SET_SOUNDDISTANCE(sound, m.model, m.reference, m.maximum, m.rolloff), 1)
                << ZYN_GET_LASTERROR();
            const double at_ref = placed_tone(sound, {0.0f, 0.0f, -m.reference}, channels, 0).amplitude;
            // Straight ahead: -3 dB on each side of a stereo device, nothing lost on a mono one.
            EXPECT_NEAR(db(at_ref / 8000.0), channels == 2 ? db(std::sqrt(0.5)) : 0.0, 0.1);
            for (double times : {2.0, 4.0}) {
                const float d = static_cast<float>(times) * m.reference;
                const double got = placed_tone(sound, {0.0f, 0.0f, -d}, channels, 0).amplitude;
                EXPECT_NEAR(db(got / at_ref), db(law(m.model, m.reference, m.maximum, m.rolloff, d)), 0.1)
                    << "model " << m.model << " at " << times << "x, " << channels << " channels";
            }
        }
        ZYN_EXIT();
    }
}

TEST(Positional, SidesFollowTheListenersFrame) {
    ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, 1024), 1);
    const int32_t sound = play(wave(2, 1000.0), 1.0f, -1.0f);  // its pan is replaced
    const float origin[3] = {0, 0, 0}, ahead[3] = {0, 0, -1}, up[3] = {0, 1, 0}, east[3] = {1, 0, 0};
    const struct {
        const float *forward;
        std::vector<float> at;
        double left_minus_right_db;  // 99: right only; -99: left only
    } cases[] = {{ahead, {3, 0, 0}, 99},   {ahead, {-3, 0, 0}, -99}, {ahead, {0, 0, -3}, 0}, {ahead, {0, 0, 3}, 0},
                 {ahead, {0, 3, 0}, 0},    {ahead, {0, 0, 0}, 0},    {east, {0, 0, 3}, 99},  {east, {0, 0, -3}, -99},
                 {east, {3, 0, 0}, 0}};
    for (const auto &c : cases) {
        ASSERT_EQ(ZYN_SET_LISTENER(origin, c.forward, up), 1) << ZYN_GET_LASTERROR();
        const double left = placed_tone(sound, c.at, 2, 0).amplitude;
        const double right = zyn_test::measure_tone(channel(render(16384, 2), 2, 1), kRate).amplitude;
        const std::string where = std::to_string(c.at[0]) + "," + std::to_string(c.at[1]) + "," + std::to_string(c.at[2]);
        if (c.left_minus_right_db > 50) {
            EXPECT_LT(db(left / right), -40.0) << where;
        } else if (c.left_minus_right_db < -50) {
            EXPECT_LT(db(right / left), -40.0) << where;
        } else {
            EXPECT_NEAR(db(left / right), 0.0, 0.05) << where;
        }
        // Equal power: the sides' powers add to the source's (inverse law: 1/3 at 3 m) at any angle.
        const double gain = c.at[0] == 0 && c.at[1] == 0 && c.at[2] == 0 ? 1.0 : 1.0 / 3.0;
        EXPECT_NEAR(db(std::hypot(left, right) / (8000.0 * gain)), 0.0, 0.1) << where;
    }
    ZYN_EXIT();
}

TEST(Positional, VolumeGroupAndFadesApplyBeforeThePlace) {
    ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, 1024), 1);
    const int32_t sound = play(wave(2, 1000.0));
    const double alone = placed_tone(sound, {2, 0, 0}, 2, 1).amplitude;
    int32_t group = -1;
    ASSERT_EQ(ZYN_CREATE_GROUP(&group), 1);
    ASSERT_EQ(ZYN_SET_SOUNDGROUP(sound, group), 1);
    ASSERT_EQ(ZYN_SET_GROUPVOLUME(group, 0.5f), 1);
    ASSERT_EQ(ZYN_SET_SOUNDVOLUME(sound, 0.5f), 1);
    EXPECT_NEAR(db(placed_tone(sound, {2, 0, 0}, 2, 1).amplitude / alone), db(0.25), 0.05);
    // A stopping fade runs frame by frame on a positional sound too, and ends it in silence.
    ASSERT_EQ(ZYN_FADE_SOUND(sound, 0.0f, 50.0f, 1), 1);
    render(4096, 2);
    const std::vector<int16_t> after = render(2048, 2);
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](int16_t v) { return v == 0; }));
    EXPECT_EQ(ZYN_IS_PLAYING(sound), 0);
    ZYN_EXIT();
}

TEST(Positional, DopplerShiftsThePitch) {
    const struct {
        int32_t resampler;
        float speed;
        float source_velocity, listener_velocity;  // along z; the source stands at z = -100
        float factor;                               // ZYN_SET_DOPPLER's
        double expected;
    } cases[] = {
        {ZYN_RESAMPLE_LINEAR, 1.0f, 34.33f, 0.0f, 1.0f, 343.3 / (343.3 - 34.33)},  // approaching: 1.111
        {ZYN_RESAMPLE_NEAREST, 1.0f, 34.33f, 0.0f, 1.0f, 343.3 / (343.3 - 34.33)},
        {ZYN_RESAMPLE_CUBIC, 1.0f, 34.33f, 0.0f, 1.0f, 343.3 / (343.3 - 34.33)},
        {ZYN_RESAMPLE_SINC, 1.0f, 34.33f, 0.0f, 1.0f, 343.3 / (343.3 - 34.33)},
        {ZYN_RESAMPLE_SINC, -1.0f, -34.33f, 0.0f, 1.0f, 343.3 / (343.3 + 34.33)},
        {ZYN_RESAMPLE_LINEAR, -1.0f, 34.33f, 0.0f, 1.0f, 343.3 / (343.3 - 34.33)},  // backward: magnitude
        {ZYN_RESAMPLE_LINEAR, 0.5f, -34.33f, 0.0f, 1.0f, 0.5 * 343.3 / (343.3 + 34.33)},  // receding
        {ZYN_RESAMPLE_LINEAR, 1.0f, 0.0f, -34.33f, 1.0f, (343.3 + 34.33) / 343.3},  // the listener approaching
        {ZYN_RESAMPLE_LINEAR, 1.0f, 34.33f, 0.0f, 0.0f, 1.0},                       // turned off
        {ZYN_RESAMPLE_LINEAR, 1.0f, 1.0e9f, 0.0f, 1.0f, 10.0},                      // held below 19 (at 0.9 c)
    };
    for (const auto &c : cases) {
        ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, 1024), 1);
        ASSERT_EQ(ZYN_SET_RESAMPLER(c.resampler), 1);
        const int32_t sound = play(wave(2, 1000.0), c.speed);
        const float v[3] = {0, 0, c.source_velocity}, lv[3] = {0, 0, c.listener_velocity};
        ASSERT_EQ(ZYN_SET_SOUNDVELOCITY(sound, v), 1);
        ASSERT_EQ(ZYN_SET_LISTENERVELOCITY(lv), 1);
        ASSERT_EQ(ZYN_SET_DOPPLER(c.factor, 343.3f), 1);
        const double freq = placed_tone(sound, {0.0f, 0.0f, -100.0f}, 2, 0).frequency;
        EXPECT_NEAR(freq / (1000.0 * c.expected), 1.0, 0.005)
            << "mode " << c.resampler << ", speed " << c.speed << ", source " << c.source_velocity;
        ZYN_EXIT();
    }
}

TEST(Positional, MovingSourceNeverClicksAndPlainSoundsStayExact) {
    // A source swept round the listener 2 m away, a turn a second, moved before every 256-frame block.
    ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, 256), 1);
    const int32_t sound = play(wave(2, 50.0));
    std::vector<int16_t> out;
    for (int b = 0; b < 200; ++b) {
        const double a = 2.0 * kPi * b * 256.0 / kRate;
        const float at[3] = {static_cast<float>(2.0 * std::sin(a)), 0.0f, static_cast<float>(-2.0 * std::cos(a))};
        ASSERT_EQ(ZYN_SET_SOUNDPOSITION(sound, at), 1);
        const std::vector<int16_t> block = render(256, 2);
        out.insert(out.end(), block.begin(), block.end());
    }
    int largest = 0;
    for (size_t i = 2; i < out.size(); ++i) largest = std::max(largest, std::abs(out[i] - out[i - 2]));
    // The tone's own steepest step at half its level (2 m, inverse law), with a little for the gains' slope.
    EXPECT_LE(largest, 0.5 * 8000.0 * 2.0 * kPi * 50.0 / kRate * 1.1 + 2.0);
    ZYN_EXIT();

    // Plain again: the same samples as a sound never placed, next to a plain one.
    std::vector<int16_t> takes[2];
    for (int placed = 0; placed < 2; ++placed) {
        ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, 512), 1);
        const int32_t w = wave(2, 0.0);
        play(w, 1.3f, 0.4f);
        const int32_t s = play(w, 0.7f, -0.5f);
        const float at[3] = {1, 2, 3};
        if (placed) {
            ASSERT_EQ(ZYN_SET_SOUNDPOSITION(s, at), 1);
            render(700, 2);
            ASSERT_EQ(ZYN_SET_SOUNDPOSITION(s, nullptr), 1);
        } else {
            render(700, 2);
        }
        takes[placed] = render(5000, 2);
        int32_t positional = -1;
        EXPECT_EQ(ZYN_GET_SOUNDPOSITION(s, nullptr, &positional), 1);
        EXPECT_EQ(positional, 0);
        ZYN_EXIT();
    }
    EXPECT_TRUE(takes[0] == takes[1]);
}

TEST(Positional, RefusesHostileValuesAndPlaysOn) {
    ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, 1024), 1);
    const int32_t sound = play(wave(2, 1000.0));
    const double before = placed_tone(sound, {2.0f, 0.0f, -2.0f}, 2, 1).amplitude;
    const float ok[3] = {0, 0, 0}, nan[3] = {0, kNan, 0}, inf[3] = {kInf, 0, 0}, huge[3] = {0, 0, 1e13f},
                zero[3] = {0, 0, 0}, up[3] = {0, 1, 0}, down[3] = {0, -2, 0};
    const std::vector<std::pair<const char *, std::function<int32_t()>>> calls = {
        {"listener NaN", [&] { return ZYN_SET_LISTENER(nan, ok, up); }},
        {"listener infinite forward", [&] { return ZYN_SET_LISTENER(ok, inf, up); }},
        {"listener zero forward", [&] { return ZYN_SET_LISTENER(ok, zero, up); }},
        {"listener parallel", [&] { return ZYN_SET_LISTENER(ok, down, up); }},
        {"listener null", [&] { return ZYN_SET_LISTENER(ok, nullptr, up); }},
        {"listener velocity", [&] { return ZYN_SET_LISTENERVELOCITY(huge); }},
        {"position NaN", [&] { return ZYN_SET_SOUNDPOSITION(sound, nan); }},
        {"position too far", [&] { return ZYN_SET_SOUNDPOSITION(sound, huge); }},
        {"velocity infinite", [&] { return ZYN_SET_SOUNDVELOCITY(sound, inf); }},
        {"velocity null", [&] { return ZYN_SET_SOUNDVELOCITY(sound, nullptr); }},
        {"unknown model", [&] { return ZYN_SET_SOUNDDISTANCE(sound, 4, 1.0f, kInf, 1.0f); }},
        {"reference 0", [&] { return ZYN_SET_SOUNDDISTANCE(sound, ZYN_DISTANCE_INVERSE, 0.0f, kInf, 1.0f); }},
        {"maximum below", [&] { return ZYN_SET_SOUNDDISTANCE(sound, ZYN_DISTANCE_LINEAR, 2.0f, 1.0f, 1.0f); }},
        {"rolloff NaN", [&] { return ZYN_SET_SOUNDDISTANCE(sound, ZYN_DISTANCE_EXPONENTIAL, 1.0f, kInf, kNan); }},
        {"doppler NaN", [&] { return ZYN_SET_DOPPLER(kNan, 343.3f); }},
        {"doppler negative", [&] { return ZYN_SET_DOPPLER(-1.0f, 343.3f); }},
        {"speed of sound 0", [&] { return ZYN_SET_DOPPLER(1.0f, 0.0f); }},
        {"unknown sound", [&] { return ZYN_SET_SOUNDPOSITION(999, ok); }},
        {"missing SOFA file", [&] { return ZYN_SET_HRTF("/nonexistent/zyn.sofa"); }},
        {"a SOFA file that is not one", [&] { return ZYN_SET_HRTF("/proc/self/status"); }},
        {"null out-argument", [&] { return ZYN_GET_HRTF(nullptr); }},
    };
    for (const auto &[what, call] : calls) {
        EXPECT_EQ(call(), 0) << what;
        EXPECT_STRNE(ZYN_GET_LASTERROR(), "") << what;
    }
    // Nothing changed: the same level from the same place, the defaults kept.
    const double after = placed_tone(sound, {2.0f, 0.0f, -2.0f}, 2, 1).amplitude;
    EXPECT_NEAR(db(after / before), 0.0, 0.01);
    float forward[3] = {}, factor = 0.0f;
    int32_t model = -1;
    EXPECT_EQ(ZYN_GET_LISTENER(nullptr, forward, nullptr), 1);
    EXPECT_EQ(forward[2], -1.0f);
    EXPECT_EQ(ZYN_GET_DOPPLER(&factor, nullptr), 1);
    EXPECT_EQ(factor, 1.0f);
    EXPECT_EQ(ZYN_GET_SOUNDDISTANCE(sound, &model, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(model, ZYN_DISTANCE_INVERSE);
    ZYN_EXIT();
}

#if ZYN_TEST_HRTF
TEST(Positional, BinauralSideSourceGivesTheHeadsDifferences) {
    EXPECT_EQ(ZYN_SET_HRTF("default"), 0);  // no device: no rate to prepare for
    // A plain sound plays as it would without a head loaded.
    std::vector<int16_t> plain[2];
    for (int head = 0; head < 2; ++head) {
        ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, 1024), 1);
        if (head == 1) {
            ASSERT_EQ(ZYN_SET_HRTF("default"), 1) << ZYN_GET_LASTERROR();
        }
        play(wave(2, 0.0), 1.0f, 0.3f);
        plain[head] = render(4096, 2);
        ZYN_EXIT();
    }
    EXPECT_TRUE(plain[0] == plain[1]) << "a plain sound is changed by the head";
    ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, 1024), 1);
    ASSERT_EQ(ZYN_SET_HRTF("default"), 1) << ZYN_GET_LASTERROR();
    EXPECT_EQ(ZYN_SET_HRTF("/nonexistent/zyn.sofa"), 0);  // the loaded set stays
    int32_t active = 0;
    ASSERT_EQ(ZYN_GET_HRTF(&active), 1);
    EXPECT_EQ(active, 1);
    const float right_side[3] = {1, 0, 0};
    // Level differences: the KEMAR file's own at 90 degrees are about 7 dB at 4 kHz, 16 and 20 dB at 6 and 8 kHz.
    for (const auto &[freq, least] : {std::pair{4000.0, 5.0}, std::pair{6000.0, 10.0}, std::pair{8000.0, 10.0}}) {
        const int32_t sound = play(wave(2, freq));
        const double left = placed_tone(sound, {1, 0, 0}, 2, 0).amplitude;
        const double right = zyn_test::measure_tone(channel(render(16384, 2), 2, 1), kRate).amplitude;
        EXPECT_GT(db(right / left), least) << freq << " Hz";
        ZYN_SET_SOUNDLOOPS(sound, 0);
    }
    int32_t sound = play(wave(2, 0.0));
    ASSERT_EQ(ZYN_SET_SOUNDPOSITION(sound, right_side), 1);
    render(2048, 2);
    const std::vector<int16_t> noisy = render(16384, 2);
    const double itd_ms = 1000.0 * zyn_test::best_lag(channel(noisy, 2, 1), channel(noisy, 2, 0), kRate / 500) / kRate;
    EXPECT_GE(itd_ms, 0.5);
    EXPECT_LE(itd_ms, 0.8);
    // Off again: the equal-power sides.
    ASSERT_EQ(ZYN_SET_HRTF(nullptr), 1);
    ASSERT_EQ(ZYN_GET_HRTF(&active), 1);
    EXPECT_EQ(active, 0);
    render(1024, 2);
    const std::vector<int16_t> panned = render(4096, 2);
    double right_power = 0.0;
    for (size_t i = 0; i < panned.size(); i += 2) {
        ASSERT_EQ(panned[i], 0) << "left, frame " << i / 2;
        right_power += static_cast<double>(panned[i + 1]) * panned[i + 1];
    }
    EXPECT_GT(std::sqrt(right_power / 4096.0), 4000.0);  // the noise's own 4600 on the right alone
    ZYN_EXIT();
}
#else
TEST(Positional, HrtfRefusedWithoutLibmysofa) {
    ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, 1024), 1);
    EXPECT_EQ(ZYN_SET_HRTF("default"), 0);
    EXPECT_STRNE(ZYN_GET_LASTERROR(), "");
    EXPECT_EQ(ZYN_SET_HRTF(nullptr), 1);
    ZYN_EXIT();
}
#endif

TEST(PlacedVariants, GiveThePlainResultsExactly) {
    const zyn::PlacedVariants *sets = nullptr;
    const int32_t count = zyn::available_placed_variants(&sets);
    ASSERT_GE(count, 1);
    EXPECT_STREQ(sets[0].name, "plain");
    std::mt19937 random(5);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_real_distribution<float> level(-40000.0f, 40000.0f), gain(0.0f, 2.5f);
    for (int trial = 0; trial < 60; ++trial) {
        const auto frames = static_cast<int32_t>(1 + random() % 700);
        std::vector<int16_t> in(2 * static_cast<size_t>(frames));
        std::vector<float> start(in.size());
        for (int16_t &v : in) v = static_cast<int16_t>(sample(random));
        for (float &v : start) v = level(random);
        const float g[4] = {gain(random), gain(random), gain(random), gain(random)};
        const int32_t first = static_cast<int32_t>(random() % 9) % frames;
        std::vector<float> expected = start;
        const zyn::PlacedRun plain{expected.data(), in.data(), g[0], g[1], (g[2] - g[0]) / static_cast<float>(frames),
                                   (g[3] - g[1]) / static_cast<float>(frames)};
        sets[0].stereo(plain, first, frames);
        for (int32_t s = 1; s < count; ++s) {
            std::vector<float> got = start;
            zyn::PlacedRun run = plain;
            run.acc = got.data();
            sets[s].stereo(run, first, frames);
            ASSERT_EQ(0, std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)))
                << sets[s].name << ", trial " << trial << ", " << frames << " frames";
        }
    }
}

TEST(Positional, DirectPlacementKeepsTheTwoStageMix) {
    // Each case renders twice, read straight into the sum and through the
    // work buffer: the blocks agree to 1 (the two-stage path rounds each
    // channel before the mix-down), the sounds' positions and ends exactly.
    const struct {
        const char *name;
        int32_t wave_frames, loops, sources;
        float speed, approach;  // approach: m/s towards the listener (Doppler)
        int64_t start_at;       // -1: at once
        int32_t resampler;
    } cases[] = {
        {"speed 1, Doppler alone", 44100, 0, 1, 1.0f, 20.0f, -1, ZYN_RESAMPLE_LINEAR},
        {"slower, still", 44100, 0, 1, 0.73f, 0.0f, -1, ZYN_RESAMPLE_LINEAR},
        {"faster, loop crossing", 301, 0, 1, 1.9f, -15.0f, -1, ZYN_RESAMPLE_LINEAR},
        {"ends mid-block", 1001, 2, 1, 1.3f, 5.0f, -1, ZYN_RESAMPLE_LINEAR},
        {"backward, loop crossing", 257, 0, 1, -1.4f, 10.0f, -1, ZYN_RESAMPLE_LINEAR},
        {"backward, ends", 700, 3, 1, -0.6f, -8.0f, -1, ZYN_RESAMPLE_LINEAR},
        {"steps of many frames", 5000, 0, 1, 21.7f, 3.0f, -1, ZYN_RESAMPLE_LINEAR},
        {"starts inside a block", 44100, 0, 1, 1.1f, 4.0f, 300, ZYN_RESAMPLE_LINEAR},
        {"several sources", 3001, 0, 3, 1.2f, 30.0f, -1, ZYN_RESAMPLE_LINEAR},
        {"cubic stays two-stage", 44100, 0, 1, 1.2f, 0.0f, -1, ZYN_RESAMPLE_CUBIC},
    };
    constexpr int32_t kBlock = 512, kBlocks = 14;
    struct Run {
        std::vector<int16_t> out;
        std::vector<intptr_t> state;  // per block and source: position offset, loops, playing
    };
    for (const auto &c : cases) {
        Run runs[2];
        for (int direct = 0; direct < 2; ++direct) {
            zyn::set_direct_placing(direct == 1);
            ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
            ASSERT_EQ(ZYN_SET_RESAMPLER(c.resampler), 1);
            int32_t w = -1;
            int16_t *s = nullptr;
            ASSERT_EQ(ZYN_CREATE_WAVE(c.wave_frames, &w, &s), 1);
            std::mt19937 random(3);
            std::uniform_int_distribution<int> sample(-30000, 30000);  // both channels apart
            for (int32_t i = 0; i < 2 * c.wave_frames; ++i) s[i] = static_cast<int16_t>(sample(random));
            std::vector<int32_t> sounds;
            for (int32_t k = 0; k < c.sources; ++k) {
                int32_t sound = -1;
                ASSERT_EQ(ZYN_CREATE_SOUND(w, &sound), 1);
                ASSERT_EQ(ZYN_SET_SOUNDSPEED(sound, c.speed + 0.05f * static_cast<float>(k)), 1);
                const float v[3] = {0.0f, 0.0f, c.approach};
                ASSERT_EQ(ZYN_SET_SOUNDVELOCITY(sound, v), 1);
                if (c.start_at >= 0) {
                    ASSERT_EQ(ZYN_PLAY_SOUND_AT(sound, c.loops, c.start_at), 1);
                } else {
                    ASSERT_EQ(ZYN_PLAY_SOUND(sound, c.loops), 1);
                }
                sounds.push_back(sound);
            }
            for (int32_t b = 0; b < kBlocks; ++b) {
                for (int32_t k = 0; k < c.sources; ++k) {  // 3 m or more away: the sum's gains stay below 1
                    const float at[3] = {static_cast<float>(k) - 0.4f * static_cast<float>(b), 0.5f,
                                         -3.0f - static_cast<float>(k)};
                    ASSERT_EQ(ZYN_SET_SOUNDPOSITION(sounds[k], at), 1);
                }
                const std::vector<int16_t> block = render(kBlock, 2);
                runs[direct].out.insert(runs[direct].out.end(), block.begin(), block.end());
                for (int32_t sound : sounds) {
                    int16_t *start = nullptr, *position = nullptr;
                    int32_t loops = 0;
                    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(sound, &start, &position, nullptr), 1);
                    ASSERT_EQ(ZYN_GET_SOUNDLOOPS(sound, &loops), 1);
                    runs[direct].state.insert(runs[direct].state.end(),
                                              {position - start, loops, ZYN_IS_PLAYING(sound)});
                }
            }
            ZYN_EXIT();
        }
        zyn::set_direct_placing(true);
        EXPECT_EQ(runs[0].state, runs[1].state) << c.name;
        ASSERT_EQ(runs[0].out.size(), runs[1].out.size());
        double power = 0.0;
        for (size_t i = 0; i < runs[0].out.size(); ++i) {
            power += static_cast<double>(runs[1].out[i]) * runs[1].out[i];
            ASSERT_LE(std::abs(runs[0].out[i] - runs[1].out[i]), 1) << c.name << ", sample " << i;
        }
        EXPECT_GT(power, 1.0e5 * static_cast<double>(runs[0].out.size())) << c.name;  // heard at all
    }
}

TEST(PlacedVariants, LinearLoopsGiveThePlainResultsExactly) {
    const zyn::PlacedVariants *sets = nullptr;
    const int32_t count = zyn::available_placed_variants(&sets);
    std::mt19937 random(9);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_real_distribution<float> gain(0.0f, 2.5f);
    for (int trial = 0; trial < 80; ++trial) {
        const auto frames = static_cast<int32_t>(1 + random() % 500);
        const bool forward = trial % 2 == 0;
        // Steps from a sliver of a frame up to the vector loop's limit and past it.
        const uint32_t step = trial % 10 == 9 ? (1u << 29) + static_cast<uint32_t>(random() % 5000)
                                              : 1 + static_cast<uint32_t>(random() % (trial % 3 == 0 ? 400000 : 90000));
        const auto fraction = static_cast<uint32_t>(random() % 65536);
        const uint64_t reach = ((fraction + static_cast<uint64_t>(frames - 1) * step) >> 16) + 2;
        std::vector<int16_t> wave(2 * static_cast<size_t>(reach + 1));
        for (int16_t &v : wave) v = static_cast<int16_t>(sample(random));
        const auto at = static_cast<int32_t>(random() % 7);
        std::vector<float> expected(2 * static_cast<size_t>(frames + at), 1000.0f);
        const int16_t *origin = wave.data() + (forward ? 0 : 2 * (static_cast<ptrdiff_t>(reach) - 1));
        const int64_t low = (wave.data() - origin) / 2, high = low + static_cast<int64_t>(reach);
        const zyn::PlacedLinearRun plain{expected.data(), origin, fraction, step, forward, low, high, at,
                                         gain(random), gain(random), gain(random) / 512.0f, -gain(random) / 512.0f};
        const auto first = static_cast<int32_t>(random() % 9) % frames;
        sets[0].linear(plain, first, frames);
        for (int32_t s = 1; s < count; ++s) {
            std::vector<float> got(expected.size(), 1000.0f);
            zyn::PlacedLinearRun run = plain;
            run.acc = got.data();
            sets[s].linear(run, first, frames);
            ASSERT_EQ(0, std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)))
                << sets[s].name << ", trial " << trial << ", " << frames << " frames, step " << step;
        }
    }
}
