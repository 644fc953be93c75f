// Fades with a duration: a sound's or a group's volume glides frame by frame
// along a straight line (no step larger than the tone's own, within 0.5 dB
// of the line), a fade with stop ends the sound without an end event, a new
// fade takes over from the level reached, and getters answer the target at
// once, whatever ZYN_SET_SMOOTHING says.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using namespace zyn_test;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 256;
constexpr double kTone = 1000.0;
constexpr int32_t kLoop = 441;  // ten periods: a seamless loop

// A full-scale 1 kHz tone, both channels alike.
int32_t tone_wave() {
    int32_t wave = -1;
    int16_t *samples = nullptr;
    EXPECT_EQ(ZYN_CREATE_WAVE(kLoop, &wave, &samples), 1);
    for (int32_t i = 0; i < kLoop; ++i)
        samples[2 * i] = samples[2 * i + 1] =
            static_cast<int16_t>(std::lround(32767.0 * std::sin(2.0 * kPi * kTone * i / kRate)));
    return wave;
}

double tone_at(int64_t frame) { return std::round(32767.0 * std::sin(2.0 * kPi * kTone * static_cast<double>(frame % kLoop) / kRate)); }

// The sine's own largest step between two frames.
double natural_step() { return 32767.0 * 2.0 * std::sin(kPi * kTone / kRate); }

std::vector<int16_t> left_of(int32_t frames) {
    std::vector<int16_t> both(2 * static_cast<size_t>(frames)), left(static_cast<size_t>(frames));
    EXPECT_EQ(ZYN_RENDER(both.data(), frames), 1);
    for (int32_t i = 0; i < frames; ++i) left[static_cast<size_t>(i)] = both[2 * static_cast<size_t>(i)];
    return left;
}

int largest_step(const std::vector<int16_t> &v) {
    int largest = 0;
    for (size_t i = 1; i < v.size(); ++i) largest = std::max(largest, std::abs(v[i] - v[i - 1]));
    return largest;
}

// Every frame of heard (which starts at frame first of the tone) within
// 0.5 dB of the tone at gain(frame), where that gain is above -30 dB.
void follows(const std::vector<int16_t> &heard, int64_t first, double (*gain)(int64_t), const char *what) {
    const double within = std::pow(10.0, 0.5 / 20.0) - 1.0;
    int checked = 0;
    for (size_t i = 0; i < heard.size(); ++i) {
        const int64_t frame = first + static_cast<int64_t>(i);
        const double expected = tone_at(frame) * gain(frame);
        if (std::fabs(expected) < 32767.0 * 0.0316) continue;
        ++checked;
        // Each of two members may round its own way.
        ASSERT_NEAR(heard[i], expected, std::fabs(expected) * within + 2.0) << what << " at frame " << frame;
    }
    EXPECT_GT(checked, 100) << what;
}

int g_ends = 0;
void count_end(int32_t, void *) { ++g_ends; }

int32_t g_group_for_callback = -1;
void fade_group_from_callback(int16_t *, int32_t, int32_t) {
    if (g_group_for_callback < 0) return;
    EXPECT_EQ(ZYN_FADE_GROUP(g_group_for_callback, 0.0f, 0.0f), 1);
    g_group_for_callback = -1;
}

}  // namespace

