// Filters and the reverb in the mix, measured on rendered output: the
// low-pass response of a sound's and a group's filter, bit-exact output
// while nothing is in use, changes without clicks, the reverb's decay time,
// and hostile values.
#include "test_support.h"
#include "tone_measure.h"
#include "wav_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

using namespace zyn_test;

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 512;
constexpr double kPi = 3.14159265358979323846;

// A whole second of a stereo sine (a loop of it has no seam).
std::vector<int16_t> sine(double frequency, double amplitude) {
    std::vector<int16_t> v(2 * static_cast<size_t>(kRate));
    for (int32_t i = 0; i < kRate; ++i)
        v[2 * static_cast<size_t>(i)] = v[2 * static_cast<size_t>(i) + 1] =
            static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * kPi * frequency * i / kRate)));
    return v;
}

int32_t sine_wave(double frequency, double amplitude) {
    int32_t wave = -1;
    int16_t *samples = nullptr;
    EXPECT_EQ(ZYN_CREATE_WAVE(kRate, &wave, &samples), 1);
    const std::vector<int16_t> v = sine(frequency, amplitude);
    std::copy(v.begin(), v.end(), samples);
    return wave;
}

int32_t noise_wave(int32_t frames, int32_t amplitude) {
    int32_t wave = -1;
    int16_t *samples = nullptr;
    EXPECT_EQ(ZYN_CREATE_WAVE(frames, &wave, &samples), 1);
    uint32_t x = 2463534242u;
    for (int32_t i = 0; i < 2 * frames; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        samples[i] = static_cast<int16_t>(static_cast<int32_t>(x % (2u * amplitude + 1u)) - amplitude);
    }
    return wave;
}

std::vector<int16_t> render(int32_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    EXPECT_EQ(ZYN_RENDER(out.data(), frames), 1);
    return out;
}

double level_db(double amplitude, double reference) { return 20.0 * std::log10(amplitude / reference); }

enum class Where { Sound, SoundInGroup, Track, TrackInGroup, Placed, PlacedInGroup };
const char *const kWhere[] = {"sound", "group of a sound", "track", "group of a track", "positional sound",
                              "group of a positional sound"};

// A metre straight ahead: the distance gain is 1 and each side gets the
// equal-power half.
const float kAhead[3] = {0.0f, 0.0f, -1.0f};
constexpr double kAheadGain = 0.70710678;

// The amplitude of a looped sine of frequency after 0.1 s, through a
// low-pass at 1 kHz on a sound or a track, or on the group it is in.
double lowpass_amplitude(Where where, double frequency) {
    EXPECT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
    int32_t voice = -1, group = -1;
    const bool track = where == Where::Track || where == Where::TrackInGroup;
    std::vector<uint8_t> file;
    if (track) {
        file = wav_image(WavLayout{}, pcm16(sine(frequency, 12000.0)));
        EXPECT_EQ(ZYN_OPEN_TRACKMEMORY(file.data(), file.size(), &voice), 1);
    } else {
        EXPECT_EQ(ZYN_CREATE_SOUND(sine_wave(frequency, 12000.0), &voice), 1);
    }
    const float q = 0.70710678f;
    const bool placed = where == Where::Placed || where == Where::PlacedInGroup;
    if (placed) {
        EXPECT_EQ(ZYN_SET_SOUNDPOSITION(voice, kAhead), 1);
    }
    if (where == Where::SoundInGroup || where == Where::TrackInGroup || where == Where::PlacedInGroup) {
        EXPECT_EQ(ZYN_CREATE_GROUP(&group), 1);
        EXPECT_EQ(track ? ZYN_SET_TRACKGROUP(voice, group) : ZYN_SET_SOUNDGROUP(voice, group), 1);
        EXPECT_EQ(ZYN_SET_GROUPFILTER(group, ZYN_FILTER_LOWPASS, 1000.0f, q), 1);
    } else {
        EXPECT_EQ(track ? ZYN_SET_TRACKFILTER(voice, ZYN_FILTER_LOWPASS, 1000.0f, q)
                        : ZYN_SET_SOUNDFILTER(voice, ZYN_FILTER_LOWPASS, 1000.0f, q),
                  1);
    }
    EXPECT_EQ(track ? ZYN_PLAY_TRACK(voice, ZYN_LOOP_FOREVER) : ZYN_PLAY_SOUND(voice, 0), 1);
    render(kRate / 10);
    const std::vector<int16_t> out = render(16384);
    ZYN_EXIT();
    return measure_tone(channel_samples(out.data(), 16384, 2, 0), kRate).amplitude;
}

