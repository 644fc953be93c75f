// Click-free changes measured: the largest step between two output samples
// when a full-scale tone is turned down, destroyed, muted or paused, with
// and without smoothing; fades in and out over exactly the set time; and
// smoothing off leaves every block exactly as the classic mixer makes it.
#include "test_support.h"
#include "whitebox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <thread>
#include <vector>

using namespace zyn_test;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kBlock = 441;
// 10.25 periods a block: every block boundary falls on a crest.
constexpr double kTone = 1025.0;

// One period-exact loop of a full-scale tone (41 periods in 1764 frames).
int32_t crest_tone_wave() {
    std::vector<int16_t> v(2 * 1764);
    for (int i = 0; i < 1764; ++i) {
        const auto s = static_cast<int16_t>(std::lround(32767.0 * std::sin(2.0 * kPi * kTone * i / 44100.0)));
        v[2 * static_cast<size_t>(i)] = s;
        v[2 * static_cast<size_t>(i) + 1] = s;
    }
    return add_raw_wave(v);
}

// The sine's own largest step between two frames.
double natural_step() { return 32767.0 * 2.0 * std::sin(kPi * kTone / 44100.0); }

struct Heard {
    std::vector<int16_t> left;
    void add(const std::vector<int16_t> &block) {
        for (size_t i = 0; i < block.size(); i += 2) left.push_back(block[i]);
    }
    int largest_step() const {
        int largest = 0;
        for (size_t i = 1; i < left.size(); ++i) largest = std::max(largest, std::abs(left[i] - left[i - 1]));
        return largest;
    }
};

// Plays the tone for two blocks, applies the change, plays four more;
// `after` looks at the engine before the device closes it.
template <typename Change, typename After>
Heard around_a_change(float smoothing_ms, Change change, After after) {
    PumpDevice device(44100, 2, kBlock);
    EXPECT_TRUE(device.ok());
    EXPECT_EQ(ZYN_SET_SMOOTHING(smoothing_ms), 1);
    int32_t sound = -1;
    EXPECT_EQ(ZYN_PLAY_WAVE(crest_tone_wave(), 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    Heard heard;
    for (int i = 0; i < 3; ++i) device.pump();  // past any fade-in
    for (int i = 0; i < 2; ++i) heard.add(device.pump());
    change(sound);
    for (int i = 0; i < 4; ++i) heard.add(device.pump());
    after();
    return heard;
}

template <typename Change>
Heard around_a_change(float smoothing_ms, Change change) {
    return around_a_change(smoothing_ms, change, [] {});
}

}  // namespace

TEST(Smoothing, TurningAFullScaleToneDownClicksOnlyWithoutIt) {
    const auto silence = [](int32_t sound) { ASSERT_EQ(ZYN_SET_SOUNDVOLUME(sound, 0.0f), 1); };
    const Heard hard = around_a_change(0.0f, silence);
    const Heard soft = around_a_change(10.0f, silence);
    EXPECT_GT(hard.largest_step(), 30000) << "from a crest straight to silence";
    EXPECT_LT(soft.largest_step(), natural_step() * 1.02 + 2);
    // Ten milliseconds later (441 frames) the tone is gone.
    for (size_t i = 2 * kBlock + kBlock; i < soft.left.size(); ++i) ASSERT_EQ(soft.left[i], 0) << i;
    // Halfway down the ramp the crest is at half height.
    int half = 0;
    for (size_t i = 2 * kBlock + 200; i < 2 * kBlock + 241; ++i) half = std::max<int>(half, soft.left[i]);
    EXPECT_NEAR(half, 32767.0 * (441 - 220) / 441.0, 800.0);
}

TEST(Smoothing, DestroyMuteAndPauseFadeOutBeforeTheyTakeEffect) {
    for (int which = 0; which < 3; ++which) {
        SCOPED_TRACE(which == 0 ? "destroy" : which == 1 ? "mute" : "pause");
        int32_t row = -1;
        const Heard heard = around_a_change(5.0f, [&](int32_t sound) {
            row = sound;
            if (which == 0) {
                int32_t handle = sound;
                ASSERT_EQ(ZYN_DESTROY_SOUND(&handle), 1);
                EXPECT_EQ(handle, -1);
                int32_t loops = 0;
                EXPECT_EQ(ZYN_GET_SOUNDLOOPS(sound, &loops), 0) << "the handle is gone at once";
            } else if (which == 1) {
                ASSERT_EQ(ZYN_SET_SOUNDMUTED(sound, 1), 1);
                int32_t muted = 0;
                ASSERT_EQ(ZYN_GET_SOUNDMUTED(sound, &muted), 1);
                EXPECT_EQ(muted, 1) << "the getter answers the new value at once";
            } else {
                ASSERT_EQ(ZYN_SET_SOUNDPAUSED(sound, 1), 1);
            }
        }, [&] {
            // The rows go when the engine closes, so they are read here.
            const zyn::SoundEntry &s = sound_row(row);
            EXPECT_EQ(s.ramp_frames, 0);
            if (which == 0) {
                EXPECT_EQ(s.wave_start, nullptr) << "the row is given back after its fade";
            }
        });
        EXPECT_LT(heard.largest_step(), natural_step() * 1.02 + 2);
        // 5 ms = 221 frames of fade after the change, then silence.
        for (size_t i = 2 * kBlock + 221; i < heard.left.size(); ++i) ASSERT_EQ(heard.left[i], 0) << i;
        bool sounded = false;
        for (size_t i = 2 * kBlock + 150; i < 2 * kBlock + 200; ++i) sounded = sounded || heard.left[i] != 0;
        EXPECT_TRUE(sounded) << "still heard during the fade";
    }
}

TEST(Smoothing, AStartFadesInOverExactlyTheSetTime) {
    PumpDevice device(44100, 2, kBlock);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_SET_SMOOTHING(10.0f), 1);
    std::vector<int16_t> flat(2 * 2000, 20000);
    ASSERT_EQ(ZYN_PLAY_WAVE(add_raw_wave(flat), 0, 1.0f, 0.5f, 0.0f, nullptr), 1);
    Heard heard;
    heard.add(device.pump());
    heard.add(device.pump());
    // A linear ramp of 441 frames from 0 to 10000.
    for (size_t i = 0; i < 441; ++i)
        ASSERT_NEAR(heard.left[i], 10000.0 * static_cast<double>(i) / 441.0, 1.0) << i;
    for (size_t i = 441; i < heard.left.size(); ++i) ASSERT_EQ(heard.left[i], 10000) << i;
}

