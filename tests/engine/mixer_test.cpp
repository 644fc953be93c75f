// Whole blocks out of the mixer, pumped by hand, with rows placed directly in
// the sound table. Expected blocks are computed here from the wave samples.
#include "test_support.h"
#include "whitebox.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace zyn_test;

namespace {

constexpr int32_t kFrames = 64;  // frames per block

std::vector<int16_t> ramp(int frames, int channels, int16_t first = 1) {
    std::vector<int16_t> samples(static_cast<size_t>(frames * channels));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(first + i);
    return samples;
}

std::vector<int16_t> constant(int frames, int channels, int16_t value) {
    return std::vector<int16_t>(static_cast<size_t>(frames * channels), value);
}

int32_t position_frame(int32_t row, int channels) {
    const zyn::SoundEntry &s = sound_row(row);
    return static_cast<int32_t>(s.position - s.wave_start) / channels;
}

int g_master_calls = 0;
int g_sound_calls = 0;
int32_t g_seen_channels = 0;
int32_t g_seen_frames = 0;
int16_t g_seen_first = 0;

void master_callback(int16_t *samples, int32_t channels, int32_t frames) {
    ++g_master_calls;
    g_seen_channels = channels;
    g_seen_frames = frames;
    g_seen_first = samples[0];
    samples[0] = 1234;  // what the callback writes is what is heard
}

void sound_callback(int16_t *samples, int32_t, int32_t) {
    ++g_sound_calls;
    g_seen_first = samples[0];
    samples[1] = -5;
}

}  // namespace

TEST(Mixer, OneSoundIsCopiedThenEndsAndFreesItsRow) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const std::vector<int16_t> wave = ramp(100, 2);
    const int32_t row = add_raw_sound(add_raw_wave(wave), {.loops = 1, .has_handle = 0});
    std::vector<int16_t> first = device.pump();
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 1);
    EXPECT_EQ(first, std::vector<int16_t>(wave.begin(), wave.begin() + 2 * kFrames));
    std::vector<int16_t> second = device.pump();
    std::vector<int16_t> expected(wave.begin() + 2 * kFrames, wave.end());
    expected.resize(2 * kFrames, 0);
    EXPECT_EQ(second, expected);
    EXPECT_EQ(sound_row(row).loops, 0);
    EXPECT_EQ(sound_row(row).wave_start, nullptr) << "an ended sound without handle keeps its row";
    EXPECT_NE(sound_row(row).buffer, nullptr) << "the work buffer stays with the row";
    device.pump();
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 0);
}

TEST(Mixer, SumsSaturateInListOrder) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    for (int i = 0; i < 3; ++i) add_raw_sound(add_raw_wave(constant(kFrames, 2, 20000)), {});
    add_raw_sound(add_raw_wave(constant(kFrames, 2, -30000)), {});
    // 20000 + 20000 saturates to 32767 before -30000 is added, so the order matters.
    std::vector<int16_t> block = device.pump();
    for (int16_t s : block) ASSERT_EQ(s, 32767 - 30000);
}

TEST(Mixer, ChannelLimitGivesLowerRowsPrecedence) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    ZYN_SET_MAXCHANNELS(2);
    int32_t rows[4];
    for (int i = 0; i < 4; ++i)
        rows[i] = add_raw_sound(add_raw_wave(constant(4 * kFrames, 2, static_cast<int16_t>(1 << i))), {});
    std::vector<int16_t> block = device.pump();
    EXPECT_EQ(block[0], 1 + 2);
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 4);
    EXPECT_EQ(position_frame(rows[0], 2), kFrames);
    EXPECT_EQ(position_frame(rows[1], 2), kFrames);
    EXPECT_EQ(position_frame(rows[2], 2), 0) << "rows past the limit wait";
    EXPECT_EQ(position_frame(rows[3], 2), 0);
}

TEST(Mixer, MutedSoundKeepsItsTimingAndEndsOnSchedule) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const std::vector<int16_t> wave = ramp(3 * kFrames + 10, 2);
    const int32_t row = add_raw_sound(add_raw_wave(wave), {.has_handle = 0, .muted = 1});
    std::vector<int16_t> block = device.pump();
    for (int16_t s : block) ASSERT_EQ(s, 0);
    EXPECT_EQ(position_frame(row, 2), kFrames);
    sound_row(row).muted = 0;
    block = device.pump();
    EXPECT_EQ(block, std::vector<int16_t>(wave.begin() + 2 * kFrames, wave.begin() + 4 * kFrames));
    sound_row(row).muted = 1;
    device.pump();
    device.pump();  // the last 10 frames pass unheard and the sound ends
    EXPECT_EQ(sound_row(row).loops, 0);
    EXPECT_EQ(sound_row(row).wave_start, nullptr);
}

TEST(Mixer, PausedSoundNeitherAdvancesNorCountsNorIsReleased) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t row =
        add_raw_sound(add_raw_wave(ramp(kFrames, 2)), {.loops = 1, .has_handle = 0, .paused = 1});
    std::vector<int16_t> block = device.pump();
    for (int16_t s : block) ASSERT_EQ(s, 0);
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 0);
    EXPECT_EQ(position_frame(row, 2), 0);
    EXPECT_NE(sound_row(row).wave_start, nullptr);
}

TEST(Mixer, HandlelessRowsAreReusedLowestFirst) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = add_raw_wave(ramp(kFrames / 2, 2));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(add_raw_sound(wave, {.has_handle = 0}), i);
    device.pump();
    EXPECT_EQ(add_raw_sound(wave, {.has_handle = 0}), 0);
    EXPECT_EQ(zyn::engine().sound_count, 3);
}

