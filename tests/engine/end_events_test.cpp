// Knowing when a sound ends: ZYN_IS_PLAYING, and the end callback, which
// arrives once per end of a sound with a handle, never for one destroyed or
// stopped, never on the thread that runs the fill, and may use the whole
// interface (destroy the sound, turn itself off).
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace zyn_test;

namespace {

struct Ended {
    int32_t sound;
    std::thread::id thread;
};

std::mutex g_lock;
std::vector<Ended> g_ended;
bool g_destroy = false;
bool g_turn_off = false;

void on_end(int32_t sound, void *user) {
    *static_cast<int *>(user) += 1;
    if (g_destroy) {
        int32_t handle = sound;
        EXPECT_EQ(ZYN_DESTROY_SOUND(&handle), 1);
    }
    if (g_turn_off) {
        EXPECT_EQ(ZYN_SET_ENDCALLBACK(nullptr, nullptr), 1);
    }
    std::lock_guard<std::mutex> hold(g_lock);
    g_ended.push_back({sound, std::this_thread::get_id()});
}

// Waits until count ends have arrived, or a second has gone by.
std::vector<Ended> ended_after_waiting(size_t count) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(g_lock);
            if (g_ended.size() >= count || std::chrono::steady_clock::now() > until) return g_ended;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void forget_ends() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_ended.clear();
    g_destroy = g_turn_off = false;
}

int32_t wave_of(int32_t frames) {
    int32_t wave = -1;
    int16_t *samples = nullptr;
    EXPECT_EQ(ZYN_CREATE_WAVE(frames, &wave, &samples), 1);
    for (int32_t i = 0; i < 2 * frames; ++i) samples[i] = 1000;
    return wave;
}

}  // namespace

TEST(EndEvents, OncePerEndOfASoundWithAHandleAndOffTheFillThread) {
    forget_ends();
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    int calls = 0;
    ASSERT_EQ(ZYN_SET_ENDCALLBACK(on_end, &calls), 1);
    const int32_t short_wave = wave_of(300), long_wave = wave_of(44100);
    int32_t ends = -1, endless = -1, destroyed = -1, stopped = -1, paused = -1, idle = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(short_wave, 1, 1.0f, 1.0f, 0.0f, &ends), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(short_wave, 0, 1.0f, 1.0f, 0.0f, &endless), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(short_wave, 1, 1.0f, 1.0f, 0.0f, nullptr), 1);  // no handle
    ASSERT_EQ(ZYN_PLAY_WAVE(long_wave, 1, 1.0f, 1.0f, 0.0f, &destroyed), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(long_wave, 1, 1.0f, 1.0f, 0.0f, &stopped), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(long_wave, 1, 1.0f, 1.0f, 0.0f, &paused), 1);
    ASSERT_EQ(ZYN_CREATE_SOUND(short_wave, &idle), 1);
    ASSERT_EQ(ZYN_SET_SOUNDPAUSED(paused, 1), 1);
    ASSERT_EQ(ZYN_SET_SOUNDMUTED(endless, 1), 1);
    EXPECT_EQ(ZYN_IS_PLAYING(ends), 1);
    EXPECT_EQ(ZYN_IS_PLAYING(paused), 1) << "paused counts as playing";
    EXPECT_EQ(ZYN_IS_PLAYING(endless), 1) << "muted counts as playing";
    EXPECT_EQ(ZYN_IS_PLAYING(idle), 0) << "created, never started";
    EXPECT_EQ(ZYN_IS_PLAYING(99), 0);

    device.pump();  // 256 of the 300 frames
    EXPECT_EQ(ZYN_DESTROY_SOUND(&destroyed), 1);
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(stopped, 0), 1);
    device.pump();  // the short sounds end here
    for (int i = 0; i < 4; ++i) device.pump();
    const std::vector<Ended> got = ended_after_waiting(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // nothing else may follow
    std::lock_guard<std::mutex> hold(g_lock);
    ASSERT_EQ(g_ended.size(), 1u);
    EXPECT_EQ(g_ended[0].sound, ends);
    EXPECT_NE(g_ended[0].thread, std::this_thread::get_id()) << "not on the thread that ran the fill";
    EXPECT_EQ(calls, 1) << "the user data came along";
    EXPECT_EQ(ZYN_IS_PLAYING(ends), 0);
    EXPECT_EQ(ZYN_IS_PLAYING(stopped), 0);
    EXPECT_EQ(ZYN_IS_PLAYING(destroyed), 0);
    EXPECT_EQ(ZYN_IS_PLAYING(endless), 1);
}