TEST(Smoothing, OffMixesExactlyAsTheClassicMixerAndTheSettingIsClamped) {
    PumpDevice device(44100, 2, kBlock);
    ASSERT_TRUE(device.ok());
    const int32_t wave = crest_tone_wave();
    int32_t sound = -1;
    ASSERT_EQ(ZYN_SET_SMOOTHING(std::numeric_limits<float>::quiet_NaN()), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    const std::vector<int16_t> raw = device.pump();
    ASSERT_EQ(ZYN_SET_SOUNDVOLUME(sound, 0.5f), 1);
    ASSERT_EQ(ZYN_SET_SOUNDPAN(sound, 0.25f), 1);
    EXPECT_EQ(sound_row(sound).ramp_frames, 0);
    EXPECT_FALSE(sound_row(sound).level.moving());
    const std::vector<int16_t> changed = device.pump();
    // Block 2 of a 1764-frame loop: frames 441.. of the wave, through SCALE16
    // (0.5) and PAN16 (left 0.75) exactly as the kernels compute them.
    int16_t *start = nullptr;
    ASSERT_EQ(ZYN_GET_WAVEPOINTERS(wave, &start, nullptr, nullptr), 1);
    for (int i = 0; i < kBlock; ++i) {
        const int32_t half_left = static_cast<int32_t>(std::floor(start[2 * (441 + i)] * 0.5));
        const int32_t half_right = static_cast<int32_t>(std::floor(start[2 * (441 + i) + 1] * 0.5));
        ASSERT_EQ(changed[2 * static_cast<size_t>(i)], static_cast<int16_t>(std::floor(half_left * 0.75))) << i;
        ASSERT_EQ(changed[2 * static_cast<size_t>(i) + 1], half_right) << i;
    }
    EXPECT_EQ(raw[0], start[0]);
    // Beyond 100 ms the time is clamped: a glide takes 4410 frames at most.
    ASSERT_EQ(ZYN_SET_SMOOTHING(1000.0f), 1);
    ASSERT_EQ(ZYN_SET_SOUNDVOLUME(sound, 1.0f), 1);
    EXPECT_EQ(sound_row(sound).level.frames_left(), 4410);
    ASSERT_EQ(ZYN_SET_SMOOTHING(-3.0f), 1);
    ASSERT_EQ(ZYN_SET_SOUNDVOLUME(sound, 0.25f), 1);
    EXPECT_FALSE(sound_row(sound).level.moving()) << "a negative time is 0: the change is immediate";
    EXPECT_EQ(sound_row(sound).level.value(), 0.25f);
}

// A destroy that fades out is not an end: the end callback hears of sounds
// that played to their end only. A sound stopped with its loop count keeps
// no ramp for later, so starting it again fades in.
TEST(Smoothing, AFadedDestroyIsNoEndAndAStopLeavesNoRampBehind) {
    PumpDevice device(44100, 2, kBlock);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_SET_SMOOTHING(5.0f), 1);
    static std::atomic<int> ends{0};
    ends = 0;
    ASSERT_EQ(ZYN_SET_ENDCALLBACK([](int32_t, void *) { ends.fetch_add(1); }, nullptr), 1);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(crest_tone_wave(), 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    for (int i = 0; i < 3; ++i) device.pump();
    ASSERT_EQ(ZYN_DESTROY_SOUND(&sound), 1);
    for (int i = 0; i < 4; ++i) device.pump();
    // A sound that does play to its end, so that the wait below sees events.
    int32_t short_one = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(add_raw_wave(std::vector<int16_t>(2 * 100, 1000)), 1, 1.0f, 1.0f, 0.0f, &short_one), 1);
    for (int i = 0; i < 2; ++i) device.pump();
    for (int i = 0; i < 250 && ends.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ends.load(), 1) << "the played-out sound only, not the destroyed one";
    ASSERT_EQ(ZYN_SET_ENDCALLBACK(nullptr, nullptr), 1);

    ASSERT_EQ(ZYN_SET_SMOOTHING(10.0f), 1);
    std::vector<int16_t> flat(2 * 8000, 20000);
    int32_t held = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(add_raw_wave(flat), 0, 1.0f, 1.0f, 0.0f, &held), 1);
    for (int i = 0; i < 3; ++i) device.pump();
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(held, 0), 1);  // stops at once
    Heard stopped;
    stopped.add(device.pump());
    EXPECT_EQ(stopped.left.front(), 0);
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(held, 1), 1);
    Heard again;
    again.add(device.pump());
    EXPECT_LT(again.left.front(), 200) << "a restart fades in";
    EXPECT_NEAR(again.left[220], 20000.0 * 220 / 441, 100.0);
}

