// The clock and clocked starts: a sound's first frame lands on the output
// frame it was given, also inside a block and on every road a sound takes
// through the mixer; a frame already passed starts with the next block; the
// clock counts frames in 64 bits and starts again at ZYN_EXIT.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace zyn_test;

namespace {

constexpr int32_t kBlock = 256;
constexpr int16_t kLevel = 1000;

// A constant wave: every road through the mixer gives kLevel from its
// first frame on, so the first frame that is not silent is where it began.
int32_t level_wave(int32_t frames) {
    int32_t wave = -1;
    int16_t *samples = nullptr;
    EXPECT_EQ(ZYN_CREATE_WAVE(frames, &wave, &samples), 1);
    for (int32_t i = 0; i < frames * ZYN_GET_PLUGCHANNELS(); ++i) samples[i] = kLevel;
    return wave;
}

void keep_block(int16_t *, int32_t, int32_t) {}

enum class Road { fused, callback, cubic, converted };

std::vector<int16_t> render_ragged(int32_t frames, int32_t channels) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * channels);
    const int32_t cuts[] = {100, 256, 3, 411, 97};
    for (int32_t done = 0, i = 0; done < frames; ++i) {
        const int32_t n = std::min(cuts[i % 5], frames - done);
        EXPECT_EQ(ZYN_RENDER(out.data() + static_cast<size_t>(done) * channels, n), 1);
        done += n;
    }
    return out;
}

int32_t first_heard(const std::vector<int16_t> &out, int32_t channels) {
    for (size_t i = 0; i < out.size(); ++i)
        if (out[i] != 0) return static_cast<int32_t>(i) / channels;
    return -1;
}

int64_t clock_now() {
    int64_t frames = -1;
    EXPECT_EQ(ZYN_GET_CLOCK(&frames), 1);
    return frames;
}

int64_t g_asked_in_callback = -1;
int32_t g_sound_for_callback = -1;
void start_from_callback(int16_t *, int32_t, int32_t) {
    if (g_sound_for_callback < 0) return;
    EXPECT_EQ(ZYN_GET_CLOCK(&g_asked_in_callback), 1);
    EXPECT_EQ(ZYN_PLAY_SOUND_AT(g_sound_for_callback, 1, g_asked_in_callback + 10), 1);
    g_sound_for_callback = -1;
}

}  // namespace

TEST(Clock, TwoSoundsStartOnTheirFrameExactlyOnEveryRoad) {
    for (int32_t channels : {1, 2}) {
        for (Road road : {Road::fused, Road::callback, Road::cubic, Road::converted}) {
            for (int64_t frame : {int64_t{0}, int64_t{5}, int64_t{255}, int64_t{256}, int64_t{257}, int64_t{1000}}) {
                SCOPED_TRACE(std::to_string(channels) + " channels, road " + std::to_string(static_cast<int>(road)) +
                             ", frame " + std::to_string(frame));
                // A wave made at another rate is read converted.
                ASSERT_EQ(ZYN_INIT_RENDER(road == Road::converted ? 22050 : 44100, channels, kBlock), 1);
                const int32_t wave = level_wave(4000);
                ASSERT_EQ(ZYN_INIT_RENDER(44100, channels, kBlock), 1);
                int32_t a = -1, b = -1;
                ASSERT_EQ(ZYN_CREATE_SOUND(wave, &a), 1);
                ASSERT_EQ(ZYN_CREATE_SOUND(wave, &b), 1);
                for (int32_t s : {a, b}) {
                    if (road == Road::callback) {
                        ASSERT_EQ(ZYN_SET_SOUNDCALLBACK(s, keep_block), 1);
                        ASSERT_EQ(ZYN_ENABLE_SOUNDCALLBACK(s), 1);
                    }
                    if (road == Road::cubic) {
                        ASSERT_EQ(ZYN_SET_SOUNDSPEED(s, 1.37f), 1);
                        ASSERT_EQ(ZYN_SET_SOUNDRESAMPLER(s, ZYN_RESAMPLE_CUBIC), 1);
                    }
                    ASSERT_EQ(ZYN_PLAY_SOUND_AT(s, 1, frame), 1);
                }
                EXPECT_EQ(ZYN_IS_PLAYING(a), 1) << "waiting counts as playing";
                const auto out = render_ragged(2000, channels);
                ASSERT_EQ(first_heard(out, channels), frame);
                for (int32_t c = 0; c < channels; ++c)
                    EXPECT_NEAR(out[static_cast<size_t>(frame * channels + c)], 2 * kLevel, 2);
                ZYN_EXIT();
            }
        }
    }
}