TEST(Mixer, VolumeFloorsAndPanScalesOneSide) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    std::vector<int16_t> wave;
    for (int i = 0; i < kFrames; ++i) {
        wave.push_back(-3);
        wave.push_back(1001);
    }
    add_raw_sound(add_raw_wave(wave), {.volume = 0.5f, .pan = 0.5f});
    std::vector<int16_t> block = device.pump();
    // volume 0.5: -3 -> floor(-1.5) = -2, 1001 -> 500; pan 0.5 halves the left.
    EXPECT_EQ(block[0], -1);
    EXPECT_EQ(block[1], 500);
}

TEST(Mixer, PanIsIgnoredOnAMonoDevice) {
    PumpDevice device(44100, 1, kFrames);
    ASSERT_TRUE(device.ok());
    add_raw_sound(add_raw_wave(constant(kFrames, 1, 1000)), {.pan = 1.0f});
    std::vector<int16_t> block = device.pump();
    for (int16_t s : block) ASSERT_EQ(s, 1000);
}

TEST(Mixer, SpeedsForwardAndBackward) {
    PumpDevice device(44100, 1, 8);
    ASSERT_TRUE(device.ok());
    const std::vector<int16_t> wave = ramp(32, 1, 100);
    const int32_t fast = add_raw_sound(add_raw_wave(wave), {.loops = 1, .speed = 2.0f});
    std::vector<int16_t> block = device.pump();
    for (int i = 0; i < 8; ++i) ASSERT_EQ(block[i], 100 + 2 * i);
    sound_row(fast).loops = 0;
    const int32_t back = add_raw_sound(add_raw_wave(wave), {.loops = 2, .speed = -1.0f});
    block = device.pump();
    // Backwards from the wave's start: the first frame, then from the end down.
    EXPECT_EQ(block[0], 100);
    EXPECT_EQ(block[1], 131);
    EXPECT_EQ(block[2], 130);
    EXPECT_EQ(sound_row(back).loops, 1);
}

TEST(Mixer, MasterVolumeAndMasterCallbackRunOnTheFinalBlock) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    add_raw_sound(add_raw_wave(constant(4 * kFrames, 2, 1000)), {});
    zyn::engine().master_volume = 0.25f;
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(master_callback), 1);
    device.pump();
    EXPECT_EQ(g_master_calls, 0) << "a stored routine stays disabled";
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    std::vector<int16_t> block = device.pump();
    EXPECT_EQ(g_master_calls, 1);
    EXPECT_EQ(g_seen_channels, 2);
    EXPECT_EQ(g_seen_frames, kFrames);
    EXPECT_EQ(g_seen_first, 250);
    EXPECT_EQ(block[0], 1234);
    EXPECT_EQ(block[1], 250);
    EXPECT_EQ(ZYN_DISABLE_MASTERCALLBACK(), 1);
}

TEST(Mixer, MasterCallbackRunsOnSilence) {
    PumpDevice device(44100, 1, kFrames);
    ASSERT_TRUE(device.ok());
    EXPECT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);  // no routine: nothing called
    device.pump();
    ZYN_SET_MASTERCALLBACK(master_callback);
    ZYN_ENABLE_MASTERCALLBACK();
    std::vector<int16_t> block = device.pump();
    EXPECT_EQ(g_master_calls, 1);
    EXPECT_EQ(g_seen_frames, kFrames);
    EXPECT_EQ(g_seen_first, 0);
    EXPECT_EQ(block[0], 1234);
}

TEST(Mixer, SoundCallbackSeesTheScaledBlockOnlyWhenAudible) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t row = add_raw_sound(add_raw_wave(constant(8 * kFrames, 2, 800)), {.volume = 0.5f});
    EXPECT_EQ(ZYN_ENABLE_SOUNDCALLBACK(row), 0) << "no routine stored yet";
    ASSERT_EQ(ZYN_SET_SOUNDCALLBACK(row, sound_callback), 1);
    device.pump();
    EXPECT_EQ(g_sound_calls, 0);
    ASSERT_EQ(ZYN_ENABLE_SOUNDCALLBACK(row), 1);
    std::vector<int16_t> block = device.pump();
    EXPECT_EQ(g_sound_calls, 1);
    EXPECT_EQ(g_seen_first, 400);
    EXPECT_EQ(block[0], 400);
    EXPECT_EQ(block[1], -5);
    sound_row(row).muted = 1;
    device.pump();
    sound_row(row).muted = 0;
    sound_row(row).paused = 1;
    device.pump();
    EXPECT_EQ(g_sound_calls, 1) << "muted and paused sounds are not called back";
    EXPECT_EQ(ZYN_DISABLE_SOUNDCALLBACK(row), 1);
}

TEST(Callbacks, NeedAnInitialisedEngineOrAnActiveStream) {
    EXPECT_EQ(ZYN_SET_MASTERCALLBACK(master_callback), 0);
    EXPECT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 0);
    EXPECT_EQ(ZYN_DISABLE_MASTERCALLBACK(), 0);
    EXPECT_EQ(ZYN_SET_SOUNDCALLBACK(0, sound_callback), 0);
    EXPECT_EQ(ZYN_SET_STREAMCALLBACK(sound_callback), 0);
    EXPECT_EQ(ZYN_ENABLE_STREAMCALLBACK(), 0);
    EXPECT_EQ(ZYN_DISABLE_STREAMCALLBACK(), 0);
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    EXPECT_EQ(ZYN_DISABLE_MASTERCALLBACK(), 0) << "no routine stored";
    EXPECT_EQ(ZYN_SET_STREAMCALLBACK(sound_callback), 0) << "no stream";
}