TEST(EndEvents, EachEndCountsAndTheCallbackMayUseTheInterface) {
    forget_ends();
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    int calls = 0;
    ASSERT_EQ(ZYN_SET_ENDCALLBACK(on_end, &calls), 1);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave_of(100), 1, 1.0f, 1.0f, 0.0f, &sound), 1);
    device.pump();
    ASSERT_EQ(ended_after_waiting(1).size(), 1u);
    // Started again, it ends again: a second event.
    ASSERT_EQ(ZYN_PLAY_SOUND(sound, 2), 1);
    device.pump();  // two passes of 100 frames in one block
    ASSERT_EQ(ended_after_waiting(2).size(), 2u);

    // The callback destroys the sound, then turns itself off.
    g_destroy = true;
    g_turn_off = true;
    ASSERT_EQ(ZYN_PLAY_SOUND(sound, 1), 1);
    device.pump();
    ASSERT_EQ(ended_after_waiting(3).size(), 3u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ZYN_IS_PLAYING(sound), 0);
    int32_t loops = 0;
    EXPECT_EQ(ZYN_GET_SOUNDLOOPS(sound, &loops), 0) << "destroyed from the callback";
    // Off: a later end reaches nobody.
    g_destroy = false;
    g_turn_off = false;
    int32_t again = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave_of(50), 1, 1.0f, 1.0f, 0.0f, &again), 1);
    device.pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(ended_after_waiting(4).size(), 3u);
    EXPECT_EQ(ZYN_SET_ENDCALLBACK(on_end, &calls), 1) << "and it can be turned on again";
}

// An end callback that waits for the engine (here ZYN_STOP, which takes the
// lock that serialises start, stop, init and exit) while another thread
// closes the engine: the close waits for the callback, and the callback
// gets its turn first.
TEST(EndEvents, ExitWhileTheCallbackWaitsForTheEngineFinishesBoth) {
    forget_ends();
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    static std::atomic<int> entered{0}, finished{0};
    entered = finished = 0;
    const auto slow_stop = [](int32_t, void *) {
        entered.store(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ZYN_STOP();
        finished.store(1);
    };
    ASSERT_EQ(ZYN_SET_ENDCALLBACK(slow_stop, nullptr), 1);
    int32_t handle = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave_of(100), 1, 1.0f, 1.0f, 0.0f, &handle), 1);
    device.pump();
    for (int i = 0; i < 500 && entered.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(entered.load(), 1);
    {
        const Watchdog watchdog(10, "ZYN_EXIT while the end callback waits for the engine");
        EXPECT_EQ(ZYN_EXIT(), 1);
    }
    EXPECT_EQ(finished.load(), 1) << "the callback ran to its end before ZYN_EXIT returned";
    EXPECT_EQ(ZYN_SET_ENDCALLBACK(nullptr, nullptr), 1);
}

// Switching to another callback (or off) returns once a running call of the
// old one has returned, so its user data may be freed at once.
TEST(EndEvents, SwitchingReturnsAfterARunningCallOfTheOldCallbackReturned) {
    forget_ends();
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    static std::atomic<int> entered{0}, returned{0};
    const auto slow = [](int32_t, void *) {
        entered.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        returned.fetch_add(1);
    };
    int calls = 0;
    for (const bool off : {false, true}) {
        SCOPED_TRACE(off ? "off" : "to another");
        entered = returned = 0;
        ASSERT_EQ(ZYN_SET_ENDCALLBACK(slow, nullptr), 1);
        int32_t handle = -1;
        ASSERT_EQ(ZYN_PLAY_WAVE(wave_of(100), 1, 1.0f, 1.0f, 0.0f, &handle), 1);
        device.pump();
        for (int i = 0; i < 500 && entered.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(entered.load(), 1);
        ASSERT_EQ(ZYN_SET_ENDCALLBACK(off ? nullptr : on_end, off ? nullptr : &calls), 1);
        EXPECT_EQ(returned.load(), 1) << "the old callback's call has returned";
    }
}

// Ends still pending when the engine closes belong to sounds that are gone:
// a callback that closes and opens the engine again hears none of them.
TEST(EndEvents, EndsOfAClosedEngineNeverReachTheNextOne) {
    forget_ends();
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    static std::atomic<int> reopened{0};
    reopened = 0;
    const auto reopen = [](int32_t sound, void *) {
        {
            std::lock_guard<std::mutex> hold(g_lock);
            g_ended.push_back({sound, std::this_thread::get_id()});
        }
        int first = 0;
        if (reopened.compare_exchange_strong(first, 1)) {
            EXPECT_EQ(ZYN_EXIT(), 1);
            EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
            reopened.store(2);
        }
    };
    ASSERT_EQ(ZYN_SET_ENDCALLBACK(reopen, nullptr), 1);
    const int32_t wave = wave_of(100);
    int32_t handles[3];
    for (int32_t &handle : handles) ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &handle), 1);
    device.pump();  // three ends in one block
    {
        const Watchdog watchdog(10, "the callback closing and opening the engine");
        while (reopened.load() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(ended_after_waiting(1).size(), 1u) << "the other two ends were of the closed engine";
    // The reopened engine's own ends arrive.
    int32_t fresh = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave_of(100), 1, 1.0f, 1.0f, 0.0f, &fresh), 1);
    device.pump();
    const std::vector<Ended> got = ended_after_waiting(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].sound, fresh);
    EXPECT_EQ(ZYN_SET_ENDCALLBACK(nullptr, nullptr), 1);
}