TEST(Clock, AFramePassedStartsWithTheNextBlockAndTheClockCounts) {
    ASSERT_EQ(ZYN_INIT_RENDER(44100, 2, kBlock), 1);
    EXPECT_EQ(clock_now(), 0);
    const int32_t wave = level_wave(44100);
    int32_t late = -1, stopped = -1, restarted = -1, from_callback = -1;
    for (int32_t *s : {&late, &stopped, &restarted, &from_callback}) ASSERT_EQ(ZYN_CREATE_SOUND(wave, s), 1);
    std::vector<int16_t> out(2 * 500);
    ASSERT_EQ(ZYN_RENDER(out.data(), 500), 1);
    EXPECT_EQ(clock_now(), 500);
    ASSERT_EQ(ZYN_PLAY_SOUND_AT(late, 1, 100), 1);
    EXPECT_EQ(first_heard(render_ragged(300, 2), 2), 0) << "at the clock, 500";
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(late, 0), 1);

    // A stop ends the wait; a ZYN_PLAY_SOUND starts at once.
    ASSERT_EQ(ZYN_PLAY_SOUND_AT(stopped, 1, 900), 1);
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(stopped, 0), 1);
    EXPECT_EQ(ZYN_IS_PLAYING(stopped), 0);
    ASSERT_EQ(ZYN_PLAY_SOUND_AT(restarted, 1, 5000), 1);
    ASSERT_EQ(ZYN_PLAY_SOUND(restarted, 1), 1);
    EXPECT_EQ(first_heard(render_ragged(300, 2), 2), 0);
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(restarted, 0), 1);
    EXPECT_EQ(first_heard(render_ragged(300, 2), 2), -1) << "the stopped one never started";

    // Inside a callback the block being mixed has passed too.
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(start_from_callback), 1);
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    g_sound_for_callback = from_callback;
    const int64_t before = clock_now();
    const auto heard = render_ragged(600, 2);
    EXPECT_EQ(g_asked_in_callback, before) << "inside a callback the clock is the block's first frame";
    EXPECT_EQ(first_heard(heard, 2), 100) << "the next block after the first 100 frames";
    ZYN_DISABLE_MASTERCALLBACK();

    // ZYN_EXIT starts the clock again; a closed engine has none.
    ZYN_EXIT();
    int64_t frames = 7;
    EXPECT_EQ(ZYN_GET_CLOCK(&frames), 0);
    EXPECT_EQ(frames, 7);
    ASSERT_EQ(ZYN_INIT_RENDER(44100, 2, kBlock), 1);
    EXPECT_EQ(clock_now(), 0);
    EXPECT_EQ(ZYN_GET_CLOCK(nullptr), 0);
    ZYN_EXIT();
}

TEST(Clock, FramesBeforeTheClockOrTooFarAfterItAreRefused) {
    ASSERT_EQ(ZYN_INIT_RENDER(44100, 2, kBlock), 1);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_CREATE_SOUND(level_wave(100), &sound), 1);
    std::vector<int16_t> out(2 * 1000);
    ASSERT_EQ(ZYN_RENDER(out.data(), 1000), 1);
    const int64_t far = 1000 + (int64_t{1} << 42);
    for (int64_t frame : {int64_t{-1}, INT64_MIN, INT64_MAX, far + 1}) {
        EXPECT_EQ(ZYN_PLAY_SOUND_AT(sound, 1, frame), 0) << frame;
        EXPECT_EQ(ZYN_IS_PLAYING(sound), 0) << frame;
        EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find("frame"), std::string::npos);
    }
    EXPECT_EQ(ZYN_PLAY_SOUND_AT(sound, 1, far), 1);
    EXPECT_EQ(ZYN_PLAY_SOUND_AT(sound + 1, 1, 2000), 0);
    ZYN_EXIT();
    EXPECT_EQ(ZYN_PLAY_SOUND_AT(sound, 1, 0), 0);
}