TEST(Fades, ASoundFadesOutAlongTheLineWithoutAStepAndStopsWithoutAnEnd) {
    g_ends = 0;
    ASSERT_EQ(ZYN_SET_ENDCALLBACK(count_end, nullptr), 1);
    for (bool smoothing : {false, true}) {
        SCOPED_TRACE(smoothing ? "with smoothing" : "without smoothing");
        ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
        ZYN_SET_SMOOTHING(smoothing ? 100.0f : 0.0f);
        int32_t sound = -1;
        ASSERT_EQ(ZYN_PLAY_WAVE(tone_wave(), 0, 1.0f, 1.0f, 0.0f, &sound), 1);
        left_of(5000);  // past any fade-in
        // 50 ms = 2205 frames, from frame 5000 (inside a block).
        ASSERT_EQ(ZYN_FADE_SOUND(sound, 0.0f, 50.0f, 1), 1);
        float volume = -1.0f;
        ASSERT_EQ(ZYN_GET_SOUNDVOLUME(sound, &volume), 1);
        EXPECT_EQ(volume, 0.0f) << "the getter answers the target at once";
        EXPECT_EQ(ZYN_IS_PLAYING(sound), 1);
        const std::vector<int16_t> heard = left_of(3000);
        follows(heard, 5000, [](int64_t f) { return std::max(0.0, 1.0 - static_cast<double>(f - 5000) / 2205.0); },
                "fade out");
        EXPECT_LE(largest_step(heard), natural_step() + 2.0);
        for (size_t i = 2206; i < heard.size(); ++i) ASSERT_EQ(heard[i], 0) << i;
        EXPECT_EQ(ZYN_IS_PLAYING(sound), 0) << "the fade's stop ended it";
        ASSERT_EQ(ZYN_GET_SOUNDVOLUME(sound, &volume), 1);
        EXPECT_EQ(volume, 1.0f) << "stopped, it has the volume it had before the fade";
        ZYN_SET_SMOOTHING(0.0f);
        ZYN_EXIT();
    }
    EXPECT_EQ(g_ends, 0) << "a stop is no end";
    ZYN_SET_ENDCALLBACK(nullptr, nullptr);
}

TEST(Fades, ANewFadeTakesOverFromTheLevelReached) {
    ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(tone_wave(), 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    // Down over 1000 ms; halfway there (22050 frames) back up over 100 ms.
    ASSERT_EQ(ZYN_FADE_SOUND(sound, 0.0f, 1000.0f, 0), 1);
    const std::vector<int16_t> down = left_of(22050);
    ASSERT_EQ(ZYN_FADE_SOUND(sound, 1.0f, 100.0f, 0), 1);
    const std::vector<int16_t> up = left_of(6000);
    follows(down, 0, [](int64_t f) { return 1.0 - static_cast<double>(f) / 44100.0; }, "down");
    follows(up, 22050, [](int64_t f) { return std::min(1.0, 0.5 + 0.5 * static_cast<double>(f - 22050) / 4410.0); },
            "up");
    std::vector<int16_t> joined = down;
    joined.insert(joined.end(), up.begin(), up.end());
    EXPECT_LE(largest_step(joined), natural_step() + 2.0);
    // A volume set outright ends the fade where it stands.
    ASSERT_EQ(ZYN_FADE_SOUND(sound, 0.0f, 1000.0f, 1), 1);
    left_of(1000);
    ASSERT_EQ(ZYN_SET_SOUNDVOLUME(sound, 0.5f), 1);
    const std::vector<int16_t> set = left_of(50000);
    follows(set, 29050, [](int64_t) { return 0.5; }, "set outright");
    EXPECT_EQ(ZYN_IS_PLAYING(sound), 1) << "and its stop";
    ZYN_EXIT();
}

TEST(Fades, AGroupFadeGlidesEveryMemberFromTheNextBlock) {
    ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
    const int32_t wave = tone_wave();
    int32_t group = -1, a = -1, b = -1, outside = -1;
    ASSERT_EQ(ZYN_CREATE_GROUP(&group), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.5f, 0.0f, &a), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.25f, 0.0f, &b), 1);
    ASSERT_EQ(ZYN_SET_SOUNDGROUP(a, group), 1);
    ASSERT_EQ(ZYN_SET_SOUNDGROUP(b, group), 1);
    // Both members together are the tone at 0.75; the group halves it over
    // 20 ms, from the next block mixed (the first).
    ASSERT_EQ(ZYN_FADE_GROUP(group, 0.5f, 20.0f), 1);
    float volume = 0.0f;
    ASSERT_EQ(ZYN_GET_GROUPVOLUME(group, &volume), 1);
    EXPECT_EQ(volume, 0.5f);
    const std::vector<int16_t> heard = left_of(3000);
    follows(heard, 0, [](int64_t f) { return 0.75 * (1.0 - 0.5 * std::min(1.0, static_cast<double>(f) / 882.0)); },
            "group fade");
    EXPECT_LE(largest_step(heard), natural_step() + 2.0);
    // A paused group's fade waits with its members.
    ASSERT_EQ(ZYN_FADE_GROUP(group, 0.0f, 20.0f), 1);
    ASSERT_EQ(ZYN_SET_GROUPPAUSED(group, 1), 1);
    left_of(2000);
    ASSERT_EQ(ZYN_SET_GROUPPAUSED(group, 0), 1);
    const std::vector<int16_t> resumed = left_of(100);
    EXPECT_GT(*std::max_element(resumed.begin(), resumed.end()), 32767 * 0.3);
    // From a callback, a fade (here one of no time) acts from the next block.
    ASSERT_EQ(ZYN_FADE_GROUP(group, 1.0f, 0.0f), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.0f, 0.0f, &outside), 1);  // mixed after a and b, unheard
    ASSERT_EQ(ZYN_SET_SOUNDCALLBACK(outside, fade_group_from_callback), 1);
    ASSERT_EQ(ZYN_ENABLE_SOUNDCALLBACK(outside), 1);
    g_group_for_callback = group;
    const std::vector<int16_t> this_block = left_of(kBlock), next_block = left_of(kBlock);
    EXPECT_GT(*std::max_element(this_block.begin(), this_block.end()), 20000);
    EXPECT_EQ(*std::max_element(next_block.begin(), next_block.end()), 0);
    ZYN_EXIT();
}