TEST(Effects, LowPassAtOneKilohertzFallsAsTheCookbookSays) {
    struct Case {
        double frequency, db, within;
    };
    const Case cases[] = {{1000.0, -3.01, 0.5}, {4000.0, -24.0, 2.0}, {250.0, 0.0, 0.3}};
    for (const Where where : {Where::Sound, Where::SoundInGroup, Where::Track, Where::TrackInGroup, Where::Placed,
                              Where::PlacedInGroup})
        for (const Case &c : cases) {
            const bool placed = where == Where::Placed || where == Where::PlacedInGroup;
            const double db = level_db(lowpass_amplitude(where, c.frequency), 12000.0 * (placed ? kAheadGain : 1.0));
            EXPECT_NEAR(db, c.db, c.within) << kWhere[static_cast<int>(where)] << " filter at " << c.frequency << " Hz";
        }
}

struct Scene {
    bool effect_calls;  // every effect set, to nothing
    bool filter_then_none;  // a group filter turned on, then back off
};

// Four sounds (one with a callback, one resampled, two in a group), a
// track-free mix; the effect calls all leave it as it was.
std::vector<int16_t> scene(const Scene &s, int32_t frames) {
    EXPECT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
    ZYN_SET_RESAMPLER(ZYN_RESAMPLE_CUBIC);
    const int32_t wave = noise_wave(20000, 6000);
    int32_t sounds[4] = {-1, -1, -1, -1};
    const float speeds[4] = {1.0f, 1.37f, 0.8f, 1.0f};
    for (int32_t i = 0; i < 4; ++i)
        EXPECT_EQ(ZYN_PLAY_WAVE(wave, 0, speeds[i], 0.6f, -0.5f + 0.3f * static_cast<float>(i), &sounds[i]), 1);
    int32_t group = -1;
    EXPECT_EQ(ZYN_CREATE_GROUP(&group), 1);
    EXPECT_EQ(ZYN_SET_GROUPVOLUME(group, 0.7f), 1);
    EXPECT_EQ(ZYN_SET_SOUNDGROUP(sounds[2], group), 1);
    EXPECT_EQ(ZYN_SET_SOUNDGROUP(sounds[3], group), 1);
    if (s.effect_calls) {
        EXPECT_EQ(ZYN_SET_REVERB(0.9f, 0.2f, 1.0f, 1.0f), 1);
        for (int32_t sound : sounds) {
            EXPECT_EQ(ZYN_SET_SOUNDFILTER(sound, ZYN_FILTER_NONE, 500.0f, 2.0f), 1);
            EXPECT_EQ(ZYN_SET_SOUNDREVERB(sound, 0.0f), 1);
        }
        EXPECT_EQ(ZYN_SET_GROUPFILTER(group, ZYN_FILTER_NONE, 500.0f, 2.0f), 1);
        EXPECT_EQ(ZYN_SET_GROUPREVERB(group, 0.0f), 1);
    }
    std::vector<int16_t> out;
    if (s.filter_then_none) {
        EXPECT_EQ(ZYN_SET_GROUPFILTER(group, ZYN_FILTER_HIGHPASS, 2000.0f, 1.0f), 1);
        render(4 * kBlock);
        EXPECT_EQ(ZYN_SET_GROUPFILTER(group, ZYN_FILTER_NONE, 0.0f, 0.0f), 1);
        render(2 * kBlock);  // the ramp back to the plain sum, and its block
    } else {
        render(6 * kBlock);
    }
    out = render(frames);
    ZYN_SET_RESAMPLER(ZYN_RESAMPLE_NEAREST);
    ZYN_EXIT();
    return out;
}

TEST(Effects, NothingInUseLeavesTheMixBitExact) {
    const std::vector<int16_t> plain = scene({false, false}, 8 * kBlock);
    EXPECT_EQ(scene({true, false}, 8 * kBlock), plain) << "filters NONE and sends 0";
    EXPECT_EQ(scene({false, true}, 8 * kBlock), plain) << "a group filter turned off again";
}