// A destroyed sound's callback is off the moment the destroy returns (its
// context may be freed then), while the fade goes on; a sound fading out
// past the channel limit, where it is never mixed, still ends and gives its
// row back.
TEST(Smoothing, ADestroyedSoundCallsNoCallbackAndAFadePastTheChannelLimitEnds) {
    PumpDevice device(44100, 2, kBlock);
    ASSERT_TRUE(device.ok());
    const int32_t wave = crest_tone_wave();
    static std::atomic<int> calls{0};
    calls = 0;
    ASSERT_EQ(ZYN_SET_SMOOTHING(5.0f), 1);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    ASSERT_EQ(ZYN_SET_SOUNDCALLBACK(sound, [](int16_t *, int32_t, int32_t) { calls.fetch_add(1); }), 1);
    ASSERT_EQ(ZYN_ENABLE_SOUNDCALLBACK(sound), 1);
    for (int i = 0; i < 3; ++i) device.pump();
    ASSERT_EQ(calls.load(), 3);
    const int32_t row = sound;
    ASSERT_EQ(ZYN_DESTROY_SOUND(&sound), 1);
    Heard fade;
    fade.add(device.pump());
    EXPECT_EQ(calls.load(), 3) << "no call after the destroy returned";
    EXPECT_NE(fade.left[100], 0) << "the fade itself goes on";
    device.pump();
    EXPECT_EQ(sound_row(row).wave_start, nullptr);

    // Two sounds heard, then the limit drops to one: the second is past it.
    ASSERT_EQ(ZYN_SET_SMOOTHING(0.0f), 1);
    int32_t first = -1, second = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.5f, 0.0f, &first), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.5f, 0.0f, &second), 1);
    device.pump();
    ASSERT_EQ(ZYN_SET_MAXCHANNELS(1), 1);
    ASSERT_EQ(ZYN_SET_SMOOTHING(5.0f), 1);
    const int32_t second_row = second;
    ASSERT_EQ(ZYN_DESTROY_SOUND(&second), 1);
    for (int i = 0; i < 3; ++i) device.pump();
    EXPECT_EQ(sound_row(second_row).wave_start, nullptr) << "its row is given back";
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 1);
}
