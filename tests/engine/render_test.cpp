// Rendering on the caller's thread: the same calls give the same samples
// however the frames are cut into ZYN_RENDER calls, end events arrive on the
// rendering thread when the call ends, and what cannot be rendered is
// refused with a reason.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

using namespace zyn_test;

namespace {

// A wave of frames frames in the open format: a slow ramp with a little
// noise, so that any frame out of place shows.
int32_t ramp_wave(int32_t frames, int32_t channels, int seed) {
    int32_t wave = -1;
    int16_t *samples = nullptr;
    EXPECT_EQ(ZYN_CREATE_WAVE(frames, &wave, &samples), 1);
    uint32_t noise = 2463534242u + static_cast<uint32_t>(seed);
    for (int32_t i = 0; i < frames * channels; ++i) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        samples[i] = static_cast<int16_t>((i * 37) % 20000 - 10000 + static_cast<int32_t>(noise % 64));
    }
    return wave;
}

// A scene of sounds at several speeds, resamplers, pans and a group,
// rendered in calls of the given sizes (repeated until total frames).
std::vector<int16_t> render_scene(int32_t channels, int32_t block, const std::vector<int32_t> &calls,
                                  int32_t total) {
    EXPECT_EQ(ZYN_INIT_RENDER(44100, channels, block), 1);
    const int32_t a = ramp_wave(5000, channels, 1), b = ramp_wave(777, channels, 2);
    int32_t s1 = -1, s2 = -1, s3 = -1, group = -1;
    EXPECT_EQ(ZYN_PLAY_WAVE(a, 0, 1.0f, 0.7f, -0.3f, &s1), 1);
    EXPECT_EQ(ZYN_PLAY_WAVE(b, 3, 1.37f, 0.5f, 0.6f, &s2), 1);
    EXPECT_EQ(ZYN_SET_SOUNDRESAMPLER(s2, ZYN_RESAMPLE_CUBIC), 1);
    EXPECT_EQ(ZYN_CREATE_SOUND(a, &s3), 1);
    EXPECT_EQ(ZYN_PLAY_SOUND_AT(s3, 2, 3001), 1);
    EXPECT_EQ(ZYN_CREATE_GROUP(&group), 1);
    EXPECT_EQ(ZYN_SET_SOUNDGROUP(s1, group), 1);
    EXPECT_EQ(ZYN_SET_GROUPVOLUME(group, 0.8f), 1);
    std::vector<int16_t> out(static_cast<size_t>(total) * channels, 12345);
    int32_t done = 0;
    for (size_t i = 0; done < total; ++i) {
        const int32_t n = std::min(calls[i % calls.size()], total - done);
        EXPECT_EQ(ZYN_RENDER(out.data() + static_cast<size_t>(done) * channels, n), 1) << ZYN_GET_LASTERROR();
        done += n;
    }
    int64_t clock = -1;
    EXPECT_EQ(ZYN_GET_CLOCK(&clock), 1);
    EXPECT_EQ(clock, total);
    ZYN_EXIT();
    return out;
}

std::thread::id g_render_thread;
int g_ends = 0;
bool g_ends_on_render_thread = true;
bool g_exit_in_callback = false;

void on_end(int32_t, void *) {
    ++g_ends;
    if (std::this_thread::get_id() != g_render_thread) g_ends_on_render_thread = false;
    // An end callback may render on, or close the engine.
    std::vector<int16_t> more(64);
    if (g_exit_in_callback)
        EXPECT_EQ(ZYN_EXIT(), 1);
    else
        EXPECT_EQ(ZYN_RENDER(more.data(), 32), 1);
}

int32_t g_refused_inside = -1;
void render_inside(int16_t *, int32_t, int32_t) {
    int16_t block[64];
    g_refused_inside = ZYN_RENDER(block, 32);
}

}  // namespace

TEST(Render, TheSameCallsGiveTheSameSamplesHoweverTheFramesAreCut) {
    for (int32_t channels : {1, 2}) {
        const int32_t total = 9000;
        const std::vector<int16_t> whole = render_scene(channels, 256, {total}, total);
        const std::vector<int16_t> again = render_scene(channels, 256, {total}, total);
        const std::vector<int16_t> ragged = render_scene(channels, 256, {1, 255, 256, 700, 3, 17}, total);
        const std::vector<int16_t> small = render_scene(channels, 64, {64}, total);
        EXPECT_EQ(whole, again) << channels;
        EXPECT_EQ(whole, ragged) << channels;
        EXPECT_EQ(whole, small) << channels;
        // The scene is heard: not silence, and no sample left as it was.
        size_t loud = 0, untouched = 0;
        for (int16_t v : whole) {
            loud += std::abs(v) > 1000 ? 1 : 0;
            untouched += v == 12345 ? 1 : 0;
        }
        EXPECT_GT(loud, whole.size() / 4);
        EXPECT_LT(untouched, 3u);
    }
}