// The largest change of slope from one frame to the next (left channel): a
// click is a step, whose second difference is the step itself, where a
// tone of f Hz and amplitude a bends by at most a (2 pi f / rate)^2.
int32_t largest_bend(const std::vector<int16_t> &v) {
    int32_t most = 0;
    for (size_t i = 4; i < v.size(); i += 2) most = std::max(most, std::abs(v[i] - 2 * v[i - 2] + v[i - 4]));
    return most;
}

// A 200 Hz sine under a low-pass whose cutoff jumps between 300 Hz and
// 5 kHz (and its q between 0.5 and 4) every block: the output never steps.
TEST(Effects, CutoffChangesDoNotClick) {
    for (const bool on_group : {false, true}) {
        ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
        int32_t sound = -1, group = -1;
        ASSERT_EQ(ZYN_PLAY_WAVE(sine_wave(200.0, 16000.0), 0, 1.0f, 1.0f, 0.0f, &sound), 1);
        ASSERT_EQ(ZYN_CREATE_GROUP(&group), 1);
        ASSERT_EQ(ZYN_SET_SOUNDGROUP(sound, group), 1);
        render(kBlock);
        std::vector<int16_t> all;
        for (int32_t b = 0; b < 40; ++b) {
            const float cutoff = b % 2 ? 300.0f : 5000.0f;
            const float q = b % 4 < 2 ? 0.5f : 4.0f;
            ASSERT_EQ(on_group ? ZYN_SET_GROUPFILTER(group, ZYN_FILTER_LOWPASS, cutoff, q)
                               : ZYN_SET_SOUNDFILTER(sound, ZYN_FILTER_LOWPASS, cutoff, q),
                      1);
            const std::vector<int16_t> block = render(kBlock);
            all.insert(all.end(), block.begin(), block.end());
        }
        ZYN_EXIT();
        // The sweeps bend the output by up to about 160 here; the same
        // changes made at once, without the glide, bend it by over 5000.
        EXPECT_LT(largest_bend(all), 400) << (on_group ? "group" : "sound");
    }
}

// The frame at which the energy left in the rest of the signal (Schroeder's
// backward integration) has fallen db below its value at frame `from`.
int32_t energy_left_falls(const std::vector<double> &x, size_t from, double db) {
    std::vector<double> left(x.size() + 1, 0.0);
    for (size_t i = x.size(); i-- > 0;) left[i] = left[i + 1] + x[i] * x[i];
    const double target = left[from] * std::pow(10.0, -db / 10.0);
    for (size_t i = from; i < x.size(); ++i)
        if (left[i] <= target) return static_cast<int32_t>(i);
    return -1;
}

// A 10 ms noise burst sent whole into the reverb, by the sound or by its
// group: the tail's decay from -5 dB to -25 dB, extrapolated to 60 dB, is
// the documented RT60.
TEST(Effects, ReverbDecaysInTheDocumentedTime) {
    struct Case {
        float room;
        bool by_group;
        bool placed;
    };
    for (const Case c : {Case{0.2f, false, false}, Case{0.5f, false, false}, Case{0.5f, true, false},
                         Case{0.5f, false, true}}) {
        const float room = c.room;
        ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
        ASSERT_EQ(ZYN_SET_REVERB(room, 0.0f, 1.0f, 1.0f), 1);
        int32_t sound = -1, group = -1;
        ASSERT_EQ(ZYN_CREATE_SOUND(noise_wave(441, 20000), &sound), 1);
        if (c.placed) {
            ASSERT_EQ(ZYN_SET_SOUNDPOSITION(sound, kAhead), 1);
        }
        if (c.by_group) {
            ASSERT_EQ(ZYN_CREATE_GROUP(&group), 1);
            ASSERT_EQ(ZYN_SET_SOUNDGROUP(sound, group), 1);
            ASSERT_EQ(ZYN_SET_GROUPREVERB(group, 1.0f), 1);
        } else {
            ASSERT_EQ(ZYN_SET_SOUNDREVERB(sound, 1.0f), 1);
        }
        ASSERT_EQ(ZYN_PLAY_SOUND(sound, 1), 1);
        const double rt60 = 0.25 * std::pow(40.0, room);
        const auto frames = static_cast<int32_t>(2.0 * rt60 * kRate);
        const std::vector<int16_t> out = render(frames);
        ZYN_EXIT();
        const std::vector<double> left = channel_samples(out.data(), static_cast<size_t>(frames), 2, 0);
        const size_t after_burst = 2 * 441;
        const int32_t at5 = energy_left_falls(left, after_burst, 5.0);
        const int32_t at25 = energy_left_falls(left, after_burst, 25.0);
        ASSERT_GT(at5, 0);
        ASSERT_GT(at25, at5);
        const double measured = 3.0 * (at25 - at5) / static_cast<double>(kRate);
        EXPECT_NEAR(measured, rt60, 0.1 * rt60) << "room size " << room << (c.by_group ? ", the group's send" : "")
                                        << (c.placed ? ", a positional sound" : "");
    }
}