TEST(Fades, DurationsAreCheckedAndClamped) {
    ASSERT_EQ(ZYN_INIT_RENDER(kRate, 2, kBlock), 1);
    int32_t sound = -1, group = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(tone_wave(), 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    ASSERT_EQ(ZYN_CREATE_GROUP(&group), 1);
    for (float ms : {-1.0f, std::nanf(""), -INFINITY}) {
        EXPECT_EQ(ZYN_FADE_SOUND(sound, 0.5f, ms, 0), 0) << ms;
        EXPECT_EQ(ZYN_FADE_GROUP(group, 0.5f, ms), 0) << ms;
        EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find("milliseconds"), std::string::npos);
    }
    float volume = 0.0f;
    ASSERT_EQ(ZYN_GET_SOUNDVOLUME(sound, &volume), 1);
    EXPECT_EQ(volume, 1.0f) << "a refused fade changes nothing";
    // Longer than a minute is a minute; volumes clamp as the setters do.
    ASSERT_EQ(ZYN_FADE_SOUND(sound, 5.0f, INFINITY, 0), 1);
    ASSERT_EQ(ZYN_GET_SOUNDVOLUME(sound, &volume), 1);
    EXPECT_EQ(volume, 2.0f);
    ASSERT_EQ(ZYN_FADE_GROUP(group, std::nanf(""), 1e9f), 1);
    ASSERT_EQ(ZYN_GET_GROUPVOLUME(group, &volume), 1);
    EXPECT_EQ(volume, 0.0f);
    EXPECT_EQ(ZYN_FADE_SOUND(sound + 1, 0.5f, 10.0f, 0), 0);
    EXPECT_EQ(ZYN_FADE_GROUP(group + 1, 0.5f, 10.0f), 0);
    // A fade of no time with stop stops the sound at once.
    ASSERT_EQ(ZYN_FADE_SOUND(sound, 0.0f, 0.0f, 1), 1);
    const std::vector<int16_t> after = left_of(kBlock);
    EXPECT_EQ(*std::max_element(after.begin(), after.end()), 0);
    EXPECT_EQ(ZYN_IS_PLAYING(sound), 0);
    ZYN_EXIT();
}