TEST(Render, EndEventsArriveOnTheRenderingThreadWhenTheCallEnds) {
    for (bool exit_inside : {false, true}) {
        g_render_thread = std::this_thread::get_id();
        g_ends = 0;
        g_ends_on_render_thread = true;
        g_exit_in_callback = exit_inside;
        ASSERT_EQ(ZYN_SET_ENDCALLBACK(on_end, nullptr), 1);
        ASSERT_EQ(ZYN_INIT_RENDER(48000, 2, 128), 1);
        const int32_t threads = thread_count();
        const int32_t wave = ramp_wave(300, 2, 3);
        int32_t a = -1, b = -1;
        ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &a), 1);
        ASSERT_EQ(ZYN_PLAY_WAVE(wave, 2, 1.0f, 1.0f, 0.0f, &b), 1);
        std::vector<int16_t> out(2 * 1000);
        ASSERT_EQ(ZYN_RENDER(out.data(), 250), 1);
        EXPECT_EQ(g_ends, 0);  // nothing has ended yet
        ASSERT_EQ(ZYN_RENDER(out.data(), 1000), 1);
        EXPECT_EQ(g_ends, exit_inside ? 1 : 2) << "both ended in that call";
        EXPECT_TRUE(g_ends_on_render_thread);
        EXPECT_EQ(thread_count(), threads) << "no event thread runs: " << thread_names();
        ZYN_SET_ENDCALLBACK(nullptr, nullptr);
        ZYN_EXIT();
    }
}

TEST(Render, WhatCannotBeRenderedIsRefusedWithAReason) {
    std::vector<int16_t> out(2 * 64, 7);
    const auto refused = [&](int32_t result, const char *word) {
        EXPECT_EQ(result, 0);
        EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find(word), std::string::npos) << ZYN_GET_LASTERROR();
    };
    refused(ZYN_RENDER(out.data(), 64), "not");  // nothing open
    refused(ZYN_INIT_RENDER(44100, 3, 256), "channels");
    refused(ZYN_INIT_RENDER(1000, 2, 256), "rate");
    refused(ZYN_INIT_RENDER(44100, 2, 8), "frames");
    {
        PumpDevice device(44100, 2, 64);
        ASSERT_TRUE(device.ok());
        refused(ZYN_RENDER(out.data(), 64), "ZYN_INIT_RENDER");
    }
    ASSERT_EQ(ZYN_INIT_RENDER(22050, 1, 64), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "Render");
    EXPECT_STREQ(ZYN_GET_PLUGERROR(), "") << "no plug-in to ask";
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 22050);
    EXPECT_EQ(ZYN_GET_PLUGCHANNELS(), 1);
    EXPECT_EQ(ZYN_GET_PLUGBUFFERSIZE(), 128);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 0);
    refused(ZYN_START(), "ZYN_RENDER");
    EXPECT_EQ(ZYN_STOP(), 1);
    refused(ZYN_RENDER(nullptr, 64), "samples");
    for (int32_t frames : {0, -1, INT32_MIN, (1 << 20) + 1}) refused(ZYN_RENDER(out.data(), frames), "frames");
    EXPECT_EQ(out, std::vector<int16_t>(2 * 64, 7)) << "a refused call writes nothing";
    // One frame of a mono engine, and the largest call.
    ASSERT_EQ(ZYN_RENDER(out.data(), 1), 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 7);
    std::vector<int16_t> big(1 << 20);
    EXPECT_EQ(ZYN_RENDER(big.data(), 1 << 20), 1);
    // Inside a callback the fill would run inside itself.
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(render_inside), 1);
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    ASSERT_EQ(ZYN_RENDER(out.data(), 64), 1);
    EXPECT_EQ(g_refused_inside, 0);
    ZYN_DISABLE_MASTERCALLBACK();
    ZYN_EXIT();
}

TEST(Render, ReopeningKeepsSoundsAndTheClockAndADeviceTakesOverFromARender) {
    ASSERT_EQ(ZYN_INIT_RENDER(44100, 2, 100), 1);
    const int32_t wave = ramp_wave(44100, 2, 4);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    std::vector<int16_t> out(2 * 150);
    ASSERT_EQ(ZYN_RENDER(out.data(), 150), 1);
    ASSERT_EQ(ZYN_INIT_RENDER(44100, 2, 64), 1);
    int64_t clock = 0;
    ASSERT_EQ(ZYN_GET_CLOCK(&clock), 1);
    EXPECT_EQ(clock, 150);
    int16_t *start = nullptr, *position = nullptr;
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(sound, &start, &position, nullptr), 1);
    EXPECT_EQ(position - start, 2 * 150);
    // A device opened over the render plays the same sound on, from there.
    PumpDevice device(44100, 2, 64);
    ASSERT_TRUE(device.ok());
    EXPECT_EQ(ZYN_IS_PLAYING(sound), 1);
    std::vector<int16_t> out2(2 * 64);
    EXPECT_EQ(ZYN_RENDER(out2.data(), 64), 0) << "a device mixes now";
    device.pump();
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(sound, &start, &position, nullptr), 1);
    EXPECT_EQ(position - start, 2 * (150 + 64));
    ASSERT_EQ(ZYN_GET_CLOCK(&clock), 1);
    EXPECT_EQ(clock, 150 + 64);
}