int16_t g_peak = 0;
void note_peak(int16_t *samples, int32_t channels, int32_t frames) {
    for (int32_t i = 0; i < channels * frames; ++i) g_peak = std::max<int16_t>(g_peak, static_cast<int16_t>(std::abs(samples[i])));
}

// Settings changed from inside a callback take effect (nothing allocates).
int32_t g_target = -1;
void filter_from_callback(int16_t *, int32_t, int32_t) {
    EXPECT_EQ(ZYN_SET_SOUNDFILTER(g_target, ZYN_FILTER_HIGHPASS, 15000.0f, 0.7f), 1);
    EXPECT_EQ(ZYN_SET_SOUNDREVERB(g_target, 0.5f), 1);
    EXPECT_EQ(ZYN_SET_REVERB(0.5f, 0.5f, 1.0f, 0.5f), 0) << "the reverb's memory is never made on the output thread";
}

// What a grouped noise sound plays from frame `from` for `frames`, with no
// effect ever set.
std::vector<int16_t> untouched_noise(int32_t from, int32_t frames) {
    EXPECT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
    int32_t sound = -1, group = -1;
    EXPECT_EQ(ZYN_PLAY_WAVE(noise_wave(5000, 20000), 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    EXPECT_EQ(ZYN_CREATE_GROUP(&group), 1);
    EXPECT_EQ(ZYN_SET_SOUNDGROUP(sound, group), 1);
    render(from);
    const std::vector<int16_t> out = render(frames);
    ZYN_EXIT();
    return out;
}

TEST(Effects, HostileValuesAreRefusedOrClampedAndTheMixGoesOn) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<int16_t> expected_tail = untouched_noise(13 * kBlock, 2 * kBlock);
    EXPECT_EQ(ZYN_SET_REVERB(nan, 0.5f, 0.5f, 0.5f), 0);
    EXPECT_STRNE(ZYN_GET_LASTERROR(), "");
    ASSERT_EQ(ZYN_SET_REVERB(0.5f, 0.5f, 1.0f, 0.0f), 1);  // unheard: no reverb is made with the engine
    ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
    int32_t sound = -1, group = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(noise_wave(5000, 20000), 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    ASSERT_EQ(ZYN_CREATE_GROUP(&group), 1);
    ASSERT_EQ(ZYN_SET_SOUNDGROUP(sound, group), 1);
    struct Refused {
        int32_t result;
        const char *what;
    };
    const Refused refused[] = {
        {ZYN_SET_SOUNDFILTER(sound, 7, 1000.0f, 1.0f), "unknown type"},
        {ZYN_SET_SOUNDFILTER(sound, -1, 1000.0f, 1.0f), "negative type"},
        {ZYN_SET_SOUNDFILTER(sound, ZYN_FILTER_LOWPASS, nan, 1.0f), "NaN cutoff"},
        {ZYN_SET_GROUPFILTER(group, ZYN_FILTER_HIGHPASS, inf, 1.0f), "infinite cutoff"},
        {ZYN_SET_GROUPFILTER(group, ZYN_FILTER_BANDPASS, 1000.0f, -inf), "infinite q"},
        {ZYN_SET_SOUNDFILTER(sound + 100, ZYN_FILTER_LOWPASS, 1000.0f, 1.0f), "unknown sound"},
        {ZYN_SET_GROUPFILTER(group + 1, ZYN_FILTER_LOWPASS, 1000.0f, 1.0f), "unknown group"},
        {ZYN_SET_TRACKFILTER(0, ZYN_FILTER_LOWPASS, 1000.0f, 1.0f), "no such track"},
        {ZYN_SET_SOUNDREVERB(sound, nan), "NaN send"},
        {ZYN_SET_GROUPREVERB(group, inf), "infinite send"},
        {ZYN_SET_REVERB(0.5f, 0.5f, 0.5f, inf), "infinite wet"},
    };
    for (const Refused &r : refused) EXPECT_EQ(r.result, 0) << r.what;

    // Clamped: the getters answer what is used.
    int32_t type = -1;
    float cutoff = 0.0f, q = 0.0f, send = 0.0f;
    ASSERT_EQ(ZYN_SET_SOUNDFILTER(sound, ZYN_FILTER_BANDPASS, 1e9f, 1000.0f), 1);
    ASSERT_EQ(ZYN_GET_SOUNDFILTER(sound, &type, &cutoff, &q), 1);
    EXPECT_EQ(type, ZYN_FILTER_BANDPASS);
    EXPECT_FLOAT_EQ(cutoff, 0.49f * kRate);
    EXPECT_FLOAT_EQ(q, 20.0f);
    ASSERT_EQ(ZYN_SET_GROUPFILTER(group, ZYN_FILTER_LOWPASS, -5.0f, 0.0f), 1);
    ASSERT_EQ(ZYN_GET_GROUPFILTER(group, &type, &cutoff, &q), 1);
    EXPECT_FLOAT_EQ(cutoff, 10.0f);
    EXPECT_FLOAT_EQ(q, 0.1f);
    ASSERT_EQ(ZYN_SET_SOUNDREVERB(sound, 7.0f), 1);
    ASSERT_EQ(ZYN_GET_SOUNDREVERB(sound, &send), 1);
    EXPECT_EQ(send, 1.0f);
    ASSERT_EQ(ZYN_SET_GROUPREVERB(group, -3.0f), 1);
    ASSERT_EQ(ZYN_GET_GROUPREVERB(group, &send), 1);
    EXPECT_EQ(send, 0.0f);

    // The extreme filters ring hard but the mix stays live: the sound is
    // heard, and once every effect is off again it is heard unchanged.
    g_peak = 0;
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(note_peak), 1);
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    render(4 * kBlock);
    EXPECT_GT(g_peak, 1000);
    g_target = sound;
    ASSERT_EQ(ZYN_SET_SOUNDCALLBACK(sound, filter_from_callback), 1);
    ASSERT_EQ(ZYN_ENABLE_SOUNDCALLBACK(sound), 1);
    render(kBlock);
    ASSERT_EQ(ZYN_GET_SOUNDFILTER(sound, &type, &cutoff, &q), 1);
    EXPECT_EQ(type, ZYN_FILTER_HIGHPASS) << "set from the sound's callback";
    ASSERT_EQ(ZYN_SET_REVERB(4.0f, -1.0f, 0.5f, 1.0f), 1);
    float room = 0.0f, damping = 0.0f, width = 0.0f, wet = 0.0f;
    ASSERT_EQ(ZYN_GET_REVERB(&room, &damping, &width, &wet), 1);
    EXPECT_EQ(room, 1.0f);
    EXPECT_EQ(damping, 0.0f);
    ASSERT_EQ(ZYN_DISABLE_SOUNDCALLBACK(sound), 1);
    ASSERT_EQ(ZYN_SET_SOUNDFILTER(sound, ZYN_FILTER_NONE, 0.0f, 0.0f), 1);
    ASSERT_EQ(ZYN_SET_GROUPFILTER(group, ZYN_FILTER_NONE, 0.0f, 0.0f), 1);
    ASSERT_EQ(ZYN_SET_SOUNDREVERB(sound, 0.0f), 1);
    ASSERT_EQ(ZYN_SET_REVERB(0.5f, 0.5f, 1.0f, 0.0f), 1);
    render(8 * kBlock);
    EXPECT_TRUE(render(2 * kBlock) == expected_tail) << "the sound is not as it was once its effects are off";
    ZYN_EXIT();
    ASSERT_EQ(ZYN_SET_REVERB(0.5f, 0.5f, 1.0f, 0.0f), 1);
    EXPECT_EQ(ZYN_SET_SOUNDFILTER(sound, ZYN_FILTER_LOWPASS, 1000.0f, 1.0f), 0) << "no engine";
}

}  // namespace
